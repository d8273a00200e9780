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

# catalogue_text TAG ID [VALUE [VALUE]]: the text of ID (IDS_...) as
# res/lang/TAG.rc writes it; given values, its %s and %d filled with them
# in order. The script writes a line feed as \n, as the watcher does, so
# the result compares with "box N text".
catalogue_text() {
    CATALOGUE_FILLS=$(($# - 2)) CATALOGUE_VALUE1=${3-} CATALOGUE_VALUE2=${4-} awk -v id="$2" '
        $1 == id {
            text = $0
            sub(/^[^"]*"/, "", text)
            sub(/"[^"]*$/, "", text)
            filled = ""
            for (n = 1; n <= ENVIRON["CATALOGUE_FILLS"] && match(text, /%[sd]/); n++) {
                filled = filled substr(text, 1, RSTART - 1) ENVIRON["CATALOGUE_VALUE" n]
                text = substr(text, RSTART + 2)
            }
            text = filled text
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

# The builders the build helpers below run: ./build-wrapper always, and
# build-wrapper.exe under Wine as well when BUILDER_EXE names it (unless
# LINUX_ONLY is set, for what only the script does, such as signing).

# exe_arguments ARGS...: ARGS as build-wrapper.exe gets them, one a line:
# an absolute path, alone or after "N=", as Wine sees it, through the same
# links as given (z_path would resolve them).
exe_arguments() {
    local argument
    for argument in "$@"; do
        if [[ $argument =~ ^([0-9]+=)?(/.*)$ ]]; then
            printf '%sZ:%s\n' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]//\//\\}"
        else
            printf '%s\n' "$argument"
        fi
    done
}

# host_paths: build-wrapper.exe's output with its paths as the host names
# them (Z:\a\b is /a/b) and without CRs, to compare with ./build-wrapper's.
host_paths() {
    sed -e 's/\r$//' -e 's|Z:\\|/|g' -e 's|\\|/|g'
}

# run_exe ARGS...: build-wrapper.exe under Wine with ARGS (see
# exe_arguments): EXE_STATUS, its output in $work/exe-stdout and
# $work/exe-stderr (see host_paths).
run_exe() {
    local arguments
    mapfile -t arguments < <(exe_arguments "$@")
    set +e
    timeout "${RUN_TIMEOUT:-120}" wine "$BUILDER_EXE" "${arguments[@]}" > "$work/exe-stdout.raw" 2> "$work/exe-stderr.raw"
    EXE_STATUS=$?
    set -e
    host_paths < "$work/exe-stdout.raw" > "$work/exe-stdout"
    host_paths < "$work/exe-stderr.raw" > "$work/exe-stderr"
}

# run_build ARGS...: ./build-wrapper writing $work/out.exe (and, when
# MANIFEST is set, its manifest $work/out.json); BUILD_STATUS, and its
# output in $work/stdout and $work/stderr. build-wrapper.exe, when it runs
# too, writes $work/exe/out.exe and $work/exe/out.json (see run_exe).
run_build() {
    rm -f "$work/out.exe" "$work/out.json"
    set +e
    "$E2E_REPO/build-wrapper" -o "$work/out.exe" ${MANIFEST:+--manifest "$work/out.json"} "$@" \
        > "$work/stdout" 2> "$work/stderr"
    BUILD_STATUS=$?
    set -e
    [ -n "${BUILDER_EXE:-}" ] && [ -z "${LINUX_ONLY:-}" ] || return 0
    rm -f "$work/exe/out.exe" "$work/exe/out.json"
    run_exe -o "$work/exe/out.exe" ${MANIFEST:+--manifest "$work/exe/out.json"} "$@"
}

# builders_agree NAME: build-wrapper.exe ended, said and wrote as
# ./build-wrapper did; nothing to check when it did not run.
builders_agree() {
    [ -n "${BUILDER_EXE:-}" ] && [ -z "${LINUX_ONLY:-}" ] || return 0
    local name="$1: build-wrapper.exe"
    check_same "$name ends alike" "$EXE_STATUS" "$BUILD_STATUS"
    check_same "$name warns and refuses alike" "$(cat "$work/exe-stderr")" "$(cat "$work/stderr")"
    check_same "$name prints the same slot map" "$(grep -v '^wrote ' "$work/exe-stdout" || true)" \
        "$(grep -v '^wrote ' "$work/stdout" || true)"
    if [ "$BUILD_STATUS" = 0 ]; then
        check_same "$name says what it wrote" "$(grep '^wrote ' "$work/exe-stdout")" "wrote $work/exe/out.exe"
        check "$name wrote a wrapper" [ -s "$work/exe/out.exe" ]
        [ -z "${MANIFEST:-}" ] || check "$name wrote the same manifest" cmp "$work/out.json" "$work/exe/out.json"
    else
        check "$name wrote no wrapper" [ ! -e "$work/exe/out.exe" ]
    fi
}

# refused NAME TEXT ARGS...: build-wrapper fails, says TEXT on stderr, and
# writes no wrapper (nor a file half signed); build-wrapper.exe the same.
refused() {
    local name=$1 text=$2
    shift 2
    run_build "$@"
    check "$name: non-zero exit" [ "$BUILD_STATUS" -ne 0 ]
    check "$name: says '$text'" grep -qF -- "$text" "$work/stderr"
    grep -qF -- "$text" "$work/stderr" || sed 's/^/  stderr: /' "$work/stderr" >&2
    check "$name: no wrapper written" [ ! -e "$work/out.exe" ]
    check_same "$name: nothing of the build left" "$(leftovers)" ""
    builders_agree "$name"
}

# leftovers: what a build may leave beside its output ($work and $work/exe).
leftovers() {
    find "$work" -maxdepth 2 \( -name '*.partial' -o -name '*.signing' \) -printf '%P\n' | sort
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

# make_unwritable PATH: a file or folder that Wine cannot write to. Unix
# permissions are how Wine shows read-only files, but root writes through
# them, so as root the path is made immutable as well (when the file
# system allows it). Fails when neither works. release_unwritable makes
# them removable again; call it before the test folder goes.
E2E_LOCKED=()
make_unwritable() {
    chmod a-w "$1"
    if [ "$(id -u)" = 0 ]; then
        chattr +i "$1" 2>/dev/null || return 1
        E2E_LOCKED+=("$1")
    fi
}

release_unwritable() {
    local path
    for path in "${E2E_LOCKED[@]}"; do chattr -i "$path" 2>/dev/null || true; done
}

# message_id IDS_...: the number of a message, as the wrapper's log names it.
message_id() {
    awk -v id="$1" '$1 == "#define" && $2 == id { print $3; found = 1 }
                    END { if (!found) { print "message_id: no " id > "/dev/stderr"; exit 1 } }' \
        "$E2E_REPO/res/messages.h"
}

# --- the wrapper's own log (/log FILE) ----------------------------------------
# One record a line in the configuration manager's log viewer format:
#   <![LOG[message]LOG]!><time="HH:mm:ss.fff+bias" date="MM-dd-yyyy"
#   component="NAME" context="" type="1" thread="1234" file="">
#
#   check_run_log CASE FILE COMPONENT
#                       the whole file: a UTF-8 byte-order mark at its start
#                       and nowhere else, every line ended by CR LF, every
#                       line one record of COMPONENT (the wrapper's file name
#                       without extension)
#   log_records FILE [REGEX]
#                       "TYPE MESSAGE" for every record, or for those whose
#                       message matches the extended REGEX (bytes, C locale)

# A message may hold anything but the sequence that ends it; the viewer
# reads the fields after it by position, so they are matched exactly.
run_log_line_regex() {
    local component
    component=$(sed 's/[][\\.*^$?+(){}|]/\\&/g' <<< "$1")
    printf '%s' '^<!\[LOG\[.*\]LOG\]!><time="([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\.[0-9]{3}[+-][0-9]{3}"'
    printf '%s' ' date="(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])-[0-9]{4}" component="'"$component"'"'
    printf '%s' ' context="" type="[123]" thread="[1-9][0-9]*" file="">$'
}

check_run_log() {
    local name=$1 file=$2 lines bad
    if [ ! -s "$file" ]; then
        fail_check "$name: log written"
        return 0
    fi
    lines=$(wc -l < "$file")
    check_same "$name: log begins with a UTF-8 byte-order mark" "$(head -c 3 "$file" | od -An -tx1 | tr -d ' ')" efbbbf
    check_same "$name: one byte-order mark in the whole log" \
        "$(LC_ALL=C grep -ao $'\xef\xbb\xbf' "$file" | wc -l)" 1
    # As many CRs as lines, each right before a line feed, and the last line ended too.
    check_same "$name: every line ends in CR LF" \
        "$(LC_ALL=C grep -ac $'\r$' "$file") $(tr -cd '\r' < "$file" | wc -c) $(tail -c 1 "$file" | od -An -tx1 | tr -d ' ')" \
        "$lines $lines 0a"
    bad=$({
        LC_ALL=C sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' "$file" | LC_ALL=C grep -anvE -e "$(run_log_line_regex "$3")"
        LC_ALL=C grep -an ']LOG]!>.*]LOG]!>' "$file"
    } | head -n 3 || true)
    check_same "$name: every line is one record of component $3 ($lines lines)" "$bad" ""
}

log_records() {
    local records
    records=$(LC_ALL=C sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' "$1" | LC_ALL=C sed -nE \
        's/^<!\[LOG\[(.*)\]LOG\]!><time="[^"]*" date="[^"]*" component="[^"]*" context="[^"]*" type="([0-9])" .*$/\2 \1/p')
    [ -n "$records" ] || return 0
    if [ -z "${2-}" ]; then
        printf '%s\n' "$records"
        return 0
    fi
    # Matched against the message alone, so that ^ anchors at its start.
    cut -c3- <<< "$records" | LC_ALL=C grep -anE -e "$2" | cut -d: -f1 |
        awk 'NR == FNR { wanted[$1]; next } FNR in wanted' - <(printf '%s\n' "$records") || true
}

# log_story FILE: the records of the last run in FILE, as log_records
# gives them, without the two that open every run and the slots without
# a patch; temporary copies, named at random, read MSPn.
log_story() {
    log_records "$1" |
        awk '/^[0-9] Patch wrapper .* started: / { n = 0 } { line[++n] = $0 } END { for (i = 1; i <= n; i++) print line[i] }' |
        grep -avE '^[0-9] (Patch wrapper .* started: |Operating system |IDR_MSP_[0-9]+: no patch in this slot$)' |
        sed -E 's/\\MSP[0-9]+"/\\MSPn"/g' || true
}

# check_lines WHAT ACTUAL EXPECTED: check_same for texts of many lines: shows
# the lines that differ.
check_lines() {
    if [ "$2" = "$3" ]; then
        pass_check "$1"
    else
        fail_check "$1"
        diff <(printf '%s\n' "$3") <(printf '%s\n' "$2") | sed 's/^/  /' >&2 || true
    fi
}

# Every path below a folder, one per line, sorted: a picture of what is there.
tree_of() {
    (cd "$1" && find . -mindepth 1 -printf '%P\n' | sort)
}

# The wrapper's version in four parts, as res/version.h sets it.
wrapper_version() {
    awk '$1 == "#define" && $2 ~ /^WRAPPER_VERSION_(MAJOR|MINOR|BUILD|REVISION)$/ { print $3 }' \
        "$E2E_REPO/res/version.h" | paste -sd.
}

# manifest_facts SCHEMA MANIFEST: the builder's manifest checked against
# SCHEMA (a line "schema: PATH MESSAGE" per fault), then "VERSION ARCH SIZE
# SHA256" of the wrapper, "slot N FILE SIZE SHA256 KIND" per slot (KIND:
# checked, unchecked, or no patch code) and the warnings, "wrapper: TEXT"
# or "slot N: TEXT", sorted.
manifest_facts() {
    /usr/bin/python3 -c '
import json, sys
from jsonschema import Draft202012Validator
schema = json.load(open(sys.argv[1]))
Draft202012Validator.check_schema(schema)
manifest = json.load(open(sys.argv[2], encoding="utf-8"))
for error in Draft202012Validator(schema).iter_errors(manifest):
    print("schema:", error.json_path, error.message)
wrapper = manifest["wrapper"]
print(manifest["builderVersion"], manifest["architecture"], wrapper["size"], wrapper["sha256"])
warnings = ["wrapper: " + text for text in manifest["warnings"]]
for slot in manifest["slots"]:
    kind = "unchecked" if not slot["checked"] else "checked" if slot["patchCode"] else "no patch code"
    print("slot", slot["slot"], slot["file"], slot["size"], slot["sha256"], kind, json.dumps(slot["removable"]))
    warnings += ["slot %d: %s" % (slot["slot"], text) for text in slot.get("warnings", [])]
for line in sorted(warnings):
    print(line)
' "$1" "$2" 2>&1
}

# receipt_facts RECEIPT...: each receipt checked against its schema (a line
# "schema: FILE PATH MESSAGE" per fault), then one line per product of every
# slot: "FILE SLOT PRODUCT VERDICT RESULT VERSION-AFTER", with "-" for null.
receipt_facts() {
    /usr/bin/python3 -c '
import json, os, sys
from jsonschema import Draft202012Validator
schema = json.load(open(sys.argv[1]))
Draft202012Validator.check_schema(schema)
for path in sys.argv[2:]:
    name = os.path.basename(path)
    with open(path, "rb") as file:
        receipt = json.loads(file.read().decode("utf-8"))
    for error in Draft202012Validator(schema).iter_errors(receipt):
        print("schema:", name, error.json_path, error.message)
    for slot in receipt["slots"]:
        for product in slot["products"]:
            print(name, slot["slot"], product["productCode"], product["verdict"],
                  *("-" if product[key] is None else product[key] for key in ("installerResult", "versionAfter")))
' "$E2E_REPO/schemas/receipt.schema.json" "$@" 2>&1
}

# event_facts TRACE RECEIPT: every event a run reported, from Wine's trace
# of it (WINEDEBUG=+relay,+eventlog with advapi32.ReportEventW in
# RelayInclude; Wine writes no event, and traces only the start of each
# string): "TYPE ID STRINGS" of the call, the first string's first line
# ("text: ..."), and what the second string starts as against the run's
# receipt file: "data: the receipt" (compact), "data: a digest of the
# receipt" (of its length), else what it is.
event_facts() {
    /usr/bin/python3 -c '
import json, re, sys
def decode(text):
    escape = lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1) if len(m.group(1)) == 1 else chr(int(m.group(1)[-4:], 16)))
    return re.sub(r"\\(x?[0-9a-fA-F]{4}|.)", escape, text)
calls = []
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    call = re.search(r"Call advapi32\.ReportEventW\(([^)]*)\)", line)
    if call:
        arguments = [int(value, 16) for value in call.group(1).split(",")]
        calls.append((arguments[1] & 0xFFFF, arguments[3], arguments[5] & 0xFFFF, []))
    seen = re.search(r":eventlog:ReportEventW L\"(.*)\"(\.\.\.)?$", line.rstrip("\n"))
    if seen and calls:
        calls[-1][3].append(decode(seen.group(1)))
compact = json.dumps(json.load(open(sys.argv[2], encoding="utf-8")), ensure_ascii=False, separators=(",", ":"))
for kind, number, count, strings in calls:
    print(kind, number, count)
    text, data = (strings + ["", ""])[:2]
    print("text:", text.split("\n")[0])
    length = re.match(r"\{\n  \"digest\": 1,\n  \"receiptSchema\": 2,\n  \"receiptLength\": ([0-9]+),", data)
    if data and compact.startswith(data):
        print("data: the receipt")
    elif length:
        digested = int(length.group(1))
        print("data: a digest of", "the receipt" if digested == len(compact.encode("utf-16-le")) // 2 else "%d characters" % digested)
    else:
        print("data: neither:", data[:80])
' "$1" "$2" 2>&1
}
