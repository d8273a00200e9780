#!/usr/bin/env bash
# Runs one Windows program under Wine in a prefix of its own (CTest's
# emulator for the Windows unit tests).
set -euo pipefail
source "$(dirname "$0")/prefix.sh"
wine_test_start "${WINE_TEST_ARCH:-win64}"
set +e
wine "$@"
status=$?
set -e
exit $status
