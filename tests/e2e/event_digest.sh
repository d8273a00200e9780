#!/usr/bin/env bash
# What an event carries instead of a receipt too long for it, as the
# portable code makes it (unit_tests writes it), against its schema.
#   event_digest.sh UNIT_TESTS
set -euo pipefail
source "$(dirname "$0")/lib.sh"

digest=$(mktemp)
trap 'rm -f "$digest"' EXIT
WRAPPER_EVENT_DIGEST=$digest "$1" --gtest_filter='RunEvent.*' >/dev/null
check_same "the digest follows its schema" "$(/usr/bin/python3 -c '
import json, sys
from jsonschema import Draft202012Validator
schema = json.load(open(sys.argv[1]))
Draft202012Validator.check_schema(schema)
for error in Draft202012Validator(schema).iter_errors(json.load(open(sys.argv[2], encoding="utf-8"))):
    print(error.json_path, error.message)
' "$E2E_REPO/schemas/receipt-digest.schema.json" "$digest" 2>&1)" ""
finish
