#!/usr/bin/env bash
# build-wrapper on real patches: it refuses the ones the wrapper could never
# apply, warns about the ones it would misread in part, prints the slot map,
# signs with --sign (a signature osslsigncode verifies, a wrapper that still
# runs under Wine), and every wrapper carries the version resource of
# res/version.h as Windows reads it.
#
# Given build-wrapper.exe, every case that does not sign runs it too, under
# Wine, and it must end, warn, refuse and map the slots in the same words
# (builders_agree in lib.sh); the wrappers both builders make from the same
# patches carry the same resources, show the same /i report, write the same
# bytes with /e and patch a real product alike; and build-wrapper.exe's own
# cases: names outside ASCII, a missing output folder, 15 slots, a 200 MB
# patch, a patch another program holds open, and failed or killed builds
# that leave nothing behind. Independent readers (llvm-readobj, pefile,
# osslsigncode, the resource-update calls) accept what the builders write.
#   build_wrapper_checks.sh TOOLS_DIR [BUILDER.exe]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$1"
BUILDER_EXE=${2:+$(realpath "$2")}
probe=$TEST_TOOLS_DIR/version_probe.exe

wine_test_start win64
boxes_setup
work=$WINE_TEST_DIR/work
mkdir -p "$work"

# verifies CERT.pem EXE: osslsigncode accepts EXE's signature as made by CERT.
verifies() {
    osslsigncode verify -in "$2" -CAfile "$1" > "$work/verify" 2>&1
}

# ended_well NAME STATUS STDERR-FILE: exit code 0, else what the builder said.
ended_well() {
    check_same "$1: exit code" "$2" 0
    [ "$2" = 0 ] || sed 's/^/  stderr: /' "$3" >&2
}

# built NAME ARGS...: exit 0 and a wrapper written.
built() {
    local name=$1
    shift
    run_build "$@"
    ended_well "$name" "$BUILD_STATUS" "$work/stderr"
    check "$name: wrapper written" [ -s "$work/out.exe" ]
    builders_agree "$name"
}

# warned NAME TEXT ARGS...: built, with exactly the warning TEXT (one line).
warned() {
    local name=$1 text=$2
    shift 2
    built "$name" "$@"
    check_same "$name: the warning" "$(grep -F 'warning:' "$work/stderr")" "build-wrapper: warning: $text"
}

# check_manifest NAME ARCH KIND SLOT=PATCH...: the manifest run_build
# wrote with MANIFEST set is valid against schemas/manifest.schema.json
# and gives the builder's version, ARCH, the wrapper's size and sha256sum,
# each slot's file name, size and sha256sum, whether it was checked (KIND:
# checked, with a patch code as every test patch has, or unchecked) and
# whether it can be removed (removable_of), and the warnings the builder
# printed, each under its slot.
check_manifest() {
    local name=$1 arch=$2 kind=$3 slot file expected version warnings
    shift 3
    version=$(wrapper_version)
    expected="$version $arch $(stat -c %s "$work/out.exe") $(sha256sum < "$work/out.exe" | cut -c1-64)"
    for slot in "$@"; do
        file=${slot#*=}
        expected+=$'\n'"slot ${slot%%=*} $(basename "$file") $(stat -c %s "$file")"
        expected+=" $(sha256sum < "$file" | cut -c1-64) $kind $(removable_of "$file" "$kind")"
    done
    warnings=$(sed -n 's/^build-wrapper: warning: //p' "$work/stderr" |
        perl -pe 's/^slot (\d+) \(.*?\): /slot $1: / or s/^/wrapper: /' | LC_ALL=C sort)
    [ -z "$warnings" ] || expected+=$'\n'"$warnings"
    check_lines "$name: the manifest, valid against its schema, gives the files' figures" \
        "$(manifest_facts "$E2E_REPO/schemas/manifest.schema.json" "$work/out.json")" "$expected"
}

# removable_of PATCH KIND: the manifest's removable for a test patch: null
# unchecked or when its MsiPatchMetadata table cannot be read, false for
# the patches made without AllowRemoval 1, true for every other.
removable_of() {
    case $2:$(basename "$1" .msp) in
        unchecked:* | *:unreadable-metadata) echo null ;;
        *:no-metadata | *:removal-0) echo false ;;
        *) echo true ;;
    esac
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

# The installer's encoding of two table names, as their streams' UTF-16
# names (hex).
property_stream=40485945F24468453747
metadata_stream=404896456C3EE445E6421642374127413741

# damage_streams FILE NAME: points every stream NAME (hex) of FILE past the
# end of its mini stream, so that no reader can read it; prints how many
# there were. A directory entry starts on a 128-byte boundary with its
# UTF-16 name.
damage_streams() {
    NAME=$2 perl -0777 -i -pe '
        my $name = pack("H*", $ENV{NAME});
        my @entries;
        while (/\Q$name\E/g) { push @entries, $-[0] if $-[0] % 128 == 0 }
        for my $at (@entries) { substr($_, $at + 0x74, 4) = pack("V", 5000) }
        print STDERR scalar(@entries), "\n";
    ' "$1" 2>&1
}

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
    # The same patch once more, with the transforms' ProductVersion rows
    # renamed: the transforms leave the version as it is.
    patch "$(p keeps-version)" --product-code "$code_a" --to-version 3.2.40.0 \
        --keywords "3.2.50.0;3.2.10.0"
    check_same "fixture: one ProductVersion row to hide" \
        "$(grep -c -a ProductVersion "$(p keeps-version)")" 1
    perl -pi -e 's/ProductVersion/ProductXersion/g' "$(p keeps-version)"
    # And once more with a transform that cannot be read: nothing tells
    # where it moves the product.
    patch "$(p unreadable-transform)" --product-code "$code_a" --to-version 3.2.40.0 \
        --keywords "3.2.50.0;3.2.10.0"
    check_same "fixture: one Property stream to damage" \
        "$(damage_streams "$(p unreadable-transform)" $property_stream)" 1
    # Patches that cannot be removed once applied, and one whose
    # MsiPatchMetadata table cannot be read.
    patch "$(p no-metadata)" --product-code "$code_a" --to-version 3.2.40.0 --keywords "3.2.40.0;3.2.10.0" \
        --no-metadata
    check_same "fixture: no MsiPatchMetadata table" \
        "$(msiinfo tables "$(p no-metadata)" | grep -cx MsiPatchMetadata || true)" 0
    patch "$(p removal-0)" --product-code "$code_a" --to-version 3.2.40.0 --keywords "3.2.40.0;3.2.10.0" \
        --allow-removal 0
    check_same "fixture: AllowRemoval 0" "$(metadata_value "$(p removal-0)" AllowRemoval)" 0
    cp "$(p good)" "$(p unreadable-metadata)"
    check_same "fixture: one MsiPatchMetadata stream to damage" \
        "$(damage_streams "$(p unreadable-metadata)" $metadata_stream)" 1
    patch "$(p other-product)" --product-code "$(new_guid)" --to-version 3.2.40.0 --keywords "3.2.40.0;3.2.10.0"
    make_patch "$(p not-a-patch)" --not-a-patch >/dev/null
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
    refused "a compound file that is no installer file" \
        "slot 1 ($(p not-a-patch)): its summary information cannot be read; it is not a Windows Installer patch" \
        "$(p not-a-patch)"
    # Every problem of every slot is named before the build stops.
    refused "two bad slots, one good" "slot 3 ($(p no-template))" \
        1="$(p good)" 2="$(p no-semicolon)" 3="$(p no-template)"
    check "two bad slots, one good: slot 2 named too" \
        grep -qF "slot 2 ($(p no-semicolon)): its Keywords" "$work/stderr"
    check_same "two bad slots, one good: nothing about slot 1" \
        "$(grep -c "slot 1 " "$work/stderr" || true)" 0
    check_same "two bad slots, one good: no slot map" "$(cat "$work/stdout")" ""
    MANIFEST=1 built "--unchecked embeds what the checks refuse" --unchecked "$(p fake)" "$(p no-keywords)"
    check_manifest "--unchecked" x64 unchecked 1="$(p fake)" 2="$(p no-keywords)"
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
    warned "transforms that keep the version" "slot 1 ($(p keeps-version)): the patch's transforms do not change the product's version; the wrapper would apply the patch again on every run, and a rollback would look for the patched products at the wrong version" \
        "$(p keeps-version)"
    check "transforms that keep the version: the slot map says so" \
        grep -qF "  upgrade:  3.2.50.0; the transforms leave the product's version as it is" "$work/stdout"
    MANIFEST=1 warned "no patch" "the wrapper carries no patch; it would show a notice that waits for OK even under /q, so an unattended run would never end"
    check_manifest "no patch" x64 checked
    warned "products apart" "slot 2 ($(p other-product)): its products share none with those of slot 1; on a machine without the products of that slot, the run stops there and never reaches slot 2" \
        "$(p good)" "$(p other-product)"
    built "a transform that cannot be read" "$(p unreadable-transform)"
    check_same "a transform that cannot be read: no warning" "$(cat "$work/stderr")" ""
    check "a transform that cannot be read: the slot map cannot tell" \
        grep -qF "  upgrade:  3.2.50.0; the transforms' version: cannot tell" "$work/stdout"
    local kept="the patch cannot be removed once applied: it has no MsiPatchMetadata table with AllowRemoval 1; only uninstalling the product removes it"
    warned "no MsiPatchMetadata table" "slot 1 ($(p no-metadata)): $kept" "$(p no-metadata)"
    MANIFEST=1 warned "AllowRemoval 0" "slot 1 ($(p removal-0)): $kept" "$(p removal-0)"
    check_manifest "AllowRemoval 0" x64 checked 1="$(p removal-0)"
    MANIFEST=1 warned "an MsiPatchMetadata table that cannot be read" "slot 1 ($(p unreadable-metadata)): cannot tell whether the patch can be removed once applied: its MsiPatchMetadata table cannot be read" \
        "$(p unreadable-metadata)"
    check_manifest "an MsiPatchMetadata table that cannot be read" x64 checked 1="$(p unreadable-metadata)"
}
timed case_warnings

# --- hostile patches: checked in bounded time and memory ---------------------------
# Made by tests/tools/hostile_patch.py, each to make a reader that trusts
# the tables hold or read without bound (in the comments, what the checks
# did before they were bounded). The checks read a value once, cap what
# they hold and read, and say once that they cannot tell.
hostile() {
    /usr/bin/python3 "$E2E_REPO/tests/tools/hostile_patch.py" "$@"
}

# cannot_tell NAME WHY PATCH: built without a warning, the slot map saying
# once that it cannot tell where the transforms move the product, and why.
cannot_tell() {
    built "$1" "$3"
    check_same "$1: no warning" "$(cat "$work/stderr")" ""
    check_same "$1: the slot map cannot tell, once" "$(grep -F 'upgrade:' "$work/stdout")" \
        "  upgrade:  3.2.40.0; the transforms' version: cannot tell ($2)"
}

case_hostile() {
    local budget="the checks stopped at 32 MB, all they read of one patch"
    # A copy of the value per row, widened: 12 GB, then an abort.
    hostile long-version "$(p long-version)"
    cannot_tell "one version of 1 MB in 3,000 rows" "they set a version longer than 64 characters" \
        "$(p long-version)"
    # 120,000 warnings, one per version.
    hostile many-versions "$(p many-versions)" 120000
    cannot_tell "120,000 distinct versions" "they set more than 16 versions" "$(p many-versions)"
    # 15 GB read, 15 MB at a time.
    hostile shared-transforms "$(p shared-1000)" 1000
    cannot_tell "1,000 transforms sharing one table's sectors" "the patch holds more than 255 transforms" \
        "$(p shared-1000)"
    hostile shared-transforms "$(p shared-200)" 200
    cannot_tell "200 transforms sharing one table's sectors" "$budget" "$(p shared-200)"
    # A set entry per id: 210 MB.
    hostile metadata-ones "$(p metadata-ones)" 4000000
    warned "\"1\" under 4,000,000 ids" "slot 1 ($(p metadata-ones)): cannot tell whether the patch can be removed once applied: its MsiPatchMetadata table cannot be read" \
        "$(p metadata-ones)"
    # A FAT sector read at each of its 9,000 steps: the budget spent before the summary.
    hostile zigzag "$(p zigzag)"
    refused "a mini stream chain that leaves its FAT sector at every step" \
        "slot 1 ($(p zigzag)): $budget, before its summary; a Windows Installer patch needs a small part of that" \
        "$(p zigzag)"
    rm -f "$(p long-version)" "$(p many-versions)" "$(p shared-1000)" "$(p shared-200)" "$(p metadata-ones)" \
        "$(p zigzag)"
}
timed case_hostile

# resources_of EXE: every resource as type, name, language, size and digest.
resources_of() {
    timeout 60 wine "$TEST_TOOLS_DIR/resource_probe.exe" "$(z_path "$1")" | tr -d '\r' | sort
}

# extract_all NAME EXE FOLDER: /e under Wine into FOLDER (made empty first).
extract_all() {
    rm -rf "$3"
    mkdir -p "$3"
    run_wine "$2" /e "$(z_path "$3")\\fix.msp"
    check_same "$1: /e exit code" "$RUN_STATUS" 0
}

# readers_of EXE: every resource as llvm-readobj lists it (type, name,
# language, size, as resource_probe names them), then what pefile says.
readers_of() {
    llvm-readobj --coff-resources "$1" | perl -ne '
        sub id { my $text = shift; $text =~ /\(ID (\d+)\)/ ? "#$1" : $text }
        if (/^\s*Type: (.*) \[$/) { $type = id($1) }
        elsif (/^\s*Name: (.*) \[$/) { $name = id($1) }
        elsif (/^\s*Language: \(ID (\d+)\)/) { $language = $1 }
        elsif (/^\s*DataSize: (\d+)/) { print "$type $name $language $1\n" }' | sort
    /usr/bin/python3 -c '
import pefile, sys
pe = pefile.PE(sys.argv[1])
print("pefile warnings:", len(pe.get_warnings()), "checksum", "matches" if pe.verify_checksum() else "differs")
' "$1"
}

# --- the slot map ----------------------------------------------------------------
case_slot_map() {
    MANIFEST=1 built "slot map" 5="$(p short-upgrade)" "$(p good)" "$(p short-target)"
    check_manifest "slot map" x64 checked 1="$(p good)" 2="$(p short-target)" 5="$(p short-upgrade)"
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

    local slots=() slot
    for slot in $(seq 14); do slots+=("$(p good)"); done
    built "fifteen slots" 15="$(p short-target)" "${slots[@]}"
    check_same "fifteen slots: fifteen blocks" "$(grep -c '^slot ' "$work/stdout")" 15
    check_same "fifteen slots: the last one named" "$(grep '^slot 15: ' "$work/stdout")" "slot 15: $(p short-target)"
    [ -n "$BUILDER_EXE" ] || return 0
    # The stub both builders carry, given the same patches through the
    # system's resource-update calls: the same resources, byte for byte.
    local updates=()
    for slot in $(seq 14); do updates+=("$slot=$(z_path "$(p good)")"); done
    wrestool -x --raw --type=10 --name=WRAPPER_X64 "$BUILDER_EXE" > "$work/stub.exe"
    run_wine "$TEST_TOOLS_DIR/resource_update.exe" "$(z_path "$work/stub.exe")" "$(z_path "$work/updated.exe")" \
        "${updates[@]}" "15=$(z_path "$(p short-target)")"
    check_same "fifteen slots: the resource-update calls add them" "$RUN_STATUS" 0
    check_same "fifteen slots: the same resources as the resource-update calls give" \
        "$(resources_of "$work/out.exe")" "$(resources_of "$work/updated.exe")"
}
timed case_slot_map

# --- sizes the loader cares about -------------------------------------------------
# sparse_patch FILE SIZE: the compound-file signature, then zeros to SIZE
# (truncate's units), taking no room on the disk.
sparse_patch() {
    printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1' > "$1"
    truncate -s "$2" "$1"
}

case_large_wrappers() {
    local sparse=$work/sparse.msp
    sparse_patch "$sparse" 1910M
    refused "an image Windows will not load" \
        "bytes in memory; Windows loads no executable image above 1996488704 bytes (1904 MB)" \
        --unchecked "$sparse"
    # Above 1 GB, for the x86 wrapper: a warning, and a wrapper that gives
    # its patch back byte for byte.
    sparse_patch "$sparse" 1030M
    local LINUX_ONLY=1
    built "an x86 wrapper above 1 GB" --arch x86 --unchecked "$sparse"
    check "an x86 wrapper above 1 GB: a warning" grep -qF \
        "a 32-bit process may find no free range that large to load it in (use --arch x64 where the machines allow)" \
        "$work/stderr"
    extract_all "an x86 wrapper above 1 GB" "$work/out.exe" "$work/extract-large"
    check "an x86 wrapper above 1 GB: /e writes the patch byte for byte" cmp -s "$sparse" "$work/extract-large/fix1.msp"
    built "an x64 wrapper above 1 GB" --arch x64 --unchecked "$sparse"
    check_same "an x64 wrapper above 1 GB: no warning" "$(grep -F 'warning:' "$work/stderr")" ""
    rm -rf "$work/out.exe" "$work/extract-large" "$sparse"
}
timed case_large_wrappers

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
    [ -z "$BUILDER_EXE" ] || cp "$work/exe/out.exe" "$work/exe-built.exe"
    # Signing is the script's alone: signtool signs on Windows.
    local LINUX_ONLY=1
    cp "$work/out.exe" "$work/unsigned.exe"
    check "unsigned: osslsigncode finds no signature" eval '! verifies "$work/signer.pem" "$work/unsigned.exe"'

    MANIFEST=1 built "signed" --sign "$work/signer.pfx" --password-file "$work/password" "$(p good)"
    check_manifest "signed" x64 checked 1="$(p good)"
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
    # What a build killed before its signer wrote leaves: an empty OUT.signing.
    mkdir "$work/out.exe.signing"
    built "an empty signing folder left" --sign "$work/open.pfx" "$(p good)"
    check_same "an empty signing folder left: removed, the wrapper signed" \
        "$(leftovers; verifies "$work/signer.pem" "$work/out.exe" && echo verifies)" "verifies"

    refused "missing certificate" "certificate file '$work/none.pfx' does not exist" \
        --sign "$work/none.pfx" "$(p good)"
    refused "wrong password" "cannot open certificate '$work/signer.pfx': wrong password in '$work/wrong-password'" \
        --sign "$work/signer.pfx" --password-file "$work/wrong-password" "$(p good)"
    refused "password needed" "cannot open certificate '$work/signer.pfx': it has a password" \
        --sign "$work/signer.pfx" "$(p good)"
    refused "missing password file" "password file '$work/none' does not exist" \
        --sign "$work/signer.pfx" --password-file "$work/none" "$(p good)"
    refused "not a PKCS#12 file" "'$work/signer.pem' is not a PKCS#12 (.pfx) certificate file" \
        -o "$work/nd/sub/out.exe" --sign "$work/signer.pem" "$(p good)"
    check "not a PKCS#12 file: the folders made for the output are gone" [ ! -e "$work/nd" ]
    # The line's end does not count: 4096 bytes and CR LF reach the signer
    # (which finds them wrong), 4097 and LF are refused before.
    { head -c 4096 /dev/zero | tr '\0' x; printf '\r\n'; } > "$work/longest-password"
    refused "a password line of 4096 bytes" \
        "cannot open certificate '$work/signer.pfx': wrong password in '$work/longest-password'" \
        --sign "$work/signer.pfx" --password-file "$work/longest-password" "$(p good)"
    { head -c 4097 /dev/zero | tr '\0' x; printf '\n'; } > "$work/long-password"
    refused "a password line over 4 KiB" "password file '$work/long-password' holds a line longer than 4096 bytes" \
        --sign "$work/signer.pfx" --password-file "$work/long-password" "$(p good)"
    # Below $work/*, so that leftovers does not count the patch.
    mkdir -p "$work/deep/in"
    cp "$(p good)" "$work/deep/in/g.exe.signing"
    refused "a patch is the signing folder" "patch file '$work/deep/in/g.exe.signing' is the build's own scratch file" \
        -o "$work/deep/in/g.exe" --sign "$work/open.pfx" "$work/deep/in/g.exe.signing"
    check "a patch is the signing folder: the patch is unchanged" cmp -s "$(p good)" "$work/deep/in/g.exe.signing"
    refused "password file without --sign" "--password-file belongs to --sign" \
        --password-file "$work/password" "$(p good)"

    # A second build of the same output while the first one signs (a
    # signer that waits for the test's word): refused, and the first one
    # then puts its signed wrapper in place.
    mkdir -p "$work/slow-signer"
    printf '#!/bin/sh\ntouch "%s/signing"\nwhile [ ! -e "%s/go" ]; do sleep 0.1; done\nexec %s "$@"\n' \
        "$work" "$work" "$(command -v osslsigncode)" > "$work/slow-signer/osslsigncode"
    chmod +x "$work/slow-signer/osslsigncode"
    PATH="$work/slow-signer:$PATH" "$E2E_REPO/build-wrapper" -o "$work/held.exe" --sign "$work/open.pfx" "$(p good)" \
        > "$work/first-build" 2>&1 &
    local first=$! first_status=0
    while [ ! -e "$work/signing" ] && kill -0 "$first" 2>/dev/null; do sleep 0.1; done
    local second=0
    "$E2E_REPO/build-wrapper" -o "$work/held.exe" "$(p good)" > /dev/null 2> "$work/second-build" || second=$?
    touch "$work/go"
    check_same "a second build while the first signs: refused" "$second" 2
    check "a second build while the first signs: says so" grep -qF \
        "build-wrapper: cannot write '$work/held.exe.partial': another build is writing it" "$work/second-build"
    wait "$first" || first_status=$?
    ended_well "the first build, signing meanwhile" "$first_status" "$work/first-build"
    check "the first build's wrapper verifies" verifies "$work/signer.pem" "$work/held.exe"
    check_same "the first build: nothing else left" "$(ls "$work" | grep '^held')" "held.exe"
    # A signer whose folder is swapped for a link to another folder as it
    # starts: it still writes into the folder the build made and holds.
    mkdir -p "$work/swap-signer" "$work/elsewhere"
    printf '#!/bin/sh\nmv "%s" "%s"\nln -s "%s" "%s"\n%s "$@"\nstatus=$?\nls -A "%s" > "%s"\nexit $status\n' \
        "$work/swapped.exe.signing" "$work/moved.signing" "$work/elsewhere" "$work/swapped.exe.signing" \
        "$(command -v osslsigncode)" "$work/elsewhere" "$work/seen-elsewhere" > "$work/swap-signer/osslsigncode"
    chmod +x "$work/swap-signer/osslsigncode"
    local swapped=0
    PATH="$work/swap-signer:$PATH" "$E2E_REPO/build-wrapper" -o "$work/swapped.exe" --sign "$work/open.pfx" \
        "$(p good)" > /dev/null 2> "$work/stderr" || swapped=$?
    ended_well "a signing folder swapped for a link" "$swapped" "$work/stderr"
    check "a signing folder swapped for a link: the wrapper verifies" verifies "$work/signer.pem" "$work/swapped.exe"
    check_same "a signing folder swapped for a link: nothing written through it" "$(cat "$work/seen-elsewhere")" ""
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
    # What --version prints and its exit code, by both builders alike.
    check_same "--version" "$("$E2E_REPO/build-wrapper" --version; echo "exit $?")" "build-wrapper $version
exit 0"
    if [ -n "$BUILDER_EXE" ]; then
        run_exe --version
        check_same "--version of build-wrapper.exe" "$(cat "$work/exe-stdout"; echo "exit $EXE_STATUS")" \
            "build-wrapper $version
exit 0"
    fi
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
    for exe in unsigned signed ${BUILDER_EXE:+exe-built}; do
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

# --- both builders, the same patches: the same wrappers --------------------------


# An output that exists already is replaced whole, by either builder.
case_existing_output() {
    local target status
    for target in linux exe; do
        [ "$target" = linux ] || [ -n "${BUILDER_EXE:-}" ] || continue
        echo "the wrapper of last week" > "$work/existing-$target.exe"
        if [ "$target" = linux ]; then
            set +e
            "$E2E_REPO/build-wrapper" -o "$work/existing-$target.exe" "$(p good)" >/dev/null 2>&1
            status=$?
            set -e
        else
            run_exe -o "$work/existing-$target.exe" "$(p good)"
            status=$EXE_STATUS
        fi
        check_same "existing output ($target): built" "$status" 0
        extract_all "existing output ($target)" "$work/existing-$target.exe" "$work/extract-existing-$target"
        check "existing output ($target): replaced by the new wrapper" \
            cmp -s "$(p good)" "$work/extract-existing-$target/fix1.msp"
    done
}
timed case_existing_output

case_same_wrappers() {
    local arch built_by report
    for arch in x64 x86; do
        MANIFEST=1 built "$arch, both builders" --arch "$arch" 1="$(p good)" 4="$(p short-upgrade)" \
            15="$(p above-transforms)"
        check_manifest "$arch" "$arch" checked 1="$(p good)" 4="$(p short-upgrade)" 15="$(p above-transforms)"
        mkdir -p "$work/linux-$arch" "$work/exe-$arch"
        cp "$work/out.exe" "$work/linux-$arch/w.exe"
        cp "$work/exe/out.exe" "$work/exe-$arch/w.exe"
        for built_by in linux exe; do
            resources_of "$work/$built_by-$arch/w.exe" > "$work/resources-$built_by"
        done
        check "$arch: resources listed" grep -q '^#24 #1 0 ' "$work/resources-linux"
        check "$arch: both builders write the same bytes" cmp -s "$work/linux-$arch/w.exe" "$work/exe-$arch/w.exe"
        "$E2E_REPO/build-wrapper" -o "$work/linux-$arch/again.exe" --manifest "$work/linux-$arch/again.json" \
            --arch "$arch" 1="$(p good)" 4="$(p short-upgrade)" 15="$(p above-transforms)" >/dev/null 2>&1
        check "$arch: and so do two builds in a row, wrapper and manifest" eval 'cmp -s "$work/out.json" \
            "$work/linux-$arch/again.json" && cmp -s "$work/linux-$arch/w.exe" "$work/linux-$arch/again.exe"'
        check_same "$arch: llvm-readobj lists every resource, pefile reads it without a warning" \
            "$(readers_of "$work/exe-$arch/w.exe")" \
            "$(cut -d' ' -f1-4 "$work/resources-exe" | sort)
pefile warnings: 0 checksum matches"
        check "$arch: osslsigncode signs it" osslsigncode sign -pkcs12 "$work/open.pfx" -h sha256 \
            -in "$work/exe-$arch/w.exe" -out "$work/signed-$arch.exe"
        check "$arch: and verifies the signature" verifies "$work/signer.pem" "$work/signed-$arch.exe"
        check_same "$arch: patches as MSP resources IDR_MSP_n, language neutral" \
            "$(grep '^MSP ' "$work/resources-exe" | cut -d' ' -f1-4)" \
            "MSP IDR_MSP_1 0 $(stat -c %s "$(p good)")
MSP IDR_MSP_15 0 $(stat -c %s "$(p above-transforms)")
MSP IDR_MSP_4 0 $(stat -c %s "$(p short-upgrade)")"
        check_same "$arch: sections still aligned to 4096 bytes in the file" \
            "$(x86_64-w64-mingw32-objdump -p "$work/exe-$arch/w.exe" | sed -n 's/^FileAlignment\s*//p')" 00001000
        check_same "$arch: the patches' section is read-only data, the stub's resources as linked" \
            "$(llvm-readobj --sections "$work/exe-$arch/w.exe" | perl -ne '$name = $1 if /^\s*Name: (\S+)/;
                print "$name $1\n" if $name =~ /^\.(?:stubres|rsrc)$/ && /^\s*Characteristics \[ \((\w+)\)/')" \
            ".stubres 0xC0000040
.rsrc 0x40000040"
        for built_by in linux exe; do
            extract_all "$arch, built by $built_by" "$work/$built_by-$arch/w.exe" "$work/extract-$built_by-$arch"
        done
        # A German user's wrapper finds the same patches.
        LC_ALL=de_DE.UTF-8 extract_all "$arch, German" "$work/exe-$arch/w.exe" "$work/extract-de-$arch"
        check "$arch, German: the same files" diff -r "$work/extract-linux-$arch" "$work/extract-de-$arch"
        check "$arch: /e writes the same files" diff -r "$work/extract-linux-$arch" "$work/extract-exe-$arch"
        check "$arch: /e writes the patches byte for byte" eval \
            'cmp -s "$(p good)" "$work/extract-exe-$arch/fix1.msp" && cmp -s "$(p short-upgrade)" "$work/extract-exe-$arch/fix4.msp" && cmp -s "$(p above-transforms)" "$work/extract-exe-$arch/fix15.msp"'
        run_with_boxes "$work/linux-$arch/w.exe" /i
        report=$(box 1 text)
        check "$arch: a /i report" [ -n "$report" ]
        run_with_boxes "$work/exe-$arch/w.exe" /i
        check_same "$arch: the same /i report" "$(box 1 text)" "$report"
    done
}
[ -z "$BUILDER_EXE" ] || timed case_same_wrappers

# A real product, patched by the wrapper of each builder: the wrapper that
# build-wrapper.exe made in a copy of this prefix, made after the product
# was installed, so that both wrappers find it as it was.
case_same_install_run() {
    local name="Norvale Builders" code other outcome
    code=$(new_product "$name" 3.2.10.0)
    new_patch "$work/install.msp" "$code" --keywords "3.2.40.0;3.2.10.0"
    built "install run" "$work/install.msp"
    cp "$work/out.exe" "$work/install-linux.exe"
    cp "$work/exe/out.exe" "$work/install-exe.exe"
    wineserver -k
    wineserver -w
    other=$WINE_TEST_DIR/prefix-copy
    wine_copy_prefix "$WINEPREFIX" "$other"

    # outcome: the exit code, the boxes and the version the run left.
    outcome() {
        echo "exit code $RUN_EXIT_CODE; $BOX_COUNT box(es); $(box 1 caption) | $(box 1 text) | $(box 1 icon) | $(box 1 flags)"
        echo "version $(product_version "$code")"
    }
    run_with_boxes "$work/install-linux.exe" /exitcode
    outcome > "$work/outcome-linux"
    WINEPREFIX=$other run_with_boxes "$work/install-exe.exe" /exitcode
    WINEPREFIX=$other outcome > "$work/outcome-exe"
    WINEPREFIX=$other wineserver -k
    WINEPREFIX=$other wineserver -w
    check_same "install run: the wrapper of ./build-wrapper patched the product" "$(cat "$work/outcome-linux")" \
        "exit code 0; 1 box(es); $(en IDS_CAPTION_SUCCESS) | $(en IDS_INSTALL_SUCCEEDED "$name") | information | 00050040
version 3.2.40.0"
    check_same "install run: the wrapper of build-wrapper.exe alike" "$(cat "$work/outcome-exe")" \
        "$(cat "$work/outcome-linux")"
}
[ -z "$BUILDER_EXE" ] || timed case_same_install_run

# --- build-wrapper.exe's own cases -------------------------------------------------
# nothing_left NAME FOLDER LISTING: FOLDER holds exactly what it held.
nothing_left() {
    check_same "$1: nothing left behind" "$(tree_of "$2")" "$3"
}

# temporary_files: every file in the prefix's temporary folders.
temporary_files() {
    { find "$WINEPREFIX/drive_c/windows/temp" "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp -type f 2>/dev/null ||
        true; } | sort
}

# killed_build exe|linux: a build killed while it copies a patch leaves one
# file beside the output, named for what it is, and nothing in the
# temporary folders; the next build finishes and leaves nothing else.
killed_build() {
    local builder=$1 folder=$work/killed-$1 before pid
    mkdir -p "$folder"
    # Large enough that the copy is under way when the kill comes.
    sparse_patch "$work/big.msp" 1500M
    before=$(temporary_files)
    if [ "$builder" = exe ]; then
        wine "$BUILDER_EXE" -o "$(z_path "$folder/w.exe")" --unchecked "$(z_path "$work/big.msp")" >/dev/null 2>&1 &
    else
        "$E2E_REPO/build-wrapper" -o "$folder/w.exe" --unchecked "$work/big.msp" >/dev/null 2>&1 &
    fi
    pid=$!
    for _ in $(seq 200); do [ -s "$folder/w.exe.partial" ] && break; sleep 0.05; done
    if [ "$builder" = exe ]; then
        # The Windows process is no child of this shell: end every process
        # of this test's prefix, as a power cut or a kill would.
        wineserver -k || true
        wineserver -w || true
        wineserver -p
    else
        kill -KILL "$pid"
    fi
    wait "$pid" 2>/dev/null || true
    check_same "killed build ($builder): one file beside the output, named for what it is" \
        "$(tree_of "$folder")" "w.exe.partial"
    check_same "killed build ($builder): nothing in the temporary folders" "$(temporary_files)" "$before"
    if [ "$builder" = exe ]; then
        run_exe -o "$folder/w.exe" "$(p good)"
        ended_well "killed build ($builder), built again" "$EXE_STATUS" "$work/exe-stderr"
    else
        "$E2E_REPO/build-wrapper" -o "$folder/w.exe" "$(p good)" >/dev/null
    fi
    check_same "killed build ($builder), built again: the wrapper alone" "$(tree_of "$folder")" "w.exe"
}

case_builder_own() {
    local folder="$work/новая папка/Prüfung ß" before
    mkdir -p "$work/патчи"
    cp "$(p good)" "$work/патчи/fix ü.msp"
    run_exe -o "$folder/fix é.exe" 2="$work/патчи/fix ü.msp"
    ended_well "names outside ASCII, a folder to make" "$EXE_STATUS" "$work/exe-stderr"
    check "names outside ASCII: the wrapper written" [ -s "$folder/fix é.exe" ]
    check_same "names outside ASCII: said so in UTF-8" "$(sed -n '1p;$p' "$work/exe-stdout")" \
        "slot 2: $work/патчи/fix ü.msp
wrote $folder/fix é.exe"
    extract_all "names outside ASCII" "$folder/fix é.exe" "$work/extract-ü"
    check "names outside ASCII: /e writes the patch" cmp -s "$(p good)" "$work/extract-ü/fix2.msp"

    make_fake_patch "$work/big.msp" $((200 * 1024 * 1024))
    run_exe -o "$work/big.exe" --unchecked "$work/big.msp"
    ended_well "200 MB patch" "$EXE_STATUS" "$work/exe-stderr"
    extract_all "200 MB patch" "$work/big.exe" "$work/extract-big"
    check "200 MB patch: /e writes it byte for byte" cmp -s "$work/big.msp" "$work/extract-big/fix1.msp"
    rm -f "$work/big.exe" "$work/extract-big/fix1.msp"

    # A patch another program holds open for writing, sharing it: read all
    # the same, while it is held.
    wine "$TEST_TOOLS_DIR/hold_open.exe" "$(z_path "$(p good)")" 12 "$(z_path "$work/holding")" &
    local holder=$!
    for _ in $(seq 200); do [ -e "$work/holding" ] && break; sleep 0.1; done
    check "a patch held open elsewhere: it is held" [ -e "$work/holding" ]
    run_exe -o "$work/held.exe" "$(p good)"
    ended_well "a patch held open elsewhere" "$EXE_STATUS" "$work/exe-stderr"
    check "a patch held open elsewhere: still held when the build ended" kill -0 "$holder"
    wait "$holder" || true

    # An output another program holds without sharing its deletion: tried
    # again for a moment, then refused for what it is, the output as it was.
    echo "the wrapper of last week" > "$work/held-out.exe"
    rm -f "$work/holding"
    wine "$TEST_TOOLS_DIR/hold_open.exe" "$(z_path "$work/held-out.exe")" 12 "$(z_path "$work/holding")" &
    holder=$!
    for _ in $(seq 200); do [ -e "$work/holding" ] && break; sleep 0.1; done
    run_exe -o "$work/held-out.exe" "$(p good)"
    check_same "an output held open elsewhere: refused" "$EXE_STATUS" 2
    check_same "an output held open elsewhere: says why" "$(cat "$work/exe-stderr")" \
        "build-wrapper: cannot write '$work/held-out.exe': another program has it open"
    check_same "an output held open elsewhere: as it was, nothing left" \
        "$(cat "$work/held-out.exe"; ls "$work" | grep '^held-out')" "the wrapper of last week
held-out.exe"
    wait "$holder" || true

    killed_build exe
    killed_build linux

    # A disk that fills up while the patches go in: an existing wrapper of
    # that name stays as it was, and no temporary file is left.
    if [ "$(id -u)" != 0 ]; then
        echo "  (not root: the full disk is left out)"
        return
    fi
    local full=$work/full
    mkdir -p "$full"
    mount -t tmpfs -o size=3m tmpfs "$full"
    trap 'umount "$full" 2>/dev/null; wine_test_stop' EXIT
    echo "the wrapper of last week" > "$full/out.exe"
    make_fake_patch "$work/four.msp" $((4 * 1024 * 1024))
    before=$(tree_of "$full")
    run_exe -o "$full/out.exe" --unchecked "$work/four.msp"
    check_same "full disk: refused" "$EXE_STATUS" 2
    check "full disk: says why" grep -qF "build-wrapper: cannot" "$work/exe-stderr"
    check_same "full disk: the existing wrapper unchanged" "$(cat "$full/out.exe")" "the wrapper of last week"
    nothing_left "full disk" "$full" "$before"
    umount "$full"
    trap wine_test_stop EXIT
}
[ -z "$BUILDER_EXE" ] || timed case_builder_own

finish
