#!/usr/bin/env bash
# What the loader resolves for the executable before its entry point runs.
# It must start on a clean Windows and never take a DLL from its own folder:
# it imports known DLLs only (the system maps those from its own list and
# never searches for them; a toolchain runtime such as libstdc++-6.dll would
# be neither), and its load configuration limits the search for its imports
# to the system folder besides (DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32).
#   imports.sh EXE
set -euo pipefail
exe=$1
# Known DLLs of every Windows the executables run on, from the registry key
# HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs
# (https://learn.microsoft.com/windows/win32/dlls/dynamic-link-library-search-order).
known='^(KERNEL32|USER32|SHELL32|ADVAPI32|ole32|msvcrt)\.dll$'

dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[ -n "$dlls" ] || { echo "FAIL: no import table read from $exe" >&2; exit 1; }
status=0
while read -r dll; do
    if [[ $dll =~ $known ]]; then
        echo "ok: imports $dll"
    else
        echo "FAIL: imports $dll, which is not a known DLL" >&2
        status=1
    fi
done <<< "$dlls"
# The DLLs THIRD-PARTY-NOTICES.md says the program imports: its row of the
# table that names nothing but DLLs.
program=$(basename "$exe")
noted=$(grep -E '^\| `[^`]+` \|( `[^`]+\.dll`,?)+ \|$' "$(dirname "$0")/../../THIRD-PARTY-NOTICES.md" |
    { grep -F "| \`$program\` |" || true; } | { grep -o '[^`]*\.dll' || true; } | tr A-Z a-z | sort | xargs)
imported=$(tr A-Z a-z <<< "$dlls" | sort | xargs)
if [ "$noted" = "$imported" ]; then
    echo "ok: THIRD-PARTY-NOTICES.md names the DLLs it imports"
else
    echo "FAIL: THIRD-PARTY-NOTICES.md names [$noted] as what $program imports, its import table [$imported]" >&2
    status=1
fi

# The load configuration, as an independent reader sees it: the data
# directory entry names the structure, whose size fits the architecture
# (64 bytes on x86, what Windows XP requires), and the flags are set.
config=$(llvm-readobj --coff-load-config "$exe")
flags=$(sed -n 's/^ *DependentLoadFlags: //p' <<< "$config")
size=$(sed -n 's/^ *Size: //p' <<< "$config" | head -n1)
case $(sed -n 's/^Arch: //p' <<< "$config") in
    x86_64) expected_size=0x70 ;;
    i386) expected_size=0x40 ;;
    *) expected_size=unknown ;;
esac
if [ "$flags" = 0x800 ] && [ "$size" = "$expected_size" ]; then
    echo "ok: load configuration of $size bytes, DependentLoadFlags $flags"
else
    echo "FAIL: load configuration: size '$size' (expected $expected_size), DependentLoadFlags '$flags' (expected 0x800)" >&2
    status=1
fi
# The post-link step rewrote the header: its checksum must still hold.
if osslsigncode verify -in "$exe" 2>&1 | grep -q 'invalid PE checksum'; then
    echo "FAIL: the header checksum does not match the file" >&2
    status=1
else
    echo "ok: header checksum"
fi
exit $status
