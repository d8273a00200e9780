#pragma once

#include <string>

// The wrapper's own log (/log FILE): one record per line in the format the
// configuration manager's log viewer reads, which deployment teams already
// collect and read:
//   <![LOG[message]LOG]!><time="HH:mm:ss.fff+bias" date="MM-dd-yyyy"
//   component="NAME" context="" type="1" thread="1234" file="">

enum LogType : int {
    kLogInfo = 1,     // what went as planned
    kLogWarning = 2,  // a patch not applied because of the product's state
    kLogError = 3,    // a failure
};

// When a record was written: local time, and the time-zone bias in minutes
// as Windows reports it (UTC = local time + bias).
struct LogStamp {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    long biasMinutes = 0;
};

// One record, without its line end. Whatever some reader takes for a line
// end is written as an escape (\n, \r, \xHH for the other C0 controls but
// tab, \uHHHH for NEL and the line and paragraph separators), and the
// sequences that open and end a message are broken up (&lt;![LOG[,
// ]LOG]!&gt;), so that a record always stays one line and one record.
std::wstring FormatLogRecord(const std::wstring& message, LogType type, const LogStamp& stamp,
                             const std::wstring& component, unsigned long thread);
