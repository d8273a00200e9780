# Sourced by the benchmarks: a Wine prefix of their own (as in the tests),
# the build trees they need, and a clock.

BENCH_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$BENCH_REPO/tests/e2e/lib.sh"

# bench_build: the x64 test tree, configured as ./test configures it, and
# the x86 tree's wrapper first, which the x64 tree's build-wrapper.exe
# carries.
bench_build() {
    "$BENCH_REPO/tests/setup-machine.sh"
    local build=$BENCH_REPO/build
    source "$BENCH_REPO/cmake/test-trees.sh"
    configure_windows_tree "$build" x86
    cmake --build "$build/win-x86" --target wrapper >/dev/null
    configure_windows_tree "$build" x64
    cmake --build "$build/win-x64" >/dev/null
    load_tools "$build/win-x64/tests/tools"
}

# bench_start: the build, a Wine prefix of the benchmark's own, and its
# work folder in $work.
bench_start() {
    bench_build
    wine_test_start win64
    work=$WINE_TEST_DIR/work
    mkdir -p "$work"
}

now() { date +%s.%N; }

# elapsed START: seconds since START, three decimals.
elapsed() { echo "$(now) - $1" | bc -l | xargs printf '%.3f'; }

# median of the numbers given.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }
