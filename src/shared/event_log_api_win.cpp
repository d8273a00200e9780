#include "shared/event_log_api_win.h"

namespace event_log_api {

// Of HKEY_LOCAL_MACHINE, shared by 32-bit and 64-bit programs, only
// SOFTWARE is redirected, and a key whose parent the list does not name is
// shared ("Registry Keys Affected by WOW64",
// learn.microsoft.com/windows/win32/winprog64/shared-registry-keys): the
// x86 wrapper on 64-bit Windows reaches the same key as the x64 one.
LSTATUS OpenSources(HKEY* sources)
{
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", 0,
                         KEY_CREATE_SUB_KEY, sources);
}

// REG_OPTION_OPEN_LINK: "The key is a symbolic link" ("RegOpenKeyExW
// function"): the name's last key is opened itself where it is one.
LSTATUS OpenSource(HKEY sources, const wchar_t* name, HKEY* key)
{
    return RegOpenKeyExW(sources, name, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
}

LSTATUS CreateSource(HKEY sources, const wchar_t* name, HKEY* key, bool* created)
{
    DWORD disposition = 0;
    const LSTATUS status = RegCreateKeyExW(sources, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key, &disposition);
    *created = disposition == REG_CREATED_NEW_KEY;
    return status;
}

LSTATUS DeleteSource(HKEY sources, const wchar_t* name)
{
    return RegDeleteKeyW(sources, name);
}

LSTATUS QueryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size)
{
    return RegQueryValueExW(key, name, nullptr, type, data, size);
}

LSTATUS SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size)
{
    return RegSetValueExW(key, name, 0, type, data, size);
}

void CloseKey(HKEY key)
{
    RegCloseKey(key);
}

HANDLE RegisterSource(const wchar_t* name)
{
    return RegisterEventSourceW(nullptr, name);
}

bool Report(HANDLE source, WORD type, DWORD id, WORD count, const wchar_t** strings)
{
    return ReportEventW(source, type, 0, id, nullptr, count, 0, strings, nullptr) != FALSE;
}

void DeregisterSource(HANDLE source)
{
    DeregisterEventSource(source);
}

} // namespace event_log_api
