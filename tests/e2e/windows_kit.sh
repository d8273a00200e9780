#!/usr/bin/env bash
# The Windows kit as ./windows-kit writes it, run under Wine as a person
# runs it on Windows (run.cmd): the preflight first; every case passes but
# those Wine cannot show (the rollback's result, the temporary copy's
# descriptor, links, a run as SYSTEM, a wait for a real installation),
# each skip naming Wine; the closing line and junit.xml give the same
# counts, the installer logs are kept, and the kit's products are gone
# again (the driver's exit code says so). Then the same kit with the seam
# that takes Wine's excuse away: every one of those skips is the failure
# it is on Windows. Then with a broken fixture patch: the cases that need
# no patch still run, and the fixture's installer log is printed. A box
# that another program showed before the kit started is still open when
# the kit has ended: the kit answers only its own programs' boxes.
#   windows_kit.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"

wine_test_start win64
kit=$WINE_TEST_DIR/kit
"$E2E_REPO/windows-kit" "$kit" >/dev/null

# run_kit NAME [VARIABLE=VALUE...]: run.cmd with the environment given;
# its output in $WINE_TEST_DIR/NAME.txt (CRs dropped), its exit code in
# KIT_STATUS.
run_kit() {
    local name=$1
    shift
    set +e
    (cd "$kit" && env "$@" timeout 1800 wine cmd /c run.cmd /keep) 2>&1 | tr -d '\r' > "$WINE_TEST_DIR/$name.txt"
    KIT_STATUS=${PIPESTATUS[0]}
    set -e
    sed 's/^/  /' "$WINE_TEST_DIR/$name.txt"
}

# cases_with STATUS NAME: the cases of run NAME whose line begins with STATUS.
cases_with() {
    sed -n "s/^$1 \([^:]*\).*/\1/p" "$WINE_TEST_DIR/$2.txt"
}

# Somebody else's box: d.exe's list of words, waiting for OK.
wine "$kit/d.exe" '/?' >/dev/null 2>&1 &
foreign=$!
for _ in $(seq 200); do xdotool search --onlyvisible --name . >/dev/null 2>&1 && break; sleep 0.1; done
check "somebody else's box is shown" eval 'xdotool search --onlyvisible --name . >/dev/null'

run_kit plain
out=$WINE_TEST_DIR/plain.txt
check "somebody else's box is still open after the kit" kill -0 "$foreign"
# Answered now, by a watcher that started nothing and so answers any box.
timeout 60 wine "$kit/watcher.exe" "$(winepath -w "$WINE_TEST_DIR/foreign.txt")" --count 1 --timeout 30 \
    >/dev/null 2>&1 || true
kill "$foreign" 2>/dev/null || true
wait "$foreign" || true
check_same "run.cmd ends with the driver's exit code" "$KIT_STATUS" 0
check "the preflight comes first and names Wine" grep -q '^preflight: Windows .* (Wine); elevated' <(head -n 1 "$out")
passed=$(grep -c '^ok ' "$out" || true)
check "cases ran" [ "$passed" -gt 1 ]
# Wine's installer answers a patch removal with success and leaves the patch
# applied: what the rollback and /uninstall leave cannot be seen here (the
# copy /uninstall puts back first can, and is judged). Wine shows a file's
# descriptor as made from the Unix file, not the one it was created with:
# the temporary copy's cannot be seen. Wine has no links or junctions as
# Windows makes them, and no task scheduler that runs as SYSTEM. Wine's
# installer holds no execution mutex while it runs an installation.
# Wine keeps no DACL given to a folder: a receipts folder denies nothing.
# Wine's ReportEventW writes no event to read back.
skipped=(rollback uninstall put-back copy-descriptor links receipt-share system-run busy-installation event-log)
check_same "skipped: the cases Wine cannot show" "$(cases_with skipped plain)" "$(printf '%s\n' "${skipped[@]}")"
check_same "every skip names Wine" "$(grep '^skipped ' "$out" | grep -vc '^skipped [^:]*: Wine: ' || true)" 0
check_same "the closing line" "$(tail -n 1 "$out")" "$passed passed, 0 failed, ${#skipped[@]} skipped"
check_same "junit.xml: the suite's counts and its test cases" "$(/usr/bin/python3 -c '
import sys, xml.etree.ElementTree as tree
suite = tree.parse(sys.argv[1]).getroot()
print(suite.tag, *(suite.get(key) for key in ("tests", "failures", "skipped")), len(suite.findall("testcase")))
' "$kit/junit.xml" 2>&1)" "testsuite $((passed + ${#skipped[@]})) 0 ${#skipped[@]} $((passed + ${#skipped[@]}))"
check "the installer logs kept: every call's, and the wrapper's own" eval \
    'ls "$kit/logs" | grep -q "^due-msiexec-1.log$" && ls "$kit/logs" | grep -q "^due-WrapperKit Alpha SP install.log$"'
kept=$(sed -n 's/^work folder kept: //p' "$out")
check "/keep keeps the work folder" [ -d "$(winepath -u "$kept" 2>/dev/null)" ]

run_kit as-windows WRAPPER_KIT_AS_WINDOWS=1
check_same "without Wine's excuse: run.cmd fails" "$KIT_STATUS" 1
check_same "without Wine's excuse: the same cases fail instead" "$(cases_with FAIL as-windows)" \
    "$(printf '%s\n' "${skipped[@]}")"
check_same "without Wine's excuse: nothing skipped" "$(cases_with skipped as-windows)" ""

# a.msp swapped for the patch of a product nobody installed: the fixture
# check's msiexec /p answers 1642.
cp "$kit/a.msp" "$WINE_TEST_DIR/a.msp"
cp "$kit/d.msp" "$kit/a.msp"
run_kit broken-fixture
cp "$WINE_TEST_DIR/a.msp" "$kit/a.msp"
out=$WINE_TEST_DIR/broken-fixture.txt
check_same "a broken fixture: run.cmd fails" "$KIT_STATUS" 1
check "a broken fixture: its installer log is printed" grep -q "^the fixture check's last installer log ends:" "$out"
check "a broken fixture: the cases that need no patch still pass" eval \
    'grep -q "^ok report$" "$out" && grep -q "^ok not-installed$" "$out"'
check "a broken fixture: the ones that need the patches are skipped" \
    grep -q '^skipped due: the fixture check failed' "$out"
finish
