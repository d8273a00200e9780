# Sourced by the end-to-end tests: Wine prefix handling, wrapper building,
# running the wrapper, and checks that count failures instead of stopping.

E2E_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$E2E_REPO/tests/wine/prefix.sh"

E2E_FAILURES=0

fail_check() {
    echo "FAIL: $*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

pass_check() {
    echo "ok: $*"
}

check() {
    local what=$1
    shift
    if "$@"; then pass_check "$what"; else fail_check "$what"; fi
}

# check_same WHAT ACTUAL EXPECTED: shows both (long ones shortened) when they differ.
check_same() {
    if [ "$2" = "$3" ]; then
        pass_check "$1"
    else
        fail_check "$1"
        echo "  expected [${3:0:300}] (${#3} characters)" >&2
        echo "  got      [${2:0:300}] (${#2} characters)" >&2
    fi
}

# timed FUNCTION ARGS...: runs one case and says how long it took.
timed() {
    local started=$SECONDS
    "$@"
    echo "  ($1: $((SECONDS - started)) s)"
}

# load_tools TOOLS_DIR: the test programs' folder (TEST_TOOLS_DIR, made
# absolute: some runs start in a folder of their own), with the fixture
# functions and the box functions that run them.
load_tools() {
    [ $# -eq 1 ] || { echo "usage: $(basename "$0") ... TOOLS_DIR" >&2; exit 2; }
    TEST_TOOLS_DIR=$(realpath "$1")
    export TEST_TOOLS_DIR
    source "$E2E_REPO/tests/tools/fixtures.sh"
    source "$E2E_REPO/tests/e2e/boxes.sh"
}

# catalogue_text TAG ID [VALUE]: the text of ID (IDS_...) as res/lang/TAG.rc
# writes it; given VALUE, its %s or %d filled with it. The script writes a
# line feed as \n, as the watcher does, so the result compares with "box N
# text".
catalogue_text() {
    CATALOGUE_FILL=${3+yes} CATALOGUE_VALUE=${3-} awk -v id="$2" '
        $1 == id {
            text = $0
            sub(/^[^"]*"/, "", text)
            sub(/"[^"]*$/, "", text)
            at = ENVIRON["CATALOGUE_FILL"] ? match(text, /%[sd]/) : 0
            if (at) text = substr(text, 1, at - 1) ENVIRON["CATALOGUE_VALUE"] substr(text, at + 2)
            printf "%s", text
            found = 1
        }
        END { if (!found) { print "catalogue_text: no " id " in " FILENAME > "/dev/stderr"; exit 1 } }' \
        "$E2E_REPO/res/lang/$1.rc"
}

# en ID [VALUE]: the English text, the language of the test prefixes' users.
en() {
    catalogue_text en-US "$@"
}

# log_property LOG NAME: a property's value as the installer's verbose log records it.
log_property() {
    sed -n "s/^Property(S): $2 = //p" "$1" | tr -d '\r' | head -n1
}

# Ends the test: non-zero when any check failed.
finish() {
    if [ "$E2E_FAILURES" -ne 0 ]; then
        echo "$E2E_FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

# A file that passes for a patch as far as embedding and extraction go: the
# compound-file signature, then SIZE-8 random bytes (no summary, so
# build-wrapper needs --unchecked to embed it).
make_fake_patch() {
    local file=$1 size=$2
    {
        printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1'
        head -c $((size - 8)) /dev/urandom
    } > "$file"
}

build_wrapper() {
    "$E2E_REPO/build-wrapper" "$@" >/dev/null
}

# run_build ARGS...: build-wrapper writing $work/out.exe; BUILD_STATUS, and
# its output in $work/stdout and $work/stderr.
run_build() {
    rm -f "$work/out.exe"
    set +e
    "$E2E_REPO/build-wrapper" -o "$work/out.exe" "$@" > "$work/stdout" 2> "$work/stderr"
    BUILD_STATUS=$?
    set -e
}

# refused NAME TEXT ARGS...: build-wrapper fails, says TEXT on stderr, and
# writes no wrapper (nor a file half signed).
refused() {
    local name=$1 text=$2
    shift 2
    run_build "$@"
    check "$name: non-zero exit" [ "$BUILD_STATUS" -ne 0 ]
    check "$name: says '$text'" grep -qF -- "$text" "$work/stderr"
    grep -qF -- "$text" "$work/stderr" || sed 's/^/  stderr: /' "$work/stderr" >&2
    check "$name: no wrapper written" eval '[ ! -e "$work/out.exe" ] && [ ! -e "$work/out.exe.signing" ]'
}

# Runs a Windows program with a time limit (a message box that nobody
# answers would otherwise hang the test); the exit code lands in RUN_STATUS.
run_wine() {
    set +e
    timeout "${RUN_TIMEOUT:-120}" wine "$@" >/dev/null 2>&1
    RUN_STATUS=$?
    set -e
}

# Maps drive letter D: of the test prefix to a folder of the test.
map_drive_d() {
    mkdir -p "$1"
    ln -sfn "$1" "$WINEPREFIX/dosdevices/d:"
}

# Every path below a folder, one per line, sorted: a picture of what is there.
tree_of() {
    (cd "$1" && find . -mindepth 1 -printf '%P\n' | sort)
}
