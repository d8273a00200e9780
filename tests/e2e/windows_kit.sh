#!/usr/bin/env bash
# The Windows kit as ./windows-kit writes it, run under Wine as a person
# runs it on Windows (run.cmd): every case passes but those Wine cannot
# show (the rollback's result, the temporary copy's descriptor, links, a run
# as SYSTEM, a wait for a real installation), the closing line and
# junit.xml give the same counts, and the kit's products are gone again
# (the driver's exit code says so).
#   windows_kit.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"

wine_test_start win64
kit=$WINE_TEST_DIR/kit
"$E2E_REPO/windows-kit" "$kit" >/dev/null

set +e
(cd "$kit" && timeout 1800 wine cmd /c run.cmd) > "$WINE_TEST_DIR/run.txt" 2>&1
status=$?
set -e
sed 's/^/  /' "$WINE_TEST_DIR/run.txt"
check_same "run.cmd ends with the driver's exit code" "$status" 0
passed=$(grep -c '^ok ' "$WINE_TEST_DIR/run.txt" || true)
check "cases ran" [ "$passed" -gt 1 ]
# Wine's installer answers a patch removal with success and leaves the patch
# applied: what the rollback leaves cannot be seen here. Wine shows a file's
# descriptor as made from the Unix file, not the one it was created with:
# the temporary copy's cannot be seen. Wine has no links or junctions as
# Windows makes them, and no task scheduler that runs as SYSTEM. Wine's
# installer holds no execution mutex while it runs an installation.
skipped=(rollback copy-descriptor links system-run busy-installation)
check_same "skipped: the cases Wine cannot show" "$(sed -n 's/^skipped \([^:]*\):.*/\1/p' "$WINE_TEST_DIR/run.txt")" \
    "$(printf '%s\n' "${skipped[@]}")"
check_same "the closing line" "$(tail -n 1 "$WINE_TEST_DIR/run.txt" | tr -d '\r')" \
    "$passed passed, 0 failed, ${#skipped[@]} skipped"
check_same "junit.xml: the suite's counts and its test cases" "$(/usr/bin/python3 -c '
import sys, xml.etree.ElementTree as tree
suite = tree.parse(sys.argv[1]).getroot()
print(suite.tag, *(suite.get(key) for key in ("tests", "failures", "skipped")), len(suite.findall("testcase")))
' "$kit/junit.xml" 2>&1)" "testsuite $((passed + ${#skipped[@]})) 0 ${#skipped[@]} $((passed + ${#skipped[@]}))"
finish
