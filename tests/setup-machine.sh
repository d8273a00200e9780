#!/usr/bin/env bash
# Installs what building and testing needs, from Debian's packages. Does
# nothing when everything is there already.
set -euo pipefail

packages=(
    cmake ninja-build g++ googletest clang libclang-rt-14-dev llvm
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    wine wine64 wine32:i386 msitools wixl
    osslsigncode openssl
    xvfb x11-apps xdotool imagemagick
    bc time file icoutils python3-pefile python3-jsonschema jq
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
