#include "install/configure_win.h"

#include "install/cache_repair_win.h"
#include "install/configure.h"
#include "install/failure_hints.h"
#include "install/failure_hints_win.h"
#include "install/installer_result.h"
#include "install/installer_wait_win.h"
#include "install/msi_api.h"
#include "messages.h"
#include "messages/catalogue_win.h"
#include "payload/temp_folder_win.h"
#include "shared/process_state.h"
#include "shared/process_state_win.h"
#include "shared/run_log_win.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr int kLogFolderChars = 260;
constexpr std::uint32_t kLogVerbose = 0x1000;
constexpr int kUiBasicWithoutCancel = 0x23;
constexpr int kUiNone = 2;
constexpr int kInstallLevelDefault = 0;

} // namespace

unsigned ConfigurePatch(const std::wstring& slot, ProductRecord& record, InstallerCall call,
                        const std::wstring& patches, std::uint64_t patchSize)
{
    const bool remove = call != kCallInstall;
    wchar_t folder[kLogFolderChars];
    GetTempFolder(folder, kLogFolderChars);

    // The files-in-use text is looked up in the product's language. An empty
    // or non-numeric language gives 0, which the system refuses: the locale
    // then stays as it was.
    SetThreadLocale(static_cast<LCID>(wcstol(record.language.c_str(), nullptr, 10)));

    const std::wstring logPath = InstallerLogPath(folder, record.productName, call);

    std::wstring filesInUseText;
    LoadMessage(ModuleInstance, IDS_FILES_IN_USE, filesInUseText, kMessageChars);
    record.commandLine = PatchPropertyString(call, patches, filesInUseText);

    // Before the wait, which may outlast a busy installer: a failed call's
    // log then still says what stood against it. The installer reads the
    // cached copies of the patches on the product when it changes it (Wine's
    // refuses the next patch with 1627 when one is gone; the kit's put-back
    // case shows a removal on Windows): put back first, so that the hints
    // tell what is still missing.
    PutBackMissingCopies(record, false);
    LookUpFailureHints(record, patchSize);
    for (const FailureHint& hint : record.hints)
        Log(kLogWarning, std::wstring(remove ? L"Before removing" : L"Before installing") +
                             L" the patch on product " + record.productCode + L": " + FailureHintText(hint));

    // Another installation holding the installer is waited for, and a call
    // it answers 1618 made again, as long as the run's budget allows.
    const std::wstring what = std::wstring(remove ? L"removing" : L"installing") + L" the patch on product " +
                              record.productCode;
    unsigned result = kMsiInstallAlreadyRunning;
    bool called = false;
    const std::uint64_t waitedBefore = InstallerWaitSpent;
    for (unsigned busyAnswers = 0; result == kMsiInstallAlreadyRunning && AwaitInstaller(slot, what, busyAnswers);
         ++busyAnswers) {
        Log(kLogInfo, std::wstring(remove ? L"Removing" : L"Installing") + L" the patch on product " +
                          record.productCode + L" with " + record.commandLine + L"; installer log " + logPath);
        // Here, not before the wait: an installer never called leaves no empty installer log.
        msi_api::EnableLog(kLogVerbose, logPath.c_str(), 0);
        // Unattended, nobody could answer the installer's own error boxes.
        const int previousLevel = msi_api::SetInternalUI(Options.quiet ? kUiNone : kUiBasicWithoutCancel);
        result = msi_api::ConfigureProductEx(record.productCode.c_str(), kInstallLevelDefault, kInstallStateDefault,
                                             record.commandLine.c_str());
        msi_api::SetInternalUI(previousLevel);
        called = true;
        Log(IsInstallSuccess(result) ? kLogInfo : kLogError,
            L"The installer answered " + std::to_wstring(result) + L" (" + InstallerResultMeaning(result) + L")");
    }
    SetThreadLocale(LOCALE_USER_DEFAULT);
    record.secondsWaited = WholeSeconds(InstallerWaitSpent - waitedBefore);
    // The call's waits in all, rounded once, as the receipt gives them: the
    // waits logged one by one, each rounded, need not add up to it.
    if (InstallerWaitSpent != waitedBefore)
        Log(kLogInfo, slot + L": waited " + std::to_wstring(record.secondsWaited) + L" s in all before " + what);
    // A rollback's answers stand in the slot's removals, not in the product's record.
    record.answered = call != kCallRollback;
    if (called)
        record.installerLog = logPath;
    // The installer stayed busy: the call fails as the installer would have answered it.
    if (!called)
        Log(kLogError, L"The installer was not called: " + std::to_wstring(result) + L" (" +
                           InstallerResultMeaning(result) + L")");
    return result;
}
