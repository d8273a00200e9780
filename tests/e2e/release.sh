#!/usr/bin/env bash
# ./release DIR writes build-wrapper.exe, the Linux build-wrapper, the
# archives patch-wrapper-VERSION.tar.gz and .zip and SHA256SUMS, which
# verifies them all; a second release from trees of its own, elsewhere,
# writes the same bytes. The archives hold one folder, the same names in
# both, sorted, owned by root, dated at the last commit: the builders and
# their sums, the README and the manual with no link leading out of it, the
# schemas, the licences and the changelog; the Linux builder unpacked from
# it builds the released builder's wrapper, and its manifest is valid
# against the schema beside it. build-wrapper.exe imports only system
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
name=patch-wrapper-$(wrapper_version)
published="build-wrapper build-wrapper.exe $name.tar.gz $name.zip"
check_same "five files" "$(ls "$release" | xargs)" "SHA256SUMS $published"
check_same "SHA256SUMS: the builders and the archives" "$(cut -c67- "$release/SHA256SUMS" | xargs)" "$published"
check "SHA256SUMS verifies them" eval '(cd "$release" && sha256sum --check --strict --quiet SHA256SUMS)'
check "a second release, built elsewhere from nothing under another locale, gives the same sums" eval \
    'WRAPPER_BUILD_ROOT="$work/elsewhere" LC_ALL=en_US.UTF-8 "$E2E_REPO/release" "$work/again" > "$work/again.log" 2>&1 &&
     cmp -s "$release/SHA256SUMS" "$work/again/SHA256SUMS"'
for archive in "$name.tar.gz" "$name.zip"; do
    check "$archive: the second release's is the same bytes" cmp -s "$release/$archive" "$work/again/$archive"
done

names=$( (printf '%s\n' "" CHANGELOG.md LICENSE README.md SHA256SUMS THIRD-PARTY-NOTICES.md build-wrapper \
    build-wrapper.exe docs/ schemas/ && git -C "$E2E_REPO" ls-files docs schemas) | sed "s|^|$name/|" | LC_ALL=C sort)
check_lines "the tar: one folder, its names sorted" "$(tar -tzf "$release/$name.tar.gz")" "$names"
check_lines "the zip: the same names" "$(unzip -Z1 "$release/$name.zip")" "$names"
date=$(TZ=UTC date -d "@${SOURCE_DATE_EPOCH:-$(git -C "$E2E_REPO" log -1 --format=%ct)}" '+%F %T')
check_lines "the tar: owned by root, fixed modes, dated at the last commit" \
    "$(TZ=UTC tar --full-time -tvzf "$release/$name.tar.gz" | awk '{ print $1, $2, $4, $5 }' | sort -u)" \
    "$(printf '%s root/root '"$date"'\n' -rw-r--r-- -rwxr-xr-x drwxr-xr-x)"
unpacked=$work/unpacked/$name
mkdir -p "$work/unpacked" "$work/unzipped"
tar -xzf "$release/$name.tar.gz" -C "$work/unpacked"
unzip -q "$release/$name.zip" -d "$work/unzipped"
check "the zip: the tar's files" diff -r "$work/unpacked" "$work/unzipped"
check_same "the archive's SHA256SUMS: the builders" "$(cut -c67- "$unpacked/SHA256SUMS" | xargs)" \
    "build-wrapper build-wrapper.exe"
check "the archive's SHA256SUMS verifies them" eval '(cd "$unpacked" && sha256sum --check --strict --quiet SHA256SUMS)'
check "the archive's README and manual: every link leads to something in it" \
    /usr/bin/python3 "$E2E_REPO/tests/e2e/doc_links.py" "$unpacked"
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
(cd / && env -i "$unpacked/build-wrapper" -o "$work/unpacked.exe" --arch x64 --unchecked \
    --manifest "$work/unpacked.json" "$work/fake.msp") >/dev/null 2>&1 || true
check "the archive's Linux builder, with nothing set, writes the same wrapper" cmp -s "$work/unpacked.exe" "$work/x64.exe"
check_lines "its manifest, valid against the archive's schema" \
    "$(manifest_facts "$unpacked/schemas/manifest.schema.json" "$work/unpacked.json")" \
    "$(wrapper_version) x64 $(stat -c %s "$work/x64.exe") $(sha256sum < "$work/x64.exe" | cut -c1-64)
slot 1 fake.msp 4096 $(sha256sum < "$work/fake.msp" | cut -c1-64) unchecked null"

finish
