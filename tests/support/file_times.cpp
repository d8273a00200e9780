#include "support/file_times.h"

#include "shared/utf8_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

bool SetLastWriteTime(const std::string& file, std::int64_t seconds, long nanoseconds)
{
#ifdef _WIN32
    // FILETIME counts 100 ns from 1601.
    constexpr std::int64_t kSecondsTo1970 = 11644473600;
    const std::uint64_t ticks = static_cast<std::uint64_t>(seconds + kSecondsTo1970) * 10000000u +
                                static_cast<std::uint64_t>(nanoseconds / 100);
    const FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE handle = CreateFileW(WideFromUtf8(file).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool set = SetFileTime(handle, nullptr, nullptr, &time) != FALSE;
    CloseHandle(handle);
    return set;
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
    return utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
#endif
}
