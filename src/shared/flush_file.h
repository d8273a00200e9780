#pragma once

#include <windows.h>

// Writes what the system still holds of `file`'s data through to the disk,
// so that a file renamed over another afterwards never stands under the
// readers' name with its data lost to a power cut. False, with the
// last-error value set, when it cannot. Tests link a scripted one.
bool FlushWrittenFile(HANDLE file);
