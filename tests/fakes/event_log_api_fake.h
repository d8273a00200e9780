#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The event log a test's wrapper writes to, and the registry key of its
// one source, instead of the system's: what was reported, in order, and a
// source key that a test can make stand with values of its own, or whose
// opening or writing fails as scripted.
namespace fake_events {

struct Event {
    WORD type;
    DWORD id;
    std::vector<std::wstring> strings;
};

void Reset();
const std::vector<Event>& Reported();

// The source's key stands, with the value NAME as TEXT of TYPE (REG_SZ,
// REG_EXPAND_SZ, or REG_LINK for a registry link).
void SetSourceValue(const std::wstring& name, DWORD type, const std::wstring& text);
// The value NAME as text, "type N: TEXT"; empty while the key lacks it.
std::wstring SourceValue(const std::wstring& name);
bool SourceStands();
// From now on the Application log's key cannot be opened, or no value
// can be written, with STATUS.
void FailOpeningSources(LSTATUS status);
void FailWriting(LSTATUS status);

} // namespace fake_events
