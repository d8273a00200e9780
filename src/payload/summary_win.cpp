#include "payload/summary_win.h"

#include "payload/compound_file.h"
#include "payload/summary_info.h"
#include "payload/targeting.h"

#include <windows.h>

#include <vector>

namespace {

constexpr std::uint32_t kFirstReadChars = 2048;

// Closes a summary handle exactly once, on every way out of a reader.
class SummaryHandleGuard {
public:
    explicit SummaryHandleGuard(MsiHandle handle) : handle_(handle) {}
    ~SummaryHandleGuard() { msi_api::CloseHandle(handle_); }
    SummaryHandleGuard(const SummaryHandleGuard&) = delete;
    SummaryHandleGuard& operator=(const SummaryHandleGuard&) = delete;

private:
    MsiHandle handle_;
};

// A text property of an open summary. A value longer than the first buffer
// is read again, once, into a buffer of its size.
unsigned ReadProperty(MsiHandle handle, unsigned property, std::wstring& value)
{
    std::vector<wchar_t> buffer(kFirstReadChars, L'\0');
    std::uint32_t length = kFirstReadChars;
    unsigned result = msi_api::SummaryInfoGetProperty(handle, property, buffer.data(), &length);
    if (result == kMsiMoreData) {
        buffer.assign(static_cast<size_t>(length) + 1, L'\0');
        length = static_cast<std::uint32_t>(buffer.size());
        result = msi_api::SummaryInfoGetProperty(handle, property, buffer.data(), &length);
    }
    // An installer that fills the whole buffer leaves no terminator: stop at its end.
    if (result == kMsiSuccess)
        value.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    return result;
}

// One text property of the patch file's summary information, as the
// installer reads it from the file.
bool ReadInstallerSummaryText(const std::wstring& path, unsigned property, std::wstring& value)
{
    const MsiHandle handle = OpenPatchSummary(path);
    if (handle == 0)
        return false;
    unsigned result;
    {
        SummaryHandleGuard guard(handle);
        result = ReadProperty(handle, property, value);
    }
    // Set once the handle is closed, which may change the last-error value.
    if (result != kMsiSuccess) {
        SetLastError(result);
        return false;
    }
    return true;
}

// Wine's installer widens summary text with the system's ANSI code page,
// whatever code page the summary names.
std::wstring WidenAsInstaller(const std::string& bytes, unsigned)
{
    if (bytes.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return text;
}

// A summary text the installer reads without error: an absent value
// leaves the caller's (empty) buffer as it was.
bool ReadEmbeddedText(const CompoundFile& file, unsigned property, std::wstring& value)
{
    std::wstring text;
    if (ReadSummaryText(file, property, text, WidenAsInstaller) == kSummaryUnreadable) {
        SetLastError(ERROR_INSTALL_PACKAGE_INVALID);
        return false;
    }
    value = text;
    return true;
}

} // namespace

bool ReadEmbeddedTargeting(const PatchBytes& patch, PatchTargeting& targeting)
{
    CompoundFile file;
    if (!OpenCompoundFile(patch.data, patch.size, file)) {
        SetLastError(ERROR_INSTALL_PACKAGE_INVALID);
        return false;
    }
    std::wstring keywords;
    if (!ReadEmbeddedText(file, kSummaryKeywords, keywords))
        return false;
    if (!HasPackageClass(file)) {
        SetLastError(ERROR_FUNCTION_FAILED);
        return false;
    }
    PatchTargeting read;
    if (!SplitKeywords(keywords, read.upgradeVersion, read.targetVersions)) {
        SetLastError(kMalformedKeywordsError);
        return false;
    }
    if (!ReadEmbeddedText(file, kSummaryTemplate, read.products))
        return false;
    read.patchCode = PatchCodeOf(file);
    targeting = read;
    return true;
}

bool ReadEmbeddedReportValues(const PatchBytes& patch, std::wstring& products, std::wstring& upgradeVersion,
                              std::wstring& targetVersions)
{
    CompoundFile file;
    std::wstring keywords;
    if (!OpenCompoundFile(patch.data, patch.size, file) || !ReadEmbeddedText(file, kSummaryTemplate, products))
        return false;
    if (ReadEmbeddedText(file, kSummaryKeywords, keywords))
        SplitKeywords(keywords, upgradeVersion, targetVersions);
    return true;
}

MsiHandle OpenPatchSummary(std::wstring path)
{
    wchar_t fullPath[MAX_PATH] = L"";
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, fullPath, &filePart);
    // A full path that does not fit would be a different, cut-off file name.
    if (length >= MAX_PATH)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    MsiHandle handle = 0;
    const unsigned result = msi_api::GetSummaryInformation(fullPath, &handle);
    if (result != kMsiSuccess) {
        // The installer's answer is what a failure message should show.
        SetLastError(result);
        return 0;
    }
    return handle;
}

bool ReadPatchVersions(std::wstring path, std::wstring& upgradeVersion, std::wstring& targetVersions)
{
    std::wstring keywords;
    if (!ReadInstallerSummaryText(path, kSummaryKeywords, keywords))
        return false;
    if (!SplitKeywords(keywords, upgradeVersion, targetVersions)) {
        SetLastError(kMalformedKeywordsError);
        return false;
    }
    return true;
}

bool ReadPatchProducts(std::wstring path, std::wstring& products)
{
    std::wstring value;
    if (!ReadInstallerSummaryText(path, kSummaryTemplate, value))
        return false;
    products = value;
    return true;
}
