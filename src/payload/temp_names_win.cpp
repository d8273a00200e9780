#include "payload/temp_names.h"

#include <windows.h>
#include <ntsecapi.h>

std::uint32_t NextTempNameNumber()
{
    std::uint32_t number = 0;
    // Should the system's generator fail, a guessable name is still safe:
    // names are created exclusively, and a taken one is skipped.
    if (!RtlGenRandom(&number, sizeof number))
        number = GetTickCount() ^ (GetCurrentProcessId() << 16);
    return number;
}
