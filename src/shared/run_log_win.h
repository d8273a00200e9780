#pragma once

#include "shared/run_log.h"

#include <windows.h>

#include <string>

// Opens the log the command line named, appending to it (a new file starts
// with a UTF-8 byte-order mark), shared for reading. A log that cannot be
// opened is no log: the run goes on exactly as without one.
void OpenRunLog(const std::wstring& path);

// True when a log was opened: records cost something to gather.
bool RunLogOpen();

// Writes one record at once, so that a run that is killed leaves every
// record up to that moment. Nothing without an open log. Keeps the
// last-error value: the log must never change what the run shows. While
// another program holds the log locked, the records of a run wait 5 s in
// all for it; after that, each record it still holds is lost, and the next
// record written says how many were.
void Log(LogType type, const std::wstring& message);

// A record's stamp: the local time, and the bias in force as
// GetTimeZoneInformation gave it (`zoneMode` its answer), summer time
// included.
LogStamp LogStampOf(const SYSTEMTIME& local, const TIME_ZONE_INFORMATION& zone, DWORD zoneMode);
