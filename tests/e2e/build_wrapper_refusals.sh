#!/usr/bin/env bash
# build-wrapper refuses what would make a broken wrapper, with a message
# that names the problem and a non-zero exit, and writes no output then.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
make_fake_patch "$work/good.msp" 2048
: > "$work/empty.msp"
printf 'PK\003\004 not a compound file' > "$work/zip.msp"

refused "missing file" "does not exist" "$work/nothing.msp"
refused "empty file" "is empty" "$work/empty.msp"
refused "not a compound file" "not a Windows Installer patch" "$work/zip.msp"
refused "slot 0" "slot 0 is outside 1 to 15" 0="$work/good.msp"
refused "slot 16" "slot 16 is outside 1 to 15" 16="$work/good.msp"
refused "slot given twice" "slot 3 is given twice" 3="$work/good.msp" 3="$work/good.msp"
sixteen=()
for _ in $(seq 16); do sixteen+=("$work/good.msp"); done
refused "sixteen patches" "at most 15" "${sixteen[@]}"
refused "unknown architecture" "unknown architecture" --arch arm64 "$work/good.msp"

finish
