#!/usr/bin/env bash
# The real wrapper under Wine installs its patches into real products and
# tells the user how it went: one box per run, read by the watcher as the
# user would see it (caption, text, icon) with the flags it was shown with,
# the installed versions and the installer logs checked afterwards, fatal
# outcomes followed by the removal of what the run installed, /q silent
# (no window at all, not even the installer's own), exit code 0 every time
# unless /exitcode asks for one, a German user's messages in German, /? and
# /help, and the wrapper's own log (/log): its format, what each run
# records, appending, names in any script, and a log that cannot be
# written changing nothing; and a run that meets another installation
# holding the installer: it waits under /q /wait, within its budget, and
# not at all without them.
#   install_run.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$@"

wine_test_start win64
# A read-only log is made immutable (see make_unwritable); a full volume
# is mounted for a log whose writes fail.
full=$WINE_TEST_DIR/full
trap 'umount "$full" 2>/dev/null || true; release_unwritable; wine_test_stop' EXIT
boxes_setup
work=$WINE_TEST_DIR/work
logs=$WINE_TEST_DIR/logs
mkdir -p "$work" "$logs"

find_temp_folder

# Leftover copies of the patches, in the folder of the copies or the
# account's temp folder, by name: MSP and ten digits, no extension.
patch_copies_in_temp() {
    find "$copies" "$temp" -maxdepth 1 -type f -regex '.*/MSP[0-9]+' | sort
}

# A copy of a patch in the Windows temp folder, as the installer was given
# it: an elevated run never puts one in the account's own temp folder.
is_temp_copy() {
    local number=${1#"$copies_win\\MSP"}
    [ "$number" != "$1" ] && [[ $number =~ ^[0-9]{10}$ ]]
}

files_in_use_en=$(en IDS_FILES_IN_USE)

# --- what the wrapper's log says, record by record ("TYPE MESSAGE") -----------
upgrade=3.2.40.0
wrapper_version=$(wrapper_version)
lines() { printf '%s\n' "$@"; }
slot_read() { echo "1 IDR_MSP_$1: products $2; target versions 3.2.10.0; upgrade version $upgrade"; }
# SLOT CODE NAME VERSION: one product as a verdict names it.
product_is() { echo "IDR_MSP_$1: product $2 \"$3\" (language 1033, installed version $4)"; }
due() { echo "1 $(product_is "$@") is at a target version below the upgrade version $upgrade: due"; }
current() { echo "1 $(product_is "$@") is at or above the upgrade version $upgrade: nothing to install"; }
not_served() {
    echo "2 $(product_is "$@") is below the upgrade version $upgrade, and its version is not among the" \
         "target versions 3.2.10.0: not patched"
}
# CODE LOG-NAME: an installer call, and the log it was given (the product's
# name as a file name).
installing() {
    echo "1 Installing the patch on product $1 with PATCH=\"$copies_win\\MSPn\" REBOOTPROMPT=S" \
         "FILESINUSETEXT=\"$files_in_use_en\"; installer log $temp_win\\$2 SP install.log"
}
removing() {
    echo "1 Removing the patch on product $1 with MSIPATCHREMOVE=\"$copies_win\\MSPn\" REBOOTPROMPT=S" \
         "FILESINUSETEXT=\"$files_in_use_en\" NRVL_SETUP_EXE=1; installer log $temp_win\\$2 SP rollback.log"
}
answered() {
    case $1 in
        0) echo "1 The installer answered 0 (success)" ;;
        *) echo "3 The installer answered $1 (failure)" ;;
    esac
}
shown() { echo "1 Message $(message_id "$1") shown"; }
event_written() { echo "1 Event $1 ($2) is written to the Application log"; }

# log_run NAME: the /log argument of a log in the test's log folder.
log_run() {
    z_path "$logs/$1.log"
}

# check_run_story CASE NAME COMPONENT RECORDS...: log NAME is well formed
# throughout and its last run recorded exactly RECORDS.
check_run_story() {
    local name=$1 file=$logs/$2.log component=$3
    shift 3
    check_run_log "$name, log" "$file" "$component"
    check_lines "$name, log: the run's records" "$(log_story "$file")" "$(lines "$@")"
}

# check_clock CASE LOG BIAS BEFORE AFTER: every record of the last run in
# LOG carries the time-zone bias BIAS, and its first record the date and
# local time (to the minute) that the zone's clock showed at the start or
# the end of the run (BEFORE, AFTER: "MM-dd-yyyy HH:MM").
check_clock() {
    local name=$1 file=$2 bias=$3 before=$4 after=$5 start stamps first
    start=$(LC_ALL=C grep -an '^.\{0,3\}<!\[LOG\[Patch wrapper .* started: ' "$file" | tail -n 1 | cut -d: -f1)
    stamps=$(tail -n +"${start:-1}" "$file" | LC_ALL=C sed -nE \
        's/.*\]LOG\]!><time="([0-9]{2}:[0-9]{2}):[0-9]{2}\.[0-9]{3}([+-][0-9]{3})" date="([^"]*)".*/\3 \1 \2/p')
    check_same "$name, log: bias of the zone" "$(cut -d' ' -f3 <<< "$stamps" | sort -u)" "$bias"
    first=$(head -n 1 <<< "$stamps" | cut -d' ' -f1,2)
    if [ "$first" = "$before" ] || [ "$first" = "$after" ]; then
        pass_check "$name, log: local date and time"
    else
        fail_check "$name, log: local date and time"
        echo "  expected [$before] or [$after], got [$first]" >&2
    fi
}

# zone_bias TZ: the bias a record carries in zone TZ now (UTC = local time
# + bias), from the zone's offset as the host's C library gives it.
zone_bias() {
    local offset minutes
    offset=$(TZ=$1 date +%z)
    minutes=$((10#${offset:1:2} * 60 + 10#${offset:3:2}))
    if [ "$minutes" = 0 ] || [ "${offset:0:1}" = - ]; then printf '+%03d' "$minutes"; else printf -- '-%03d' "$minutes"; fi
}

# rename_product FILE.msi NAME: wixl crashes on a product name that is not
# plain ASCII, so the name is set afterwards, once the database has the
# UTF-8 code page.
rename_product() {
    printf '\r\n\r\n65001\t_ForceCodepage\r\n' > "$work/_ForceCodepage.idt"
    msibuild "$1" -i "$work/_ForceCodepage.idt"
    msibuild "$1" -q "UPDATE Property SET Value='$2' WHERE Property='ProductName'"
}

started=$SECONDS
name_a="Norvale Alpha" name_c="Norvale Charlie" name_e1="Norvale Echo One" name_e2="Norvale Echo Two"
name_g1="Norvale Golf One" name_g2="Norvale Golf Two" name_h="Norvale Hotel" name_k="Norvale Kilo"
name_i="Norvale India" name_m="Norvale Mike" name_p="Norvale Papa" name_r="Norvale Romeo"
name_w="Norvale Whiskey"
# Accented Latin, Cyrillic, CJK and a character beyond the 16-bit range (a
# UTF-16 pair), with two characters that cannot stand in a file name.
name_u="Norvale Ünïcødé Кириллица 日本語 𝄞: Beta/Gamma"
file_u="Norvale Ünïcødé Кириллица 日本語 𝄞_ Beta_Gamma"
code_a=$(new_product "$name_a" 3.2.10.0)
code_c=$(new_product "$name_c" 3.2.5.0)
code_e1=$(new_product "$name_e1" 3.2.10.0)
code_e2=$(new_product "$name_e2" 3.2.5.0)
code_g1=$(new_product "$name_g1" 3.2.10.0)
code_g2=$(new_product "$name_g2" 3.2.5.0)
code_h=$(new_product "$name_h" 3.2.10.0 --fail-on-patch)
code_k=$(new_product "$name_k" 3.2.10.0)
code_i=$(new_product "$name_i" 3.2.10.0)
code_m=$(new_product "$name_m" 3.2.10.0)
code_p=$(new_product "$name_p" 3.2.10.0)
code_r=$(new_product "$name_r" 3.2.10.0)
code_w=$(new_product "$name_w" 3.2.5.0)
code_u=$(new_guid)
make_product "$work/u.msi" --code "$code_u" --name "Norvale Uniform" --version 3.2.10.0
rename_product "$work/u.msi" "$name_u"
install_product "$work/u.msi" >/dev/null || echo "installing $name_u failed" >&2
code_absent=$(new_guid)
kw="3.2.40.0;3.2.10.0"
for p in a c e1 e2 g1 g2 h k i r u; do code=code_$p; new_patch "$work/$p.msp" "${!code}" --keywords "$kw"; done
new_patch "$work/d.msp" "$code_absent" --keywords "$kw"
# One patch for two products each: the first refuses it and the second
# takes it; the first at a version the patch does not serve and the second
# patched.
new_patch "$work/mixed.msp" "$code_h" --product-code "$code_m" --template "$code_h;$code_m" --keywords "$kw"
new_patch "$work/wp.msp" "$code_w" --product-code "$code_p" --template "$code_w;$code_p" --keywords "$kw"
for exe in a c d h k r mixed wp; do build_wrapper -o "$work/$exe.exe" "$work/$exe.msp"; done
build_wrapper -o "$work/e.exe" 1="$work/e1.msp" 2="$work/e2.msp"
build_wrapper -o "$work/g.exe" 1="$work/g1.msp" 2="$work/g2.msp"
build_wrapper -o "$work/ih.exe" 1="$work/i.msp" 2="$work/h.msp"
# The log's component is the wrapper's file name, whatever its script.
exe_u="$work/ü-日本.exe"
build_wrapper -o "$exe_u" "$work/u.msp"
build_wrapper -o "$work/none.exe"
echo "  (products, patches and wrappers made in $((SECONDS - started)) s)"
check_same "products start where the cases need them" \
    "$(for c in $code_a $code_c $code_e1 $code_e2 $code_g1 $code_g2 $code_h $code_k \
                $code_i $code_m $code_p $code_r $code_w $code_u; do
           product_version "$c"; done | xargs)" \
    "3.2.10.0 3.2.5.0 3.2.10.0 3.2.5.0 3.2.10.0 3.2.5.0 3.2.10.0 3.2.10.0 3.2.10.0 3.2.10.0 3.2.10.0 3.2.10.0 3.2.5.0 3.2.10.0"
check_same "a product name in several scripts, as the installer reports it" \
    "$(product_info "$code_u" ProductName)" "$name_u"

# --- installed -----------------------------------------------------------
# In a zone east of Greenwich without summer time: the log's clock runs
# 5:30 ahead of UTC, and its bias (UTC = local time + bias) is -330.
case_installed() {
    local before after os
    rm -f "$temp"/*.log
    before=$(TZ=XST-5:30 date '+%m-%d-%Y %H:%M')
    run_with_boxes TZ=XST-5:30 "$work/a.exe" /log "$(log_run a)"
    after=$(TZ=XST-5:30 date '+%m-%d-%Y %H:%M')
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
    check_run_story "installed" a a \
        "$(slot_read 1 "$code_a")" \
        "$(due 1 "$code_a" "$name_a" 3.2.10.0)" \
        "$(installing "$code_a" "$name_a")" \
        "$(answered 0)" \
        "1 The run's outcome: Installed" \
        "$(shown IDS_INSTALL_SUCCEEDED)" \
        "1 Exit code 0 (with /exitcode: 0)" \
        "1 The event source \"Patch Wrapper\" is registered with the message file %SystemRoot%\\System32\\EventCreate.exe" \
        "$(event_written 101 information)"
    check_same "installed, log: the wrapper, its version and its command line" \
        "$(log_records "$logs/a.log" ' started: ')" \
        "1 Patch wrapper $wrapper_version started: $(z_path "$work/a.exe") /log $(log_run a)"
    os=$(log_records "$logs/a.log" '^Operating system ')
    check "installed, log: the system named with its version" \
        grep -qE '^1 Operating system .+\([0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\); ' <<< "$os"
    check_same "installed, log: rights and the folder of the copies" "${os#*); }" \
        "elevated: yes; temporary folder $copies_win"
    check_clock "installed" "$logs/a.log" -330 "$before" "$after"
    boxes_summary
}
timed case_installed

# --- the same wrapper again ----------------------------------------------
# The same log: the second run is appended. West of Greenwich without
# summer time this time: 7 hours behind UTC, bias +420.
case_up_to_date() {
    local before after first_run=$work/a-first-run.log
    rm -f "$temp"/*.log
    cp "$logs/a.log" "$first_run"
    before=$(TZ=XPT7 date '+%m-%d-%Y %H:%M')
    run_with_boxes TZ=XPT7 "$work/a.exe" /log "$(log_run a)"
    after=$(TZ=XPT7 date '+%m-%d-%Y %H:%M')
    expect_box "up to date" "$(en IDS_CAPTION_UNNECESSARY)" "$(en IDS_UP_TO_DATE "$name_a")" error 00050010
    check "up to date: the installer was not asked" [ ! -e "$temp/$name_a SP install.log" ]
    check_same "up to date: version kept" "$(product_version "$code_a")" 3.2.40.0
    check "up to date, log: the first run's records kept as they were" \
        cmp -s -n "$(stat -c %s "$first_run")" "$first_run" "$logs/a.log"
    check_same "up to date, log: both runs in it" "$(log_records "$logs/a.log" ' started: ' | wc -l)" 2
    check_run_story "up to date" a a \
        "$(slot_read 1 "$code_a")" \
        "$(current 1 "$code_a" "$name_a" 3.2.40.0)" \
        "1 The run's outcome: UpToDate" \
        "$(shown IDS_UP_TO_DATE)" \
        "1 Exit code 0 (with /exitcode: 0)" \
        "$(event_written 103 information)"
    check_clock "up to date" "$logs/a.log" +420 "$before" "$after"
    boxes_summary
}
timed case_up_to_date

# --- an installed version the patch was not made for ---------------------
# In zones with summer time, one north and one south of the equator, so
# that one of them is in its summer whenever the test runs (in December
# Berlin keeps standard time, bias -060, and Santiago summer time, +180):
# the bias adds the zone's standard or daylight bias, as the date says.
case_wrong_version() {
    local before after
    before=$(TZ=Europe/Berlin date '+%m-%d-%Y %H:%M')
    run_with_boxes TZ=Europe/Berlin "$work/c.exe" /log "$(log_run c)"
    after=$(TZ=Europe/Berlin date '+%m-%d-%Y %H:%M')
    check_clock "wrong version" "$logs/c.log" "$(zone_bias Europe/Berlin)" "$before" "$after"
    expect_box "wrong version" "$(en IDS_CAPTION_ERROR)" "$(en IDS_WRONG_VERSION "$name_c")" error 00050010
    check_same "wrong version: version kept" "$(product_version "$code_c")" 3.2.5.0
    check "wrong version: the installer was not asked" [ ! -e "$temp/$name_c SP install.log" ]
    check_run_story "wrong version" c c \
        "$(slot_read 1 "$code_c")" \
        "$(not_served 1 "$code_c" "$name_c" 3.2.5.0)" \
        "2 The run's outcome: WrongVersion" \
        "$(shown IDS_WRONG_VERSION)" \
        "2 Exit code 0 (with /exitcode: 1642)" \
        "$(event_written 104 warning)"
    boxes_summary
}
timed case_wrong_version

# --- no target installed -------------------------------------------------
case_no_product() {
    local before after
    before=$(TZ=America/Santiago date '+%m-%d-%Y %H:%M')
    run_with_boxes TZ=America/Santiago "$work/d.exe" /log "$(log_run d)"
    after=$(TZ=America/Santiago date '+%m-%d-%Y %H:%M')
    check_clock "no product" "$logs/d.log" "$(zone_bias America/Santiago)" "$before" "$after"
    expect_box "no product" "$(en IDS_CAPTION_ERROR)" "$(en IDS_NO_PRODUCT)" error 00050010
    check_run_story "no product" d d \
        "$(slot_read 1 "$code_absent")" \
        "2 IDR_MSP_1: none of the patch's products is installed" \
        "2 The run's outcome: NoProduct" \
        "$(shown IDS_NO_PRODUCT)" \
        "2 Exit code 0 (with /exitcode: 1642)" \
        "$(event_written 104 warning)"
    boxes_summary
}
timed case_no_product

# --- slot 1 installs, slot 2 is for another version: rolled back ---------
case_rollback() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/e.exe" /log "$(log_run e)"
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
    check_run_story "rollback" e e \
        "$(slot_read 1 "$code_e1")" \
        "$(due 1 "$code_e1" "$name_e1" 3.2.10.0)" \
        "$(installing "$code_e1" "$name_e1")" \
        "$(answered 0)" \
        "$(slot_read 2 "$code_e2")" \
        "$(not_served 2 "$code_e2" "$name_e2" 3.2.5.0)" \
        "2 The run's outcome: WrongVersion" \
        "$(shown IDS_WRONG_VERSION)" \
        "1 Rolling back IDR_MSP_1, installed by this run" \
        "$(removing "$code_e1" "$name_e1")" \
        "$(answered 0)" \
        "2 Exit code 0 (with /exitcode: 1642)" \
        "$(event_written 107 error)"
    boxes_summary
}
timed case_rollback

# --- no patch embedded -----------------------------------------------------
case_no_patch() {
    local quiet log
    for quiet in "" /q; do
        log=none${quiet:+-q}
        run_with_boxes "$work/none.exe" $quiet /log "$(log_run "$log")"
        expect_box "no patch ${quiet:-(not quiet)}" "Debug Infomation" \
            "Please rebuild patch wrapper with real msp in res folder" none 00000000
        check_run_story "no patch ${quiet:-(not quiet)}" "$log" none \
            "3 The run's outcome: NoPatch" \
            "3 The wrapper carries no patch: the rebuild notice is shown" \
            "3 Exit code 0 (with /exitcode: 1603)" \
            "$(event_written 106 error)"
        check_same "no patch ${quiet:-(not quiet)}, log: every slot looked at" \
            "$(log_records "$logs/$log.log" '^IDR_MSP_([1-9]|1[0-5]): no patch in this slot$' | wc -l)" 15
        boxes_summary
    done
}
timed case_no_patch

# --- /q with a failure: silent, still rolled back --------------------------
case_quiet_rollback() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/g.exe" /q /log "$(log_run g)"
    expect_no_box "quiet"
    check "quiet: slot 1 was installed" [ -f "$temp/$name_g1 SP install.log" ]
    check "quiet: slot 1 removed again" [ -f "$temp/$name_g1 SP rollback.log" ]
    check_same "quiet: other product untouched" "$(product_version "$code_g2")" 3.2.5.0
    check_run_story "quiet" g g \
        "$(slot_read 1 "$code_g1")" \
        "$(due 1 "$code_g1" "$name_g1" 3.2.10.0)" \
        "$(installing "$code_g1" "$name_g1")" \
        "$(answered 0)" \
        "$(slot_read 2 "$code_g2")" \
        "$(not_served 2 "$code_g2" "$name_g2" 3.2.5.0)" \
        "2 The run's outcome: WrongVersion" \
        "1 Message $(message_id IDS_WRONG_VERSION) not shown (/q)" \
        "1 Rolling back IDR_MSP_1, installed by this run" \
        "$(removing "$code_g1" "$name_g1")" \
        "$(answered 0)" \
        "2 Exit code 0 (with /exitcode: 1642)" \
        "$(event_written 107 error)"
    boxes_summary
}
timed case_quiet_rollback

# --- the installer fails ---------------------------------------------------
# The product's own error box comes first (the text make-product.sh gives
# its failing action): the watcher sees the installer's boxes as it sees
# the wrapper's, which the quiet case below relies on.
case_installer_error() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/h.exe" /log "$(log_run h)"
    check_same "installer error: exit code 0" "$RUN_STATUS" 0
    check_same "installer error: the installer's box and the wrapper's" "$BOX_COUNT" 2
    check_same "installer error: every MessageBoxW call seen" "$BOX_CALLS" "$BOX_COUNT"
    check_same "installer error: the installer's box first" "$(box 1 text)" "This product refuses every patch."
    check_same "installer error: last box caption" "$(box 2 caption)" "$(en IDS_CAPTION_ERROR)"
    check_same "installer error: last box text" "$(box 2 text)" "$(en IDS_INSTALL_FAILED 1603)"
    check_same "installer error: last box icon" "$(box 2 icon)" error
    check_same "installer error: last box flags" "$(box 2 flags)" 00050010
    check_same "installer error: version kept" "$(product_version "$code_h")" 3.2.10.0
    check "installer error: install log written" [ -f "$temp/$name_h SP install.log" ]
    check "installer error: nothing installed, nothing removed" [ ! -e "$temp/$name_h SP rollback.log" ]
    check_run_story "installer error" h h \
        "$(slot_read 1 "$code_h")" \
        "$(due 1 "$code_h" "$name_h" 3.2.10.0)" \
        "$(installing "$code_h" "$name_h")" \
        "$(answered 1603)" \
        "3 The run's outcome: Failed" \
        "$(shown IDS_INSTALL_FAILED)" \
        "3 Exit code 0 (with /exitcode: 1603)" \
        "$(event_written 106 error)"
    boxes_summary
}
timed case_installer_error

# --- /q, slot 1 installs, the installer fails on slot 2 ----------------------
# Nobody is there to answer the installer's error box: the run must end by
# itself with no box at all, and tell the deployment the installer's code.
case_quiet_installer_error() {
    rm -f "$temp"/*.log
    run_with_boxes "$work/ih.exe" /q /exitcode /log "$(log_run ih)"
    check_same "quiet installer error: no box, no MessageBoxW call" "$BOX_COUNT $BOX_CALLS" "0 0"
    check_same "quiet installer error: the installer's code" "$RUN_EXIT_CODE" 1603
    check_same "quiet installer error: the code as wine cuts it" "$RUN_STATUS" $((1603 % 256))
    check "quiet installer error: the refusing product was asked" [ -f "$temp/$name_h SP install.log" ]
    check_same "quiet installer error: its version kept" "$(product_version "$code_h")" 3.2.10.0
    check "quiet installer error: slot 1 was installed" [ -f "$temp/$name_i SP install.log" ]
    check "quiet installer error: slot 1 removed again" [ -f "$temp/$name_i SP rollback.log" ]
    check_same "quiet installer error: no temporary patch copy left" "$(patch_copies_in_temp)" ""
    check_run_story "quiet installer error" ih ih \
        "$(slot_read 1 "$code_i")" \
        "$(due 1 "$code_i" "$name_i" 3.2.10.0)" \
        "$(installing "$code_i" "$name_i")" \
        "$(answered 0)" \
        "$(slot_read 2 "$code_h")" \
        "$(due 2 "$code_h" "$name_h" 3.2.10.0)" \
        "$(installing "$code_h" "$name_h")" \
        "$(answered 1603)" \
        "3 The run's outcome: Failed" \
        "1 Message $(message_id IDS_INSTALL_FAILED) not shown (/q)" \
        "1 Rolling back IDR_MSP_1, installed by this run" \
        "$(removing "$code_i" "$name_i")" \
        "$(answered 0)" \
        "3 Exit code 1603" \
        "$(event_written 107 error)"
    boxes_summary
}
timed case_quiet_installer_error

# --- a log that cannot be written --------------------------------------------
# A log in a folder that does not exist, or a read-only one, is no log: the
# run is the one without /log, box for box (their texts carry the last-error
# value), with the same exit code and the same product state.
case_unusable_log() {
    local reference read_only=$logs/read-only.log
    run_with_boxes "$work/h.exe" /exitcode
    reference="$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")"
    check_same "no log: the installer's box and the failure box, its code" "$BOX_COUNT $RUN_EXIT_CODE" "2 1603"
    run_with_boxes "$work/h.exe" /exitcode /log "$(z_path "$logs/missing/h.log")"
    check_same "log in a missing folder: boxes and exit code as without /log" \
        "$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")" "$reference"
    check "log in a missing folder: no folder made" [ ! -e "$logs/missing" ]
    # Another program holds every byte of the log locked: the run waits for
    # it 5 s in all (not per record), loses its records, and is the one
    # without /log.
    echo "kept as it was" > "$logs/locked.log"
    wine "$TEST_TOOLS_DIR/hold_open.exe" "$(log_run locked)" 60 "$(z_path "$work/locking")" lock >/dev/null 2>&1 &
    local holder=$! started
    for _ in $(seq 200); do [ -e "$work/locking" ] && break; sleep 0.1; done
    check "a locked log: it is held" [ -e "$work/locking" ]
    started=$SECONDS
    run_with_boxes "$work/h.exe" /exitcode /log "$(log_run locked)"
    check "a locked log: 5 s of waiting in all ($((SECONDS - started)) s)" [ $((SECONDS - started)) -lt 30 ]
    kill "$holder" && wait "$holder" 2>/dev/null || true
    check_same "a locked log: boxes and exit code as without /log" \
        "$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")" "$reference"
    check_same "a locked log: nothing written" "$(cat "$logs/locked.log")" "kept as it was"
    # A second name of another file at the log's path (a hard link): run as
    # SYSTEM it would append to whatever file the link's maker chose. A
    # symbolic link is refused alike on Windows, where it is a reparse
    # point; Wine 8 shows a Unix link as the file it names, so it is not
    # tried here.
    echo "kept as it was" > "$work/linked.txt"
    ln -f "$work/linked.txt" "$logs/link.log"
    run_with_boxes "$work/h.exe" /exitcode /log "$(log_run link)"
    check_same "a hard link at the log's path: boxes and exit code as without /log" \
        "$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")" "$reference"
    check_same "a hard link at the log's path: the file it names kept" "$(cat "$work/linked.txt")" "kept as it was"
    # Receipts that cannot be written: the run is the one without /json, and
    # nothing is made or left. A Unix link is a file to Wine: the receipt
    # replaces the link, never what it names.
    local receipts=$work/receipts path
    mkdir -p "$receipts/folder.json" "$receipts/locked"
    echo "kept as it was" > "$receipts/target.txt"
    ln -s "$receipts/target.txt" "$receipts/link.json"
    ln "$work/linked.txt" "$receipts/second.json"
    make_unwritable "$receipts/locked" || echo "  read-only receipt folder: not made here, a missing one is tried" >&2
    for path in folder.json second.json missing/r.json locked/r.json "$(printf 'x%.0s' $(seq 256)).json" link.json; do
        run_with_boxes "$work/h.exe" /exitcode /json "$(z_path "$receipts")\\$path"
        check_same "a receipt at ${path:0:20}: boxes and exit code as without /json" \
            "$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")" "$reference"
    done
    run_with_boxes "$work/h.exe" /exitcode /json 'Q:\r.json'
    check_same "a receipt on a missing drive: boxes and exit code as without /json" \
        "$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")" "$reference"
    check_lines "receipts that cannot be written: nothing made, nothing left" "$(tree_of "$receipts")" \
        "$(lines folder.json link.json locked second.json target.txt)"
    check_same "receipts that cannot be written: the files at their paths kept" \
        "$(cat "$work/linked.txt" "$receipts/target.txt")" "$(lines "kept as it was" "kept as it was")"
    check_same "a link at the receipt's path: replaced by the receipt" "$(jq -r .mode "$receipts/link.json")" install
    # A log that opens but takes no byte (on a full volume): the installer's
    # code still reaches the box and the exit code, not the log's failure.
    mkdir -p "$full"
    if mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
        : > "$full/h.log"
        head -c 1M /dev/zero > "$full/filler" 2>/dev/null || true
        run_with_boxes "$work/h.exe" /exitcode /log "$(z_path "$full/h.log")"
        check_same "a log whose writes fail: boxes and exit code as without /log" \
            "$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")" "$reference"
        check_same "a log whose writes fail: nothing in it" "$(stat -c %s "$full/h.log")" 0
        umount "$full"
    else
        echo "  a log whose writes fail: skipped, no tmpfs can be mounted here" >&2
    fi
    echo "kept as it was" > "$read_only"
    if ! make_unwritable "$read_only"; then
        echo "  read-only log: skipped, a file that root cannot write cannot be made here" >&2
        return
    fi
    run_with_boxes "$work/h.exe" /exitcode /log "$(z_path "$read_only")"
    check_same "read-only log: boxes and exit code as without /log" \
        "$RUN_EXIT_CODE $(cat "$BOXES_DIR/seen.txt")" "$reference"
    check_same "read-only log: product kept at its version" "$(product_version "$code_h")" 3.2.10.0
    run_with_boxes "$work/r.exe" /exitcode /log "$(z_path "$read_only")"
    expect_box "read-only log, a patch that installs" "$(en IDS_CAPTION_SUCCESS)" \
        "$(en IDS_INSTALL_SUCCEEDED "$name_r")" information 00050040
    check_same "read-only log, a patch that installs: exit code" "$RUN_EXIT_CODE" 0
    check_same "read-only log, a patch that installs: product patched" "$(product_version "$code_r")" 3.2.40.0
    check_same "read-only log: content kept" "$(cat "$read_only")" "kept as it was"
    boxes_summary
}
timed case_unusable_log

# --- wrappers sharing a log --------------------------------------------------
# Eight wrappers at once append to one log, round after round: every record
# of every run arrives whole, on a line of its own, and the log has one
# byte-order mark, though the first round creates it.
case_shared_log() {
    local rounds=6 round i runs shared=$logs/shared.log
    for round in $(seq "$rounds"); do
        runs=()
        for i in $(seq 8); do
            timeout "${RUN_TIMEOUT:-120}" wine "$work/d.exe" /q /log "$(z_path "$shared")" >/dev/null 2>&1 &
            runs+=($!)
        done
        wait "${runs[@]}"
    done
    check_run_log "shared log" "$shared" d
    check_same "shared log: every run's records" \
        "$(log_records "$shared" | cut -c3- | sed -E -e 's/ started: .*/ started/' -e 's/^Operating system .*/Operating system/' | sort | uniq -c | sed 's/^ *//')" \
        "$(for record in "IDR_MSP_1: none of the patch's products is installed" \
               "IDR_MSP_1: products $code_absent; target versions 3.2.10.0; upgrade version $upgrade" \
               "Exit code 0 (with /exitcode: 1642)" "Message $(message_id IDS_NO_PRODUCT) not shown (/q)" \
               "Operating system" "Patch wrapper $wrapper_version started" "The run's outcome: NoProduct" \
               "Event 104 (warning) is written to the Application log"; do
               echo "$((rounds * 8)) $record"; done | sort)"
}
timed case_shared_log

# --- receipts collected in one folder ---------------------------------------
# Eight wrappers at once write their receipts to eight names in one folder,
# then eight at once to one name: every file whole and valid, the shared
# one a receipt of one of the last eight runs, no temporary name left.
case_shared_receipts() {
    local folder=$logs/collected round i runs name
    mkdir -p "$folder"
    for round in own shared; do
        runs=()
        for i in $(seq 8); do
            name=PC$i && [ "$round" = own ] || name=shared
            timeout "${RUN_TIMEOUT:-120}" wine "$work/d.exe" /whatif /q /json "$(z_path "$folder/$name.json")" "/run$i" \
                >/dev/null 2>&1 &
            runs+=($!)
        done
        wait "${runs[@]}"
    done
    check_lines "collected receipts: one a name, no temporary name left" "$(tree_of "$folder")" \
        "$(printf '%s\n' PC{1..8}.json shared.json | sort)"
    check_same "collected receipts: all valid" "$(receipt_facts "$folder"/*.json | grep '^schema:')" ""
    check "collected receipts: the shared one is one of the last eight runs'" \
        grep -qE '"commandLine": ".* /run[1-8]"' "$folder/shared.json"
    # Without /exitcode the run ends with 0, and the receipt gives the code
    # /exitcode would have given: d.msp's product is missing.
    check_same "collected receipts: the exit code /exitcode would give" "$(jq -r .exitCode "$folder/PC1.json")" 1642
}
timed case_shared_receipts

# --- names in any script -----------------------------------------------------
# The log is UTF-8: the product's name, the installer log's file name and the
# wrapper's own name read back as they are. An argument that holds a line
# feed and the sequence that ends a message keeps its record one line and
# one record.
case_log_names() {
    local odd=$'two\nlines ]LOG]!> end' log="ü ж"
    rm -f "$temp"/*.log
    # Wine names Unix files in the locale's character set: in the C locale
    # it could not even find the wrapper.
    run_with_boxes LC_ALL=C.UTF-8 "$exe_u" /log "$(log_run "$log")" "$odd"
    expect_box "names" "$(en IDS_CAPTION_SUCCESS)" "$(en IDS_INSTALL_SUCCEEDED "$name_u")" information 00050040
    check_same "names: product patched" "$(product_version "$code_u")" 3.2.40.0
    check "names: installer log named after the product, : and / made _" [ -f "$temp/$file_u SP install.log" ]
    check_run_story "names" "$log" "ü-日本" \
        '2 "two\nlines ]LOG]!&gt; end" is no word of this wrapper; it is ignored' \
        "$(slot_read 1 "$code_u")" \
        "$(due 1 "$code_u" "$name_u" 3.2.10.0)" \
        "$(installing "$code_u" "$file_u")" \
        "$(answered 0)" \
        "1 The run's outcome: Installed" \
        "$(shown IDS_INSTALL_SUCCEEDED)" \
        "1 Exit code 0 (with /exitcode: 0)" \
        "$(event_written 101 information)"
    check_same "names, log: the command line's line feed and message end, escaped" \
        "$(log_records "$logs/$log.log" ' started: ')" \
        "1 Patch wrapper $wrapper_version started: $(z_path "$exe_u") /log \"$(log_run "$log")\" \"two\\nlines ]LOG]!&gt; end\""
    boxes_summary
}
timed case_log_names

# --- /? and /help --------------------------------------------------------------
# The box lists the command-line words; nothing is installed, whatever else
# the command line asks for. The text is the one the source holds.
case_help() {
    local help_text word
    help_text=$(sed -n '/kCommandLineHelp\[\] =/,/;$/p' "$E2E_REPO/src/app/command_line.cpp" |
        sed -n 's/^ *L"\(.*\)";\{0,1\}$/\1/p' | tr -d '\n')
    rm -f "$temp"/*.log
    run_with_boxes "$work/k.exe" '/?'
    expect_box "/?" Help "$help_text" information 00000040
    for word in /q /exitcode '/log FILE' /whatif '/wait MINUTES' '/e PATH' /i /pi '/?, /help'; do
        check "/?: lists $word" grep -qF -- "\\n$word\\t" <<< "$(box 1 text)"
    done
    boxes_summary
    # A usage error installs nothing and shows the list but where /q stands
    # on the line, even as /wait's value (the number forgotten), and even
    # beside /?; with /exitcode it ends with 1639
    # (ERROR_INVALID_COMMAND_LINE), and the log says why. A word of
    # nobody's is ignored, and named.
    run_with_boxes "$work/k.exe" '/?' /exitcode /log "$(log_run usage)" -q /wait /q
    check_same "/? /exitcode /wait /q: no box, exit code 1639" "$BOX_COUNT $RUN_EXIT_CODE" "0 1639"
    local why='"/q" after /wait is not a whole number of minutes from 0 to 1440'
    check_run_story "/wait /q" usage k '2 "-q" is no word of this wrapper; it is ignored' \
        "3 The command line cannot be followed: $why; nothing is done" \
        "1 The list of command-line words is not shown (/q)" "3 Exit code 1639" \
        "$(event_written 901 error)"
    run_with_boxes "$work/k.exe" /exitcode /log
    check_same "/exitcode /log: the list of words, exit code 1639" \
        "$BOX_COUNT $RUN_EXIT_CODE $(box 1 caption) $(box 1 text)" "1 1639 Help $help_text"
    run_with_boxes "$work/k.exe" /HELP /exitcode /log "$(log_run help)"
    expect_box "/HELP /exitcode" Help "$help_text" information 00000040
    check_same "/HELP /exitcode: exit code" "$RUN_EXIT_CODE" 0
    check_run_story "/HELP" help k "1 The list of command-line words is shown"
    # The receipts of runs that install nothing carry every slot, without
    # products or an outcome; /? with a usage error, 1639 under /exitcode.
    local words mode code arguments
    for words in "/HELP help 0" "/pi nothing 0" "/i info 0" "/?|/wait usage-error 1639"; do
        read -r word mode code <<< "$words"
        IFS='|' read -ra arguments <<< "$word"
        run_with_boxes "$work/k.exe" /exitcode /json "$(z_path "$logs/carried-$mode.json")" /norestart \
            "${arguments[@]}"
        check_same "$word: the receipt's mode, exit code, slots as carried and ignored words" \
            "$(jq -c '[.mode, .exitCode, [.slots[] | [.slot, .outcome, (.products | length)]], .ignoredWords]' \
                "$logs/carried-$mode.json")" "[\"$mode\",$code,[[1,null,0]],[\"/norestart\"]]"
    done
    check "/? and /help: the installer was not asked" [ ! -e "$temp/$name_k SP install.log" ]
    check_same "/? and /help: version kept" "$(product_version "$code_k")" 3.2.10.0
    check_same "/? and /help: no temporary patch copy written" "$(patch_copies_in_temp)" ""
    boxes_summary
}
timed case_help

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
    # A success on one product does not hide a failure on another, on the
    # first run already: the next run would find that product unpatched.
    EXPECTED_BOXES=2 expect_exit "one product refuses, the next is patched" 1603 "$work/mixed.exe" /exitcode
    check_same "/exitcode, one product refuses: the box says installed" \
        "$(box 2 text)" "$(en IDS_INSTALL_SUCCEEDED "$name_m")"
    check_same "/exitcode, one product refuses: versions" \
        "$(product_version "$code_h") $(product_version "$code_m")" "3.2.10.0 3.2.40.0"
    expect_exit "a product left at a version not served, the next patched" 1642 "$work/wp.exe" /exitcode
    check_same "/exitcode, a product left behind: the box says installed" \
        "$(box 1 text)" "$(en IDS_INSTALL_SUCCEEDED "$name_p")"
    check_same "/exitcode, a product left behind: versions" \
        "$(product_version "$code_w") $(product_version "$code_p")" "3.2.5.0 3.2.40.0"
    # The installer answers success, but the patch's transforms leave the
    # product below the upgrade version its Keywords name (the builder only
    # warns): not patched, as the next run would find.
    local name_y="Norvale Yankee" code_y
    code_y=$(new_product "$name_y" 3.2.10.0)
    new_patch "$work/y.msp" "$code_y" --keywords "3.2.50.0;3.2.10.0"
    build_wrapper -o "$work/y.exe" "$work/y.msp" 2>/dev/null
    expect_exit "the installer's success short of the upgrade version" 1642 "$work/y.exe" /exitcode /log "$(log_run y)"
    check_same "/exitcode, short of the upgrade version: the box says installed" \
        "$(box 1 text)" "$(en IDS_INSTALL_SUCCEEDED "$name_y")"
    check_same "/exitcode, short of the upgrade version: the log says why" "$(log_records "$logs/y.log" ' after the installer')" \
        "2 IDR_MSP_1: product $code_y is at version 3.2.40.0 after the installer's success, below the upgrade version 3.2.50.0"
    run_with_boxes "$work/d.exe"
    check_same "without /exitcode: 0 after a failure" "$RUN_EXIT_CODE" 0
}
timed case_exit_codes

# --- another installation holds the installer --------------------------------
# Wine's installer never answers 1618 by itself: hold_installer owns the
# installer's execution mutex, as the installer service does while it runs
# another installation, until it is told to let go.
hold_installer() {
    rm -f "$work/held" "$work/release"
    wine "$TEST_TOOLS_DIR/hold_installer.exe" "$(z_path "$work/held")" "$(z_path "$work/release")" \
        >/dev/null 2>&1 &
    HOLDER_PID=$!
    for _ in $(seq 400); do
        [ -e "$work/held" ] && return 0
        sleep 0.05
    done
    fail_check "hold_installer owns the execution mutex"
}
release_installer() {
    local status=0
    touch "$work/release"
    wait "$HOLDER_PID" || status=$?
    check_same "hold_installer let go of the execution mutex" "$status" 0
}
within() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
# Looked up before the wait, the busy installer is first a warning of its own.
busy_hint() {
    echo "2 Before installing the patch on product $1: another installation holds the installer" \
         "(the mutex Global\\_MSIExecute is held)"
}
busy() {
    echo "2 IDR_MSP_1: the installer is busy with another installation (its execution mutex is held);" \
         "waiting up to 60 s before installing the patch on product $1"
}

case_busy_installer() {
    local name_b1="Norvale Bravo One" name_b2="Norvale Bravo Two" name_b3="Norvale Bravo Three"
    local code_b1 code_b2 code_b3 p code seconds started
    code_b1=$(new_product "$name_b1" 3.2.10.0)
    code_b2=$(new_product "$name_b2" 3.2.10.0)
    code_b3=$(new_product "$name_b3" 3.2.10.0)
    for p in b1 b2 b3; do
        code=code_$p
        new_patch "$work/$p.msp" "${!code}" --keywords "$kw"
        build_wrapper -o "$work/$p.exe" "$work/$p.msp"
    done
    rm -f "$temp"/*.log

    # Let go of after 3 s: the run waits, then installs.
    hold_installer
    (sleep 3 && touch "$work/release") &
    run_with_boxes "$work/b1.exe" /q /wait 1 /exitcode /log "$(log_run b1)" /json "$(z_path "$logs/b1.json")"
    release_installer
    check_same "busy, let go of: no box, exit code 0" "$BOX_COUNT $RUN_EXIT_CODE" "0 0"
    check_same "busy, let go of: product patched" "$(product_version "$code_b1")" 3.2.40.0
    check_run_log "busy, let go of, log" "$logs/b1.log" b1
    check_lines "busy, let go of, log: the run's records, seconds waited as N" \
        "$(log_story "$logs/b1.log" | sed -E 's/: waited [0-9]+ s (for|in all)/: waited N s \1/')" "$(lines \
        "$(slot_read 1 "$code_b1")" \
        "$(due 1 "$code_b1" "$name_b1" 3.2.10.0)" \
        "$(busy_hint "$code_b1")" \
        "$(busy "$code_b1")" \
        "2 IDR_MSP_1: waited N s for the installer, which is free now" \
        "$(installing "$code_b1" "$name_b1")" \
        "$(answered 0)" \
        "1 IDR_MSP_1: waited N s in all before installing the patch on product $code_b1" \
        "1 The run's outcome: Installed" \
        "1 Message $(message_id IDS_INSTALL_SUCCEEDED) not shown (/q)" \
        "1 Exit code 0" \
        "1 The receipt is written to $(z_path "$logs/b1.json")" \
        "$(event_written 101 information)")"
    seconds=$(log_records "$logs/b1.log" ': waited [0-9]+ s in all' | sed -E 's/.*: waited ([0-9]+) s in all.*/\1/')
    check "busy, let go of: waited about the 3 s it was held (${seconds:-no} s)" within "${seconds:-0}" 2 6
    check_same "busy, let go of: the receipt's seconds waited, as the log's total, and the answer" \
        "$(jq -r '.slots[0].products[0] | "\(.secondsWaited) \(.installerResult)"' "$logs/b1.json")" "$seconds 0"
    echo "  the run that waited, as its log records it:"
    LC_ALL=C sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' -e '/: no patch in this slot]LOG]/d' -e 's/^/    /' "$logs/b1.log"

    hold_installer
    # A person at the screen is not kept waiting: the installer is called at
    # once (Wine's, which does not look at the mutex, installs).
    run_with_boxes "$work/b3.exe" /exitcode /log "$(log_run b3)"
    expect_box "busy, attended" "$(en IDS_CAPTION_SUCCESS)" "$(en IDS_INSTALL_SUCCEEDED "$name_b3")" information 00050040
    check_same "busy, attended: no wait recorded" "$(log_records "$logs/b3.log" 'busy|waited')" ""
    check_same "busy, attended: product patched" "$(product_version "$code_b3")" 3.2.40.0
    # Held past the budget: 1618, and the installer never asked.
    started=$SECONDS
    run_with_boxes "$work/b2.exe" /q /wait 1 /exitcode /log "$(log_run b2)" /json "$(z_path "$logs/b2.json")"
    seconds=$((SECONDS - started))
    release_installer
    check_same "busy to the end: no box, exit code 1618" "$BOX_COUNT $RUN_EXIT_CODE" "0 1618"
    check "busy to the end: the run took its minute ($seconds s)" within "$seconds" 59 80
    check_same "busy to the end: product unchanged" "$(product_version "$code_b2")" 3.2.10.0
    check "busy to the end: the installer was not asked" [ ! -e "$temp/$name_b2 SP install.log" ]
    check_same "busy to the end: the receipt's answer, without an installer log" \
        "$(jq -c '.slots[0].products[0] | [.secondsWaited, .installerResult, .installerLog, .versionAfter]' "$logs/b2.json")" \
        "[60,1618,null,null]"
    check_run_story "busy to the end" b2 b2 \
        "$(slot_read 1 "$code_b2")" \
        "$(due 1 "$code_b2" "$name_b2" 3.2.10.0)" \
        "$(busy_hint "$code_b2")" \
        "$(busy "$code_b2")" \
        "2 IDR_MSP_1: waited 60 s for the installer, which is still busy: the run's waiting time of 1 minute is spent" \
        "1 IDR_MSP_1: waited 60 s in all before installing the patch on product $code_b2" \
        "3 The installer was not called: 1618 (another installation is in progress)" \
        "3 The run's outcome: Failed" \
        "1 Message $(message_id IDS_INSTALL_FAILED) not shown (/q)" \
        "3 Exit code 1618" \
        "1 The receipt is written to $(z_path "$logs/b2.json")" \
        "$(event_written 105 warning)"
    boxes_summary
}
timed case_busy_installer

# --- /whatif: the plan, then the run, on the same machine -------------------
# Products by their code, in the order the log names them ("none" for
# none): those the plan would patch and remove again, and those the run did.
codes() { local c; c=$(sed -E 's/.* product (\{[^}]*\}).*/\1/' | paste -sd,); echo "${c:-none}"; }
planned() { log_records "$1" "^What if: .* $2" | codes; }
done_by_run() { log_records "$1" "^$2 the patch on product" | codes; }
case_whatif() {
    local code_q code_s code_o row exe tree plan_code run_code patched removed exit_type
    code_q=$(new_product "Norvale Quebec" 3.2.10.0)
    code_s=$(new_product "Norvale Sierra" 3.2.10.0)
    code_o=$(new_product "Norvale Oscar" 3.2.10.0)
    new_patch "$work/q1.msp" "$code_q" --keywords "$kw"
    new_patch "$work/q2.msp" "$code_q" --to-version 3.2.50.0 --keywords "3.2.50.0;3.2.40.0"
    new_patch "$work/s.msp" "$code_s" --keywords "$kw"
    new_patch "$work/o1.msp" "$code_o" --keywords "$kw"
    new_patch "$work/o2.msp" "$code_o" --to-version 3.2.50.0 --keywords "3.2.50.0;3.2.40.0"
    # A chained pair (slot 2 serves what slot 1 makes); slot 2's product
    # missing; the chained pair again, then a missing product, which rolls
    # both back: slot 1's patch stays, its product being at slot 2's version.
    build_wrapper -o "$work/qq.exe" 1="$work/q1.msp" 2="$work/q2.msp"
    build_wrapper -o "$work/sd.exe" 1="$work/s.msp" 2="$work/d.msp"
    build_wrapper -o "$work/ood.exe" 1="$work/o1.msp" 2="$work/o2.msp" 3="$work/d.msp"
    # The plan's last record: "would patch" (1) is information, 1642 a warning.
    for row in "qq 1 0 $code_q,$code_q none 1" "sd 1642 1642 $code_s $code_s 2" \
               "ood 1642 1642 $code_o,$code_o $code_o 2"; do
        read -r exe plan_code run_code patched removed exit_type <<< "$row"
        tree=$(find "$WINEPREFIX/drive_c" | sort)
        run_with_boxes "$work/$exe.exe" /WhatIf /q /exitcode /log "$(log_run "whatif-$exe")" \
            /json "$(z_path "$logs/whatif-$exe.json")"
        check_same "/whatif $exe: no box, exit code" "$BOX_COUNT $RUN_EXIT_CODE" "0 $plan_code"
        check_same "/whatif $exe: the exit code's record" "$(log_records "$logs/whatif-$exe.log" '^Exit code ')" \
            "$exit_type Exit code $plan_code"
        check_lines "/whatif $exe: nothing made or removed in the prefix" "$(find "$WINEPREFIX/drive_c" | sort)" "$tree"
        run_with_boxes "$work/$exe.exe" /q /exitcode /log "$(log_run "run-$exe")" /json "$(z_path "$logs/run-$exe.json")"
        check_same "/whatif $exe: the run's exit code" "$RUN_EXIT_CODE" "$run_code"
        check_same "/whatif $exe: the receipts' verdicts, plan as run" \
            "$(receipt_facts "$logs/whatif-$exe.json" | cut -d' ' -f2-4)" \
            "$(receipt_facts "$logs/run-$exe.json" | cut -d' ' -f2-4)"
        check_same "/whatif $exe: patched as planned, as run" "$(planned "$logs/whatif-$exe.log" 'would be patched') \
$(done_by_run "$logs/run-$exe.log" Installing)" "$patched $patched"
        check_same "/whatif $exe: removed again as planned, as run" "$(planned "$logs/whatif-$exe.log" 'would be removed') \
$(done_by_run "$logs/run-$exe.log" Removing)" "$removed $removed"
    done
    check_same "/whatif: the chained pair's second slot" \
        "$(log_records "$logs/whatif-qq.log" '^What if: IDR_MSP_2: ')" \
        "1 What if: IDR_MSP_2: product $code_q would be patched from 3.2.40.0 (as IDR_MSP_1 would leave it) to 3.2.50.0"
    check_same "/whatif: the chained pair, run" "$(product_version "$code_q")" 3.2.50.0
    # Products that are up to date, or at a version the patch does not
    # serve, keep their names and versions in the receipt (beside the logs'
    # folder, whose receipts the manual's lines below count).
    run_with_boxes "$work/qq.exe" /q /json "$(z_path "$work/again-qq.json")"
    run_with_boxes "$work/c.exe" /q /json "$(z_path "$work/again-c.json")"
    check_same "receipts: the name and version of products up to date and not served" \
        "$(jq -c '[.slots[0].products[0] | .verdict, .name, .installedVersion]' "$work/again-"{qq,c}.json)" \
        '["up-to-date","Norvale Quebec","3.2.50.0"]
["version-not-targeted","Norvale Charlie","3.2.5.0"]'
    # The receipts, valid, with the figures the installer and the files give.
    check_lines "/whatif: the receipts of the chained pair" "$(receipt_facts "$logs/"{whatif,run}-qq.json)" "$(lines \
        "whatif-qq.json 1 $code_q due - -" "whatif-qq.json 2 $code_q due - -" \
        "run-qq.json 1 $code_q due 0 3.2.40.0" "run-qq.json 2 $code_q due 0 3.2.50.0")"
    check_same "/whatif: the receipts' modes, outcomes, exit codes, patch codes and sizes" \
        "$(jq -r '[.mode, .outcome, .exitCode, (.slots[] | .patchCode, .size)] | join(" ")' "$logs/"{whatif,run}-qq.json)" \
        "$(for mode in "whatif Installed 1" "install Installed 0"; do
               echo "$mode $(summary_value "$work/q1.msp" 9 | cut -c1-38) $(stat -c %s "$work/q1.msp")" \
                   "$(summary_value "$work/q2.msp" 9 | cut -c1-38) $(stat -c %s "$work/q2.msp")"; done)"
    check "/whatif: the run's installer logs are where its receipt says" \
        [ -s "$(jq -r '.slots[1].products[0].installerLog' "$logs/run-qq.json" | sed -e 's|^[Cc]:|'"$WINEPREFIX"'/drive_c|' -e 's|\\|/|g')" ]
    check_same "/whatif: the plan removes again what the run removes" \
        "$(jq -c '[.slots[].removedAgain[]]' "$logs/"{whatif,run}-sd.json)" \
        "$(printf '[{"productCode":"%s","installerResult":%s}]\n' "$code_s" null "$code_s" 0)"
    check_same "/whatif: a rollback keeps a patch where a later slot moved its product on, and says why" \
        "$(jq -c '[.slots[] | .slot, .keptApplied[]]' "$logs/"{whatif,run}-ood.json)" \
        "$(for _ in plan run; do
               printf '[1,{"productCode":"%s","version":"3.2.50.0","reason":"%s"},2,3]\n' "$code_o" \
                   "stands at 3.2.50.0, not at this patch's 3.2.40.0"; done)"
    check_same "/whatif: the missing product" "$(log_records "$logs/whatif-sd.log" '^What if: IDR_MSP_2: ')" \
        "1 What if: IDR_MSP_2: product $code_absent not installed"
    # The manual's jq lines, over the receipts of this script's runs so far;
    # the README shows two of them, as they stand there.
    local line summaries=() manual=$E2E_REPO/docs/receipts.md
    while IFS= read -r line; do
        summaries+=("$(cd "$logs" && bash -o pipefail -c "$line" 2>&1 || echo "failed: $line")")
    done < <(grep '^jq ' "$manual")
    check_same "the manual's jq lines: all five run" "${#summaries[@]} $(printf '%s\n' "${summaries[@]}" | grep -c '^failed: ')" "5 0"
    check_same "the README's jq lines: two of the manual's" \
        "$(grep -c '^jq ' "$E2E_REPO/README.md") $(grep '^jq ' "$E2E_REPO/README.md" | grep -cvxFf <(grep '^jq ' "$manual"))" "2 0"
    check_lines "the manual's jq lines: patched, up to date, failed" "$(sed 's/^ *//' <<< "${summaries[1]}")" \
        "$(lines "1 failed 1618" "2 failed 1642" "2 patched")"
    check_same "the manual's jq lines: why" "$(cut -f2- <<< "${summaries[2]}")" \
        "$(jq -r '.slots[0].products[0].productCode' "$logs/b2.json")	1618	-"

    # Product Tango's cached package gone, and a restart pending: warnings of
    # the plan, with its exit code as ever, and of the run before its call.
    local code_t package hints
    local reboot='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\WindowsUpdate\Auto Update\RebootRequired'
    code_t=$(new_product "Norvale Tango" 3.2.10.0)
    new_patch "$work/t.msp" "$code_t" --keywords "$kw"
    build_wrapper -o "$work/t.exe" "$work/t.msp"
    package=$(product_info "$code_t" LocalPackage)
    rm "$(winepath -u "$package")"
    # In the 64-bit view, where the wrapper reads it: Wine's plain "reg" here
    # is the 32-bit one, whose key the wrapper does not see.
    wine reg add "$reboot" /f /reg:64 >/dev/null 2>&1
    hints=$(lines "the installer's cached package of the product is missing; the installer may ask for the original media ($package)" \
        "the system waits for a restart ($reboot)")
    run_with_boxes "$work/t.exe" /whatif /q /exitcode /log "$(log_run whatif-t)" /json "$(z_path "$logs/whatif-t.json")"
    check_same "/whatif, hints: no box, exit code" "$BOX_COUNT $RUN_EXIT_CODE" "0 1"
    check_same "/whatif, hints: in the receipt" "$(jq -r '.slots[0].products[0].hints[].kind' "$logs/whatif-t.json")" \
        "$(lines product-package-missing restart-pending)"
    check_lines "/whatif, hints: in the plan's log" "$(log_records "$logs/whatif-t.log" '^What if: IDR_MSP_1: product .*: ')" \
        "$(while read -r hint; do echo "2 What if: IDR_MSP_1: product $code_t: $hint"; done <<< "$hints")"
    # The x86 wrapper reads the 64-bit view too (not WOW6432Node).
    build_wrapper --arch x86 -o "$work/t86.exe" "$work/t.msp"
    run_with_boxes "$work/t86.exe" /whatif /q /json "$(z_path "$work/whatif-t86.json")"
    check_same "/whatif, hints: the x86 wrapper sees the restart pending" \
        "$(jq -r '.slots[0].products[0].hints[].kind' "$work/whatif-t86.json" | grep -c restart-pending)" 1
    run_with_boxes "$work/t.exe" /q /log "$(log_run run-t)"
    check_lines "/whatif, hints: in the run's log, before its installer call" \
        "$(log_story "$logs/run-t.log" | grep -aE '^[0-9] (Before installing|Installing) the patch on product ')" \
        "$(while read -r hint; do echo "2 Before installing the patch on product $code_t: $hint"; done <<< "$hints"
           installing "$code_t" "Norvale Tango")"
    wine reg delete "$reboot" /f /reg:64 >/dev/null 2>&1
}
timed case_whatif

# --- /uninstall: the chained pair's plan, its removal and the boxes ---------
# Wine's installer answers 0 to a removal and keeps the patch: the run
# reports it "not removed" (1603), as it must wherever a removal does not
# take. That the patches really go, on Windows, is the kit's
# "uninstall" case.
case_uninstall() {
    local code_q code_q1 code_q2 tree mode removing after
    code_q1=$(summary_value "$work/q1.msp" 9 | cut -c1-38)
    code_q2=$(summary_value "$work/q2.msp" 9 | cut -c1-38)
    code_q=$(jq -r '.slots[0].products[0].productCode' "$logs/run-qq.json")
    tree=$(find "$WINEPREFIX/drive_c" | sort)
    run_with_boxes "$work/qq.exe" /whatif /Uninstall /q /exitcode /log "$(log_run un-whatif-qq)" \
        /json "$(z_path "$logs/un-whatif-qq.json")"
    check_same "/whatif /uninstall: no box, exit code 1" "$BOX_COUNT $RUN_EXIT_CODE" "0 1"
    check_lines "/whatif /uninstall: nothing made or removed in the prefix" "$(find "$WINEPREFIX/drive_c" | sort)" "$tree"
    check_lines "/whatif /uninstall: the log" "$(log_records "$logs/un-whatif-qq.log" '^What if: IDR_MSP_[12]: product ')" \
        "$(for slot in 2 1; do lines "1 What if: IDR_MSP_$slot: product $code_q: registered Uninstallable 1" \
               "1 What if: IDR_MSP_$slot: product $code_q would be removed (applied, machine context)"; done)"
    rm -f "$temp"/*.log
    run_with_boxes "$work/qq.exe" /uninstall /q /exitcode /log "$(log_run un-qq)" /json "$(z_path "$logs/un-qq.json")"
    check_same "/uninstall: no box, exit code 1603 (Wine keeps the patches)" "$BOX_COUNT $RUN_EXIT_CODE" "0 1603"
    # One call for the product, naming both patches, the later slot's first.
    removing="1 Removing the patch on product $code_q with MSIPATCHREMOVE=\"$code_q2;$code_q1\" REBOOTPROMPT=S"
    removing+=" FILESINUSETEXT=\"$files_in_use_en\" NRVL_SETUP_EXE=1; installer log $temp_win\\Norvale Quebec SP uninstall.log"
    check_lines "/uninstall: one call, and what the log says of each patch" \
        "$(log_records "$logs/un-qq.log" '^(Removing the patch|IDR_MSP_[12]: product .*: patch |Exit code)')" \
        "$(lines "$removing" \
            "3 IDR_MSP_2: product $code_q: patch $code_q2 not removed: the installer answered 0, yet the patch is still applied; state afterwards applied" \
            "3 IDR_MSP_1: product $code_q: patch $code_q1 not removed: the installer answered 0, yet the patch is still applied; state afterwards applied" \
            "3 Exit code 1603")"
    check_same "/uninstall: the installer was given both codes" \
        "$(log_property "$temp/Norvale Quebec SP uninstall.log" MSIPATCHREMOVE)" "$code_q2;$code_q1"
    # The receipts, plan and run, valid against the schema, record by record.
    check_same "/uninstall: the receipts are valid" "$(receipt_facts "$logs/un-"{whatif-,}qq.json | grep '^schema:')" ""
    # Products of the other mode's shape make no valid receipt.
    local swapped=() file
    for file in un-qq:install run-qq:uninstall; do
        jq --arg mode "${file#*:}" '.mode = $mode' "$logs/${file%:*}.json" > "$logs/swapped-${file%:*}.json"
        swapped+=("$([ -n "$(receipt_facts "$logs/swapped-${file%:*}.json" | grep -a '^schema:')" ] && echo refused ||
            echo valid)")
    done
    check_same "/uninstall: the schema ties the products' shape to the mode" "${swapped[*]}" "refused refused"
    check_lines "/uninstall: the receipts, plan then run" \
        "$(jq -c '[.mode, .outcome, .exitCode, .restartNeeded, (.slots[] | .slot, .patchCode, (.products[] |
                   .productCode, .verdict, .context, .stateBefore, .uninstallable, .installerResult, .stateAfter,
                   .versionAfter))]' "$logs/un-"{whatif-,}qq.json)" \
        "$(for mode in '"whatif-uninstall","Removed",1,false' '"uninstall","Failed",1603,false'; do
               [[ $mode = '"whatif-'* ]] && after='"due","machine","applied",true,null,null,null' ||
                   after='"not-removed","machine","applied",true,0,"applied","3.2.50.0"'
               echo "[$mode,2,\"$code_q2\",\"$code_q\",$after,1,\"$code_q1\",\"$code_q\",$after]"
           done)"
    # As a person sees it: the product that kept its patch, with the code.
    run_with_boxes "$work/qq.exe" /uninstall
    expect_box "/uninstall: the failure's box" "$(en IDS_CAPTION_REMOVAL_ERROR)" \
        "$(en IDS_UNINSTALL_FAILED "Norvale Quebec" 1603)" error 00050010
    # A wrapper whose product is not installed has nothing to remove.
    run_with_boxes "$work/d.exe" /uninstall /exitcode /json "$(z_path "$logs/un-d.json")"
    expect_box "/uninstall: nothing to remove" "$(en IDS_CAPTION_NOTHING_TO_REMOVE)" "$(en IDS_UNINSTALL_NOTHING)" \
        information 00050040
    check_same "/uninstall: nothing to remove, exit code 0" "$RUN_EXIT_CODE" 0
    check_same "/uninstall: nothing to remove, the receipt" \
        "$(jq -c '[.outcome, .slots[0].products[0].verdict, .slots[0].products[0].stateBefore]' "$logs/un-d.json")" \
        '["NothingToRemove","not-installed",null]'
    # /uninstall beside /e or /i, or as a value, or written with dashes:
    # nothing is done, no box under /q.
    for mode in "/uninstall /i" "/log /uninstall" "/uninstall /e $(z_path "$work/un")" -uninstall --WhatIf; do
        run_with_boxes "$work/qq.exe" /q /exitcode $mode
        check_same "/uninstall, usage error ($mode): no box, 1639" "$BOX_COUNT $RUN_EXIT_CODE" "0 1639"
    done
    check_same "/uninstall, usage errors: no patch written" "$(ls "$work" | grep -c '^un')" 0
}
timed case_uninstall

# --- the installer's cached copy of an applied patch, put back ---------------
# Wine keeps an applied patch's copy in C:\windows\Installer under the name
# registered as its LocalPackage, byte for byte the patch, and refuses the
# next patch of a chain with 1627 when that copy is gone. A wrapper that
# carries the first patch puts its copy back before the call for the second;
# its plan says it would, and a LocalPackage outside the installer folder
# is refused.
squished() {
    local g=${1//[\{\}-]/} out i
    out=$(rev <<< "${g:0:8}")$(rev <<< "${g:8:4}")$(rev <<< "${g:12:4}")
    for ((i = 16; i < 32; i += 2)); do out+=${g:i+1:1}${g:i:1}; done
    echo "$out"
}
case_put_back() {
    local code_v code_v1 key package copy tree line elsewhere='C:\elsewhere\v1.msp'
    code_v=$(new_product "Norvale Victor" 3.2.10.0)
    new_patch "$work/v1.msp" "$code_v" --keywords "$kw"
    new_patch "$work/v2.msp" "$code_v" --to-version 3.2.50.0 --keywords "3.2.50.0;3.2.40.0"
    build_wrapper -o "$work/v1.exe" "$work/v1.msp"
    build_wrapper -o "$work/vv.exe" 1="$work/v1.msp" 2="$work/v2.msp"
    run_with_boxes "$work/v1.exe" /q
    code_v1=$(applied_patches "$code_v" | tr -d '\r')
    key="HKLM\Software\Microsoft\Windows\CurrentVersion\Installer\UserData\S-1-5-18\Patches\\$(squished "$code_v1")"
    package=$(wine reg query "$key" /v LocalPackage /reg:64 | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
    copy=$(winepath -u "$package")
    check "put back: Wine caches the applied patch as it is" cmp -s "$copy" "$work/v1.msp"
    rm "$copy"
    check_same "put back: without its copy, the installer refuses the next patch" \
        "$(apply_patch "$code_v" "$work/v2.msp" | tr -d '\r')" 1627
    line="IDR_MSP_1: the installer's copy of patch $code_v1 for product $code_v"
    tree=$(find "$WINEPREFIX/drive_c" | sort)
    run_with_boxes "$work/vv.exe" /whatif /q /exitcode /log "$(log_run put-whatif)" /json "$(z_path "$logs/put-whatif.json")"
    check_lines "put back, /whatif: nothing made or removed in the prefix" "$(find "$WINEPREFIX/drive_c" | sort)" "$tree"
    check_same "put back, /whatif: the log" "$(log_records "$logs/put-whatif.log" 'copy of patch')" \
        "1 What if: $line is missing ($package); would put back from this wrapper"
    # Pointed elsewhere, in an existing folder: refused, nothing written there.
    mkdir -p "$WINEPREFIX/drive_c/elsewhere"
    wine reg add "$key" /v LocalPackage /d "$elsewhere" /f /reg:64 >/dev/null 2>&1
    run_with_boxes "$work/vv.exe" /q /exitcode /log "$(log_run put-refused)" /json "$(z_path "$logs/put-refused.json")"
    check_same "put back, elsewhere: refused, and logged" "$(log_records "$logs/put-refused.log" 'copy of patch')" \
        "2 $line is missing ($elsewhere); not put back: not directly inside the installer folder"
    check_same "put back, elsewhere: nothing written there" "$(ls "$WINEPREFIX/drive_c/elsewhere")" ""
    wine reg add "$key" /v LocalPackage /d "$package" /f /reg:64 >/dev/null 2>&1
    run_with_boxes "$work/vv.exe" /q /exitcode /log "$(log_run put-run)" /json "$(z_path "$logs/put-run.json")"
    check_same "put back: the chain's second patch installed" "$RUN_EXIT_CODE $(product_version "$code_v")" "0 3.2.50.0"
    check "put back: the copy is the carried patch" cmp -s "$copy" "$work/v1.msp"
    check_same "put back: the log" "$(log_records "$logs/put-run.log" 'copy of patch')" \
        "1 $line was missing ($package); put back from this wrapper"
    check_same "put back: the receipts, valid" "$(receipt_facts "$logs/put-"{whatif,refused,run}.json | grep '^schema:')" ""
    check_lines "put back: the receipts, plan, refused, run" \
        "$(jq -c '.slots[1].products[0].putBack[] | [.resource, .patchCode, .package, .action, .reason]' \
               "$logs/put-"{whatif,refused,run}.json)" \
        "$(printf '["IDR_MSP_1","%s","%s","%s",%s]\n' "$code_v1" "${package//\\/\\\\}" would-put-back null \
               "$code_v1" 'C:\\elsewhere\\v1.msp' refused '"not directly inside the installer folder"' \
               "$code_v1" "${package//\\/\\\\}" put-back null)"
}
timed case_put_back

# --- the event in the Application log ----------------------------------------
# Wine's ReportEventW writes no event: the relay trace shows each call and
# Wine's own trace the start of each of its strings (event_facts), and
# `wine reg query` the source. d.exe's product is not installed: 1642.
case_event() {
    local sources='HKLM\System\CurrentControlSet\Services\Eventlog\Application' name
    local key="$sources\\Patch Wrapper" first="text: Patch wrapper $wrapper_version ($(z_path "$work/d.exe")), install:"
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /f \
        /d 'user32.MessageBoxW;advapi32.RegisterEventSourceW;advapi32.ReportEventW' >/dev/null 2>&1
    source_values() { wine reg query "$key" 2>/dev/null | tr -d '\r' | sed -nE 's/^ +([^ ]+) +(REG_[A-Z_]+) +(.*)$/\1 \2 \3/p'; }
    # event_run NAME ARGS...: d.exe /q /exitcode with a log and a receipt of NAME and ARGS.
    event_run() {
        name=$1
        BOXES_TRACE=+eventlog run_with_boxes "$work/d.exe" /q /exitcode /log "$(log_run "$name")" \
            /json "$(z_path "$logs/$name.json")" "${@:2}"
    }
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    event_run event
    check_lines "event: the source registered" "$(source_values)" \
        "$(lines 'EventMessageFile REG_EXPAND_SZ %SystemRoot%\System32\EventCreate.exe' 'TypesSupported REG_DWORD 0x7')"
    check_lines "event: one, a warning, whole: the receipt /json wrote" \
        "$RUN_EXIT_CODE $(event_facts "$BOXES_DIR/trace.txt" "$logs/event.json")" \
        "$(lines "1642 2 104 2" "$first outcome NoProduct, exit code 1642." "data: the receipt")"
    check_same "event: the receipt names it" "$(jq -c .event "$logs/event.json")" \
        '{"source":"Patch Wrapper","id":104,"level":"warning","warning":null}'
    check "event: the log says the source was registered" grep -q 'is registered with the message file' "$logs/event.log"
    event_run event-again
    check "event: registered once" eval '! grep -q "is registered with the message file" "$logs/event-again.log"'
    for name in /pi '/?' /i /e; do
        run_with_boxes "$work/d.exe" "$name" $([ "$name" != /e ] || z_path "$work/event-e")
        check_same "event: none for $name" "$(grep -c 'Call advapi32.RegisterEventSourceW' "$BOXES_DIR/trace.txt")" 0
    done
    event_run event-usage /wait
    check_same "event: a usage error, an error, 901" "$(event_facts "$BOXES_DIR/trace.txt" "$logs/$name.json" | head -n 1)" "1 901 2"
    # Somebody else's source is left alone; no key for the sources to make
    # it in: neither changes the exit code, and the event is written.
    wine reg add "$key" /v EventMessageFile /t REG_EXPAND_SZ /d 'C:\Other\msg.dll' /f >/dev/null 2>&1
    wine reg delete "$key" /v TypesSupported /f >/dev/null 2>&1
    event_run event-other
    check_same "event, another message file: left alone" "$(source_values)" 'EventMessageFile REG_EXPAND_SZ C:\Other\msg.dll'
    wine reg delete "$sources" /f >/dev/null 2>&1
    event_run event-failed
    wine reg add "$sources" /f >/dev/null 2>&1
    for name in event-other:'another message file (C:\Other\msg.dll): left alone' \
        event-failed:"the Application log's key cannot be opened: error 2"; do
        check "${name%%:*}: the log and the receipt say why" eval 'grep -qF "${name#*:}" "$logs/${name%%:*}.log" &&
            jq -e --arg why "${name#*:}" ".event.warning | contains(\$why)" "$logs/${name%%:*}.json" >/dev/null'
    done
    check_same "event, no key for the sources: the exit code as it was, the event written" \
        "$RUN_EXIT_CODE $(event_facts "$BOXES_DIR/trace.txt" "$logs/event-failed.json" | head -n 1)" "1642 2 104 2"
    # A receipt too long for an event string: its digest.
    event_run event-digest "$(printf '%020000d' 0)"
    check_same "event: a receipt too long, its digest" \
        "$(event_facts "$BOXES_DIR/trace.txt" "$logs/event-digest.json" | tail -n 1)" "data: a digest of the receipt"
}
timed case_event

finish
