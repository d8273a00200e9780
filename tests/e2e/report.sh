#!/usr/bin/env bash
# The /i report of the real wrapper under Wine, read off the screen: one
# "Info" box with the warning icon, whatever /q says; the whole text for
# real patches in slots 1 and 4; an empty box without patches; no
# temporary copy written (the report reads the embedded bytes); and the
# operating-system line for each Windows version Wine can pretend to be, in
# a 64-bit prefix (AMD64: no edition suffix, for x64 and x86 wrappers
# alike) or a 32-bit one (x86: edition suffix).
#   report.sh x64|x86 win64|win32 TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
arch=$1 prefix_arch=$2
load_tools "$3"

wine_test_start "$prefix_arch"
boxes_setup
work=$WINE_TEST_DIR/work
mkdir -p "$work"

separator=$'\n\n-----------------------------------------------\n\n'

# The watcher writes a box's text with \ TAB LF CR as \\ \t \n \r.
escaped() {
    local text=$1
    text=${text//\\/\\\\}
    text=${text//$'\t'/\\t}
    text=${text//$'\r'/\\r}
    printf '%s' "${text//$'\n'/\\n}"
}

# check_info_box WHAT EXPECTED_TEXT: after run_with_boxes, exactly one
# "Info" box asked for with MB_OK | MB_ICONWARNING | MB_SETFOREGROUND |
# MB_TOPMOST, showing the warning icon and exactly that text, answered with
# OK, and exit code 0.
check_info_box() {
    check_same "$1: exit code" "$RUN_STATUS" 0
    check_same "$1: one box" "$BOX_COUNT" 1
    check_same "$1: caption" "$(box 1 caption)" Info
    check_same "$1: flags" "$(box 1 flags)" 00050030
    check_same "$1: icon" "$(box 1 icon)" warning
    check_same "$1: answered with OK" "$(box 1 button)" 1
    check_same "$1: text" "$(box 1 text)" "$(escaped "$2")"
    [ "$BOX_COUNT" = 1 ] || boxes_summary >&2
}

set_windows_version() {
    timeout 60 wine winecfg -v "$1" >/dev/null 2>&1
}

# Copies of the patches anywhere on drive C, by path: MSP and a number.
patch_copies_on_drive_c() {
    find "$WINEPREFIX/drive_c" -type f -regex '.*/MSP[0-9]+' | sort
}

# --- patches ------------------------------------------------------------------
code_a=$(new_guid) code_b=$(new_guid) code_c=$(new_guid)
make_patch "$work/p1.msp" --patch-code "$(new_guid)" --product-code "$code_a" --product-code "$code_b" \
    --to-version 3.2.40.0 --keywords "3.2.40.0;3.2.10.0,3.2.20.0" >/dev/null
make_patch "$work/p4.msp" --patch-code "$(new_guid)" --product-code "$code_c" \
    --to-version 4.0.0.0 --keywords "4.0.0.0;3.0.0.0" >/dev/null
check_same "patch 1 template" "$(summary_value "$work/p1.msp" 7)" "$code_a;$code_b"

build_wrapper -o "$work/w14.exe" --arch "$arch" 1="$work/p1.msp" 4="$work/p4.msp"
build_wrapper -o "$work/none.exe" --arch "$arch"

# The whole report of w14.exe when the system is described as OS_LINE, in
# REPORT (a command substitution would drop its closing line feeds).
expected_report() {
    local os_line=$1
    REPORT="IDR_MSP_1"$'\n'"Products:"$'\n'"$code_a"$'\n'"$code_b"$'\n'"Target:"$'\n\t'"3.2.10.0,3.2.20.0"
    REPORT+=$'\n'"Upgrade:"$'\n\t'"3.2.40.0"$'\n'"OSInfo:"$'\n\t'"$os_line$separator"
    REPORT+="IDR_MSP_4"$'\n'"Products:"$'\n'"$code_c"$'\n'"Target:"$'\n\t'"3.0.0.0"
    REPORT+=$'\n'"Upgrade:"$'\n\t'"4.0.0.0"$'\n'"OSInfo:"$'\n\t'"$os_line$separator"
}

# What the decision table gives for what Wine 8 reports for each version.
# In a 64-bit prefix every program sees AMD64; in a 32-bit one, x86, so a
# workstation name gains "Professional ".
declare -A os_line
if [ "$prefix_arch" = win64 ]; then
    os_line=(
        [win7]="Windows 7(6.1.7601.0)"
        [win2008r2]="Windows Server 2008 R2(6.1.7601.0)"
        [vista]="Windows Vista (6.0.6002.0)"
        [win2008]="Windows Server 2008 (6.0.6002.0)"
        [win2003]="Microsoft Windows Server 2003(5.2.3790.0)"
        [winxp64]="Microsoft Windows XP Professional x64 Edition (5.2.3790.0)"
        [win10]="Windows 8(6.2.9200.0)"
    )
    versions="win7 win2008r2 vista win2008 win2003 winxp64 win10"
else
    os_line=(
        [win7]="Windows 7Professional (6.1.7601.0)"
        [vista]="Windows Vista Professional (6.0.6002.0)"
        [winxp]="Microsoft Windows XP Professional (5.1.2600.0)"
        [win2k]="Microsoft Windows 2000 Professional (5.0.2195.0)"
        [win2003]="Microsoft Windows Server 2003(5.2.3790.0)"
        [win10]="Windows 8Professional (6.2.9200.0)"
    )
    versions="win7 vista winxp win2k win2003 win10"
fi

# --- the report ---------------------------------------------------------------
set_windows_version win7
before=$(patch_copies_on_drive_c)
expected_report "${os_line[win7]}"
run_with_boxes "$work/w14.exe" /i
check_info_box "slots 1 and 4" "$REPORT"

check_same "a run leaves no temporary copy" "$(comm -13 <(echo "$before") <(patch_copies_on_drive_c))" ""

run_with_boxes "$work/w14.exe" /q /i
check_info_box "/q /i" "$REPORT"

# Modes combine in their fixed order: /e PATH /i writes the files and shows
# the report; /i stops the scan, so /i /e PATH shows the report only.
out=$WINEPREFIX/drive_c/out
mkdir -p "$out"
run_with_boxes "$work/w14.exe" /e 'C:\out\fix.msp' /i
check_info_box "/e PATH /i" "$REPORT"
check_same "/e PATH /i: the files written" "$(ls "$out")" $'fix1.msp\nfix4.msp'
check "/e PATH /i: slot 4 byte for byte" cmp -s "$work/p4.msp" "$out/fix4.msp"
rm -f "$out"/*
run_with_boxes "$work/w14.exe" /i /e 'C:\out\fix.msp'
check_info_box "/i /e PATH" "$REPORT"
check_same "/i /e PATH: no file written" "$(ls "$out")" ""

run_with_boxes "$work/none.exe" /i
check_info_box "no patches" ""

# --- the operating system -------------------------------------------------------
for version in $versions; do
    set_windows_version "$version"
    expected_report "${os_line[$version]}"
    run_with_boxes "$work/w14.exe" /i
    check_info_box "$version" "$REPORT"
done

finish
