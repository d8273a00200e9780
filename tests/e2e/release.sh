#!/usr/bin/env bash
# ./release DIR writes build-wrapper.exe, the Linux build-wrapper and
# SHA256SUMS, which verifies them; a second release from trees of its own,
# elsewhere, writes the same sums. build-wrapper.exe imports only system
# DLLs; the Linux builder needs nothing on the machine (a static program,
# run with an empty environment). Both carry the x64 and the x86 wrapper
# without patches and write the same bytes from the same patches: under
# Wine, a wrapper of each architecture that is the released tree's own
# wrapper in every resource.
#   release.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$1"

wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work"
release=$work/release
build=${WRAPPER_BUILD_ROOT:-$E2E_REPO/build}

check "./release succeeds" eval '"$E2E_REPO/release" "$release" > "$work/release.log" 2>&1'
sed 's/^/  release: /' "$work/release.log"
check_same "three files" "$(ls "$release" | xargs)" "SHA256SUMS build-wrapper build-wrapper.exe"
check "SHA256SUMS verifies the builders" eval '(cd "$release" && sha256sum --check --strict --quiet SHA256SUMS)'
check "a second release, built elsewhere from nothing, gives the same sums" eval \
    'WRAPPER_BUILD_ROOT="$work/elsewhere" "$E2E_REPO/release" "$work/again" > "$work/again.log" 2>&1 &&
     cmp -s "$release/SHA256SUMS" "$work/again/SHA256SUMS"'
check "the Linux builder is a static x86-64 program" eval \
    'file "$release/build-wrapper" | grep -q "ELF 64-bit LSB executable, x86-64.*statically linked"'
check "the builder imports only system DLLs" bash "$E2E_REPO/tests/e2e/imports.sh" "$release/build-wrapper.exe"
check_same "the builder is a 64-bit Windows console program" \
    "$(x86_64-w64-mingw32-objdump -p "$release/build-wrapper.exe" | sed -n 's/^Magic\s*//p;s/^Subsystem\s*//p' | xargs)" \
    "020b (PE32+) 00000003 (Windows CUI)"

# resources_of EXE: every resource, as resource_probe lists it.
resources_of() {
    timeout 60 wine "$TEST_TOOLS_DIR/resource_probe.exe" "$(z_path "$1")" | tr -d '\r' | sort
}

resources_of "$release/build-wrapper.exe" > "$work/builder-resources"
make_fake_patch "$work/fake.msp" 4096
for arch in x64 x86; do
    check_same "$arch: carried once" "$(grep -c "^#10 WRAPPER_${arch^^} 0 " "$work/builder-resources")" 1
    run_wine "$release/build-wrapper.exe" -o "$(z_path "$work/$arch.exe")" --arch "$arch" --unchecked \
        "$(z_path "$work/fake.msp")"
    check_same "$arch: build-wrapper.exe writes a wrapper" "$RUN_STATUS" 0
    (cd / && env -i "$release/build-wrapper" -o "$work/linux-$arch.exe" --arch "$arch" --unchecked "$work/fake.msp") \
        >/dev/null 2>&1
    check "$arch: the Linux builder, with nothing set, writes the same bytes" cmp -s "$work/$arch.exe" "$work/linux-$arch.exe"
    check_same "$arch: the release tree's wrapper in every resource" \
        "$(resources_of "$work/$arch.exe" | grep -v '^MSP ')" "$(resources_of "$build/release-$arch/wrapper.exe")"
done
check_same "x64: a 64-bit wrapper" "$(x86_64-w64-mingw32-objdump -f "$work/x64.exe" | sed -n 's/.*file format //p')" \
    pei-x86-64
check_same "x86: a 32-bit wrapper" "$(x86_64-w64-mingw32-objdump -f "$work/x86.exe" | sed -n 's/.*file format //p')" \
    pei-i386

finish
