#include "app/run_event.h"

#include "app/install_run.h"
#include "app/uninstall_run.h"
#include "install/decision.h"
#include "install/failure_hints.h"
#include "shared/json_writer.h"
#include "shared/utf8_text.h"
#include "version.h"

namespace {

// The last digit of an id: how the run (or the plan) ended. The hundreds
// give the mode.
enum EventKind : unsigned {
    kDone = 1,            // patched, removed; a plan: would patch, would remove
    kDoneRestart = 2,     // the same, and a restart is needed (3010, 1641)
    kNothingToDo = 3,     // up to date, nothing to remove
    kNotServed = 4,       // 1642: a product at a version the patch does not serve, or none
    kBusy = 5,            // 1618: another installation held the installer throughout
    kFailed = 6,          // any other code; a plan: the run would fail
    kRolledBack = 7,      // the install run removed patches it had installed again
};

bool RolledBack(const RunRecord& run)
{
    for (const SlotRecord& slot : run.slots) {
        if (!slot.removedAgain.empty())
            return true;
    }
    return false;
}

EventKind KindOf(const RunReceipt& receipt, bool install)
{
    const unsigned code = receipt.exitCode;
    // A plan's 1 says that something would be done.
    if (receipt.planned)
        return code == 1 ? kDone : code == 0 ? kNothingToDo : code == 1642 && install ? kNotServed : kFailed;
    if (install && RolledBack(receipt.run))
        return kRolledBack;
    switch (code) {
    case 0:
        return receipt.run.overall == Installed || receipt.run.overall == Removed ? kDone : kNothingToDo;
    case 3010:
    case 1641:
        return kDoneRestart;
    case 1642:
        return install ? kNotServed : kFailed;
    case 1618:
        return kBusy;
    default:
        return kFailed;
    }
}

std::wstring ExitCodeText(unsigned exitCode, bool deploymentExitCode)
{
    const std::wstring code = std::to_wstring(exitCode);
    return deploymentExitCode ? L"exit code " + code : L"exit code 0 (with /exitcode: " + code + L")";
}

// A product of a finished install run: as a plan words it, but for one
// the run called the installer for.
std::wstring RunVerdictText(const ProductRecord& product)
{
    if (product.verdict != kVerdictApply)
        return PlanVerdictText(product);
    std::wstring text = L"due at " + product.installedVersion;
    if (product.answered)
        text += L"; the installer answered " + std::to_wstring(product.installerResult);
    if (!product.versionAfter.empty())
        text += L"; now at " + product.versionAfter;
    return text;
}

std::wstring ProductLines(const RunReceipt& receipt, const ProductRecord& product)
{
    std::wstring verdict = receipt.uninstall  ? RemovalVerdictText(product, receipt.planned)
                           : receipt.planned ? PlanVerdictText(product)
                                             : RunVerdictText(product);
    if (!product.installerLog.empty())
        verdict += L"; installer log " + product.installerLog;
    std::wstring lines = L"\n\t" + product.productCode +
                         (product.productName.empty() ? L"" : L" " + product.productName) + L": " + verdict;
    for (const FailureHint& hint : product.hints)
        lines += L"\n\t\t" + FailureHintText(hint);
    return lines;
}

std::wstring SlotLines(const RunReceipt& receipt, const SlotRecord& slot)
{
    std::wstring lines = L"\n" + slot.resourceName + (slot.patchCode.empty() ? L"" : L", patch " + slot.patchCode) +
                         L": " + (slot.outcome == kNoOutcome ? L"not looked at" : OutcomeName(slot.outcome));
    for (const ProductRecord& product : slot.products)
        lines += ProductLines(receipt, product);
    for (const Removal& removal : slot.removedAgain)
        lines += L"\n\tremoved again from " + removal.productCode +
                 (receipt.planned ? L"" : L": the installer answered " + std::to_wstring(removal.installerResult));
    for (const KeptPatch& kept : slot.keptApplied)
        lines += L"\n\tkept on " + kept.productCode + L": " + KeptReasonText(kept, slot.upgradeVersion);
    return lines;
}

std::wstring FirstLine(const RunReceipt& receipt, const EventPlaces& places)
{
    const std::wstring exitCode = ExitCodeText(receipt.exitCode, places.deploymentExitCode);
    std::wstring line = L"Patch wrapper " WRAPPER_VERSION_TEXT L" (" + places.wrapperPath + L"), " + receipt.mode + L": ";
    if (!receipt.usageError.empty())
        return line + L"the command line cannot be followed: " + receipt.usageError + L"; nothing was done; " +
               exitCode + L".";
    line += std::wstring(receipt.planned ? L"planned outcome " : L"outcome ") + OutcomeName(receipt.run.overall) + L", " + exitCode + L".";
    return receipt.restartNeeded ? line + L" A restart is needed." : line;
}

std::wstring PlaceLine(const wchar_t* what, const std::wstring& path, const std::wstring& notWritten)
{
    if (path.empty())
        return std::wstring(L"\n") + what + L": none";
    return std::wstring(L"\n") + what + L": " + path + (notWritten.empty() ? L"" : L" (not written: " + notWritten + L")");
}

// Text longer than an insertion string holds ends with a note that says
// how much was left out, and where all of it is.
std::wstring Fitted(const std::wstring& text)
{
    const std::size_t length = Utf16Length(text);
    if (length <= kEventStringLimit)
        return text;
    const std::wstring note = L"\n... " + std::to_wstring(length) + L" characters in all, cut to fit the event; "
                              L"the receipt and the log hold the whole run.";
    return Utf16Prefix(text, kEventStringLimit - Utf16Length(note)) + note;
}

} // namespace

RunEvent RunEventOf(const RunReceipt& receipt)
{
    if (receipt.mode == L"usage-error")
        return {901, kEventError};
    unsigned mode;
    if (receipt.mode == L"install")
        mode = 100;
    else if (receipt.mode == L"uninstall")
        mode = 200;
    else if (receipt.mode == L"whatif" || receipt.mode == L"whatif+info")
        mode = 300;
    else if (receipt.mode == L"whatif-uninstall")
        mode = 400;
    else
        return {};
    const EventKind kind = KindOf(receipt, mode == 100 || mode == 300);
    EventLevel level = kEventError;
    if (kind <= kNothingToDo)
        level = kEventInformation;
    else if (receipt.planned || kind == kNotServed || kind == kBusy)
        level = kEventWarning;
    return {mode + kind, level};
}

const wchar_t* EventLevelName(int level)
{
    switch (level) {
    case kEventError:
        return L"error";
    case kEventWarning:
        return L"warning";
    default:
        return L"information";
    }
}

EventStrings FormatRunEvent(const RunReceipt& receipt, const std::string& receiptJson, const EventPlaces& places)
{
    EventStrings strings;
    strings.data = WideFromUtf8(CompactJson(receiptJson));
    const std::size_t length = Utf16Length(strings.data);
    std::wstring second = L"The second string is this run's receipt (schemas/receipt.schema.json).";
    if (length > kEventStringLimit) {
        const std::wstring file = places.receiptNotWritten.empty() ? places.receiptPath : L"";
        strings.data = WideFromUtf8(FormatReceiptDigest(receipt, length, file));
        // Only a path of thousands of characters could make the digest too long.
        if (Utf16Length(strings.data) > kEventStringLimit)
            strings.data = WideFromUtf8(FormatReceiptDigest(receipt, length, L""));
        second = L"The receipt has " + std::to_wstring(length) + L" characters, more than an event's string holds (" +
                 std::to_wstring(kEventStringLimit) +
                 L"): the second string is its digest (schemas/receipt-digest.schema.json).";
    }
    std::wstring text = FirstLine(receipt, places) + L"\n" + second + L"\nCommand line: " + receipt.commandLine;
    if (!receipt.ignoredWords.empty()) {
        text += L"\nIgnored words:";
        for (const std::wstring& word : receipt.ignoredWords)
            text += L" " + word;
    }
    for (const SlotRecord& slot : receipt.run.slots)
        text += SlotLines(receipt, slot);
    text += PlaceLine(L"Log", places.logPath, places.logNotOpened) + PlaceLine(L"Receipt", places.receiptPath, places.receiptNotWritten);
    strings.text = Fitted(text);
    return strings;
}
