#!/usr/bin/env bash
# build-wrapper.exe under Wine against ./build-wrapper, each building a
# wrapper of fifteen 40 MB patches (the compound-file signature, then
# random bytes; --unchecked for both, as such files have no summary).
# Prints the median wall time of 5 runs each, the ratio, and the peak
# resident set of each builder's largest process.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build --builder
builder=$BENCH_REPO/build/win-x64/build-wrapper.exe
wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work/patches"

patches=()
for slot in $(seq 15); do
    make_fake_patch "$work/patches/p$slot.msp" $((40 * 1024 * 1024))
    patches+=("$work/patches/p$slot.msp")
done
exe_patches=()
for patch in "${patches[@]}"; do exe_patches+=("$(z_path "$patch")"); done

# timed_build NAME COMMAND...: one build, its wall time and peak memory
# appended to NAME_times and NAME_peaks.
timed_build() {
    local name=$1 start
    shift
    rm -f "$work/$name.exe"
    sync
    start=$(now)
    /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null
    eval "${name}_times+=(\"\$(elapsed \"\$start\")\")"
    eval "${name}_peaks+=(\"\$(( \$(tail -n 1 \"\$work/time.txt\") / 1024 ))\")"
}

linux() { "$BENCH_REPO/build-wrapper" --unchecked -o "$work/linux.exe" "${patches[@]}"; }
exe() { wine "$builder" --unchecked -o "$(z_path "$work/exe.exe")" "${exe_patches[@]}"; }

# Warm: both build trees up to date, the patches in the page cache.
linux >/dev/null
exe >/dev/null
linux_times=() linux_peaks=() exe_times=() exe_peaks=()
for _ in 1 2 3 4 5; do
    timed_build linux linux
    timed_build exe exe
done

linux_time=$(median "${linux_times[@]}")
exe_time=$(median "${exe_times[@]}")
echo "build a wrapper of 15 x 40 MB patches"
echo "  ./build-wrapper:                 ${linux_time} s  (runs: ${linux_times[*]}), peak $(median "${linux_peaks[@]}") MB"
echo "  build-wrapper.exe under Wine:    ${exe_time} s  (runs: ${exe_times[*]}), peak $(median "${exe_peaks[@]}") MB"
echo "  time ratio build-wrapper.exe/./build-wrapper: $(ratio "$exe_time" "$linux_time")  (target <= 1.5)"
echo "  wrapper sizes: $(stat -c %s "$work/linux.exe") and $(stat -c %s "$work/exe.exe") bytes"
