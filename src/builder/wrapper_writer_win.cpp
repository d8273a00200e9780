#include "builder/wrapper_writer_win.h"

#include "builder/patch_file_win.h"
#include "payload/patch_slots.h"

#include <windows.h>
#include <shlobj.h>

namespace {

// "<what>: <the system's text> (error <code>)".
std::wstring Failure(const std::wstring& what, DWORD error)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = text != nullptr ? text : L"";
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    return what + L": " + (reason.empty() ? L"" : reason + L" ") + L"(error " + std::to_wstring(error) + L")";
}

// Creates a file that did not exist under a name beside `output`.
HANDLE CreateTemporaryFile(const std::wstring& output, std::wstring& name)
{
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        name = output + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    // Nothing of ours to remove then.
    name.clear();
    return INVALID_HANDLE_VALUE;
}

// The patchless image under the temporary name; empty on success.
std::wstring WriteImage(const std::wstring& output, const std::uint8_t* image, std::size_t imageSize,
                        std::wstring& temporary)
{
    HANDLE file = CreateTemporaryFile(output, temporary);
    if (file == INVALID_HANDLE_VALUE)
        return Failure(L"cannot create a file in the folder of '" + output + L"'", GetLastError());
    DWORD written = 0;
    const bool wrote = WriteFile(file, image, static_cast<DWORD>(imageSize), &written, nullptr) && written == imageSize;
    const DWORD error = GetLastError();
    if (!CloseHandle(file) || !wrote)
        return Failure(L"cannot write '" + temporary + L"'", wrote ? GetLastError() : error);
    return std::wstring();
}

std::wstring AddPatches(const std::wstring& temporary, const std::vector<PatchResource>& patches)
{
    HANDLE update = BeginUpdateResourceW(temporary.c_str(), FALSE);
    if (update == nullptr)
        return Failure(L"cannot open '" + temporary + L"' to add the patches", GetLastError());
    for (const PatchResource& patch : patches) {
        // Language neutral, as the resource script declares them: the
        // wrapper finds them whatever the user's language.
        if (patch.size > MAXDWORD ||
            !UpdateResourceW(update, L"MSP", PatchResourceName(patch.slot).c_str(),
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), const_cast<std::uint8_t*>(patch.bytes),
                             static_cast<DWORD>(patch.size))) {
            const DWORD error = patch.size > MAXDWORD ? ERROR_FILE_TOO_LARGE : GetLastError();
            EndUpdateResourceW(update, TRUE);
            return Failure(L"cannot add the patch of slot " + std::to_wstring(patch.slot), error);
        }
    }
    if (!EndUpdateResourceW(update, FALSE))
        return Failure(L"cannot write the patches into '" + temporary + L"'", GetLastError());
    return std::wstring();
}

} // namespace

std::wstring WriteWrapper(const std::wstring& output, const std::uint8_t* image, std::size_t imageSize,
                          const std::vector<PatchResource>& patches)
{
    const std::wstring full = FullPathOf(output);
    const size_t separator = full.find_last_of(L"\\/");
    if (full.empty() || separator == std::wstring::npos)
        return Failure(L"cannot use '" + output + L"' as the output", ERROR_INVALID_NAME);
    const std::wstring folder = full.substr(0, separator);
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const int created = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS)
            return Failure(L"cannot create the folder '" + folder + L"'", static_cast<DWORD>(created));
    }
    std::wstring temporary;
    std::wstring failure = WriteImage(full, image, imageSize, temporary);
    if (failure.empty())
        failure = AddPatches(temporary, patches);
    const DWORD replace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (failure.empty() && !MoveFileExW(temporary.c_str(), full.c_str(), replace))
        failure = Failure(L"cannot write '" + output + L"'", GetLastError());
    if (!failure.empty() && !temporary.empty())
        DeleteFileW(temporary.c_str());
    return failure;
}
