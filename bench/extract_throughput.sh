#!/usr/bin/env bash
# /e of fifteen 40 MB patches against cp of the same bytes: the wrapper
# writes each patch straight from its mapped image, so it should come close
# to a plain copy. Prints both times (median of 5) and the throughput ratio.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build
wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work/patches" "$work/out" "$work/copy"

patches=()
for slot in $(seq 15); do
    make_fake_patch "$work/patches/p$slot.msp" $((40 * 1024 * 1024))
    patches+=("$work/patches/p$slot.msp")
done
build_wrapper --unchecked -o "$work/w15.exe" "${patches[@]}"
wine "$work/w15.exe" /pi   # warm: the image is in the page cache for both sides

wrapper_times=() copy_times=() start_times=()
for _ in 1 2 3 4 5; do
    start=$(now)
    wine "$work/w15.exe" /pi   # the same process doing nothing: its start alone
    start_times+=("$(elapsed "$start")")

    rm -f "$work/out"/*
    sync
    start=$(now)
    wine "$work/w15.exe" /e "$(winepath -w "$work/out/fix.msp")"
    wrapper_times+=("$(elapsed "$start")")

    rm -f "$work/copy"/*
    sync
    start=$(now)
    cp "${patches[@]}" "$work/copy/"
    copy_times+=("$(elapsed "$start")")
done
for slot in $(seq 15); do
    cmp -s "$work/patches/p$slot.msp" "$work/out/fix$slot.msp" || { echo "slot $slot differs" >&2; exit 1; }
done

wrapper=$(median "${wrapper_times[@]}")
copy=$(median "${copy_times[@]}")
started=$(median "${start_times[@]}")
writing=$(echo "$wrapper - $started" | bc -l | xargs printf '%.3f')
echo "extract: 15 x 40 MB"
echo "  wrapper /e (incl. process start): ${wrapper} s  (runs: ${wrapper_times[*]})"
echo "  wrapper /pi (process start only): ${started} s  (runs: ${start_times[*]})"
echo "  cp of the same bytes:             ${copy} s  (runs: ${copy_times[*]})"
echo "  throughput ratio wrapper/cp:      $(ratio "$copy" "$wrapper")  (target >= 0.8)"
echo "  the same without process start:   $(ratio "$copy" "$writing")"
