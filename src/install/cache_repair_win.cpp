#include "install/cache_repair_win.h"

#include "install/cache_repair.h"
#include "install/failure_hints_win.h"
#include "install/patch_removal.h"
#include "install/patch_removal_win.h"
#include "payload/embedded_patch.h"
#include "payload/summary_win.h"
#include "payload/temp_folder_win.h"
#include "shared/flush_file_win.h"
#include "shared/replace_file_win.h"
#include "shared/run_log_win.h"

#include <windows.h>

namespace {

// Opens a folder given by its names from the drive on, one name at a time,
// each relative to the one before and none followed if it is a link: a
// junction anywhere on the way is refused (kReplaceLink), not followed.
DWORD OpenFolderByNames(const std::vector<std::wstring>& names, HANDLE& folder)
{
    DWORD error = OpenFolderWithoutLink(names.front() + L"\\", folder);
    for (size_t at = 1; at < names.size() && error == ERROR_SUCCESS; ++at) {
        const HANDLE outer = folder;
        error = OpenFolderIn(outer, names[at], folder);
        CloseHandle(outer);
    }
    return error;
}

// The installer's cache is %SystemRoot%\Installer, where it keeps each
// applied patch under the name registered as the patch's LocalPackage
// ("MsiGetPatchInfoExW function": "the cached patch file that the product
// uses"; Wine keeps it there too).
DWORD OpenInstallerFolder(HANDLE& folder)
{
    std::vector<std::wstring> names;
    const std::wstring windows = SystemWindowsFolder();
    if (windows.empty() || SplitDrivePath(windows + L"\\Installer", names) != kPutBackNoProblem)
        return ERROR_PATH_NOT_FOUND;
    return OpenFolderByNames(names, folder);
}

// Two open folders are the same one: the same volume and file index. The
// system volume is NTFS, whose 64-bit index is unique on its volume
// ("BY_HANDLE_FILE_INFORMATION structure").
bool SameFolder(HANDLE left, HANDLE right)
{
    BY_HANDLE_FILE_INFORMATION one, other;
    return GetFileInformationByHandle(left, &one) && GetFileInformationByHandle(right, &other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
           one.nFileIndexLow == other.nFileIndexLow;
}

// A new file `name` in the open folder, the whole patch written and flushed
// through to the disk before it counts as put back; removed on any failure.
DWORD WriteNewCopy(HANDLE folder, const std::wstring& name, const PatchBytes& patch)
{
    HANDLE file;
    const DWORD error = CreateNewFileIn(folder, name, file);
    if (error != ERROR_SUCCESS)
        return error;
    if (WritePatchBytes(file, patch) && FlushWrittenFile(file)) {
        CloseHandle(file);
        return ERROR_SUCCESS;
    }
    const DWORD failure = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    DiscardNewFile(file);
    return failure;
}

// The rules, then the write (unless `write` is false): the registered path
// must name a .msp file directly inside the installer folder, the two
// compared as opened folders, not as text.
PutBackProblem PutBackAt(const std::wstring& path, const PatchBytes& patch, bool write, unsigned& error)
{
    std::vector<std::wstring> names;
    std::wstring file;
    const PutBackProblem problem = SplitPackagePath(path, names, file);
    if (problem != kPutBackNoProblem)
        return problem;
    HANDLE installer, folder;
    if ((error = OpenInstallerFolder(installer)) != ERROR_SUCCESS)
        return kInstallerFolderUnopened;
    if ((error = OpenFolderByNames(names, folder)) != ERROR_SUCCESS) {
        CloseHandle(installer);
        return error == kReplaceLink ? kPathThroughLink : kPathFolderUnopened;
    }
    const bool inside = SameFolder(installer, folder);
    CloseHandle(installer);
    error = inside && write ? WriteNewCopy(folder, file, patch) : ERROR_SUCCESS;
    CloseHandle(folder);
    if (!inside)
        return kPathOtherFolder;
    if (error == ERROR_ALREADY_EXISTS)
        return kPathFileExists;
    return error == ERROR_SUCCESS ? kPutBackNoProblem : kWriteFailed;
}

} // namespace

void PutBackMissingCopies(ProductRecord& record, bool planOnly)
{
    record.putBacks.clear();
    for (int slot = 1; slot <= kPatchSlotCount; ++slot) {
        PutBack putBack;
        putBack.resourceName = PatchResourceName(slot);
        PatchBytes patch;
        PatchTargeting targeting;
        if (!FindEmbeddedPatch(putBack.resourceName, patch) || !ReadEmbeddedTargeting(patch, targeting) ||
            targeting.patchCode.empty())
            continue;
        // Only what the installer registers: a patch without a registration,
        // or registered but on no product, is none of ours to mend.
        putBack.patchCode = targeting.patchCode;
        PatchRemovalRecord registration;
        ReadPatchRegistration(putBack.patchCode, record.productCode, registration);
        if (!IsPatchPresent(registration.stateBefore))
            continue;
        putBack.path = ReadPatchProperty(putBack.patchCode, record.productCode, registration.context, L"LocalPackage");
        if (!PackageFileMissing(putBack.path))
            continue;
        putBack.problem = PutBackAt(putBack.path, patch, !planOnly, putBack.error);
        putBack.action = PutBackActionOf(putBack.problem, planOnly);
        Log(putBack.action == kPutBackDone || putBack.action == kPutBackPlanned ? kLogInfo : kLogWarning,
            (planOnly ? L"What if: " : L"") + PutBackText(putBack, record.productCode));
        record.putBacks.push_back(putBack);
    }
}
