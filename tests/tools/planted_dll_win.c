/* planted.dll: stands in for a DLL planted beside a program, under any
 * name. When it is loaded it leaves "NAME.loaded" beside itself (NAME its
 * own file name), the proof that the program took it. It exports the
 * installer functions the wrapper resolves, so that a naive GetProcAddress
 * on a planted msi.dll would find every one and only the marker would tell. */
#include <windows.h>

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
