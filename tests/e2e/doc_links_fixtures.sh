#!/usr/bin/env bash
# doc_links.py on a manual made for the purpose: a second equal heading's
# -1 anchor, a %-encoded fragment and the file's own heading lead
# somewhere; a third equal heading that is not there and a missing file do
# not, and a link in code is no link.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir "$root/docs"
printf '%s\n' '# Readme' '[a](docs/a.md#setup-1) [b](docs/a.md#caf%C3%A9) [c](#readme)' \
    '[d](docs/a.md#setup-2) [e](docs/b.md) `[g](nowhere.md)`' > "$root/README.md"
printf '%s\n' '# Setup' '## Setup' '## Café' > "$root/docs/a.md"

faults=$(/usr/bin/python3 "$E2E_REPO/tests/e2e/doc_links.py" "$root" || true)
check_lines "only the links that lead nowhere" "$faults" "$(printf '%s\n' \
    "README.md:3: docs/a.md#setup-2: no heading 'setup-2' there" \
    "README.md:3: docs/b.md: no such file")"
finish
