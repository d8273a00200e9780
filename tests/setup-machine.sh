#!/usr/bin/env bash
# Installs what building and testing needs, from Debian's packages (and
# the en_US.UTF-8 locale), and the Windows kit's workflow validator from
# npm. Does nothing when everything is there already.
set -euo pipefail

packages=(
    cmake ninja-build g++ googletest clang libclang-rt-14-dev llvm
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    wine wine64 wine32:i386 msitools wixl
    osslsigncode openssl
    xvfb x11-apps xdotool imagemagick
    bc time file icoutils python3-pefile python3-jsonschema jq zip unzip locales
)

# The validator of .github/workflows/windows.yml, at a pinned version, under
# build/ (the windows_workflow test). npm comes with the machine's Node.js;
# where there is none, or the registry cannot be reached, that test is
# skipped and says so.
validator=$(cd "$(dirname "$0")/.." && pwd)/build/action-validator
validator_version=0.6.0
if ! grep -qs "\"version\": \"$validator_version\"" "$validator/node_modules/@action-validator/cli/package.json"; then
    if ! command -v npm >/dev/null; then
        echo "No npm here: the workflow validator is not installed"
    elif ! npm install --prefix "$validator" --save-exact --no-audit --no-fund --loglevel=error \
        "@action-validator/cli@$validator_version" >/dev/null; then
        echo "npm could not install @action-validator/cli@$validator_version"
    fi
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# A locale whose collation differs from C's: the release must give the
# same bytes under it.
if ! locale -a | grep -qix 'en_US\.utf-\?8'; then
    localedef -i en_US -f UTF-8 en_US.UTF-8
fi
