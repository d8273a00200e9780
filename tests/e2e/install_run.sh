#!/usr/bin/env bash
# The real wrapper under Wine installs its patches into real products and
# tells the user how it went: one box per run, read by the watcher as the
# user would see it (caption, text, icon) with the flags it was shown with,
# the installed versions and the installer logs checked afterwards, fatal
# outcomes followed by the removal of what the run installed, /q silent,
# exit code 0 every time, and a German user's messages in German.
#   install_run.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$@"

wine_test_start win64
boxes_setup
work=$WINE_TEST_DIR/work
mkdir -p "$work"

find_temp_folder

# Leftover copies of the patches in the temp folder, by name: MSP and a
# number, no extension.
patch_copies_in_temp() {
    (cd "$temp" && find . -maxdepth 1 -type f -regex '\./MSP[0-9]+' -printf '%P\n' | sort)
}

# A copy of a patch in the temp folder, as the installer was given it.
is_temp_copy() {
    local number=${1#"$temp_win\\MSP"}
    [ "$number" != "$1" ] && [[ $number =~ ^[0-9]+$ ]]
}

files_in_use_en=$(en IDS_FILES_IN_USE)

started=$SECONDS
name_a="Norvale Alpha" name_c="Norvale Charlie" name_e1="Norvale Echo One" name_e2="Norvale Echo Two"
name_g1="Norvale Golf One" name_g2="Norvale Golf Two" name_h="Norvale Hotel" name_k="Norvale Kilo"
code_a=$(new_product "$name_a" 3.2.10.0)
code_c=$(new_product "$name_c" 3.2.5.0)
code_e1=$(new_product "$name_e1" 3.2.10.0)
code_e2=$(new_product "$name_e2" 3.2.5.0)
code_g1=$(new_product "$name_g1" 3.2.10.0)
code_g2=$(new_product "$name_g2" 3.2.5.0)
code_h=$(new_product "$name_h" 3.2.10.0 --fail-on-patch)
code_k=$(new_product "$name_k" 3.2.10.0)
code_absent=$(new_guid)
kw="3.2.40.0;3.2.10.0"
new_patch "$work/a.msp" "$code_a" --keywords "$kw"
new_patch "$work/c.msp" "$code_c" --keywords "$kw"
new_patch "$work/d.msp" "$code_absent" --keywords "$kw"
new_patch "$work/e1.msp" "$code_e1" --keywords "$kw"
new_patch "$work/e2.msp" "$code_e2" --keywords "$kw"
new_patch "$work/g1.msp" "$code_g1" --keywords "$kw"
new_patch "$work/g2.msp" "$code_g2" --keywords "$kw"
new_patch "$work/h.msp" "$code_h" --keywords "$kw"
new_patch "$work/k.msp" "$code_k" --keywords "$kw"
for exe in a c d h k; do build_wrapper -o "$work/$exe.exe" "$work/$exe.msp"; done
build_wrapper -o "$work/e.exe" 1="$work/e1.msp" 2="$work/e2.msp"
build_wrapper -o "$work/g.exe" 1="$work/g1.msp" 2="$work/g2.msp"
build_wrapper -o "$work/none.exe"
echo "  (products, patches and wrappers made in $((SECONDS - started)) s)"
check_same "products start where the cases need them" \
    "$(for c in $code_a $code_c $code_e1 $code_e2 $code_g1 $code_g2 $code_h $code_k; do
           product_version "$c"; done | xargs)" \
    "3.2.10.0 3.2.5.0 3.2.10.0 3.2.5.0 3.2.10.0 3.2.5.0 3.2.10.0 3.2.10.0"

# --- installed -----------------------------------------------------------
case_installed() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/a.exe"
    expect_box "installed" "$(en IDS_CAPTION_SUCCESS)" "$(en IDS_INSTALL_SUCCEEDED "$name_a")" information 00050040
    check_same "installed: product now at the upgrade version" "$(product_version "$code_a")" 3.2.40.0
    local log="$temp/$name_a SP install.log"
    check "installed: install log written" [ -f "$log" ]
    check "installed: patch given as a temporary copy" is_temp_copy "$(log_property "$log" PATCH)"
    check_same "installed: REBOOTPROMPT" "$(log_property "$log" REBOOTPROMPT)" S
    check_same "installed: FILESINUSETEXT" "$(log_property "$log" FILESINUSETEXT)" "$files_in_use_en"
    check_same "installed: no removal asked" "$(log_property "$log" MSIPATCHREMOVE)" ""
    check "installed: nothing rolled back" [ ! -e "$temp/$name_a SP rollback.log" ]
    check_same "installed: no temporary patch copy left" "$(patch_copies_in_temp)" ""
    boxes_summary
}
timed case_installed

# --- the same wrapper again ----------------------------------------------
case_up_to_date() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/a.exe"
    expect_box "up to date" "$(en IDS_CAPTION_UNNECESSARY)" "$(en IDS_UP_TO_DATE "$name_a")" error 00050010
    check "up to date: the installer was not asked" [ ! -e "$temp/$name_a SP install.log" ]
    check_same "up to date: version kept" "$(product_version "$code_a")" 3.2.40.0
    boxes_summary
}
timed case_up_to_date

# --- an installed version the patch was not made for ---------------------
case_wrong_version() {
    run_with_boxes "$work/c.exe"
    expect_box "wrong version" "$(en IDS_CAPTION_ERROR)" "$(en IDS_WRONG_VERSION "$name_c")" error 00050010
    check_same "wrong version: version kept" "$(product_version "$code_c")" 3.2.5.0
    check "wrong version: the installer was not asked" [ ! -e "$temp/$name_c SP install.log" ]
    boxes_summary
}
timed case_wrong_version

# --- no target installed -------------------------------------------------
case_no_product() {
    run_with_boxes "$work/d.exe"
    expect_box "no product" "$(en IDS_CAPTION_ERROR)" "$(en IDS_NO_PRODUCT)" error 00050010
    boxes_summary
}
timed case_no_product

# --- slot 1 installs, slot 2 is for another version: rolled back ---------
case_rollback() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/e.exe"
    expect_box "rollback" "$(en IDS_CAPTION_ERROR)" "$(en IDS_WRONG_VERSION "$name_e2")" error 00050010
    check "rollback: slot 1 was installed" [ -f "$temp/$name_e1 SP install.log" ]
    local log="$temp/$name_e1 SP rollback.log"
    check "rollback: slot 1 removed again" [ -f "$log" ]
    check "rollback: removal of a temporary copy" is_temp_copy "$(log_property "$log" MSIPATCHREMOVE)"
    check_same "rollback: marked as the wrapper's removal" "$(log_property "$log" NRVL_SETUP_EXE)" 1
    check_same "rollback: REBOOTPROMPT" "$(log_property "$log" REBOOTPROMPT)" S
    check_same "rollback: FILESINUSETEXT" "$(log_property "$log" FILESINUSETEXT)" "$files_in_use_en"
    check_same "rollback: nothing applied" "$(log_property "$log" PATCH)" ""
    # The watcher wrote the box before pressing OK.
    check "rollback: removal only after the box was closed" \
        [ "$temp/$name_e1 SP rollback.log" -nt "$BOXES_DIR/seen.txt" ]
    check "rollback: nothing removed from the other product" [ ! -e "$temp/$name_e2 SP rollback.log" ]
    check_same "rollback: other product untouched" "$(product_version "$code_e2")" 3.2.5.0
    check_same "rollback: no temporary patch copy left" "$(patch_copies_in_temp)" ""
    boxes_summary
}
timed case_rollback

# --- no patch embedded -----------------------------------------------------
case_no_patch() {
    local quiet
    for quiet in "" /q; do
        run_with_boxes "$work/none.exe" $quiet
        expect_box "no patch ${quiet:-(not quiet)}" "Debug Infomation" \
            "Please rebuild patch wrapper with real msp in res folder" none 00000000
        boxes_summary
    done
}
timed case_no_patch

# --- /q with a failure: silent, still rolled back --------------------------
case_quiet_rollback() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/g.exe" /q
    expect_no_box "quiet"
    check "quiet: slot 1 was installed" [ -f "$temp/$name_g1 SP install.log" ]
    check "quiet: slot 1 removed again" [ -f "$temp/$name_g1 SP rollback.log" ]
    check_same "quiet: other product untouched" "$(product_version "$code_g2")" 3.2.5.0
    boxes_summary
}
timed case_quiet_rollback

# --- the installer fails ---------------------------------------------------
case_installer_error() {
    local last
    rm -f "$temp"/*.log
    run_with_boxes "$work/h.exe"
    check_same "installer error: exit code 0" "$RUN_STATUS" 0
    check "installer error: the installer's box and the wrapper's" [ "$BOX_COUNT" -ge 1 ]
    check_same "installer error: every MessageBoxW call seen" "$BOX_CALLS" "$BOX_COUNT"
    last=$BOX_COUNT
    check_same "installer error: last box caption" "$(box "$last" caption)" "$(en IDS_CAPTION_ERROR)"
    check_same "installer error: last box text" "$(box "$last" text)" "$(en IDS_INSTALL_FAILED 1603)"
    check_same "installer error: last box icon" "$(box "$last" icon)" error
    check_same "installer error: last box flags" "$(box "$last" flags)" 00050010
    check_same "installer error: version kept" "$(product_version "$code_h")" 3.2.10.0
    check "installer error: install log written" [ -f "$temp/$name_h SP install.log" ]
    check "installer error: nothing installed, nothing removed" [ ! -e "$temp/$name_h SP rollback.log" ]
    boxes_summary
}
timed case_installer_error

# --- a German user ---------------------------------------------------------
# Wine takes the user locale from LC_ALL, even when the system has no such
# locale generated; LANG alone is not enough there.
case_german() {
    run_with_boxes LC_ALL=de_DE.UTF-8 "$work/k.exe"
    expect_box "German: installed" "$(catalogue_text de-DE IDS_CAPTION_SUCCESS)" \
        "$(catalogue_text de-DE IDS_INSTALL_SUCCEEDED "$name_k")" information 00050040
    check_same "German: product now at the upgrade version" "$(product_version "$code_k")" 3.2.40.0
    # The files-in-use text follows the product's language (English), not the user's.
    check_same "German: FILESINUSETEXT in the product's language" \
        "$(log_property "$temp/$name_k SP install.log" FILESINUSETEXT)" "$files_in_use_en"
    boxes_summary
    run_with_boxes LC_ALL=de_DE.UTF-8 "$work/k.exe"
    expect_box "German: up to date" "$(catalogue_text de-DE IDS_CAPTION_UNNECESSARY)" \
        "$(catalogue_text de-DE IDS_UP_TO_DATE "$name_k")" error 00050010
    boxes_summary
}
timed case_german

# --- exit codes for deployment systems, asked for with /exitcode -------------
# expect_exit CASE CODE WRAPPER ARGS...: the run ends with CODE and shows its box as usual.
expect_exit() {
    local name=$1 code=$2
    shift 2
    run_with_boxes "$@"
    check_same "/exitcode, $name: exit code" "$RUN_EXIT_CODE" "$code"
    check_same "/exitcode, $name: the box as without it" "$BOX_COUNT" "${EXPECTED_BOXES:-1}"
    boxes_summary
}
case_exit_codes() {
    local name_x="Norvale X-ray" code_x
    code_x=$(new_product "$name_x" 3.2.10.0)
    new_patch "$work/x.msp" "$code_x" --keywords "$kw"
    build_wrapper -o "$work/x.exe" "$work/x.msp"
    expect_exit "installed" 0 "$work/x.exe" /exitcode
    check_same "/exitcode, installed: product patched" "$(product_version "$code_x")" 3.2.40.0
    expect_exit "up to date" 0 "$work/x.exe" /EXITCODE
    expect_exit "no product" 1642 "$work/d.exe" /exitcode
    expect_exit "wrong version" 1642 "$work/c.exe" /exitcode
    EXPECTED_BOXES=2 expect_exit "installer error" 1603 "$work/h.exe" /exitcode
    EXPECTED_BOXES=1 expect_exit "no patch, quiet" 1603 "$work/none.exe" /q /exitcode
    run_with_boxes "$work/d.exe"
    check_same "without /exitcode: 0 after a failure" "$RUN_EXIT_CODE" 0
}
timed case_exit_codes

finish
