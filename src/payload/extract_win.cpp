#include "payload/extract_win.h"

#include "payload/embedded_patch.h"
#include "payload/extract.h"
#include "shared/run_log_win.h"

#include <windows.h>

#include <cstdio>

bool ExtractPatch(std::wstring path, const std::wstring& resourceName, int index)
{
    PatchBytes patch;
    if (!FindEmbeddedPatch(resourceName, patch))
        return false;
    if (!RebuildExtractPath(path, index, path)) {
        Log(kLogError, resourceName + L" cannot be written: no file name of the path limits can be made from " +
                           path + L", error " + std::to_wstring(ERROR_FILENAME_EXCED_RANGE));
        return false;
    }

    FILE* stream = nullptr;
    if (_wfopen_s(&stream, path.c_str(), L"wb") != 0 || stream == nullptr) {
        Log(kLogError, resourceName + L" cannot be written to " + path + L", error " + std::to_wstring(GetLastError()));
        return false;
    }
    // Straight from the mapped image in one call: patches run to hundreds of
    // megabytes and are never copied in memory. The buffered tail reaches
    // the disk only at fclose, so its result counts too.
    const size_t written = fwrite(patch.data, 1, patch.size, stream);
    const bool closed = fclose(stream) == 0;
    if (written == patch.size && closed) {
        Log(kLogInfo, resourceName + L" written to " + path + L", " + std::to_wstring(patch.size) + L" bytes");
        return true;
    }
    const DWORD error = GetLastError();
    // A cut-off patch under the patch's name would pass for the real one.
    _wremove(path.c_str());
    Log(kLogError, resourceName + L" could not be written whole to " + path + L", error " + std::to_wstring(error));
    return false;
}
