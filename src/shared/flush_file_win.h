#pragma once

#include <windows.h>

// Asks the system to write what it still holds of `file`'s data through to
// the disk ("FlushFileBuffers function"), before the file is renamed over
// the one readers use. False, with the last-error value set, when it
// cannot. Tests link a scripted one.
bool FlushWrittenFile(HANDLE file);
