#!/usr/bin/env bash
# Nothing the shipped executables load comes from their own folder or the
# current folder. tests/e2e/loaded_dlls.txt lists every DLL they load under
# Wine and when: before the entry point (the loader resolving imports) or
# after it (loaded at run time, once the search is restricted, or by Wine's
# loader on its own; see there). Every mode
# runs with a copy of planted.dll beside the executable and in the current
# folder under the name of every DLL loaded at run time; Wine is told to
# prefer native DLLs for those names (with its default, built-in first, even
# an unsafe load would get Wine's own DLL and the test could not fail), and
# the current folder is searched right after the program's own. Each run
# must load none of them, load nothing the table does not list, and still do
# its work. A control program that loads by bare name shows that every
# planted copy is really reachable under these conditions.
#
# Wine 8 honours neither the load configuration's DependentLoadFlags nor
# KnownDLLs, so the DLLs resolved before the entry point cannot be shown
# protected here: they are checked by what the executables import
# (imports.sh: known DLLs only, and the load configuration).
#   dll_planting.sh x64|x86 TOOLS_DIR [BUILDER_EXE]
set -euo pipefail
arch=$1
shift
BUILDER_EXE=${2:-}
[ -z "$BUILDER_EXE" ] || BUILDER_EXE=$(realpath "$BUILDER_EXE")
source "$(dirname "$0")/lib.sh"
load_tools "$1"
export RUN_TIMEOUT=60
table=$E2E_REPO/tests/e2e/loaded_dlls.txt

# table_dlls COLUMN PHASE: the DLLs the table gives PHASE in COLUMN (2: the
# wrapper, 3: build-wrapper.exe).
table_dlls() {
    awk -v column="$1" -v phase="$2" '!/^#/ && NF >= 3 && $column == phase { print $1 }' "$table"
}

wine_test_start win64
boxes_setup
# With the default safe search mode the current folder comes after the
# system folder, where Wine's own DLLs sit, so a copy planted there would
# never be reached; without it the current folder comes right after the
# program's own.
wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' /v SafeDllSearchMode \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1
work=$WINE_TEST_DIR/work
app=$work/app
cwd=$work/cwd
other=$work/other
mkdir -p "$app" "$cwd" "$other"

# plant COLUMN: fresh copies, beside the program and in the current folder,
# of every DLL loaded at run time by that column's executable; no marker.
# PLANTED: those names; NATIVE_FIRST: Wine told to prefer them.
plant() {
    rm -f "$app"/*.dll "$app"/*.loaded "$cwd"/*.dll "$cwd"/*.loaded "$other"/*.loaded
    mapfile -t PLANTED < <(table_dlls "$1" run)
    local dll
    for dll in "${PLANTED[@]}"; do
        cp "$TEST_TOOLS_DIR/planted.dll" "$app/$dll"
        cp "$TEST_TOOLS_DIR/planted.dll" "$cwd/$dll"
    done
    NATIVE_FIRST=WINEDLLOVERRIDES=
    [ ${#PLANTED[@]} -eq 0 ] ||
        NATIVE_FIRST="WINEDLLOVERRIDES=$(printf '%s\n' "${PLANTED[@]%.dll}" | paste -sd,)=n,b"
}

# markers: the planted copies that were loaded, "FOLDER/NAME" one a line.
markers() {
    (cd "$work" && ls -1 app/*.loaded cwd/*.loaded 2>/dev/null | sed 's/\.loaded$//') || true
}

# loaded_dlls EXE: from the last run's trace, "NAME PHASE" for every DLL the
# process of EXE (its file name) loaded: PHASE "import" before its main
# thread starts, "run" after it through a search path given to Wine's loader
# (LoadLibrary's, restricted), "default" after it with the loader's default
# search (see loaded_dlls.txt); "planted" for one loaded from anywhere but
# the Windows folder.
loaded_dlls() {
    awk -v exe="$(tr 'A-Z' 'a-z' <<< "$1")" '
        { pid = substr($0, 1, index($0, ":") - 1) }
        /:trace:module:load_dll looking for L"/ {
            name = $0
            sub(/^.*looking for L"/, "", name)
            searched = substr(name, index(name, "\" in ") + 5)
            sub(/".*$/, "", name)
            name = tolower(name)
            sub(/^.*\\/, "", name)
            search[pid, name] = searched
        }
        /:trace:loaddll:build_module Loaded L"/ {
            path = $0
            sub(/^.*Loaded L"/, "", path)
            sub(/".*$/, "", path)
            name = tolower(path)
            sub(/^.*\\/, "", name)
            if (process == "" && name == exe) { process = pid; phase = "import"; next }
            if (pid != process) next
            if (tolower(path) !~ /^c:\\\\windows\\\\/) print name, "planted"
            else if (phase == "import") print name, phase
            else print name, (search[pid, name] == "(null)" ? "default" : "run")
        }
        pid == process && phase == "import" && /^[0-9a-f]+:[0-9a-f]+:Starting thread proc / { phase = "run" }
    ' "$BOXES_DIR/trace.txt" | sort -u
}

# expect_table CASE EXE COLUMN: what the run loaded is in the table, each
# DLL in one of its phases, and none of it planted.
expect_table() {
    local name=$1 column=$3 unlisted
    local loaded
    loaded=$(loaded_dlls "$2")
    check "$name: the trace names the DLLs it loaded" [ -n "$loaded" ]
    echo "  ($name: $(grep -c ' import$' <<< "$loaded" || true) DLLs before the entry point:" \
        "$(grep ' import$' <<< "$loaded" | cut -d' ' -f1 | paste -sd' '); $(grep -vc ' import$' <<< "$loaded" || true) after)"
    unlisted=$(awk -v column="$column" 'NR == FNR { if (!/^#/ && NF >= 3) phase[$1] = $column; next }
                                        index("+" phase[$1] "+", "+" $2 "+") == 0 {
                                            print $1 " " $2 " (table: " (($1 in phase) ? phase[$1] : "none") ")" }' \
        "$table" - <<< "$loaded")
    check "$name: every DLL loaded is in loaded_dlls.txt, in its phase" [ -z "$unlisted" ]
    [ -z "$unlisted" ] || sed 's/^/  loaded: /' <<< "$unlisted" >&2
    check_same "$name: no planted DLL loaded" "$(markers)" ""
}

# in_cwd [NAME=VALUE...] EXE ARGS...: run_with_boxes, EXE started in the
# current folder, tracing the DLLs it loads and how Wine looked for them. The
# watcher runs elsewhere: it is no program under test.
in_cwd() {
    cd "$other"
    BOXES_CWD=$cwd BOXES_TRACE=+pid,+loaddll,+module run_with_boxes "$@"
    cd - >/dev/null
}

# --- the trap works: a bare-name load takes either planted copy ----------------
# control COLUMN: every DLL planted for that column's executable is taken.
control() {
    local expected
    plant "$1"
    [ ${#PLANTED[@]} -gt 0 ] || return 0
    cp "$TEST_TOOLS_DIR/bare_load.exe" "$app/bare_load.exe"
    expected=$(printf 'app/%s\n' "${PLANTED[@]}" | sort)
    in_cwd "$NATIVE_FIRST" "$app/bare_load.exe" "${PLANTED[@]}"
    check_same "control beside the program: the copies beside it" "$(markers | sort)" "$expected"

    plant "$1"
    cp "$TEST_TOOLS_DIR/bare_load.exe" "$other/bare_load.exe"
    in_cwd "$NATIVE_FIRST" "$other/bare_load.exe" "${PLANTED[@]}"
    check_same "control from the current folder: the copies there" "$(markers | sort)" \
        "$(printf 'cwd/%s\n' "${PLANTED[@]}" | sort)"
}
control 2

# --- the wrapper, in every mode ---------------------------------------------------
quiet_code=$(new_product "Norvale Quiet" 3.2.10.0)
new_patch "$work/quiet.msp" "$quiet_code" --keywords "3.2.40.0;3.2.10.0"
product="Norvale Papa"
code=$(new_product "$product" 3.2.10.0)
new_patch "$work/p.msp" "$code" --keywords "3.2.40.0;3.2.10.0"
build_wrapper -o "$work/papa.exe" --arch "$arch" "$work/p.msp"
build_wrapper -o "$work/quiet.exe" --arch "$arch" "$work/quiet.msp"
cp "$work/papa.exe" "$app/wrapper.exe"

# dependent_load_flags EXE: the field of its load configuration, as llvm-readobj reads it.
dependent_load_flags() {
    llvm-readobj --coff-load-config "$1" | sed -n 's/^ *DependentLoadFlags: //p'
}
check_same "./build-wrapper's wrapper keeps its load configuration" "$(dependent_load_flags "$app/wrapper.exe")" 0x800

# wrapper_mode CASE ARGS...: one run of the wrapper with every planted DLL.
wrapper_mode() {
    local name=$1
    shift
    plant 2
    in_cwd "$NATIVE_FIRST" "$app/wrapper.exe" "$@"
    expect_table "$name" wrapper.exe 2
}

wrapper_mode "/?" "/?"
expect_one_box "/?" Help information 00000040

wrapper_mode "/pi" /pi
expect_no_box "/pi"

wrapper_mode "/i" /i
check_same "/i: caption" "$(box 1 caption)" Info
check "/i: the patch's product read" grep -qF "$code" <<< "$(box 1 text)"

mkdir -p "$work/out"
wrapper_mode "/e" /e "$(z_path "$work/out/fix.msp")"
expect_no_box "/e"
check "/e: the patch written out" cmp -s "$work/p.msp" "$work/out/fix1.msp"

# The install runs: the system's installer patches the product.
cp "$work/quiet.exe" "$app/wrapper.exe"
wrapper_mode "/q" /q
expect_no_box "/q"
check_same "/q: product patched" "$(product_version "$quiet_code")" 3.2.40.0

cp "$work/papa.exe" "$app/wrapper.exe"
wrapper_mode "install run"
check_same "install run: exit code 0" "$RUN_STATUS" 0
check_same "install run: success box" "$(box 1 caption)|$(box 1 text)" \
    "$(en IDS_CAPTION_SUCCESS)|$(en IDS_INSTALL_SUCCEEDED "$product")"
check_same "install run: product patched" "$(product_version "$code")" 3.2.40.0
boxes_summary

# --- build-wrapper.exe ------------------------------------------------------------
if [ -n "$BUILDER_EXE" ]; then
    control 3
    plant 3
    cp "$BUILDER_EXE" "$app/build-wrapper.exe"
    in_cwd "$NATIVE_FIRST" "$app/build-wrapper.exe" -o "$(z_path "$work/built.exe")" "$(z_path "$work/p.msp")"
    expect_table "build" build-wrapper.exe 3
    check_same "build: exit code 0" "$RUN_STATUS" 0
    check "build: the wrapper written" [ -s "$work/built.exe" ]
    check_same "build: the wrapper keeps its load configuration" "$(dependent_load_flags "$work/built.exe")" 0x800
fi

finish
