# Sourced by ./test and ./windows-kit: configures the build trees under
# BUILD the same way for both, so that either reuses what the other built.
#
#   configure_windows_tree BUILD x86|x64   BUILD/win-ARCH, built with mingw-w64;
#                                          its tests run under Wine
#   configure_native_tree BUILD            BUILD/native, with the sanitizers
#
# The x64 tree's build-wrapper.exe carries the x86 tree's wrapper: x86 first.

configure_windows_tree() {
    local build=$1 arch=$2 repo builder_option=()
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    [ "$arch" = x86 ] || builder_option=(-DWRAPPER_X86_EXE="$build/win-x86/wrapper.exe")
    cmake -S "$repo" -B "$build/win-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-$arch.cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$repo/tests/wine/run-in-prefix.sh" "${builder_option[@]}" >/dev/null
}

# Its build-wrapper carries the wrappers of the two Windows trees, as
# build-wrapper.exe does.
configure_native_tree() {
    local build=$1 repo
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    cmake -S "$repo" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
        -DWRAPPER_X64_EXE="$build/win-x64/wrapper.exe" -DWRAPPER_X86_EXE="$build/win-x86/wrapper.exe" >/dev/null
}
