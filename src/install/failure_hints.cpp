#include "install/failure_hints.h"

namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;

} // namespace

const char* FailureHintName(FailureHintKind kind)
{
    switch (kind) {
    case kHintProductPackageMissing:
        return "product-package-missing";
    case kHintPatchPackageMissing:
        return "patch-package-missing";
    case kHintCopiesVolumeLow:
        return "copies-volume-low";
    case kHintSystemVolumeLow:
        return "system-volume-low";
    case kHintInstallerBusy:
        return "installer-busy";
    case kHintRestartPending:
        return "restart-pending";
    }
    return "unknown";
}

void AddSpaceHint(std::vector<FailureHint>& hints, FailureHintKind kind, const std::wstring& volume,
                  std::uint64_t freeBytes, std::uint64_t neededBytes)
{
    if (freeBytes >= neededBytes)
        return;
    const std::uint64_t neededMegabytes = (neededBytes + kMegabyte - 1) / kMegabyte;
    hints.push_back({kind, std::to_wstring(freeBytes / kMegabyte) + L" MB free on " + volume + L", " +
                               std::to_wstring(neededMegabytes) + L" MB needed"});
}

std::wstring FailureHintText(const FailureHint& hint)
{
    const wchar_t* meaning = L"";
    switch (hint.kind) {
    case kHintProductPackageMissing:
        meaning = L"the installer's cached package of the product is missing; the installer may ask for the "
                  L"original media";
        break;
    case kHintPatchPackageMissing:
        meaning = L"the cached package of a patch applied to the product is missing; the installer may ask for "
                  L"the original media";
        break;
    case kHintCopiesVolumeLow:
        meaning = L"too little free space for the patch's temporary copy";
        break;
    case kHintSystemVolumeLow:
        meaning = L"too little free space on the system volume, where the installer caches the patch and keeps "
                  L"its rollback data";
        break;
    case kHintInstallerBusy:
        meaning = L"another installation holds the installer";
        break;
    case kHintRestartPending:
        meaning = L"the system waits for a restart";
        break;
    }
    return std::wstring(meaning) + L" (" + hint.detail + L")";
}
