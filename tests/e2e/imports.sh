#!/usr/bin/env bash
# The executable must start on a clean Windows: it may import system DLLs
# only, never a toolchain runtime such as libstdc++-6.dll or libwinpthread-1.dll.
#   imports.sh WRAPPER.exe
set -euo pipefail
exe=$1
allowed='^(KERNEL32|USER32|SHELL32|ADVAPI32|ole32|msvcrt)\.dll$'

dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[ -n "$dlls" ] || { echo "FAIL: no import table read from $exe" >&2; exit 1; }
status=0
while read -r dll; do
    if [[ $dll =~ $allowed ]]; then
        echo "ok: imports $dll"
    else
        echo "FAIL: imports $dll, which is not a system DLL" >&2
        status=1
    fi
done <<< "$dlls"
exit $status
