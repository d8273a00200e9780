#pragma once

#include "install/version.h"

#include <cstdint>
#include <string>

// What the platform reports about itself; every value 0 after a failed query.
struct OsVersionInputs {
    bool querySucceeded = false;
    std::uint32_t platformId = 0;     // 2: Windows NT
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint8_t productType = 0;     // 1: workstation, any other value: server
    std::uint16_t suiteMask = 0;      // 0x200: personal (Home) edition
    std::uint16_t architecture = 0;   // 9: AMD64
};

// Names the operating system and gives its version from what it reports.
// `name` and `version` come in as the caller's defaults ("Windows",
// 0.0.0.0) and stay so for anything but an NT platform.
void DecideOperatingSystem(const OsVersionInputs& inputs, std::wstring& name, VersionQuad& version);
