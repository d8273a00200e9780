#pragma once

#include "diagnostics/os_description.h"

#include <string>

// What this process is told about the system: the extended version query
// and the native processor architecture.
OsVersionInputs QueryOperatingSystem();

// Queries the system and names it (see DecideOperatingSystem).
void DescribeOperatingSystem(std::wstring& name, VersionQuad& version);
