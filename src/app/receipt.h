#pragma once

#include "app/run_record.h"
#include "shared/run_log.h"
#include "shared/run_options.h"

#include <cstddef>
#include <string>
#include <vector>

// What a run's JSON receipt ("/json FILE") says: one object per run, for
// the collectors of a fleet. Version 2 of its layout is
// schemas/receipt.schema.json (version 1, of wrappers before 1.2.0.0, is
// schemas/receipt.v1.schema.json); a change that a reader could trip over
// makes a new version.
struct RunReceipt {
    // "install", "whatif", "uninstall", "whatif-uninstall", "extract",
    // "info", "whatif+info", "extract+info", "help", "usage-error" or
    // "nothing" (/pi).
    std::wstring mode;
    std::wstring commandLine;
    std::wstring usageError;     // why the command line was not followed; empty when it was
    std::vector<std::wstring> ignoredWords;  // words of the command line that are none of ours
    LogStamp start, end;         // UTC: biasMinutes 0
    std::wstring dnsHostName;    // empty when the system names none
    std::wstring netbiosName;
    std::wstring osName;         // as the /i report names the system
    std::wstring osVersion;
    bool elevated = false;
    bool systemAccount = false;
    std::wstring copiesFolder;   // empty when the system names none
    // The slots: decided and done (install), planned (whatif), or only as
    // carried, without products, in the other modes.
    RunRecord run;
    bool planned = false;        // the slots are a plan: no installer call was made
    bool uninstall = false;      // the slots' products are /uninstall's
    bool outcomeKnown = false;   // install and whatif have an outcome
    unsigned exitCode = 0;       // the code /exitcode gives, whether or not it was asked for
    bool restartNeeded = false;
    // The run's event in the Application log (app/run_event.h): its id, 0
    // in the modes that write none; its level; and why its source could
    // not be registered or opened, empty when it could.
    unsigned eventId = 0;
    int eventLevel = 0;
    std::wstring eventWarning;
};

// The receipt's mode for what the command line asked (see RunReceipt::mode).
std::wstring RunModeName(const RunOptions& options);

// "2026-12-07T23:04:05.123Z"
std::wstring Rfc3339Utc(const LogStamp& stamp);

// The receipt's JSON text, UTF-8 without a byte-order mark.
std::string FormatReceipt(const RunReceipt& receipt);

// What an event carries instead of a receipt too long for it
// (schemas/receipt-digest.schema.json): the receipt's length in UTF-16
// characters, the file it was written to (empty: none), and the run in
// brief, which no run makes longer than a few thousand characters.
std::string FormatReceiptDigest(const RunReceipt& receipt, std::size_t receiptLength,
                                const std::wstring& receiptFile);
