# Sourced by the benchmarks: a Wine prefix of their own (as in the tests),
# the build trees they need, and a clock.

BENCH_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$BENCH_REPO/tests/e2e/lib.sh"

# bench_build [--builder]: the x64 test tree; with --builder the x86 tree's
# wrapper first, so that the x64 tree builds build-wrapper.exe too.
bench_build() {
    "$BENCH_REPO/tests/setup-machine.sh"
    local build=$BENCH_REPO/build options=()
    if [ "${1:-}" = --builder ]; then
        cmake -S "$BENCH_REPO" -B "$build/win-x86" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$BENCH_REPO/cmake/mingw-x86.cmake" \
            -DCMAKE_CROSSCOMPILING_EMULATOR="$BENCH_REPO/tests/wine/run-in-prefix.sh" >/dev/null
        cmake --build "$build/win-x86" --target wrapper >/dev/null
        options=(-DWRAPPER_X86_EXE="$build/win-x86/wrapper.exe")
    fi
    cmake -S "$BENCH_REPO" -B "$build/win-x64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$BENCH_REPO/cmake/mingw-x64.cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$BENCH_REPO/tests/wine/run-in-prefix.sh" "${options[@]}" >/dev/null
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
