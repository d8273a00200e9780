#!/usr/bin/env bash
# build-wrapper on real patches: it refuses the ones the wrapper could never
# apply, warns about the ones it would misread in part, prints the slot map,
# signs with --sign (a signature osslsigncode verifies, a wrapper that still
# runs under Wine), and every wrapper carries the version resource of
# res/version.h as Windows reads it.
#   build_wrapper_checks.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$@"
probe=$TEST_TOOLS_DIR/version_probe.exe

wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work"

# verifies CERT.pem EXE: osslsigncode accepts EXE's signature as made by CERT.
verifies() {
    osslsigncode verify -in "$2" -CAfile "$1" > "$work/verify" 2>&1
}

# built NAME ARGS...: exit 0 and a wrapper written.
built() {
    local name=$1
    shift
    run_build "$@"
    check_same "$name: exit code" "$BUILD_STATUS" 0
    [ "$BUILD_STATUS" = 0 ] || sed 's/^/  stderr: /' "$work/stderr" >&2
    check "$name: wrapper written" [ -s "$work/out.exe" ]
}

# warned NAME TEXT ARGS...: built, with exactly the warning TEXT (one line).
warned() {
    local name=$1 text=$2
    shift 2
    built "$name" "$@"
    check_same "$name: the warning" "$(grep -F 'warning:' "$work/stderr")" "build-wrapper: warning: $text"
}

# patch OUT.msp ARGS...: a real patch of product $code_a (unless ARGS name
# products) with a fresh patch code.
patch() {
    local out=$1
    shift
    make_patch "$out" --patch-code "$(new_guid)" "$@" >/dev/null
}

code_a=$(new_guid) code_b=$(new_guid)
p() { echo "$work/$1.msp"; }

make_patches() {
    patch "$(p good)" --product-code "$code_a" --product-code "$code_b" --to-version 3.2.40.0 \
        --keywords "3.2.40.0;3.2.10.0,3.2.20.0"
    patch "$(p no-keywords)" --product-code "$code_a" --to-version 3.2.40.0 --no-keywords
    patch "$(p empty-keywords)" --product-code "$code_a" --to-version 3.2.40.0 --keywords ""
    patch "$(p no-semicolon)" --product-code "$code_a" --to-version 3.2.40.0 --keywords "3.2.40.0"
    patch "$(p leading-semicolon)" --product-code "$code_a" --to-version 3.2.40.0 --keywords ";3.2.10.0"
    patch "$(p no-template)" --product-code "$code_a" --to-version 3.2.40.0 \
        --keywords "3.2.40.0;3.2.10.0" --no-template
    patch "$(p empty-template)" --product-code "$code_a" --to-version 3.2.40.0 \
        --keywords "3.2.40.0;3.2.10.0" --template ""
    patch "$(p leading-template)" --product-code "$code_a" --to-version 3.2.40.0 \
        --keywords "3.2.40.0;3.2.10.0" --template ";$code_a"
    patch "$(p short-upgrade)" --product-code "$code_a" --to-version 3.2.40 --keywords "3.2.40;3.2.10.0"
    patch "$(p short-target)" --product-code "$code_a" --to-version 3.2.40.0 \
        --keywords "3.2.40.0;3.2.10.0,3.2.20"
    patch "$(p above-transforms)" --product-code "$code_a" --to-version 3.2.40.0 --keywords "3.2.50.0;3.2.10.0"
    patch "$(p below-transforms)" --product-code "$code_a" --to-version 3.2.40.0 --keywords "3.2.30.0;3.2.10.0"
    # The same patch once more, with the transforms' ProductVersion rows renamed
    # so that nothing tells where the transforms move the product.
    patch "$(p unknown-version)" --product-code "$code_a" --to-version 3.2.40.0 \
        --keywords "3.2.50.0;3.2.10.0"
    check_same "fixture: one ProductVersion row to hide" \
        "$(grep -c -a ProductVersion "$(p unknown-version)")" 1
    perl -pi -e 's/ProductVersion/ProductXersion/g' "$(p unknown-version)"
    make_fake_patch "$(p fake)" 4096
}
timed make_patches

# --- refusals: the wrapper could never apply these ----------------------------
case_refusals() {
    refused "no Keywords" "it has no Keywords" "$(p no-keywords)"
    refused "empty Keywords" "its Keywords \"\" have no ';'" "$(p empty-keywords)"
    refused "Keywords without ';'" "its Keywords \"3.2.40.0\" have no ';'" "$(p no-semicolon)"
    refused "Keywords beginning with ';'" "its Keywords \";3.2.10.0\" begin with ';'" \
        "$(p leading-semicolon)"
    refused "no Template" "its Template is empty or absent" "$(p no-template)"
    refused "empty Template" "its Template is empty or absent" "$(p empty-template)"
    refused "Template beginning with ';'" "its Template \";$code_a\" begins with ';'" \
        "$(p leading-template)"
    refused "a compound file without summary" "its summary information cannot be read" "$(p fake)"
    # Every problem of every slot is named before the build stops.
    refused "two bad slots, one good" "slot 3 ($(p no-template))" \
        1="$(p good)" 2="$(p no-semicolon)" 3="$(p no-template)"
    check "two bad slots, one good: slot 2 named too" \
        grep -qF "slot 2 ($(p no-semicolon)): its Keywords" "$work/stderr"
    check_same "two bad slots, one good: nothing about slot 1" \
        "$(grep -c "slot 1 " "$work/stderr" || true)" 0
    check_same "two bad slots, one good: no slot map" "$(cat "$work/stdout")" ""
    built "--unchecked embeds what the checks refuse" --unchecked "$(p fake)" "$(p no-keywords)"
    check_same "--unchecked: the slot map names the files" "$(cat "$work/stdout")" \
        "slot 1: $(p fake)"$'\n'"slot 2: $(p no-keywords)"$'\n'"wrote $work/out.exe"
}
timed case_refusals

# --- warnings: built, but part of the patch would be misread ---------------------
case_warnings() {
    built "a sound patch" "$(p good)"
    check_same "a sound patch: no warning" "$(cat "$work/stderr")" ""
    warned "upgrade version of three parts" "slot 1 ($(p short-upgrade)): upgrade version \"3.2.40\" has fewer than four parts; the wrapper reads it as 3.2.0.0" \
        "$(p short-upgrade)"
    warned "target version of three parts" "slot 1 ($(p short-target)): target version \"3.2.20\" has fewer than four parts; the wrapper reads it as 3.2.0.0" \
        "$(p short-target)"
    warned "upgrade version above the transforms'" "slot 1 ($(p above-transforms)): the Keywords' upgrade version 3.2.50.0 differs from 3.2.40.0, the version the patch's transforms move the product to; the wrapper would apply the patch again on every run, and a rollback would look for the patched products at the wrong version" \
        "$(p above-transforms)"
    warned "upgrade version below the transforms'" "slot 1 ($(p below-transforms)): the Keywords' upgrade version 3.2.30.0 differs from 3.2.40.0, the version the patch's transforms move the product to; a rollback would look for the patched products at the wrong version" \
        "$(p below-transforms)"
    warned "transforms that keep the version" "slot 1 ($(p unknown-version)): the patch's transforms do not change the product's version; the wrapper would apply the patch again on every run, and a rollback would look for the patched products at the wrong version" \
        "$(p unknown-version)"
    check "transforms that keep the version: the slot map says so" \
        grep -qF "  upgrade:  3.2.50.0; the transforms leave the product's version as it is" "$work/stdout"
}
timed case_warnings

# --- the slot map ----------------------------------------------------------------
case_slot_map() {
    built "slot map" 5="$(p short-upgrade)" "$(p good)" "$(p short-target)"
    check_same "slot map: the lines" "$(cat "$work/stdout")" "slot 1: $(p good)
  products: $code_a, $code_b
  targets:  3.2.10.0, 3.2.20.0
  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0
slot 2: $(p short-target)
  products: $code_a
  targets:  3.2.10.0, 3.2.20 (reads as 3.2.0.0)
  upgrade:  3.2.40.0; the transforms move the product to 3.2.40.0
slot 5: $(p short-upgrade)
  products: $code_a
  targets:  3.2.10.0
  upgrade:  3.2.40 (reads as 3.2.0.0); the transforms move the product to 3.2.40
wrote $work/out.exe"
    check_same "slot map: one warning per misread version" "$(grep -c 'warning:' "$work/stderr")" 2
}
timed case_slot_map

# --- signing -------------------------------------------------------------------
# A self-signed code-signing certificate, as a PKCS#12 file with a password,
# one without, and a second certificate that did not sign anything.
make_certificates() {
    local name
    for name in signer stranger; do
        openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 2 -subj "/CN=Norvale test $name" \
            -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
            -keyout "$work/$name.key" -out "$work/$name.pem" 2>/dev/null
    done
    printf 'right horse\n' > "$work/password"
    printf 'wrong horse\n' > "$work/wrong-password"
    openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" \
        -passout file:"$work/password" -out "$work/signer.pfx"
    openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" \
        -passout pass: -out "$work/open.pfx"
}
timed make_certificates

# extracted_by NAME EXE: /e under Wine writes the patch of slot 1 byte for byte.
extracted_by() {
    local name=$1 exe=$2 out=$work/extract-$1
    mkdir -p "$out"
    run_wine "$exe" /e "$(z_path "$out")\\fix.msp"
    check_same "$name: /e exit code" "$RUN_STATUS" 0
    check "$name: /e writes the patch unchanged" cmp -s "$(p good)" "$out/fix1.msp"
}

case_signing() {
    built "unsigned" "$(p good)"
    cp "$work/out.exe" "$work/unsigned.exe"
    check "unsigned: osslsigncode finds no signature" eval '! verifies "$work/signer.pem" "$work/unsigned.exe"'

    built "signed" --sign "$work/signer.pfx" --password-file "$work/password" "$(p good)"
    cp "$work/out.exe" "$work/signed.exe"
    check "signed: says so" grep -qxF "signed with $work/signer.pfx" "$work/stdout"
    check "signed: osslsigncode verifies it against the signer" verifies "$work/signer.pem" "$work/signed.exe"
    check "signed: signature verification ok" grep -qx "Signature verification: ok" "$work/verify"
    check "signed: SHA-256 digests" grep -q "Message digest algorithm *: SHA256" "$work/verify"
    check "signed: not trusted through another certificate" \
        eval '! verifies "$work/stranger.pem" "$work/signed.exe"'
    # The signature covers the image: a changed byte in the resources breaks it.
    cp "$work/signed.exe" "$work/tampered.exe"
    printf 'X' | dd of="$work/tampered.exe" bs=1 seek=$(($(stat -c %s "$work/unsigned.exe") - 100)) \
        conv=notrunc 2>/dev/null
    check "signed: a changed byte fails verification" eval '! verifies "$work/signer.pem" "$work/tampered.exe"'
    check "signed: past the headers, the unsigned wrapper byte for byte up to the signature" \
        cmp -s <(tail -c +4097 "$work/unsigned.exe") \
               <(head -c "$(stat -c %s "$work/unsigned.exe")" "$work/signed.exe" | tail -c +4097)
    extracted_by unsigned "$work/unsigned.exe"
    extracted_by signed "$work/signed.exe"

    built "signed without a password" --sign "$work/open.pfx" "$(p good)"
    check "signed without a password: verifies" verifies "$work/signer.pem" "$work/out.exe"

    refused "missing certificate" "certificate file '$work/none.pfx' does not exist" \
        --sign "$work/none.pfx" "$(p good)"
    refused "wrong password" "cannot open certificate '$work/signer.pfx': wrong password in '$work/wrong-password'" \
        --sign "$work/signer.pfx" --password-file "$work/wrong-password" "$(p good)"
    refused "password needed" "cannot open certificate '$work/signer.pfx': it has a password" \
        --sign "$work/signer.pfx" "$(p good)"
    refused "missing password file" "password file '$work/none' does not exist" \
        --sign "$work/signer.pfx" --password-file "$work/none" "$(p good)"
    refused "not a PKCS#12 file" "'$work/signer.pem' is not a PKCS#12 (.pfx) certificate file" \
        --sign "$work/signer.pem" "$(p good)"
    refused "password file without --sign" "--password-file belongs to --sign" \
        --password-file "$work/password" "$(p good)"
}
timed case_signing

# --- the version resource --------------------------------------------------------
version_define() {
    sed -n "s/^#define WRAPPER_$1 //p" "$E2E_REPO/res/version.h" | tr -d '"'
}

case_version_info() {
    local version expected
    version=$(for part in MAJOR MINOR BUILD REVISION; do version_define "VERSION_$part"; done | paste -sd.)
    check "version.h gives four numbers" grep -qxE '[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+' <<< "$version"
    expected="signature=feef04bd
file_version=$version
product_version=$version
file_type=1
translation=000004b0
CompanyName=Norvale
FileDescription=$(version_define FILE_DESCRIPTION)
FileVersion=$version
ProductName=$(version_define PRODUCT_NAME)
ProductVersion=$version
InternalName=wrapper"
    local exe
    for exe in unsigned signed; do
        check_same "version resource of the $exe wrapper" \
            "$(timeout 60 wine "$probe" "$(z_path "$work/$exe.exe")" | tr -d '\r')" "$expected"
    done
    check_same "version resource: product name" "$(version_define PRODUCT_NAME)" "Patch wrapper"
    # rc.exe's grammar, as LLVM's rc-compatible compiler reads it. The input
    # goes in relative: an absolute path such as /ci/... would be read as a
    # switch (/c is the code page option).
    local llvm_rc
    llvm_rc=$(command -v llvm-rc || ls /usr/bin/llvm-rc-* 2>/dev/null | head -n 1 || true)
    if [ -n "$llvm_rc" ]; then
        check "version.rc compiles with an rc.exe-compatible compiler" \
            env -C "$E2E_REPO/res" "$llvm_rc" /I /usr/share/mingw-w64/include /FO "$work/version.res" \
            version.rc
    else
        echo "  (no llvm-rc here: the rc.exe grammar check is left out)"
    fi
}
timed case_version_info

finish
