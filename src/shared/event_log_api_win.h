#pragma once

#include <windows.h>

// The only door to the event log and to its sources' registration. Each
// function is one system call with the system's own result, unchanged; the
// callers decide what it means. Tests link a scripted fake instead.
namespace event_log_api {

// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application, the
// Application log's sources, opened to add one.
LSTATUS OpenSources(HKEY* sources);

// A source's key, opened to read and write its values. A registry link
// there is opened itself, not followed.
LSTATUS OpenSource(HKEY sources, const wchar_t* name, HKEY* key);

// Creates a source's key; `created` is false when it stood already.
LSTATUS CreateSource(HKEY sources, const wchar_t* name, HKEY* key, bool* created);

LSTATUS DeleteSource(HKEY sources, const wchar_t* name);

// RegQueryValueExW: `size` in bytes, in and out.
LSTATUS QueryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size);

LSTATUS SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size);

void CloseKey(HKEY key);

// A handle to write events with as the source `name`; null on failure,
// with the last-error value set.
HANDLE RegisterSource(const wchar_t* name);

// One event of `type` and `id` with `count` insertion strings; false on
// failure, with the last-error value set.
bool Report(HANDLE source, WORD type, DWORD id, WORD count, const wchar_t** strings);

void DeregisterSource(HANDLE source);

} // namespace event_log_api
