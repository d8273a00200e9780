#!/usr/bin/env bash
# Builds the Linux build-wrapper and the two wrappers without patches it
# carries, in release trees beside each other:
#
#   cmake/build-builder.sh PREFIX
#
# PREFIX-x86 and PREFIX-x64 (the wrappers, x86 first as ./test does),
# PREFIX-linux/build-wrapper (statically linked: it runs on any x86-64
# Linux). Later runs only bring them up to date.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
prefix=$1

# The x64 tree can build build-wrapper.exe too, which carries the x86 wrapper.
for arch in x86 x64; do
    [ -f "$prefix-$arch/build.ninja" ] ||
        cmake -S "$repo" -B "$prefix-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-$arch.cmake" -DWRAPPER_BUILD_TESTS=OFF \
            -DWRAPPER_X86_EXE="$prefix-x86/wrapper.exe"
    cmake --build "$prefix-$arch" --target wrapper
done
[ -f "$prefix-linux/build.ninja" ] ||
    cmake -S "$repo" -B "$prefix-linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWRAPPER_BUILD_TESTS=OFF \
        -DWRAPPER_STATIC_BUILDER=ON -DWRAPPER_X64_EXE="$prefix-x64/wrapper.exe" \
        -DWRAPPER_X86_EXE="$prefix-x86/wrapper.exe"
cmake --build "$prefix-linux" --target build_wrapper
