# Sourced by end-to-end tests after lib.sh and fixtures.sh (load_tools
# does both) and wine_test_start: runs a Windows program under the watcher
# (watcher.exe in TEST_TOOLS_DIR), which reads and answers every message box
# it shows, with Wine tracing the program's MessageBoxW calls, so a test
# sees each box as the user did and the flags it was asked for with.
#
#   boxes_setup                 once per prefix, before the first run
#   run_with_boxes [NAME=VALUE...] EXE ARGS...
#                               RUN_STATUS: EXE's exit code as wine gives it
#                               (cut to a byte); RUN_EXIT_CODE: the whole code;
#                               BOX_COUNT: boxes seen; BOX_CALLS: MessageBoxW
#                               calls traced; BOXES_TRACE adds Wine debug
#                               channels (as +pid,+loaddll) to the trace,
#                               $BOXES_DIR/trace.txt; BOXES_CWD, the folder
#                               EXE starts in (else the current one, the
#                               watcher's)
#   box N FIELD                 caption, text, icon, button or flags of box N (from 1)
#   expect_one_box CASE CAPTION ICON FLAGS
#                               checks a run that showed exactly one box
#   expect_box CASE CAPTION TEXT ICON FLAGS
#                               the same, and the box's whole text
#   expect_no_box CASE          checks a run that showed no box
#   boxes_summary               every box on one line each, for failure reports
#
# Text comes as the watcher writes it: a line feed is the two characters \n.
# icon is information, error, warning, question, none or unknown. flags is
# the MessageBoxW style as eight hex digits, empty when the trace shows fewer
# calls than boxes.

BOXES_DIR=
BOX_COUNT=0
BOX_CALLS=0
RUN_EXIT_CODE=

# Wine's relay trace of every call would be huge and slow; this one function is enough.
boxes_setup() {
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d user32.MessageBoxW /f >/dev/null 2>&1
    BOXES_DIR=$WINE_TEST_DIR/boxes
    mkdir -p "$BOXES_DIR"
}

# Each environment assignment given before EXE (NAME=VALUE) applies to the run.
run_with_boxes() {
    local assignments=() exe
    while [[ $# -gt 0 && $1 =~ ^[A-Za-z_][A-Za-z0-9_]*= ]]; do
        assignments+=("$1")
        shift
    done
    exe=$1
    shift
    [ -e "$exe" ] && exe=$(z_path "$exe")
    rm -f "$BOXES_DIR/seen.txt" "$BOXES_DIR/trace.txt"
    set +e
    env "${assignments[@]}" WINEDEBUG="+relay${BOXES_TRACE:+,$BOXES_TRACE}" timeout "${RUN_TIMEOUT:-120}" \
        wine "$TEST_TOOLS_DIR/watcher.exe" "$(z_path "$BOXES_DIR/seen.txt")" \
        --timeout $((${RUN_TIMEOUT:-120} - 5)) ${BOXES_CWD:+--dir "$(z_path "$BOXES_CWD")"} --run "$exe" "$@" \
        >"$BOXES_DIR/watcher.txt" 2>"$BOXES_DIR/trace.txt"
    RUN_STATUS=$?
    set -e
    RUN_EXIT_CODE=$(sed -n 's/^exit code \([0-9]*\).*/\1/p' "$BOXES_DIR/watcher.txt")
    # A start that failed, was made again, or ran out of time says so here:
    # a run that shows nothing at all is then explained.
    grep -aE '^(watcher|wine): ' "$BOXES_DIR/trace.txt" >&2 || true
    [ -e "$BOXES_DIR/seen.txt" ] || : > "$BOXES_DIR/seen.txt"
    # "Call user32.MessageBoxW(owner,text,caption,flags) ret=..." - strings may
    # hold commas, the flags are always last.
    grep -a 'Call user32\.MessageBoxW(' "$BOXES_DIR/trace.txt" |
        sed -E 's/.*,([0-9a-fA-F]+)\) ret=[0-9a-fA-F]+$/\1/' > "$BOXES_DIR/flags.txt" || true
    BOX_COUNT=$(wc -l < "$BOXES_DIR/seen.txt")
    BOX_CALLS=$(wc -l < "$BOXES_DIR/flags.txt")
}

box() {
    local index=$1 field=$2 column
    case $field in
        caption) column=1 ;;
        text) column=2 ;;
        icon) column=3 ;;
        button) column=4 ;;
        flags) sed -n "${index}p" "$BOXES_DIR/flags.txt"; return ;;
        *) echo "box: unknown field $field" >&2; return 1 ;;
    esac
    sed -n "${index}p" "$BOXES_DIR/seen.txt" | cut -f "$column"
}

# expect_one_box CASE CAPTION ICON FLAGS: the run ended with exit code 0 after
# exactly one box with this caption and icon, called with these flags. The
# text is left to the caller: some compare it whole, some by pattern.
expect_one_box() {
    local name=$1
    check_same "$name: exit code 0" "$RUN_STATUS" 0
    check_same "$name: one box" "$BOX_COUNT" 1
    check_same "$name: one MessageBoxW call" "$BOX_CALLS" 1
    check_same "$name: caption" "$(box 1 caption)" "$2"
    check_same "$name: icon" "$(box 1 icon)" "$3"
    check_same "$name: flags at the call" "$(box 1 flags)" "$4"
}

# expect_box CASE CAPTION TEXT ICON FLAGS: the run showed exactly this one box.
expect_box() {
    expect_one_box "$1" "$2" "$4" "$5"
    check_same "$1: text" "$(box 1 text)" "$3"
}

# expect_no_box CASE: the run ended with exit code 0 without a box.
expect_no_box() {
    check_same "$1: exit code 0" "$RUN_STATUS" 0
    check_same "$1: no box" "$BOX_COUNT" 0
    check_same "$1: no MessageBoxW call" "$BOX_CALLS" 0
}

boxes_summary() {
    local index
    for index in $(seq "$BOX_COUNT"); do
        echo "  box $index: [$(box "$index" caption)] [$(box "$index" text)]" \
             "icon $(box "$index" icon) flags $(box "$index" flags) button $(box "$index" button)"
    done
    [ "$BOX_COUNT" -gt 0 ] || echo "  no box"
}
