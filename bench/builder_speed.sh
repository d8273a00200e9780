#!/usr/bin/env bash
# Building a wrapper of fifteen 40 MB real patches, as administrators build
# it (the checks on), against the limit: `cat` of the stub and the patches
# into one file. Each patch is a real patch (5 KB) with random bytes
# appended, as a patch's cabinet makes it large: the checks read the
# compound file's header, tables, directory, summary and transforms, and
# never the bulk. The Linux build-wrapper (the static release build that
# ./build-wrapper runs), checked and with --unchecked, and build-wrapper.exe
# under Wine, checked, in turns after a warm-up run of each. Prints the
# median wall time of 5 runs each, the ratios, and the peak memory: for the
# Linux builder its own (GNU time), for build-wrapper.exe the Windows
# process itself, sampled from /proc while it runs (Wine starts it outside
# the launcher's process tree), resident and private. Then the peak of
# either builder, checked, for one 600 MB real patch.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build
exe_builder=$BENCH_REPO/build/win-x64/build-wrapper.exe
# The launcher builds the Linux builder on first use; the runs below time
# the builder itself.
"$BENCH_REPO/build-wrapper" --help 2>/dev/null || true
linux_builder=${WRAPPER_BUILD_ROOT:-$BENCH_REPO/build}/builder-linux/build-wrapper
wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work/patches"

# padded_patch OUT SIZE: a real patch of the product $product, then random
# bytes to SIZE, past the compound file's last sector.
product=$(new_guid)
padded_patch() {
    make_patch "$1" --patch-code "$(new_guid)" --product-code "$product" \
        --from-version 3.2.10.0 --to-version 3.2.40.0 --keywords "3.2.40.0;3.2.10.0" >/dev/null
    head -c $(($2 - $(stat -c %s "$1"))) /dev/urandom >> "$1"
}

patches=()
exe_patches=()
for slot in $(seq 15); do
    padded_patch "$work/patches/p$slot.msp" $((40 * 1024 * 1024))
    patches+=("$work/patches/p$slot.msp")
    exe_patches+=("$(z_path "$work/patches/p$slot.msp")")
done
stub=$BENCH_REPO/build/win-x64/wrapper.exe

# sample_exe_peak LAUNCHER: the peak resident set and private memory of
# build-wrapper.exe while LAUNCHER runs, sampled every 20 ms, in MB.
sample_exe_peak() {
    local launcher=$1 pid field resident=0 private=0 value
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
    echo "$((resident / 1024)) $((private / 1024))"
}

# clear_outputs: every earlier output removed and the disk synced before a
# timed run, so that no run pays for another's write-back or freed blocks
# (this machine's ext4 discards them as they are freed).
clear_outputs() {
    rm -f "$work"/*.out
    sync
}

# timed_run NAME COMMAND...: one run writing $work/NAME.out (the command
# names it); its time appended to NAME_times, the Linux builder's peak (GNU
# time) to NAME_peaks.
timed_run() {
    local name=$1 start
    shift
    clear_outputs
    start=$(now)
    if [ "$name" = cat ]; then
        cat "$stub" "${patches[@]}" > "$work/cat.out"
    else
        /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null
        eval "${name}_peaks+=(\"\$((\$(tail -n 1 \"\$work/time.txt\") / 1024))\")"
    fi
    eval "${name}_times+=(\"\$(elapsed \"\$start\")\")"
}

# exe_run: one run of build-wrapper.exe, checked, writing $work/exe.out;
# its time and peaks appended.
exe_run() {
    local start launcher peak
    clear_outputs
    start=$(now)
    wine "$exe_builder" -o "$(z_path "$work/exe.out")" "${exe_patches[@]}" >/dev/null &
    launcher=$!
    peak=$(sample_exe_peak "$launcher")
    wait "$launcher"
    exe_times+=("$(elapsed "$start")")
    exe_peaks+=("${peak% *}")
    exe_private+=("${peak#* }")
}

checked=("$linux_builder" -o "$work/checked.out" "${patches[@]}")
unchecked=("$linux_builder" --unchecked -o "$work/unchecked.out" "${patches[@]}")
# Warm: the patches in the page cache, Wine's server running.
"${checked[@]}" >/dev/null
"${unchecked[@]}" >/dev/null
wine "$exe_builder" -o "$(z_path "$work/exe.out")" "${exe_patches[@]}" >/dev/null
cat_times=() checked_times=() checked_peaks=() unchecked_times=() unchecked_peaks=()
exe_times=() exe_peaks=() exe_private=()
for _ in 1 2 3 4 5; do
    timed_run cat
    timed_run checked "${checked[@]}"
    timed_run unchecked "${unchecked[@]}"
    exe_run
done
# The last run's wrapper of build-wrapper.exe, beside the Linux builder's.
"${checked[@]}" >/dev/null

cat_time=$(median "${cat_times[@]}")
checked_time=$(median "${checked_times[@]}")
unchecked_time=$(median "${unchecked_times[@]}")
exe_time=$(median "${exe_times[@]}")
echo "build a wrapper of 15 x 40 MB real patches"
echo "  cat of the stub and the patches:       ${cat_time} s  (runs: ${cat_times[*]})"
echo "  Linux build-wrapper, checked:          ${checked_time} s  (runs: ${checked_times[*]})"
echo "                                         peak $(median "${checked_peaks[@]}") MB resident"
echo "  Linux build-wrapper --unchecked:       ${unchecked_time} s  (runs: ${unchecked_times[*]})"
echo "                                         peak $(median "${unchecked_peaks[@]}") MB resident"
echo "  build-wrapper.exe under Wine, checked: ${exe_time} s  (runs: ${exe_times[*]})"
echo "                                         peak $(median "${exe_peaks[@]}") MB resident, $(median "${exe_private[@]}") MB private"
echo "  time ratio Linux checked / cat:        $(ratio "$checked_time" "$cat_time")  (target <= 2)"
echo "  time ratio Linux checked / unchecked:  $(ratio "$checked_time" "$unchecked_time")  (target <= 1.2)"
echo "  time ratio build-wrapper.exe / cat:    $(ratio "$exe_time" "$cat_time")  (target <= 3)"
if cmp -s "$work/checked.out" "$work/exe.out"; then same="the same bytes"; else same="DIFFERENT bytes"; fi
echo "  wrappers: $(stat -c %s "$work/checked.out") and $(stat -c %s "$work/exe.out") bytes, $same"

# One patch of 600 MB, checked: what either builder holds does not grow
# with the patch.
rm -f "${patches[@]}"
padded_patch "$work/patches/large.msp" $((600 * 1024 * 1024))
patches=("$work/patches/large.msp")
exe_patches=("$(z_path "$work/patches/large.msp")")
checked_times=() checked_peaks=() exe_times=() exe_peaks=() exe_private=()
timed_run checked "$linux_builder" -o "$work/checked.out" "${patches[@]}"
exe_run
echo "build a wrapper of one 600 MB real patch, checked"
echo "  Linux build-wrapper:          ${checked_times[0]} s, peak ${checked_peaks[0]} MB resident  (target <= 64 MB)"
echo "  build-wrapper.exe under Wine: ${exe_times[0]} s, peak ${exe_peaks[0]} MB resident, ${exe_private[0]} MB private"
