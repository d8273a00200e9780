#pragma once

#include "app/run_event.h"

#include <windows.h>

#include <string>

// Registers the event source where it is not yet, so that the system's
// EventCreate.exe gives an event its text, and opens it to write the run's
// event with. What goes wrong is a warning in the log and in the
// receipt's eventWarning, nothing more: the handle may be null.
HANDLE OpenRunEventSource(RunReceipt& receipt);

// Writes the run's event (FormatRunEvent) and closes the source; a failure
// is a warning in the log.
void ReportRunEvent(HANDLE source, const RunReceipt& receipt, const std::string& receiptJson,
                    const EventPlaces& places);
