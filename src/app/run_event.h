#pragma once

#include "app/receipt.h"

#include <cstddef>
#include <string>

// One event per run in the Application log, for the collectors a fleet
// already forwards it with. The ids are a contract (docs/logs.md): one
// per kind of end, never given another meaning once released.

// One source for every wrapper; which wrapper wrote an event is in its text.
constexpr wchar_t kEventSource[] = L"Patch Wrapper";

// The most characters (UTF-16 code units) one insertion string may hold.
constexpr std::size_t kEventStringLimit = 31839;

// The event types of the system's event log, by their values.
enum EventLevel : int {
    kEventError = 1,
    kEventWarning = 2,
    kEventInformation = 4,
};

struct RunEvent {
    unsigned id = 0;  // 0: the mode writes no event
    EventLevel level = kEventInformation;
};

// The event of a finished run, from its receipt's mode, outcome and exit
// code: the install run, /uninstall, their plans and a usage error have
// one; /i, /e, /pi and /? do not.
RunEvent RunEventOf(const RunReceipt& receipt);

// "error", "warning", "information"
const wchar_t* EventLevelName(int level);

// Where the run's files went, for the event's text.
struct EventPlaces {
    std::wstring wrapperPath;
    std::wstring logPath;             // empty: no log
    std::wstring logNotOpened;        // why the log could not be opened; empty when it was
    std::wstring receiptPath;         // empty: no receipt asked for
    std::wstring receiptNotWritten;   // why the receipt could not be written; empty when it was
    bool deploymentExitCode = false;  // /exitcode
};

// The event's two insertion strings.
struct EventStrings {
    std::wstring text;  // what a person reads
    std::wstring data;  // the receipt as compact JSON, or its digest
};

// The strings of the event of `receipt`, whose JSON `/json` gets as
// `receiptJson`: the receipt compact when it fits an insertion string,
// else its digest (FormatReceiptDigest, one member a line), which the
// text then names. The text is cut to fit, saying so.
EventStrings FormatRunEvent(const RunReceipt& receipt, const std::string& receiptJson, const EventPlaces& places);
