#!/usr/bin/env bash
# Peak memory of /e for a 1 MB and a 200 MB patch. The patch is written from
# the mapped image without a copy, so the peak grows by at most about the
# patch size (the mapped pages that were touched), not twice that.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build
wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work/out"

peak_kb() {
    local exe=$1 kb
    /usr/bin/time -f '%M' -o "$work/time.txt" wine "$exe" /e "$(winepath -w "$work/out/x.msp")"
    kb=$(tail -n1 "$work/time.txt")
    rm -f "$work/out"/*
    echo "$kb"
}

declare -A peak
for size in 1 200; do
    make_fake_patch "$work/p$size.msp" $((size * 1024 * 1024))
    build_wrapper --unchecked -o "$work/w$size.exe" "$work/p$size.msp"
    peak_kb "$work/w$size.exe" >/dev/null   # warm the page cache
    peak[$size]=$(peak_kb "$work/w$size.exe")
done
growth=$(( (peak[200] - peak[1]) / 1024 ))
echo "extract memory (peak resident set of the wrapper process)"
echo "  1 MB patch:   $((peak[1] / 1024)) MB"
echo "  200 MB patch: $((peak[200] / 1024)) MB"
echo "  growth:       ${growth} MB for 199 MB more patch (target: at most about the patch size)"
