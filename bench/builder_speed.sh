#!/usr/bin/env bash
# Building a wrapper of fifteen 40 MB real patches, as the README builds
# it (the checks on, --manifest), against the limits: `cat` of the stub
# and the patches into one file, and `openssl dgst -sha256` of the
# patches (the manifest hashes each patch and the wrapper). Each patch is
# a real patch (5 KB) with random bytes appended, as a patch's cabinet
# makes it large: the checks read the compound file's header, tables,
# directory, summary and transforms, and never the bulk. The Linux
# build-wrapper (the static release build that ./build-wrapper runs) with
# --manifest, checked without it and with --unchecked, and
# build-wrapper.exe under Wine with --manifest and without, in turns after
# a warm-up run of each. Prints the median wall time of 5 runs each, the
# ratios, and the peak memory: for the Linux builder its own (GNU time),
# for build-wrapper.exe the Windows process itself, sampled from /proc
# while it runs (Wine starts it outside the launcher's process tree),
# resident and private. Then the peak of either builder, with --manifest,
# for one 600 MB real patch.
#
# BENCH_LINUX_BUILDER and BENCH_EXE_BUILDER name other builders to
# measure, such as those of an earlier commit (cmake/build-builder.sh
# builds both: PREFIX-linux/build-wrapper, and PREFIX-x64/build-wrapper.exe
# with its target build_wrapper).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_build
exe_builder=${BENCH_EXE_BUILDER:-$BENCH_REPO/build/win-x64/build-wrapper.exe}
# The launcher builds the Linux builder on first use; the runs below time
# the builder itself.
linux_builder=${BENCH_LINUX_BUILDER:-}
if [ -z "$linux_builder" ]; then
    "$BENCH_REPO/build-wrapper" --help 2>/dev/null || true
    linux_builder=${WRAPPER_BUILD_ROOT:-$BENCH_REPO/build}/builder-linux/build-wrapper
fi
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

# exe_run NAME ARGUMENTS...: one run of build-wrapper.exe with ARGUMENTS
# (Windows paths), writing into $work; its time and peaks appended to
# NAME_times, NAME_peaks and NAME_private.
exe_run() {
    local name=$1 start launcher peak
    shift
    clear_outputs
    start=$(now)
    wine "$exe_builder" "$@" >/dev/null &
    launcher=$!
    peak=$(sample_exe_peak "$launcher")
    wait "$launcher"
    eval "${name}_times+=(\"\$(elapsed \"\$start\")\")"
    eval "${name}_peaks+=(\"${peak% *}\")"
    eval "${name}_private+=(\"${peak#* }\")"
}

# The README's command, and the same without the manifest.
manifest=("$linux_builder" -o "$work/manifest.out" --manifest "$work/manifest.json" "${patches[@]}")
checked=("$linux_builder" -o "$work/checked.out" "${patches[@]}")
unchecked=("$linux_builder" --unchecked -o "$work/unchecked.out" "${patches[@]}")
openssl=(openssl dgst -sha256 -out "$work/openssl.out" "${patches[@]}")
exe_manifest=(-o "$(z_path "$work/exe-manifest.out")" --manifest "$(z_path "$work/exe-manifest.json")"
    "${exe_patches[@]}")
exe_checked=(-o "$(z_path "$work/exe.out")" "${exe_patches[@]}")
# Warm: the patches in the page cache, Wine's server running.
"${manifest[@]}" >/dev/null
"${checked[@]}" >/dev/null
"${unchecked[@]}" >/dev/null
"${openssl[@]}"
wine "$exe_builder" "${exe_checked[@]}" >/dev/null
wine "$exe_builder" "${exe_manifest[@]}" >/dev/null
runs=(cat openssl manifest checked unchecked exe exe_manifest)
for name in "${runs[@]}"; do
    eval "${name}_times=() ${name}_peaks=() ${name}_private=()"
done
for _ in 1 2 3 4 5; do
    timed_run cat
    timed_run openssl "${openssl[@]}"
    timed_run manifest "${manifest[@]}"
    timed_run checked "${checked[@]}"
    timed_run unchecked "${unchecked[@]}"
    exe_run exe "${exe_checked[@]}"
    exe_run exe_manifest "${exe_manifest[@]}"
done
# The last run's wrapper and manifest of build-wrapper.exe --manifest,
# beside the others'.
"${manifest[@]}" >/dev/null
"${checked[@]}" >/dev/null
wine "$exe_builder" "${exe_checked[@]}" >/dev/null

for name in "${runs[@]}"; do
    eval "${name}_time=\$(median \"\${${name}_times[@]}\")"
done
limit=$(echo "if ($cat_time > $openssl_time) $cat_time else $openssl_time" | bc -l)
# row LABEL NAME: the median and the runs of NAME.
row() { eval "printf '  %-48s %s s  (runs: %s)\n' \"\$1\" \"\$${2}_time\" \"\${${2}_times[*]}\""; }
echo "build a wrapper of 15 x 40 MB real patches"
row "cat of the stub and the patches:" cat
row "openssl dgst -sha256 of the patches:" openssl
row "Linux build-wrapper --manifest (README):" manifest
echo "                                                   peak $(median "${manifest_peaks[@]}") MB resident"
row "Linux build-wrapper, checked:" checked
echo "                                                   peak $(median "${checked_peaks[@]}") MB resident"
row "Linux build-wrapper --unchecked:" unchecked
row "build-wrapper.exe under Wine --manifest:" exe_manifest
echo "                                                   peak $(median "${exe_manifest_peaks[@]}") MB resident, $(median "${exe_manifest_private[@]}") MB private"
row "build-wrapper.exe under Wine, checked:" exe
echo "                                                   peak $(median "${exe_peaks[@]}") MB resident, $(median "${exe_private[@]}") MB private"
echo "  time ratio Linux --manifest / max(cat, openssl):     $(ratio "$manifest_time" "$limit")  (target <= 1.2)"
echo "  time ratio build-wrapper.exe --manifest / same:      $(ratio "$exe_manifest_time" "$limit")  (target <= 2)"
echo "  time ratio Linux checked / cat:                      $(ratio "$checked_time" "$cat_time")  (target <= 2)"
echo "  time ratio Linux checked / unchecked:                $(ratio "$checked_time" "$unchecked_time")  (target <= 1.2)"
echo "  time ratio build-wrapper.exe checked / cat:          $(ratio "$exe_time" "$cat_time")  (target <= 3)"
same() { if cmp -s "$1" "$2"; then echo "the same bytes"; else echo "DIFFERENT bytes"; fi; }
echo "  wrappers: $(stat -c %s "$work/checked.out") and $(stat -c %s "$work/exe.out") bytes, $(same "$work/checked.out" "$work/exe.out");" \
    "with --manifest $(same "$work/manifest.out" "$work/exe-manifest.out")"
echo "  manifests: $(same "$work/manifest.json" "$work/exe-manifest.json")"
# The manifest's hashes, against the patches' and the wrapper's own.
listed=$(python3 -c 'import json, sys; m = json.load(open(sys.argv[1]))
print(m["wrapper"]["sha256"]); [print(s["sha256"]) for s in m["slots"]]' "$work/manifest.json")
if [ "$listed" = "$(sha256sum "$work/manifest.out" "${patches[@]}" | cut -c1-64)" ]; then
    echo "  the manifest's hashes are sha256sum's"
else
    echo "  the manifest's hashes are NOT sha256sum's"
fi

# One patch of 600 MB, with --manifest: what either builder holds does not
# grow with the patch.
rm -f "${patches[@]}"
padded_patch "$work/patches/large.msp" $((600 * 1024 * 1024))
manifest_times=() manifest_peaks=() exe_manifest_times=() exe_manifest_peaks=() exe_manifest_private=()
timed_run manifest "$linux_builder" -o "$work/manifest.out" --manifest "$work/manifest.json" "$work/patches/large.msp"
exe_run exe_manifest -o "$(z_path "$work/exe-manifest.out")" --manifest "$(z_path "$work/exe-manifest.json")" \
    "$(z_path "$work/patches/large.msp")"
echo "build a wrapper of one 600 MB real patch, --manifest"
echo "  Linux build-wrapper:          ${manifest_times[0]} s, peak ${manifest_peaks[0]} MB resident  (target <= 64 MB)"
echo "  build-wrapper.exe under Wine: ${exe_manifest_times[0]} s, peak ${exe_manifest_peaks[0]} MB resident," \
    "${exe_manifest_private[0]} MB private"
