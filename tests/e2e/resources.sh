#!/usr/bin/env bash
# The executable's own resources: the manifest asks for administrator rights
# and nothing else, and the icon group 319 holds 21 images from 16 to 256
# pixels, those above 64 pixels PNG-compressed.
#   resources.sh WRAPPER.exe
set -euo pipefail
source "$(dirname "$0")/lib.sh"
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wrestool -x --raw --type=24 --name=1 "$exe" > "$work/manifest.xml"
check_same "manifest is the one in res/" "$(cat "$work/manifest.xml")" "$(cat "$E2E_REPO/res/wrapper.manifest")"
check "manifest asks for administrator rights" \
    grep -q 'level="requireAdministrator" uiAccess="false"' "$work/manifest.xml"
check_same "one requested execution level, no other element of substance" \
    "$(grep -o '<[a-zA-Z][a-zA-Z]*' "$work/manifest.xml" | sort | xargs)" \
    "<assembly <requestedExecutionLevel <requestedPrivileges <security <trustInfo"

wrestool -x --type=group_icon --name=319 "$exe" > "$work/icon.ico"
check "icon group 319 present" [ -s "$work/icon.ico" ]
sizes=$(/usr/bin/identify -format '%w\n' "$work/icon.ico" | sort -n | xargs)
check_same "icon group 319 has 21 images" "$(/usr/bin/identify "$work/icon.ico" | wc -l)" 21
check_same "from 16 to 256 pixels" "$(echo "$sizes" | awk '{ print $1, $NF }')" "16 256"
# Windows picks an image by its directory entry (0 stands for 256), and
# reads a PNG one only from Vista on.
check_same "each directory entry gives its image's size" \
    "$(od -An -tu1 -w16 -j6 -N $((16 * 21)) "$work/icon.ico" | awk '{ print $1 ? $1 : 256 }' | xargs)" \
    "$(/usr/bin/identify -format '%w\n' "$work/icon.ico" | xargs)"
check_same "bitmaps up to 64 pixels, PNG above" \
    "$(/usr/bin/identify -format '%m %w\n' "$work/icon.ico" | awk '($1 == "PNG") != ($2 > 64)')" ""

finish
