#!/usr/bin/env bash
# Building a wrapper of fifteen 40 MB patches (the compound-file
# signature, then random bytes; --unchecked, as such files have no
# summary), against the limit: `cat` of the stub and the patches into one
# file. The Linux build-wrapper (the static release build that
# ./build-wrapper runs) and build-wrapper.exe under Wine. Prints the median
# wall time of 5 runs each, the ratios to cat's, and the peak memory: for
# the Linux builder its own (GNU time), for build-wrapper.exe the Windows
# process itself, sampled from /proc while it runs (Wine starts it outside
# the launcher's process tree), resident and private.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build --builder
exe_builder=$BENCH_REPO/build/win-x64/build-wrapper.exe
# The launcher builds the Linux builder on first use; the runs below time
# the builder itself.
"$BENCH_REPO/build-wrapper" --help 2>/dev/null || true
linux_builder=${WRAPPER_BUILD_ROOT:-$BENCH_REPO/build}/builder-linux/build-wrapper
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
stub=$BENCH_REPO/build/win-x64/wrapper.exe
linux=("$linux_builder" --unchecked -o "$work/linux.exe" "${patches[@]}")
exe=(wine "$exe_builder" --unchecked -o "$(z_path "$work/exe.exe")" "${exe_patches[@]}")

# cat_build: the limit, a plain copy of the same bytes; its time appended.
cat_build() {
    local start
    rm -f "$work/cat.exe"
    sync
    start=$(now)
    cat "$stub" "${patches[@]}" > "$work/cat.exe"
    cat_times+=("$(elapsed "$start")")
}

# linux_build: one run of the Linux builder; its time and peak appended.
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

# Warm: the patches in the page cache, Wine's server running.
"${linux[@]}" >/dev/null
"${exe[@]}" >/dev/null
cat_times=() linux_times=() linux_peaks=() exe_times=() exe_peaks=() exe_private=()
for _ in 1 2 3 4 5; do
    cat_build
    linux_build
    exe_build
done

cat_time=$(median "${cat_times[@]}")
linux_time=$(median "${linux_times[@]}")
exe_time=$(median "${exe_times[@]}")
echo "build a wrapper of 15 x 40 MB patches"
echo "  cat of the stub and the patches: ${cat_time} s  (runs: ${cat_times[*]})"
echo "  Linux build-wrapper:             ${linux_time} s  (runs: ${linux_times[*]})"
echo "                                   peak $(median "${linux_peaks[@]}") MB resident"
echo "  build-wrapper.exe under Wine:    ${exe_time} s  (runs: ${exe_times[*]})"
echo "                                   peak $(median "${exe_peaks[@]}") MB resident, $(median "${exe_private[@]}") MB private"
echo "  time ratio Linux build-wrapper / cat: $(ratio "$linux_time" "$cat_time")  (target <= 2)"
echo "  time ratio build-wrapper.exe / cat:   $(ratio "$exe_time" "$cat_time")  (target <= 3)"
if cmp -s "$work/linux.exe" "$work/exe.exe"; then same="the same bytes"; else same="DIFFERENT bytes"; fi
echo "  wrappers: $(stat -c %s "$work/linux.exe") and $(stat -c %s "$work/exe.exe") bytes, $same"
