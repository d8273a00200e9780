#!/usr/bin/env bash
# The test fixtures are real: products built by make-product.sh install side
# by side under Wine, a patch from make_patch.exe really moves a product's
# version, its transforms touch only their own product, a product made to
# fail refuses the patch with 1603, the summary that msi_tool reads
# through the installer matches what msitools reads from the file, and the
# patches' and their transforms' summaries hold what a patch and a
# transform are documented to hold.
#   fixtures_apply.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$@"

wine_test_start win64
work=$WINE_TEST_DIR/work
mkdir -p "$work"

# The same property read through Wine's installer by msi_tool.
tool_value() {
    local value status=0
    value=$(summary_value "$1" "$2" 2>/dev/null) || status=$?
    case $status in
        0) printf '%s\n' "$value" ;;
        3) echo "<absent>" ;;
        *) echo "<error $status>" ;;
    esac
}

# The numbers of transform NAME's summary, as the wrapper's readers find
# them in the patch: "result=1 pid1=1252 ...".
transform_numbers() {
    timeout 60 wine "$TEST_TOOLS_DIR/patch_probe.exe" transform "$(z_path "$1")" "$2" | tr -d '\r' | paste -sd ' '
}

# --- products ---------------------------------------------------------------
code_a=$(new_guid) code_b=$(new_guid) code_f=$(new_guid) upgrade_a=$(new_guid)
name_a="Norvale Fixture A"
name_b="Norvale Fixture B $(printf 'with a long name %.0s' $(seq 1 60))"
name_b=${name_b:0:1023}
name_f="Norvale Fixture F (refuses patches)"

started=$SECONDS
make_product "$work/a.msi" --code "$code_a" --name "$name_a" --version 3.2.10.0 --upgrade-code "$upgrade_a"
make_product "$work/b.msi" --code "$code_b" --name "$name_b" --version 3.2.10.0 --language 1031
make_product "$work/f.msi" --code "$code_f" --name "$name_f" --version 3.2.10.0 --fail-on-patch
check_same "package template carries the language" "$(msiinfo_value "$work/b.msi" Template)" "x64;1031"

for product in a b f; do
    status=0
    install_product "$work/$product.msi" || status=$?
    check_same "product $product installs" "$status" 0
done
echo "  (three products made and installed in $((SECONDS - started)) s)"

check_same "A is installed" "$(product_state "$code_a")" 5
check_same "B is installed" "$(product_state "$code_b")" 5
check_same "A starts at 3.2.10.0" "$(product_version "$code_a")" 3.2.10.0
check_same "B starts at 3.2.10.0" "$(product_version "$code_b")" 3.2.10.0
check_same "A's name" "$(product_info "$code_a" ProductName)" "$name_a"
check_same "B's 1023-character name" "$(product_info "$code_b" ProductName)" "$name_b"
check_same "A's language" "$(product_info "$code_a" Language)" 1033
check_same "B's language" "$(product_info "$code_b" Language)" 1031
norvale="$WINEPREFIX/drive_c/Program Files/Norvale"
for code in "$code_a" "$code_b"; do
    bare=${code//[\{\}]/}
    check "files of $bare in a folder of their own" \
        grep -q "$code" "$norvale/$bare/readme.txt"
done

# --- a patch really moves the version ---------------------------------------
patch_a=$(new_guid)
make_patch "$work/a.msp" --patch-code "$patch_a" --product-code "$code_a" \
    --from-version 3.2.10.0 --to-version 3.2.40.0 --upgrade-code "$upgrade_a" \
    --keywords "3.2.40.0;$code_a"
check_same "patch for A applies" "$(apply_patch "$code_a" "$work/a.msp")" 0
check_same "A is now 3.2.40.0" "$(product_version "$code_a")" 3.2.40.0
check_same "A lists the patch" "$(applied_patches "$code_a")" "$patch_a"
check_same "B is untouched" "$(product_version "$code_b")" 3.2.10.0

# A patch listing both products but carrying a transform for B only, made
# from A's current version so that only the transform's product check stands
# in the way: the installer accepts the patch for A and leaves A's version.
make_patch "$work/b_only.msp" --patch-code "$(new_guid)" --product-code "$code_b" \
    --from-version 3.2.40.0 --to-version 3.2.50.0 --template "$code_a;$code_b"
check_same "B's transform offered to A" "$(apply_patch "$code_a" "$work/b_only.msp")" 0
check_same "A keeps 3.2.40.0" "$(product_version "$code_a")" 3.2.40.0

# One patch, one transform per product: each product gets its own.
make_patch "$work/ab.msp" --patch-code "$(new_guid)" --product-code "$code_a" --product-code "$code_b" \
    --from-version 3.2.10.0 --to-version 3.2.60.0
check_same "two-product patch applies to B" "$(apply_patch "$code_b" "$work/ab.msp")" 0
check_same "B is now 3.2.60.0" "$(product_version "$code_b")" 3.2.60.0
check_same "A still 3.2.40.0" "$(product_version "$code_a")" 3.2.40.0

# Without the product check the same kind of patch does move A: the check
# above held because of the flags, not because the transform was unusable.
# Wine 8 takes its validation flags from the lower word of the transform's
# PID 16, where Windows keeps the error conditions, and ignores the upper
# word, Windows' validation flags: the product check asked for there alone
# is no check under Wine. That is why make_patch's error conditions, 0x0002
# by default, read as the product check to Wine as well.
make_patch "$work/b_unchecked.msp" --patch-code "$(new_guid)" --product-code "$code_b" \
    --from-version 3.2.40.0 --to-version 3.2.70.0 --template "$code_a;$code_b" --validation 0 --error-conditions 0
check_same "unchecked transform for B offered to A" "$(apply_patch "$code_a" "$work/b_unchecked.msp")" 0
check_same "A moved to 3.2.70.0" "$(product_version "$code_a")" 3.2.70.0
make_patch "$work/b_upper.msp" --patch-code "$(new_guid)" --product-code "$code_b" \
    --from-version 3.2.70.0 --to-version 3.2.80.0 --template "$code_a;$code_b" --validation 2 --error-conditions 0
check_same "transform for B checked in the upper word only, offered to A" \
    "$(apply_patch "$code_a" "$work/b_upper.msp")" 0
check_same "Wine ignores the upper word: A moved to 3.2.80.0" "$(product_version "$code_a")" 3.2.80.0
make_patch "$work/b_lower.msp" --patch-code "$(new_guid)" --product-code "$code_b" \
    --from-version 3.2.80.0 --to-version 3.2.90.0 --template "$code_a;$code_b" --validation 0
check_same "transform for B with the default lower word, offered to A" "$(apply_patch "$code_a" "$work/b_lower.msp")" 0
check_same "the lower word checks the product for Wine: A keeps 3.2.80.0" "$(product_version "$code_a")" 3.2.80.0

# --- an installer error -----------------------------------------------------
make_patch "$work/f.msp" --patch-code "$(new_guid)" --product-code "$code_f" --to-version 3.2.40.0
started=$SECONDS
check_same "F refuses the patch with 1603" "$(apply_patch "$code_f" "$work/f.msp")" 1603
check "F refuses quickly (no box waiting for an answer)" [ $((SECONDS - started)) -lt 20 ]
check_same "F keeps 3.2.10.0" "$(product_version "$code_f")" 3.2.10.0
check_same "F lists no patch" "$(applied_patches "$code_f")" ""

# --- summary information: msitools and the installer agree ------------------
kw2047=$(printf 'k%.0s' $(seq 1 2047))
kw5000="3.2.40.0;$(printf '%s,' $(seq 1 1300))"
kw5000=${kw5000:0:5000}
# case NAME | make_patch options | expected Keywords | expected Template
summary_cases=(
    "usual|--keywords|3.2.40.0;$code_a,$code_b|--template|$code_a;$code_b"
    "empty keywords|--keywords||--template|$code_a"
    "no keywords|--no-keywords|<absent>|--template|$code_a"
    "2047 characters|--keywords|$kw2047|--template|;$code_a"
    "5000 characters|--keywords|$kw5000|--template|"
    "no template|--keywords|Prüfung;Größe|--no-template|<absent>"
)
index=0
for entry in "${summary_cases[@]}"; do
    IFS='|' read -r label kw_opt keywords tpl_opt template <<< "$entry"
    index=$((index + 1))
    file="$work/summary$index.msp"
    code=$(new_guid)
    args=(--patch-code "$code" --product-code "$code_a" --to-version 3.2.40.0)
    case $kw_opt in --keywords) args+=(--keywords "$keywords") ;; *) args+=("$kw_opt") ;; esac
    case $tpl_opt in --template) args+=(--template "$template") ;; *) args+=("$tpl_opt") ;; esac
    make_patch "$file" "${args[@]}"
    check_same "$label: Keywords (msiinfo)" "$(msiinfo_value "$file" Keywords)" "$keywords"
    check_same "$label: Keywords (installer)" "$(tool_value "$file" 5)" "$keywords"
    check_same "$label: Template (msiinfo)" "$(msiinfo_value "$file" Template)" "$template"
    check_same "$label: Template (installer)" "$(tool_value "$file" 7)" "$template"
    check_same "$label: patch code" "$(tool_value "$file" 9)" "$code"
    check_same "$label: removable (MsiPatchMetadata AllowRemoval)" "$(metadata_value "$file" AllowRemoval)" 1
done
check_same "transforms named in the summary" "$(tool_value "$work/ab.msp" 8)" ":T1;:T2"

# --- what a patch and a transform are documented to hold --------------------
# A patch: Page Count and Character Count Null, Word Count 4 (Windows
# Installer 3.0, the first to read MsiPatchMetadata), Security 4. A
# transform: Page Count 200 (its products'), Word Count Null, and in PID 16
# the validation flags in the upper word, the error conditions in the lower.
check_same "patch Page Count (installer)" "$(tool_value "$work/ab.msp" 14)" "<absent>"
check_same "patch Page Count (msiinfo)" "$(msiinfo_value "$work/ab.msp" Version)" "<absent>"
check_same "patch Word Count (installer)" "$(tool_value "$work/ab.msp" 15)" 4
check_same "patch Word Count (msiinfo)" "$(msiinfo_value "$work/ab.msp" Source)" "4 (4)"
check_same "patch Character Count" "$(tool_value "$work/ab.msp" 16)" "<absent>"
check_same "patch Security" "$(tool_value "$work/ab.msp" 19)" 4
check_same "two-product patch removable" "$(metadata_value "$work/ab.msp" AllowRemoval)" 1
for transform in T1 T2; do
    check_same "$transform: the product check in the upper word, 0x0002 in the lower" \
        "$(transform_numbers "$work/ab.msp" $transform)" "result=1 pid1=1252 pid14=200 pid16=$((0x00020002)) pid19=4"
done
check_same "flags given apart land in their own words" "$(transform_numbers "$work/b_upper.msp" T1)" \
    "result=1 pid1=1252 pid14=200 pid16=$((0x00020000)) pid19=4"
check_same "no third transform" "$(transform_numbers "$work/ab.msp" T3)" "result=0"

# --- something that is not a patch ------------------------------------------
make_patch "$work/not.msp" --not-a-patch
check_same "not-a-patch is a compound file" "$(head -c 8 "$work/not.msp" | od -An -tx1 | tr -d ' ')" \
    d0cf11e0a1b11ae1
check_same "the installer will not read its summary" "$(tool_value "$work/not.msp" 7)" "<error 2>"
apply_patch "$code_a" "$work/not.msp" > /dev/null
check_same "applying it leaves A alone" "$(product_version "$code_a")" 3.2.80.0

status=0
make_patch "$work/bad.msp" --patch-code "$(new_guid)" --product-code "$code_a" 2>/dev/null || status=$?
check_same "make_patch refuses a patch without --to-version" "$status" 1
check "and writes nothing" [ ! -e "$work/bad.msp" ]
# Each flag set has 16 bits: a wider one would spill into the other word.
status=0
make_patch "$work/wide.msp" --patch-code "$(new_guid)" --product-code "$code_a" --to-version 3.2.40.0 \
    --validation 0x10002 2>/dev/null || status=$?
check_same "make_patch refuses validation flags wider than 16 bits" "$status" 1
check "and writes nothing" [ ! -e "$work/wide.msp" ]

finish
