#!/usr/bin/env bash
# The real wrapper under Wine given bad input: damaged or foreign patch
# files, odd summary values, extreme product properties, an extraction path
# that is too long, a read-only extraction target and an unusable temp
# folder. Every run must end by itself with exit code 0, show at most the
# one box its case expects, and write nothing but what its case allows
# (installer logs in the temp folder; the temporary patch copies are gone
# again afterwards). A patch that cannot be read is named in the wrapper's
# own log (/log) with the reader's error, the code /exitcode would give.
#   bad_input.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$@"
# A hang shows up as a timed-out run, not as a stuck test.
export RUN_TIMEOUT=60

wine_test_start win64
# Immutable files and folders (see make_unwritable) must become removable
# again, and mounted volumes unmounted, before the test folder goes.
mounted=()
cleanup() {
    local path
    release_unwritable
    for path in "${mounted[@]}"; do umount "$path" 2>/dev/null || true; done
    wine_test_stop
}
trap cleanup EXIT
boxes_setup
work=$WINE_TEST_DIR/work
drive=$WINE_TEST_DIR/d
cwd=$drive/cwd
# Outside the folders written_files looks at: a log is no file a case writes.
logs=$WINE_TEST_DIR/logs
mkdir -p "$work" "$cwd" "$logs"
map_drive_d "$drive"

find_temp_folder
drive_c=$(realpath "$WINEPREFIX/drive_c")

# Files created or changed since the last run_case, as TEMP/..., D:/...,
# C:/... or WINTEMP/MSP..., sorted. The installer's own folder (C:\windows)
# is its business, but for the wrapper's copies in its temp folder.
written_files() {
    {
        find "$drive_c" "$drive" "$work" -path "$drive_c/windows" -prune -o \
            -type f -newer "$WINE_TEST_DIR/stamp" -print
        find "$copies" -maxdepth 1 -type f -regex '.*/MSP[0-9]+' -newer "$WINE_TEST_DIR/stamp"
    } | sed -e "s|^$copies/|WINTEMP/|" -e "s|^$temp/|TEMP/|" -e "s|^$drive/|D:/|" -e "s|^$drive_c/|C:/|" \
            -e "s|^$work/|WORK/|" | sort
}

# run_case [NAME=VALUE...] EXE ARGS...: runs the wrapper in D:\cwd under the
# watcher; WRITTEN then lists what the run wrote.
run_case() {
    touch "$WINE_TEST_DIR/stamp"
    cd "$cwd"
    run_with_boxes "$@"
    cd - >/dev/null
    WRITTEN=$(written_files)
}

# expect_box_matching CASE CAPTION TEXT-REGEX ICON FLAGS: exit code 0 and
# exactly one box, its text matching TEXT-REGEX.
expect_box_matching() {
    local name=$1
    expect_one_box "$name" "$2" "$4" "$5"
    if [[ $(box 1 text) =~ $3 ]]; then
        pass_check "$name: text"
    else
        fail_check "$name: text"
        echo "  expected /$3/" >&2
        echo "  got      [$(box 1 text)]" >&2
    fi
}

# english_pattern ID VALUE-REGEX: the English text of ID as a pattern of the
# whole text, its placeholder standing for VALUE-REGEX.
english_pattern() {
    local text
    text=$(en "$1" @VALUE@ | sed 's/[][\\.*^$?+(){}|]/\\&/g')
    printf '^%s$' "${text/@VALUE@/"$2"}"
}

expect_written() {
    check_same "$1: files written" "$WRITTEN" "$2"
}

# expect_unreadable_log CASE NAME CODE: log NAME names the reader's error
# CODE and nothing after it but the run's end and its event (the first run
# in the prefix registers the event's source first).
registering='1 The event source "Patch Wrapper" is registered with the message file %SystemRoot%\System32\EventCreate.exe'
expect_unreadable_log() {
    check_run_log "$1, log" "$logs/$2.log" "$2"
    check_lines "$1, log: the run's records" "$(log_story "$logs/$2.log")" "$(printf '%s\n' \
        "3 IDR_MSP_1: the patch's targeting data cannot be read, error $3" \
        "3 The run's outcome: Failed" \
        "1 Message $(message_id IDS_INSTALL_FAILED) shown" \
        "3 Exit code 0 (with /exitcode: $3)" ${registering:+"$registering"} \
        "1 Event 106 (error) is written to the Application log")"
    registering=
}

installed_text=$(english_pattern IDS_INSTALL_SUCCEEDED '(.*)')
failure_regex() {
    english_pattern IDS_INSTALL_FAILED "$1"
}

started=$SECONDS
name_t="Norvale Tango" name_k="Norvale Kilo" name_w="Norvale Whiskey" name_l="Norvale Lima"
# 1023 characters, and one that makes the log file name exactly 255 characters.
name_long=$(printf 'Norvale Long Name %04d ' $(seq 1 50))
name_long=${name_long:0:1023}
log_suffix=" SP install.log"
name_255=${name_long:0:$((255 - ${#log_suffix}))}
code_t=$(new_product "$name_t" 3.2.10.0)
code_k=$(new_product "$name_k" 3.2.10.0)
code_w=$(new_product "$name_w" 3.2.10.0)
code_long=$(new_product "$name_long" 3.2.10.0)
code_255=$(new_product "$name_255" 3.2.10.0)
code_l=$(new_product "$name_l" 3.2.10.0 --language English)
name_m="Norvale Mike" name_f="Norvale Foxtrot" name_u="Norvale Uniform"
code_m=$(new_product "$name_m" 3.2.10.0)
code_f=$(new_product "$name_f" 3.2.10.0)
code_u=$(new_product "$name_u" 3.2.10.0)

new_patch "$work/t.msp" "$code_t" --keywords "3.2.40.0;3.2.10.0"
size_t=$(stat -c %s "$work/t.msp")
cuts="512 1536 4096 $((size_t - 512))"
for cut in $cuts; do
    head -c "$cut" "$work/t.msp" > "$work/t$cut.msp"
    build_wrapper --unchecked -o "$work/t$cut.exe" "$work/t$cut.msp"
done
make_patch "$work/not.msp" --not-a-patch
new_patch "$work/nokw.msp" "$code_t" --no-keywords
new_patch "$work/nosemi.msp" "$code_t" --keywords "3.2.40.0"
# 5000 characters, the installed version only at the very end: far past the
# first read of 2048 characters.
targets=$(printf '3.2.%d.0,' $(seq 1000 1600))
keywords="3.2.40.0;${targets:0:$((5000 - 9 - 9))},3.2.10.0"
keywords_wrong="3.2.40.0;${targets:0:$((5000 - 9 - 9))},3.2.11.0"
new_patch "$work/k.msp" "$code_k" --keywords "$keywords"
new_patch "$work/w.msp" "$code_w" --keywords "$keywords_wrong"
new_patch "$work/long.msp" "$code_long" --keywords "3.2.40.0;3.2.10.0"
new_patch "$work/255.msp" "$code_255" --keywords "3.2.40.0;3.2.10.0"
new_patch "$work/l.msp" "$code_l" --keywords "3.2.40.0;3.2.10.0"
for p in m f u; do code=code_$p; new_patch "$work/$p.msp" "${!code}" --keywords "3.2.40.0;3.2.10.0"; done
# Larger than the 2 MB volume the full-disk case writes to; the bytes past
# the compound file are never read.
cp "$work/t.msp" "$work/big.msp"
head -c $((3 * 1024 * 1024)) /dev/urandom >> "$work/big.msp"
# build-wrapper would refuse the bad ones; the wrapper has to cope with them anyway.
for exe in not nokw nosemi; do build_wrapper --unchecked -o "$work/$exe.exe" "$work/$exe.msp"; done
for exe in k w long 255 l m f u big t; do build_wrapper -o "$work/$exe.exe" "$work/$exe.msp"; done
for slot in 1 2 3; do make_fake_patch "$work/fake$slot.msp" $((4096 + slot * 1000)); done
build_wrapper --unchecked -o "$work/fakes.exe" 1="$work/fake1.msp" 2="$work/fake2.msp" 3="$work/fake3.msp"
echo "  (products, patches and wrappers made in $((SECONDS - started)) s)"
check_same "keywords of 5000 characters" "${#keywords} ${#keywords_wrong}" "5000 5000"
check_same "product names of 1023 and 240 characters read back whole" \
    "$(product_info "$code_long" ProductName | wc -m) $(product_info "$code_255" ProductName | wc -m)" \
    "1024 241"

# --- truncated patches -------------------------------------------------------
# Outcome: the installer error box (300); the structured-storage check refuses
# the damaged file before the installer's summary reader, which would crash
# on it, sees it. The installer is never asked: no log, version kept, and the
# temporary copy is deleted.
case_truncated() {
    local cut
    for cut in $cuts; do
        run_case "$work/t$cut.exe" /log "$(z_path "$logs/t$cut.log")"
        # 1620: the installer's answer for a package it cannot open.
        expect_box_matching "truncated at $cut" "$(en IDS_CAPTION_ERROR)" "$(failure_regex 1620)" error 00050010
        expect_written "truncated at $cut" ""
        expect_unreadable_log "truncated at $cut" "t$cut" 1620
        boxes_summary
    done
    check_same "truncated: version kept" "$(product_version "$code_t")" 3.2.10.0
    # The /i report reads the same bytes through the same check: the Info
    # box, an empty block for the slot, and no file written.
    run_case "$work/t4096.exe" /i
    check_same "truncated, /i: exit code 0" "$RUN_STATUS" 0
    check_same "truncated, /i: one box" "$BOX_COUNT" 1
    check_same "truncated, /i: caption" "$(box 1 caption)" Info
    expect_written "truncated, /i" ""
    boxes_summary
}
timed case_truncated

# --- compound files that are no patch, or lack the Keywords ------------------
# Outcome: box 300. A compound file without summary information fails the
# same check as a damaged one; Keywords that are missing or have no
# semicolon give Error Code 4316.
case_not_patches() {
    run_case "$work/not.exe" /log "$(z_path "$logs/not.log")"
    expect_box_matching "not a patch" "$(en IDS_CAPTION_ERROR)" "$(failure_regex 1620)" error 00050010
    local exe
    expect_written "not a patch" ""
    expect_unreadable_log "not a patch" not 1620
    boxes_summary
    for exe in nokw nosemi; do
        run_case "$work/$exe.exe" /log "$(z_path "$logs/$exe.log")"
        expect_box_matching "$exe" "$(en IDS_CAPTION_ERROR)" "$(failure_regex 4316)" error 00050010
        expect_written "$exe" ""
        expect_unreadable_log "$exe" "$exe" 4316
        boxes_summary
    done
    check_same "no patch installed: version kept" "$(product_version "$code_t")" 3.2.10.0
}
timed case_not_patches

# --- Keywords of 5000 characters ---------------------------------------------
# Outcome: read whole, so the run decides on the full target list: the
# version named only at the end is recognised and the patch installs (301);
# a list without it gives the wrong-version box (308).
case_long_keywords() {
    run_case "$work/k.exe"
    expect_box_matching "long Keywords, version at the end" "$(en IDS_CAPTION_SUCCESS)" "$installed_text" \
        information 00050040
    check_same "long Keywords: product named" "$(box 1 text)" \
        "$(en IDS_INSTALL_SUCCEEDED "$name_k")"
    check_same "long Keywords: version moved" "$(product_version "$code_k")" 3.2.40.0
    expect_written "long Keywords" "TEMP/$name_k SP install.log"
    boxes_summary
    run_case "$work/w.exe"
    expect_box_matching "long Keywords, version absent" "$(en IDS_CAPTION_ERROR)" \
        "$(english_pattern IDS_WRONG_VERSION "$name_w")" \
        error 00050010
    check_same "long Keywords, version absent: version kept" "$(product_version "$code_w")" 3.2.10.0
    expect_written "long Keywords, version absent" ""
    boxes_summary
}
timed case_long_keywords

# --- a product name of 1023 characters ---------------------------------------
# Outcome: the box names the product whole. The log file name would be 1038
# characters, which the file system refuses (255 at most): the installer then
# runs without a log, nothing is written under a shortened name, and the
# product is patched all the same. A name that makes the log file name
# exactly 255 characters gets its log under the whole name.
case_long_name() {
    run_case "$work/long.exe"
    expect_box_matching "1023-character name" "$(en IDS_CAPTION_SUCCESS)" "$installed_text" information 00050040
    check_same "1023-character name: whole name in the box" "$(box 1 text)" \
        "$(en IDS_INSTALL_SUCCEEDED "$name_long")"
    check_same "1023-character name: version moved" "$(product_version "$code_long")" 3.2.40.0
    expect_written "1023-character name: no log, nothing else" ""
    boxes_summary | cut -c1-200
    run_case "$work/255.exe"
    expect_box_matching "240-character name" "$(en IDS_CAPTION_SUCCESS)" "$installed_text" information 00050040
    check_same "240-character name: whole name in the box" "$(box 1 text)" \
        "$(en IDS_INSTALL_SUCCEEDED "$name_255")"
    check_same "240-character name: version moved" "$(product_version "$code_255")" 3.2.40.0
    expect_written "240-character name: log under the whole name" "TEMP/$name_255 SP install.log"
}
timed case_long_name

# --- a Language property that is no number -----------------------------------
# wixl takes Language="English" as it is; Wine's installer installs the
# product and records its Language as 0. Outcome: the install happens; the
# files-in-use text stays in the user's language (English here).
case_text_language() {
    echo "  Language of $name_l as the installer reports it: [$(product_info "$code_l" Language)]"
    run_case "$work/l.exe"
    expect_box_matching "text language" "$(en IDS_CAPTION_SUCCESS)" "$installed_text" information 00050040
    check_same "text language: product named" "$(box 1 text)" \
        "$(en IDS_INSTALL_SUCCEEDED "$name_l")"
    check_same "text language: version moved" "$(product_version "$code_l")" 3.2.40.0
    expect_written "text language" "TEMP/$name_l SP install.log"
    check_same "text language: FILESINUSETEXT" \
        "$(log_property "$temp/$name_l SP install.log" FILESINUSETEXT)" "$(en IDS_FILES_IN_USE)"
    boxes_summary
}
timed case_text_language

# --- an extraction path of 300 characters ------------------------------------
# Outcome: refused before anything is opened: nothing written, no box, exit
# code 0, although the folders exist and Wine itself writes paths that long;
# the log names the refusal for every slot.
# The same folders 50 characters higher up take the files.
case_long_extract_path() {
    local deep='D:\' segment='abcdefghi\' i
    for i in $(seq 29); do deep+=$segment; done
    local long="${deep}fix.msp" short="${deep:0:243}fix.msp"
    mkdir -p "$drive/$(tr '\\' / <<< "${deep:3}")"
    check_same "extraction paths of 300 and 250 characters" "${#long} ${#short}" "300 250"
    run_case "$work/fakes.exe" /log "$(z_path "$logs/long-e.log")" /e "$long"
    expect_no_box "300-character path"
    expect_written "300-character path" ""
    check_lines "300-character path, log: every slot's refusal" "$(log_records "$logs/long-e.log" ' cannot be written')" \
        "$(for i in 1 2 3; do
               echo "3 IDR_MSP_$i cannot be written: no file name of the path limits can be made from $long, error 206"
           done)"
    run_case "$work/fakes.exe" /e "$short"
    expect_no_box "250-character path"
    local folder expected=
    folder=$(tr '\\' / <<< "${short:3:240}")
    for i in 1 2 3; do expected+="D:/${folder}fix$i.msp"$'\n'; done
    expect_written "250-character path" "${expected%$'\n'}"
    for i in 1 2 3; do
        check "250-character path: slot $i copied" cmp -s "$work/fake$i.msp" "$drive/${folder}fix$i.msp"
    done
}
timed case_long_extract_path

# --- a read-only extraction target ---------------------------------------------
# Outcome: the read-only file keeps its content, the other slots are still
# written, no box, exit code 0.
case_read_only_target() {
    mkdir -p "$drive/ro"
    echo "kept as it was" > "$drive/ro/fix2.msp"
    if ! make_unwritable "$drive/ro/fix2.msp"; then
        echo "  read-only target: skipped, a file that root cannot write cannot be made here" >&2
        return
    fi
    run_case "$work/fakes.exe" /e 'D:\ro\fix.msp'
    expect_no_box "read-only target"
    expect_written "read-only target" "D:/ro/fix1.msp"$'\n'"D:/ro/fix3.msp"
    check_same "read-only target: content kept" "$(cat "$drive/ro/fix2.msp")" "kept as it was"
    check "read-only target: slot 1 written" cmp -s "$work/fake1.msp" "$drive/ro/fix1.msp"
    check "read-only target: slot 3 written" cmp -s "$work/fake3.msp" "$drive/ro/fix3.msp"
}
timed case_read_only_target

# --- TMP that names no folder ---------------------------------------------------
# TMP comes from the prefix's HKCU\Environment (Wine ignores the Unix TMP).
# The wrapper runs elevated, so its copies go to the Windows temp folder
# whatever TMP says; the installer logs go to the temporary folder as
# GetTempPathW names it, created when missing (D:\nope), or "c:" when it
# cannot be (a file, a variable stored unexpanded). Outcome: the installer
# is asked, its log lands in that folder, and no copy is left anywhere.
# With D:\nope made, the patch installs (301). Where no folder can be made,
# Wine's installer, which runs inside the wrapper's process with the same
# TMP, cannot make its own temporary files and answers 1627 (on Windows the
# installer service has a temporary folder of its own): the box shows that
# answer.
set_tmp() {
    wine reg add 'HKCU\Environment' /v TMP /d "$1" /f >/dev/null 2>&1
}

# tmp_run NAME TMP EXE PRODUCT LOG-FOLDER: EXE patches product code_EXE;
# then expect_box_matching's arguments and the version expected.
tmp_run() {
    local name=$1 folder=$2 exe=$3 product=$4 log=$5 code=code_$3
    shift 5
    set_tmp "$folder"
    run_case "$work/$exe.exe"
    set_tmp "$temp_win"
    expect_box_matching "$name" "$@"
    expect_written "$name" "$log/$product SP install.log"
    boxes_summary
}

case_tmp_without_folder() {
    echo "a file, not a folder" > "$drive/tmpfile"
    # Runs that make no copy create no temporary folder, with a log or without.
    set_tmp 'D:\nope'
    for args in /pi /? "/e D:\\x.msp" "/pi /log D:\\nolog.log" "/? /log D:\\help.log"; do
        # shellcheck disable=SC2086
        run_case "$work/t.exe" $args
        check "TMP missing, $args: the folder is not created" [ ! -e "$drive/nope" ]
    done
    set_tmp "$temp_win"
    local success=("$(en IDS_CAPTION_SUCCESS)" "$installed_text" information 00050040)
    local refused=("$(en IDS_CAPTION_ERROR)" "$(failure_regex 1627)" error 00050010)
    tmp_run "TMP missing" 'D:\nope' m "$name_m" D:/nope "${success[@]}"
    check_same "TMP missing: version moved" "$(product_version "$code_m")" 3.2.40.0
    tmp_run "TMP a file" 'D:\tmpfile' f "$name_f" C: "${refused[@]}"
    tmp_run "TMP unexpanded" '%USERPROFILE%\AppData\Local\Temp' u "$name_u" C: "${refused[@]}"
}
timed case_tmp_without_folder

# --- where the copies go, unusable ------------------------------------------------
# Outcome: no crash, no hang, exit code 0, the failure box (300) with the
# code of the failure that happened (not the missing-patch notice: the
# wrapper does carry a patch, and that notice would stop an unattended run
# even with /q), the product untouched, nothing left behind.
unusable_tmp_run() {
    local name=$1 folder=$2 exe=$3 code=$4
    set_tmp "$folder"
    run_case "$work/$exe.exe"
    set_tmp "$temp_win"
    expect_box_matching "$name" "$(en IDS_CAPTION_ERROR)" "$(failure_regex "$code")" error 00050010
    check_same "$name: version kept" "$(product_version "$code_t")" 3.2.10.0
    expect_written "$name" ""
    boxes_summary
}

case_unwritable_tmp() {
    # Root writes through Unix permissions, and so does Wine run as root: the
    # folder is made immutable then, and Wine must really fail to write there.
    # Where the copies go, nothing can be created: every name answers
    # "access denied", counted as taken, until the attempts run out.
    if make_unwritable "$copies"; then
        wine cmd /c "echo probe> $copies_win\\probe.txt" >/dev/null 2>&1 || true
        check "Windows temp not writable: Wine cannot write there" [ ! -e "$copies/probe.txt" ]
        unusable_tmp_run "Windows temp not writable" "$temp_win" t '[1-9][0-9]*'
        chattr -i "$copies" 2>/dev/null || true
        chmod u+w "$copies"
    else
        echo "  Windows temp not writable: skipped, a folder that root cannot write cannot be made here" >&2
    fi

    # A full volume where the copies go: the copy is created, its write
    # fails for lack of space (112), and the part written is removed again.
    # /e onto one leaves no cut-off file under the patch's name either.
    mkdir -p "$drive/full"
    if mount -t tmpfs -o size=2m tmpfs "$copies" 2>/dev/null; then
        mounted+=("$copies")
        unusable_tmp_run "Windows temp full" "$temp_win" big 112
        check_same "Windows temp full: nothing left there" "$(ls -A "$copies")" ""
        umount "$copies"
        mount -t tmpfs -o size=2m tmpfs "$drive/full"
        mounted+=("$drive/full")
        run_case "$work/big.exe" /e 'D:\full\fix.msp'
        expect_no_box "/e onto a full volume"
        check_same "/e onto a full volume: no cut-off file" "$(ls -A "$drive/full")" ""
    else
        echo "  Windows temp full: skipped, no tmpfs can be mounted here" >&2
    fi

    # The same wrapper with a usable temp folder: the patch itself is good.
    run_case "$work/t.exe"
    expect_box_matching "TMP usable again" "$(en IDS_CAPTION_SUCCESS)" "$installed_text" information 00050040
    check_same "TMP usable again: version moved" "$(product_version "$code_t")" 3.2.40.0
    expect_written "TMP usable again" "TEMP/$name_t SP install.log"
}
timed case_unwritable_tmp

finish
