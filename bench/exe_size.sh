#!/usr/bin/env bash
# Size of a wrapper without patches, both architectures.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
"$BENCH_REPO/tests/setup-machine.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for arch in x64 x86; do
    build_wrapper -o "$work/$arch.exe" --arch "$arch"
    bytes=$(stat -c %s "$work/$arch.exe")
    echo "wrapper without patches, $arch: $bytes bytes ($((bytes / 1024)) KiB)$([ "$arch" = x64 ] && echo '  (target <= 1 MiB)')"
done
