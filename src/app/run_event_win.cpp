#include "app/run_event_win.h"

#include "shared/ascii_case.h"
#include "shared/event_log_api_win.h"
#include "shared/run_log_win.h"

namespace {

// Its message table gives ids 1 to 1000 the text "%1", the first string:
// a file every Windows has, where it stays, unlike a wrapper run from a
// share or a temporary folder.
const wchar_t kMessageFile[] = L"%SystemRoot%\\System32\\EventCreate.exe";
// Error, warning and information.
constexpr DWORD kTypesSupported = 7;

std::wstring Error(LSTATUS status)
{
    return L"error " + std::to_wstring(status);
}

// The source's values, in a key this run made or one that had none.
std::wstring WriteValues(HKEY key)
{
    LSTATUS status = event_log_api::SetValue(key, L"EventMessageFile", REG_EXPAND_SZ,
                                             reinterpret_cast<const BYTE*>(kMessageFile), sizeof kMessageFile);
    if (status == ERROR_SUCCESS)
        status = event_log_api::SetValue(key, L"TypesSupported", REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&kTypesSupported), sizeof kTypesSupported);
    if (status != ERROR_SUCCESS)
        return L"cannot be registered: " + Error(status);
    Log(kLogInfo, std::wstring(L"The event source \"") + kEventSource + L"\" is registered with the message file " +
                      kMessageFile);
    return std::wstring();
}

// A source that stood already: ours, to be completed, or somebody's to
// leave alone.
std::wstring CheckExisting(HKEY key)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (event_log_api::QueryValue(key, L"SymbolicLinkValue", &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_LINK)
        return L"is a registry link: left alone";
    wchar_t file[1024] = L"";
    size = sizeof file - sizeof file[0];
    const LSTATUS status = event_log_api::QueryValue(key, L"EventMessageFile", &type, reinterpret_cast<BYTE*>(file), &size);
    if (status == ERROR_FILE_NOT_FOUND)
        return WriteValues(key);
    file[size / sizeof file[0]] = L'\0';
    if (status == ERROR_SUCCESS && (type == REG_EXPAND_SZ || type == REG_SZ) && EqualsIgnoringAsciiCase(file, kMessageFile))
        return std::wstring();
    return std::wstring(L"is registered with another message file (") +
           (status == ERROR_SUCCESS ? file : Error(status).c_str()) + L"): left alone; its events may read wrongly";
}

// Why the source is not registered as it should be; empty when it is.
std::wstring RegisterIn(HKEY sources)
{
    HKEY key = nullptr;
    bool created = false;
    LSTATUS status = event_log_api::OpenSource(sources, kEventSource, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        status = event_log_api::CreateSource(sources, kEventSource, &key, &created);
        // Made by somebody else in between: judged as any source that stood.
        if (status == ERROR_SUCCESS && !created) {
            event_log_api::CloseKey(key);
            status = event_log_api::OpenSource(sources, kEventSource, &key);
        }
    }
    if (status != ERROR_SUCCESS)
        return L"cannot be registered: " + Error(status);
    const std::wstring why = created ? WriteValues(key) : CheckExisting(key);
    event_log_api::CloseKey(key);
    // Nothing half made stays behind.
    if (created && !why.empty())
        event_log_api::DeleteSource(sources, kEventSource);
    return why;
}

std::wstring Register()
{
    HKEY sources = nullptr;
    const LSTATUS status = event_log_api::OpenSources(&sources);
    if (status != ERROR_SUCCESS)
        return L"cannot be registered: the Application log's key cannot be opened: " + Error(status);
    const std::wstring why = RegisterIn(sources);
    event_log_api::CloseKey(sources);
    return why;
}

} // namespace

HANDLE OpenRunEventSource(RunReceipt& receipt)
{
    std::wstring why = Register();
    HANDLE source = event_log_api::RegisterSource(kEventSource);
    if (source == nullptr)
        why += (why.empty() ? L"" : L"; ") + std::wstring(L"cannot be opened: ") + Error(GetLastError());
    if (!why.empty()) {
        receipt.eventWarning = std::wstring(L"The event source \"") + kEventSource + L"\" " + why;
        Log(kLogWarning, receipt.eventWarning + L"; the run is as it was");
    }
    return source;
}

void ReportRunEvent(HANDLE source, const RunReceipt& receipt, const std::string& receiptJson,
                    const EventPlaces& places)
{
    if (source == nullptr)
        return;
    const EventStrings strings = FormatRunEvent(receipt, receiptJson, places);
    const wchar_t* texts[] = {strings.text.c_str(), strings.data.c_str()};
    const std::wstring event = L"Event " + std::to_wstring(receipt.eventId) + L" (" +
                               EventLevelName(receipt.eventLevel) + L")";
    if (event_log_api::Report(source, static_cast<WORD>(receipt.eventLevel), receipt.eventId, 2, texts))
        Log(kLogInfo, event + L" is written to the Application log");
    else
        Log(kLogWarning, event + L" cannot be written to the Application log: " + Error(GetLastError()) +
                             L"; the run is as it was");
    event_log_api::DeregisterSource(source);
}
