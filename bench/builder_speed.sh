#!/usr/bin/env bash
# build-wrapper.exe under Wine against ./build-wrapper, each building a
# wrapper of fifteen 40 MB patches (the compound-file signature, then
# random bytes; --unchecked for both, as such files have no summary).
# Prints the median wall time of 5 runs each, the ratio, and the peak
# memory: for ./build-wrapper the largest process of the build (GNU time),
# for build-wrapper.exe the Windows process itself, sampled from /proc
# while it runs (Wine starts it outside the launcher's process tree, so
# GNU time on `wine` sees only the launcher), resident and private.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build --builder
builder=$BENCH_REPO/build/win-x64/build-wrapper.exe
wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work/patches"

patches=()
exe_patches=()
for slot in $(seq 15); do
    make_fake_patch "$work/patches/p$slot.msp" $((40 * 1024 * 1024))
    patches+=("$work/patches/p$slot.msp")
    exe_patches+=("$(z_path "$work/patches/p$slot.msp")")
done
linux=("$BENCH_REPO/build-wrapper" --unchecked -o "$work/linux.exe" "${patches[@]}")
exe=(wine "$builder" --unchecked -o "$(z_path "$work/exe.exe")" "${exe_patches[@]}")

# linux_build: one run of ./build-wrapper; its time and peak appended.
linux_build() {
    local start
    rm -f "$work/linux.exe"
    sync
    start=$(now)
    /usr/bin/time -f '%M' -o "$work/time.txt" "${linux[@]}" >/dev/null
    linux_times+=("$(elapsed "$start")")
    linux_peaks+=("$(($(tail -n 1 "$work/time.txt") / 1024))")
}

# exe_build: one run of build-wrapper.exe; its time, peak resident set and
# peak private (anonymous) memory appended, sampled every 20 ms.
exe_build() {
    local start launcher pid field resident=0 private=0 value
    rm -f "$work/exe.exe"
    sync
    start=$(now)
    "${exe[@]}" >/dev/null &
    launcher=$!
    while kill -0 "$launcher" 2>/dev/null; do
        for pid in $(pgrep -f 'build-wrapper\.exe' || true); do
            for field in VmHWM RssAnon; do
                value=$(awk -v f="$field:" '$1 == f { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
                [ -n "$value" ] || continue
                if [ "$field" = VmHWM ]; then
                    [ "$value" -le "$resident" ] || resident=$value
                else
                    [ "$value" -le "$private" ] || private=$value
                fi
            done
        done
        sleep 0.02
    done
    wait "$launcher"
    exe_times+=("$(elapsed "$start")")
    exe_peaks+=("$((resident / 1024))")
    exe_private+=("$((private / 1024))")
}

# Warm: both build trees up to date, the patches in the page cache.
"${linux[@]}" >/dev/null
"${exe[@]}" >/dev/null
linux_times=() linux_peaks=() exe_times=() exe_peaks=() exe_private=()
for _ in 1 2 3 4 5; do
    linux_build
    exe_build
done

linux_time=$(median "${linux_times[@]}")
exe_time=$(median "${exe_times[@]}")
echo "build a wrapper of 15 x 40 MB patches"
echo "  ./build-wrapper:              ${linux_time} s  (runs: ${linux_times[*]})"
echo "                                peak $(median "${linux_peaks[@]}") MB resident (largest process)"
echo "  build-wrapper.exe under Wine: ${exe_time} s  (runs: ${exe_times[*]})"
echo "                                peak $(median "${exe_peaks[@]}") MB resident, $(median "${exe_private[@]}") MB private"
echo "  time ratio build-wrapper.exe / ./build-wrapper: $(ratio "$exe_time" "$linux_time")  (target <= 1.5)"
echo "  wrapper sizes: $(stat -c %s "$work/linux.exe") and $(stat -c %s "$work/exe.exe") bytes"
