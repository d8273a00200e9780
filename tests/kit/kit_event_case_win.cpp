// The run's event as Windows keeps it: d.exe (its product is not
// installed: 1642, event 104, a warning) writes a receipt; then the
// Application log is queried by the wrapper's source for the events newer
// than the newest before the run, each rendered and its message made by
// the source's message file (EvtQuery, EvtRender, EvtFormatMessage).
#include "kit_windows_cases_win.h"
#include "kit_wine_win.h"

#include <winevt.h>

#include <vector>

#include "kit_cases_win.h"
#include "kit_files_win.h"
#include "kit/verdicts.h"
#include "text_win.h"

namespace {

const wchar_t kSource[] = L"Patch Wrapper";

// The values EvtRender gives for a context, in a buffer that grows to fit:
// `count` values, then the data they point to.
struct Values {
    std::vector<EVT_VARIANT> buffer;
    DWORD count = 0;
};

Values Rendered(EVT_HANDLE context, EVT_HANDLE event)
{
    Values values;
    values.buffer.resize(64);
    DWORD used = 0;
    for (;;) {
        const DWORD size = static_cast<DWORD>(values.buffer.size() * sizeof(EVT_VARIANT));
        if (EvtRender(context, event, EvtRenderEventValues, size, values.buffer.data(), &used, &values.count))
            return values;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return Values();
        values.buffer.resize(used / sizeof(EVT_VARIANT) + 1);
    }
}

std::wstring Message(EVT_HANDLE publisher, EVT_HANDLE event, unsigned& error)
{
    DWORD used = 0;
    std::vector<wchar_t> text(4096);
    while (!EvtFormatMessage(publisher, event, 0, 0, nullptr, EvtFormatMessageEvent,
                             static_cast<DWORD>(text.size()), text.data(), &used)) {
        error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) return std::wstring();
        error = 0;
        text.resize(used);
    }
    return text.data();
}

// The first MOST events of QUERY in the Application log, newest first when
// REVERSE; `why` says what failed.
std::vector<EVT_HANDLE> Query(const std::wstring& query, bool reverse, std::size_t most, std::wstring& why)
{
    std::vector<EVT_HANDLE> events;
    const DWORD direction = reverse ? EvtQueryReverseDirection : EvtQueryForwardDirection;
    EVT_HANDLE results = EvtQuery(nullptr, L"Application", query.c_str(), EvtQueryChannelPath | direction);
    if (results == nullptr) {
        why = L"EvtQuery: error " + std::to_wstring(GetLastError());
        return events;
    }
    EVT_HANDLE batch[16];
    DWORD returned = 0;
    while (events.size() < most && EvtNext(results, 16, batch, INFINITE, 0, &returned))
        events.insert(events.end(), batch, batch + returned);
    EvtClose(results);
    return events;
}

void CloseAll(const std::vector<EVT_HANDLE>& events)
{
    for (EVT_HANDLE event : events) EvtClose(event);
}

// The record number of the newest event in the log; 0 when it has none.
unsigned long long NewestRecord(EVT_HANDLE system, std::wstring& why)
{
    const std::vector<EVT_HANDLE> events = Query(L"*", true, 1, why);
    const Values values = events.empty() ? Values() : Rendered(system, events[0]);
    CloseAll(events);
    return values.count > EvtSystemEventRecordId ? values.buffer[EvtSystemEventRecordId].UInt64Val : 0;
}

std::vector<SeenEvent> EventsAfter(EVT_HANDLE system, unsigned long long record, std::wstring& why)
{
    std::vector<SeenEvent> seen;
    const std::vector<EVT_HANDLE> events = Query(L"*[System[Provider[@Name='" + std::wstring(kSource) +
                                                     L"'] and EventRecordID > " + std::to_wstring(record) + L"]]",
                                                 false, 100, why);
    EVT_HANDLE user = EvtCreateRenderContext(0, nullptr, EvtRenderContextUser);
    EVT_HANDLE publisher = EvtOpenPublisherMetadata(nullptr, kSource, nullptr, 0, 0);
    for (EVT_HANDLE event : events) {
        SeenEvent one;
        const Values fixed = Rendered(system, event), data = Rendered(user, event);
        if (fixed.count > EvtSystemLevel) {
            one.id = fixed.buffer[EvtSystemEventID].UInt16Val;
            one.level = fixed.buffer[EvtSystemLevel].ByteVal;
        }
        for (DWORD i = 0; i < data.count; ++i) {
            const EVT_VARIANT& value = data.buffer[i];
            one.data.push_back(value.Type == EvtVarTypeString && value.StringVal ? value.StringVal : L"");
        }
        one.message = Message(publisher, event, one.formatError);
        seen.push_back(one);
    }
    CloseAll(events);
    if (publisher) EvtClose(publisher);
    if (user) EvtClose(user);
    return seen;
}

}  // namespace

Findings RunEvent(const Kit& kit, CaseJob& job)
{
    // Wine 8 aborts a program that calls its EvtCreateRenderContext.
    if (UnderWine()) return NotPossibleUnderWine(L"its ReportEventW writes no event, and its wevtapi renders none");
    Findings found;
    std::wstring why;
    EVT_HANDLE system = EvtCreateRenderContext(0, nullptr, EvtRenderContextSystem);
    const unsigned long long before = NewestRecord(system, why);
    const std::wstring receiptPath = kit.work + L"\\event.json";
    ExpectExit(found, kit, job, L"d.exe", L"/q /exitcode /json " + Quoted(receiptPath), 1642);
    std::string receipt;
    ReadWholeFile(receiptPath, receipt);
    const KitVerdict verdict = EventVerdict(EventsAfter(system, before, why), 104, 3, receipt);
    if (system) EvtClose(system);
    if (!verdict.passed) found.Step(verdict.reason + (why.empty() ? L"" : L" (" + why + L")"));
    return found;
}
