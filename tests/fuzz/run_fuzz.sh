#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a scratch copy of its seed
# corpus: what the run finds must never grow the committed seeds. A failing
# input is kept in the artifact folder, whose path the failure prints.
#   run_fuzz.sh <fuzzer> <seed folder> <seconds> <artifact folder>
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=$3 artifacts=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$seeds" "$work/corpus"
mkdir -p "$artifacts"

# Leaks fail the run too: the default says so already, but the environment
# may not, and the last setting wins.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1"

status=0
"$fuzzer" -max_total_time="$seconds" -max_len=1024 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work/corpus" >"$work/log" 2>&1 || status=$?
tail -n 25 "$work/log"
if [ "$status" -ne 0 ]; then
    echo "fuzz failure: reproduce with $fuzzer $artifacts/<crash file>" >&2
    ls -l "$artifacts" >&2
fi
exit "$status"
