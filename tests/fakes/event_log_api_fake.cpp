#include "event_log_api_fake.h"

#include "shared/event_log_api_win.h"

#include <cstring>
#include <map>

namespace {

struct Value {
    DWORD type;
    std::vector<BYTE> data;
};

struct EventLogState {
    LSTATUS openSources = ERROR_SUCCESS;
    LSTATUS write = ERROR_SUCCESS;
    bool stands = false;
    std::map<std::wstring, Value> values;
    std::vector<fake_events::Event> reported;
};

EventLogState& State()
{
    static EventLogState state;
    return state;
}

HKEY const kSources = reinterpret_cast<HKEY>(0x5100);
HKEY const kSource = reinterpret_cast<HKEY>(0x5104);
HANDLE const kHandle = reinterpret_cast<HANDLE>(0x5108);

} // namespace

namespace fake_events {

void Reset() { State() = EventLogState(); }
const std::vector<Event>& Reported() { return State().reported; }
bool SourceStands() { return State().stands; }
void FailOpeningSources(LSTATUS status) { State().openSources = status; }
void FailWriting(LSTATUS status) { State().write = status; }

void SetSourceValue(const std::wstring& name, DWORD type, const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    State().stands = true;
    State().values[name] = {type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

std::wstring SourceValue(const std::wstring& name)
{
    const auto found = State().values.find(name);
    if (found == State().values.end())
        return std::wstring();
    const Value& value = found->second;
    const std::wstring type = L"type " + std::to_wstring(value.type) + L": ";
    if (value.type == REG_DWORD)
        return type + std::to_wstring(*reinterpret_cast<const DWORD*>(value.data.data()));
    return type + reinterpret_cast<const wchar_t*>(value.data.data());
}

} // namespace fake_events

namespace event_log_api {

LSTATUS OpenSources(HKEY* sources)
{
    *sources = kSources;
    return State().openSources;
}

LSTATUS OpenSource(HKEY, const wchar_t*, HKEY* key)
{
    *key = kSource;
    return State().stands ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS CreateSource(HKEY, const wchar_t*, HKEY* key, bool* created)
{
    *created = !State().stands;
    State().stands = true;
    *key = kSource;
    return ERROR_SUCCESS;
}

LSTATUS DeleteSource(HKEY, const wchar_t*)
{
    State().stands = false;
    State().values.clear();
    return ERROR_SUCCESS;
}

// As the registry answers: the size needed with no buffer or too small a one.
LSTATUS QueryValue(HKEY, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size)
{
    const auto found = State().values.find(name);
    if (found == State().values.end())
        return ERROR_FILE_NOT_FOUND;
    const std::vector<BYTE>& bytes = found->second.data;
    *type = found->second.type;
    const DWORD needed = static_cast<DWORD>(bytes.size());
    const bool fits = data == nullptr || *size >= needed;
    if (data != nullptr && fits)
        std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

LSTATUS SetValue(HKEY, const wchar_t* name, DWORD type, const BYTE* data, DWORD size)
{
    if (State().write != ERROR_SUCCESS)
        return State().write;
    State().values[name] = {type, std::vector<BYTE>(data, data + size)};
    return ERROR_SUCCESS;
}

void CloseKey(HKEY) {}

HANDLE RegisterSource(const wchar_t*)
{
    return kHandle;
}

bool Report(HANDLE, WORD type, DWORD id, WORD count, const wchar_t** strings)
{
    State().reported.push_back({type, id, std::vector<std::wstring>(strings, strings + count)});
    return true;
}

void DeregisterSource(HANDLE) {}

} // namespace event_log_api
