#!/usr/bin/env bash
# The checked Linux build-wrapper (the static release build that
# ./build-wrapper runs) on each patch of tests/tools/hostile_patch.py and
# on a sound patch with a 30 MB cabinet: the wall time and peak resident
# memory (GNU time) of one run each, its exit code and what it said of the
# transforms, or why it stopped. The goal for any patch: 2 s and 64 MB.
# BUILDER names another Linux build-wrapper to measure, such as one built
# from an earlier commit; every run is held to 4 GB of address space and
# 300 s, where a builder that trusted the tables dies or is stopped.
#   bench/hostile_patches.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"
builder=${BUILDER:-}
if [ -z "$builder" ]; then
    # The launcher builds the Linux builder on first use.
    "$BENCH_REPO/build-wrapper" --help 2>/dev/null || true
    builder=${WRAPPER_BUILD_ROOT:-$BENCH_REPO/build}/builder-linux/build-wrapper
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rows=(
    "3,000 rows naming one 1 MB version|long-version"
    "120,000 distinct versions|many-versions 120000"
    "240,000 distinct versions|many-versions 240000"
    "1,000 transforms sharing 15 MB|shared-transforms 1000"
    "200 transforms sharing 15 MB|shared-transforms 200"
    "\"1\" under 4,000,000 ids (metadata)|metadata-ones 4000000"
    "mini stream chain across FAT sectors|zigzag"
    "tables at the readers' 16 MB cap|big-tables"
    "sound patch, 30 MB cabinet|big-cabinet 30"
)
echo "checked Linux build-wrapper: $builder"
printf '%-38s %7s %4s %8s %8s  %s\n' patch "file MB" exit seconds "peak MB" "what it said"
for row in "${rows[@]}"; do
    name=${row%%|*}
    read -r -a made <<< "${row#*|}"
    /usr/bin/python3 "$BENCH_REPO/tests/tools/hostile_patch.py" "${made[0]}" "$work/p.msp" "${made[@]:1}"
    rm -f "$work/out.exe"
    sync
    set +e
    (
        ulimit -v $((4 << 20))
        exec /usr/bin/time -f '%e %M' -o "$work/time" timeout 300 "$builder" -o "$work/out.exe" "$work/p.msp"
    ) > "$work/stdout" 2> "$work/stderr"
    status=$?
    set -e
    read -r seconds peak < <(tail -n 1 "$work/time")
    said=$(sed -n 's/^  upgrade:  [^;]*; //p' "$work/stdout")
    [ ${#said} -le 100 ] || said="${said:0:97}..."
    warnings=$(grep -c '^build-wrapper: warning: ' "$work/stderr" || true)
    [ "$warnings" = 0 ] || said+="; $warnings warning(s)"
    refused=$(grep -m 1 -v '^build-wrapper: warning: ' "$work/stderr" | sed 's/^build-wrapper: refused: slot 1 ([^)]*): //' || true)
    [ -z "$refused" ] || said+="${said:+; }${refused:0:100}"
    [ "$status" -lt 128 ] || said+="${said:+; }killed by signal $((status - 128))"
    [ "$status" != 124 ] || said+="${said:+; }stopped after 300 s"
    printf '%-38s %7s %4s %8s %8s  %s\n' "$name" "$(($(stat -c %s "$work/p.msp") >> 20))" "$status" "$seconds" \
        "$((peak / 1024))" "$said"
done
