#!/usr/bin/env bash
# The real wrapper under Wine never loads an msi.dll planted beside it or in
# the current folder. The planted DLL leaves a marker file beside itself when
# it is loaded and exports the installer functions the wrapper resolves, so a
# load by bare name would go unnoticed but for the marker. Wine is told to
# prefer native DLLs for msi: with its default (built-in first) even an
# unsafe load would get Wine's own installer and the test could not fail.
# A control program that loads msi.dll by bare name shows that both planted
# copies are really reachable under these conditions.
#   dll_planting.sh TOOLS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
load_tools "$@"
export RUN_TIMEOUT=60
native_first=WINEDLLOVERRIDES=msi=n,b

wine_test_start win64
boxes_setup
# With the default safe search mode the current folder comes after the
# system folder, where Wine's own msi.dll sits, so a copy planted there would
# never be reached; without it the current folder comes right after the
# program's own.
wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' /v SafeDllSearchMode \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1
work=$WINE_TEST_DIR/work
app=$work/app
cwd=$work/cwd
other=$work/other
mkdir -p "$app" "$cwd" "$other"

# --- the planted DLL and the control program -----------------------------------
cat > "$work/planted_msi.c" <<'C'
#include <windows.h>

/* Leaves "msi.dll.loaded" beside this DLL: proof that it was loaded. */
static void LeaveMarker(HINSTANCE self)
{
    wchar_t path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    lstrcpyW(path + length, L".loaded");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        LeaveMarker(self);
    return TRUE;
}

/* What the wrapper resolves: a naive GetProcAddress finds every one. */
__declspec(dllexport) UINT WINAPI MsiGetSummaryInformationW(DWORD db, LPCWSTR path, UINT count, DWORD* handle)
{ (void)db; (void)path; (void)count; *handle = 0; return ERROR_INSTALL_PACKAGE_INVALID; }
__declspec(dllexport) UINT WINAPI MsiSummaryInfoGetPropertyW(DWORD h, UINT p, UINT* t, INT* n, FILETIME* f,
                                                             LPWSTR v, DWORD* s)
{ (void)h; (void)p; (void)t; (void)n; (void)f; (void)v; (void)s; return ERROR_INVALID_HANDLE; }
__declspec(dllexport) UINT WINAPI MsiCloseHandle(DWORD h) { (void)h; return ERROR_SUCCESS; }
__declspec(dllexport) INT WINAPI MsiQueryProductStateW(LPCWSTR code) { (void)code; return -1; }
__declspec(dllexport) UINT WINAPI MsiGetProductInfoW(LPCWSTR c, LPCWSTR a, LPWSTR b, DWORD* s)
{ (void)c; (void)a; (void)b; (void)s; return ERROR_UNKNOWN_PRODUCT; }
__declspec(dllexport) UINT WINAPI MsiEnableLogW(DWORD m, LPCWSTR f, DWORD a)
{ (void)m; (void)f; (void)a; return ERROR_SUCCESS; }
__declspec(dllexport) INT WINAPI MsiSetInternalUI(INT level, HWND* owner) { (void)level; (void)owner; return 5; }
__declspec(dllexport) UINT WINAPI MsiConfigureProductExW(LPCWSTR c, int l, int s, LPCWSTR cmd)
{ (void)c; (void)l; (void)s; (void)cmd; return ERROR_INSTALL_FAILURE; }
C
cat > "$work/bare_load.c" <<'C'
#include <windows.h>

/* Loads msi.dll the unsafe way; exit code 0 when it found the function. */
int main(void)
{
    HMODULE module = LoadLibraryW(L"msi.dll");
    return module != NULL && GetProcAddress(module, "MsiQueryProductStateW") != NULL ? 0 : 1;
}
C
x86_64-w64-mingw32-gcc -O2 -shared -o "$work/msi.dll" "$work/planted_msi.c"
x86_64-w64-mingw32-gcc -O2 -o "$work/bare_load.exe" "$work/bare_load.c"
exports=$(x86_64-w64-mingw32-objdump -p "$work/msi.dll" | grep -cE '\] Msi[A-Za-z]+W?$' || true)
check_same "planted DLL exports the eight installer functions" "$exports" 8

# plant: a fresh copy beside the program and in the current folder, no marker.
plant() {
    local dir
    for dir in "$app" "$cwd" "$other"; do rm -f "$dir/msi.dll" "$dir/msi.dll.loaded"; done
    cp "$work/msi.dll" "$app/msi.dll"
    cp "$work/msi.dll" "$cwd/msi.dll"
}

# markers: where a planted copy was loaded (app, cwd), one per line.
markers() {
    local dir
    for dir in app cwd; do
        [ -e "$work/$dir/msi.dll.loaded" ] && echo "$dir"
    done
    return 0
}

# in_cwd [NAME=VALUE...] EXE ARGS...: run_with_boxes started in the current folder.
in_cwd() {
    cd "$cwd"
    run_with_boxes "$@"
    cd - >/dev/null
}

# --- the trap works: a bare-name load takes either planted copy ----------------
case_control() {
    plant
    cp "$work/bare_load.exe" "$app/bare_load.exe"
    in_cwd "$native_first" "$app/bare_load.exe"
    check_same "control beside the program: loaded" "$RUN_STATUS" 0
    check_same "control beside the program: the copy beside it" "$(markers)" app

    plant
    cp "$work/bare_load.exe" "$other/bare_load.exe"
    in_cwd "$native_first" "$other/bare_load.exe"
    check_same "control from the current folder: loaded" "$RUN_STATUS" 0
    check_same "control from the current folder: the copy there" "$(markers)" cwd
}
case_control

# --- the wrapper ---------------------------------------------------------------
name="Norvale Papa"
code=$(new_guid)
make_product "$work/p.msi" --code "$code" --name "$name" --version 3.2.10.0
install_product "$work/p.msi" >/dev/null
new_patch "$work/p.msp" "$code" --keywords "3.2.40.0;3.2.10.0"
build_wrapper -o "$app/wrapper.exe" "$work/p.msp"

# Outcome: the system's installer is used; the product is patched and the
# success box names it; no planted copy is loaded.
case_install_run() {
    plant
    in_cwd "$native_first" "$app/wrapper.exe"
    check_same "install run: exit code 0" "$RUN_STATUS" 0
    check_same "install run: one box" "$BOX_COUNT" 1
    check_same "install run: success box" "$(box 1 caption)|$(box 1 text)" \
        "$(en IDS_CAPTION_SUCCESS)|$(en IDS_INSTALL_SUCCEEDED "$name")"
    check_same "install run: product patched" "$(product_version "$code")" 3.2.40.0
    check_same "install run: no planted msi.dll loaded" "$(markers)" ""
    boxes_summary
}
case_install_run

# Outcome: the report reads the patch through the system's installer (the
# product code in the box); no planted copy is loaded.
case_report() {
    plant
    in_cwd "$native_first" "$app/wrapper.exe" /i
    check_same "report: exit code 0" "$RUN_STATUS" 0
    check_same "report: one box" "$BOX_COUNT" 1
    check_same "report: caption" "$(box 1 caption)" Info
    check "report: the patch's product read" grep -qF "$code" <<< "$(box 1 text)"
    check_same "report: no planted msi.dll loaded" "$(markers)" ""
    boxes_summary
}
case_report

finish
