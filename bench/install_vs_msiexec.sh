#!/usr/bin/env bash
# The wrapper's install run against msiexec /p applying the same kind of
# patch to the same kind of product, both under Wine with the same basic UI
# without cancel. Each run gets its own freshly installed product (same
# package, its own product code) so neither side finds the work done.
# Prints the median wall times of 5 runs each and their ratio.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_start
rounds=5

# prepare N: a product at 3.2.10.0 and a patch for it to 3.2.40.0; prints the code.
prepare() {
    local code
    code=$(new_guid)
    make_product "$work/$1.msi" --code "$code" --name "Bench $1" --version 3.2.10.0
    install_product "$work/$1.msi" >/dev/null
    new_patch "$work/$1.msp" "$code" --from-version 3.2.10.0 --keywords "3.2.40.0;3.2.10.0"
    echo "$code"
}

wrapper_times=() msiexec_times=()
for round in $(seq $rounds); do
    code_w=$(prepare "w$round")
    build_wrapper -o "$work/w$round.exe" "$work/w$round.msp"
    code_m=$(prepare "m$round")

    start=$(now)
    wine "$work/w$round.exe" /q
    wrapper_times+=("$(elapsed "$start")")

    start=$(now)
    wine msiexec /p "$(z_path "$work/m$round.msp")" /qb! REBOOTPROMPT=S
    msiexec_times+=("$(elapsed "$start")")

    [ "$(product_version "$code_w")" = 3.2.40.0 ] || { echo "wrapper run $round did not patch" >&2; exit 1; }
    [ "$(product_version "$code_m")" = 3.2.40.0 ] || { echo "msiexec run $round did not patch" >&2; exit 1; }
done

wrapper=$(median "${wrapper_times[@]}")
msiexec=$(median "${msiexec_times[@]}")
echo "install run, one patch on one product ($rounds runs each)"
echo "  wrapper /q:        ${wrapper} s  (runs: ${wrapper_times[*]})"
echo "  msiexec /p /qb!:   ${msiexec} s  (runs: ${msiexec_times[*]})"
echo "  wall-time ratio wrapper/msiexec: $(ratio "$wrapper" "$msiexec")  (target <= 1.3)"
