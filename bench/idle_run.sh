#!/usr/bin/env bash
# The run that finds nothing to do, as a startup script makes it on every
# boot: a wrapper carrying fifteen 40 MB patches against the same wrapper
# carrying fifteen small ones, the product already at the upgrade version.
# Reading the targeting data from the embedded bytes should make the size
# of the patches nearly irrelevant. Then the check of the same machine
# (/whatif /q with the 40 MB patches), which should cost about what the
# idle run costs, and the idle run with a receipt (/json), which should add
# little to it. With BASELINE_BUILDER naming a build-wrapper whose wrappers
# write no event (one ./release wrote on a commit before 1.3.0.0), also
# the same wrapper built by it beside the idle run: what the event costs.
# Prints the times (median of 10), their ratios, and checks that no run
# wrote a file into the temporary folder.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_start
find_temp_folder

code=$(new_guid)
make_product "$work/p.msi" --code "$code" --name "Idle" --version 3.2.40.0
install_product "$work/p.msi" >/dev/null
make_patch "$work/small.msp" --patch-code "$(new_guid)" --product-code "$code" \
    --from-version 3.2.10.0 --to-version 3.2.40.0 --keywords "3.2.40.0;3.2.10.0" --template "$code"
# The same patch padded to 40 MB: bytes past the compound file's last
# sector are never read, as in a patch whose files are large.
cp "$work/small.msp" "$work/big.msp"
head -c $((40 * 1024 * 1024 - $(stat -c %s "$work/small.msp"))) /dev/urandom >> "$work/big.msp"

small=() big=()
for slot in $(seq 15); do small+=("$work/small.msp"); big+=("$work/big.msp"); done
build_wrapper -o "$work/small15.exe" "${small[@]}"
build_wrapper -o "$work/big15.exe" "${big[@]}"
baseline=${BASELINE_BUILDER:-}
[ -z "$baseline" ] || WRAPPER_BUILDER=$baseline build_wrapper -o "$work/base15.exe" "${big[@]}"
for exe in small15 big15 ${baseline:+base15}; do
    wine "$work/$exe.exe" /pi   # warm: the images are in the page cache
done

before=$(find "$temp" "$copies" -maxdepth 1 -type f | sort)
small_times=() big_times=() whatif_times=() json_times=() json_costs=() base_times=() event_costs=()
# time_run ARRAY [EXE] ARGS...: one run of the 40 MB wrapper (or of EXE,
# big15 or base15), its time added to ARRAY.
time_run() {
    local -n times=$1
    local start exe=big15
    [[ $2 != *15 ]] || { exe=$2; shift; }
    start=$(now)
    wine "$work/$exe.exe" "${@:2}"
    times+=("$(elapsed "$start")")
}
for round in $(seq 10); do
    start=$(now)
    wine "$work/small15.exe" /q
    small_times+=("$(elapsed "$start")")
    time_run whatif_times /whatif /q
    # The run with a receipt (and the wrapper without the event) beside the
    # idle run, in turns first: the load of the machine moves them alike,
    # and none always follows the same run.
    if [ $((round % 2)) = 0 ]; then
        [ -z "$baseline" ] || time_run base_times base15 /q
        time_run big_times /q
        time_run json_times /q /json "Z:$work/receipt.json"
    else
        time_run json_times /q /json "Z:$work/receipt.json"
        time_run big_times /q
        [ -z "$baseline" ] || time_run base_times base15 /q
    fi
    json_costs+=("$(echo "(${json_times[-1]} - ${big_times[-1]}) * 1000" | bc -l | xargs printf '%.0f')")
    [ -z "$baseline" ] ||
        event_costs+=("$(echo "(${big_times[-1]} - ${base_times[-1]}) * 1000" | bc -l | xargs printf '%.0f')")
done
jq -e '.mode == "install" and .outcome == "UpToDate"' "$work/receipt.json" >/dev/null ||
    { echo "the idle run with /json wrote no receipt of itself" >&2; exit 1; }
after=$(find "$temp" "$copies" -maxdepth 1 -type f | sort)
[ "$before" = "$after" ] || { echo "the idle runs wrote into the temporary folder:" >&2; diff <(echo "$before") <(echo "$after") >&2; exit 1; }
[ "$(product_version "$code")" = 3.2.40.0 ] || { echo "the product moved" >&2; exit 1; }

small_median=$(median "${small_times[@]}")
big_median=$(median "${big_times[@]}")
whatif_median=$(median "${whatif_times[@]}")
json_median=$(median "${json_times[@]}")
echo "idle run /q, product up to date, 15 patches"
echo "  15 x small (${#small[@]} slots, $(stat -c %s "$work/small.msp") bytes each): ${small_median} s  (runs: ${small_times[*]})"
echo "  15 x 40 MB:                                    ${big_median} s  (runs: ${big_times[*]})"
echo "  wall-time ratio 40 MB/small: $(ratio "$big_median" "$small_median")  (target <= 1.5)"
echo "  /whatif /q, 15 x 40 MB:                         ${whatif_median} s  (runs: ${whatif_times[*]})"
echo "  wall-time ratio /whatif/idle run: $(ratio "$whatif_median" "$big_median")  (target <= 1.2)"
echo "  /q /json FILE, 15 x 40 MB:                      ${json_median} s  (runs: ${json_times[*]})"
echo "  /json adds $(median "${json_costs[@]}") ms, the median of the runs' differences to the idle run just before  (target <= 15 ms; differences: ${json_costs[*]} ms)"
if [ -n "$baseline" ]; then
    echo "  /q, 15 x 40 MB, the wrapper without the event:   $(median "${base_times[@]}") s  (runs: ${base_times[*]})"
    echo "  the event adds $(median "${event_costs[@]}") ms, the median of the runs' differences to the wrapper without it beside it  (target: none measurable; differences: ${event_costs[*]} ms)"
else
    echo "  the event's cost: not measured (set BASELINE_BUILDER to a build-wrapper whose wrappers write none)"
fi
echo "  files written to the temporary folder: none"
