#include "app/receipt.h"

#include "app/install_run.h"
#include "app/run_event.h"
#include "install/cache_repair.h"
#include "install/decision.h"
#include "install/failure_hints.h"
#include "install/patch_removal.h"
#include "payload/targeting.h"
#include "shared/json_writer.h"
#include "version.h"

#include <cstdio>
#include <cstring>

namespace {

std::wstring Ascii(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}

const wchar_t* VerdictName(ProductVerdict verdict)
{
    switch (verdict) {
    case kVerdictApply:
        return L"due";
    case kVerdictUpToDate:
        return L"up-to-date";
    case kVerdictWrongVersion:
        return L"version-not-targeted";
    default:
        return L"not-installed";
    }
}

void WriteMember(JsonWriter& json, const char* key, const std::wstring& text)
{
    WriteJsonKey(json, key);
    WriteJsonString(json, text);
}

// Empty text is no value: null.
void WriteMemberOrNull(JsonWriter& json, const char* key, const std::wstring& text)
{
    WriteJsonKey(json, key);
    if (text.empty())
        WriteJsonNull(json);
    else
        WriteJsonString(json, text);
}

void WriteIntegerOrNull(JsonWriter& json, const char* key, bool known, std::int64_t value)
{
    WriteJsonKey(json, key);
    if (known)
        WriteJsonInteger(json, value);
    else
        WriteJsonNull(json);
}

void WriteHints(JsonWriter& json, const std::vector<FailureHint>& hints)
{
    WriteJsonKey(json, "hints");
    BeginJsonArray(json);
    for (const FailureHint& hint : hints) {
        BeginJsonObject(json);
        WriteMember(json, "kind", Ascii(FailureHintName(hint.kind)));
        WriteMember(json, "detail", hint.detail);
        EndJsonObject(json);
    }
    EndJsonArray(json);
}

// The missing cached copies of this wrapper's patches found before the
// call, and what became of each: the reason is null where it was (or would
// be) put back.
void WritePutBacks(JsonWriter& json, const std::vector<PutBack>& putBacks)
{
    WriteJsonKey(json, "putBack");
    BeginJsonArray(json);
    for (const PutBack& putBack : putBacks) {
        BeginJsonObject(json);
        WriteMember(json, "resource", putBack.resourceName);
        WriteMember(json, "patchCode", putBack.patchCode);
        WriteMember(json, "package", putBack.path);
        WriteMember(json, "action", PutBackActionName(putBack.action));
        WriteMemberOrNull(json, "reason", PutBackReason(putBack));
        EndJsonObject(json);
    }
    EndJsonArray(json);
}

// The product's code, and its name and version where it is installed
// (null otherwise).
void WriteProductNames(JsonWriter& json, const ProductRecord& product, bool installed)
{
    WriteMember(json, "productCode", product.productCode);
    WriteMemberOrNull(json, "name", installed ? product.productName : L"");
    WriteMemberOrNull(json, "installedVersion", installed ? product.installedVersion : L"");
}

// The hints looked up before the installer call, and the call itself. The
// installer's facts exist only where the run reached a call: a plan, and
// a product the run did not patch, has none.
void WriteProductCall(JsonWriter& json, const ProductRecord& product)
{
    WriteHints(json, product.hints);
    WritePutBacks(json, product.putBacks);
    WriteIntegerOrNull(json, "installerResult", product.answered, product.installerResult);
    WriteMemberOrNull(json, "installerLog", product.installerLog);
    WriteJsonKey(json, "secondsWaited");
    WriteJsonInteger(json, product.secondsWaited);
}

void WriteProduct(JsonWriter& json, const ProductRecord& product)
{
    BeginJsonObject(json);
    WriteProductNames(json, product, product.verdict != kVerdictNotInstalled);
    WriteIntegerOrNull(json, "versionFromSlot", product.versionFromSlot != 0, product.versionFromSlot);
    WriteMember(json, "verdict", VerdictName(product.verdict));
    WriteProductCall(json, product);
    WriteMemberOrNull(json, "versionAfter", product.versionAfter);
    EndJsonObject(json);
}

// /uninstall's: where the patch was registered, its states before and
// after the removal (null where not read: a product not installed or not
// reachable, a plan), and the removing call.
void WriteRemovalProduct(JsonWriter& json, const ProductRecord& product)
{
    const PatchRemovalRecord& removal = product.removal;
    const bool installed = removal.verdict != kRemovalNotInstalled && removal.verdict != kRemovalNotReachable;
    BeginJsonObject(json);
    WriteProductNames(json, product, installed);
    WriteMember(json, "verdict", RemovalVerdictName(removal.verdict));
    WriteMemberOrNull(json, "context", removal.context == 0 ? L"" : InstallContextName(removal.context));
    WriteMemberOrNull(json, "stateBefore", installed ? PatchStateName(removal.stateBefore) : L"");
    WriteJsonKey(json, "uninstallable");
    if (removal.uninstallable.empty())
        WriteJsonNull(json);
    else
        WriteJsonBool(json, removal.uninstallable == L"1");
    WriteProductCall(json, product);
    WriteMemberOrNull(json, "stateAfter", removal.stateAfterRead ? PatchStateName(removal.stateAfter) : L"");
    WriteMemberOrNull(json, "versionAfter", product.versionAfter);
    EndJsonObject(json);
}

void WriteKept(JsonWriter& json, const SlotRecord& slot)
{
    WriteJsonKey(json, "keptApplied");
    BeginJsonArray(json);
    for (const KeptPatch& kept : slot.keptApplied) {
        BeginJsonObject(json);
        WriteMember(json, "productCode", kept.productCode);
        WriteMember(json, "version", kept.version);
        WriteMember(json, "reason", KeptReasonText(kept, slot.upgradeVersion));
        EndJsonObject(json);
    }
    EndJsonArray(json);
}

// A plan's removals are taken to succeed and have no answer.
void WriteRemovals(JsonWriter& json, const std::vector<Removal>& removals, bool planned)
{
    WriteJsonKey(json, "removedAgain");
    BeginJsonArray(json);
    for (const Removal& removal : removals) {
        BeginJsonObject(json);
        WriteMember(json, "productCode", removal.productCode);
        WriteIntegerOrNull(json, "installerResult", !planned, removal.installerResult);
        EndJsonObject(json);
    }
    EndJsonArray(json);
}

// A slot only as carried (no install run or plan looked at it) has no
// outcome and no products.
void WriteSlot(JsonWriter& json, const SlotRecord& slot, const RunReceipt& receipt)
{
    BeginJsonObject(json);
    WriteJsonKey(json, "slot");
    WriteJsonInteger(json, slot.slot);
    WriteMember(json, "resource", slot.resourceName);
    WriteMemberOrNull(json, "patchCode", slot.patchCode);
    WriteJsonKey(json, "size");
    WriteJsonInteger(json, static_cast<std::int64_t>(slot.size));
    WriteJsonKey(json, "targetProducts");
    WriteJsonStrings(json, slot.targetProducts);
    WriteMember(json, "upgradeVersion", slot.upgradeVersion);
    WriteJsonKey(json, "targetVersions");
    WriteJsonStrings(json, SplitTargetVersions(slot.targetVersions));
    WriteMemberOrNull(json, "outcome", slot.outcome == kNoOutcome ? L"" : OutcomeName(slot.outcome));
    WriteJsonKey(json, "products");
    BeginJsonArray(json);
    for (const ProductRecord& product : slot.products) {
        if (receipt.uninstall)
            WriteRemovalProduct(json, product);
        else
            WriteProduct(json, product);
    }
    EndJsonArray(json);
    WriteRemovals(json, slot.removedAgain, receipt.planned);
    WriteKept(json, slot);
    EndJsonObject(json);
}

void WriteTimesAndComputer(JsonWriter& json, const RunReceipt& receipt)
{
    WriteMember(json, "start", Rfc3339Utc(receipt.start));
    WriteMember(json, "end", Rfc3339Utc(receipt.end));
    WriteJsonKey(json, "computer");
    BeginJsonObject(json);
    WriteMemberOrNull(json, "dnsHostName", receipt.dnsHostName);
    WriteMemberOrNull(json, "netbiosName", receipt.netbiosName);
    EndJsonObject(json);
}

// The outcome, the exit code, the restart and the run's event.
void WriteRunEnd(JsonWriter& json, const RunReceipt& receipt)
{
    WriteJsonKey(json, "stopped");
    WriteJsonBool(json, receipt.run.stopped);
    WriteMemberOrNull(json, "outcome", receipt.outcomeKnown ? OutcomeName(receipt.run.overall) : L"");
    WriteJsonKey(json, "exitCode");
    WriteJsonInteger(json, receipt.exitCode);
    WriteJsonKey(json, "restartNeeded");
    WriteJsonBool(json, receipt.restartNeeded);
    WriteJsonKey(json, "event");
    if (receipt.eventId == 0) {
        WriteJsonNull(json);
        return;
    }
    BeginJsonObject(json);
    WriteMember(json, "source", kEventSource);
    WriteJsonKey(json, "id");
    WriteJsonInteger(json, receipt.eventId);
    WriteMember(json, "level", EventLevelName(receipt.eventLevel));
    WriteMemberOrNull(json, "warning", receipt.eventWarning);
    EndJsonObject(json);
}

} // namespace

std::wstring RunModeName(const RunOptions& options)
{
    if (!options.usageError.empty())
        return L"usage-error";
    if (options.helpMode)
        return L"help";
    if (options.installMode)
        return L"install";
    // /i and /pi cannot stand beside /uninstall.
    if (options.uninstallMode)
        return options.whatIfMode ? L"whatif-uninstall" : L"uninstall";
    const std::wstring info = options.infoMode ? L"info" : L"";
    if (options.whatIfMode)
        return L"whatif" + (info.empty() ? info : L"+" + info);
    if (options.extractMode)
        return L"extract" + (info.empty() ? info : L"+" + info);
    return info.empty() ? L"nothing" : info;
}

std::wstring Rfc3339Utc(const LogStamp& stamp)
{
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", stamp.year,
                  stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second, stamp.millisecond);
    return text;
}

std::string FormatReceipt(const RunReceipt& receipt)
{
    JsonWriter json;
    BeginJsonObject(json);
    WriteJsonKey(json, "schema");
    WriteJsonInteger(json, 2);
    WriteMember(json, "wrapperVersion", Ascii(WRAPPER_VERSION_TEXT));
    WriteMember(json, "mode", receipt.mode);
    WriteMember(json, "commandLine", receipt.commandLine);
    WriteMemberOrNull(json, "usageError", receipt.usageError);
    WriteJsonKey(json, "ignoredWords");
    WriteJsonStrings(json, receipt.ignoredWords);
    WriteTimesAndComputer(json, receipt);
    WriteJsonKey(json, "operatingSystem");
    BeginJsonObject(json);
    WriteMember(json, "name", receipt.osName);
    WriteMember(json, "version", receipt.osVersion);
    EndJsonObject(json);
    WriteJsonKey(json, "elevated");
    WriteJsonBool(json, receipt.elevated);
    WriteJsonKey(json, "systemAccount");
    WriteJsonBool(json, receipt.systemAccount);
    WriteMemberOrNull(json, "copiesFolder", receipt.copiesFolder);
    WriteJsonKey(json, "slots");
    BeginJsonArray(json);
    for (const SlotRecord& slot : receipt.run.slots)
        WriteSlot(json, slot, receipt);
    EndJsonArray(json);
    WriteRunEnd(json, receipt);
    EndJsonObject(json);
    return json.text;
}

std::string FormatReceiptDigest(const RunReceipt& receipt, std::size_t receiptLength, const std::wstring& receiptFile)
{
    JsonWriter json;
    BeginJsonObject(json);
    WriteJsonKey(json, "digest");
    WriteJsonInteger(json, 1);
    WriteJsonKey(json, "receiptSchema");
    WriteJsonInteger(json, 2);
    WriteJsonKey(json, "receiptLength");
    WriteJsonInteger(json, static_cast<std::int64_t>(receiptLength));
    WriteMemberOrNull(json, "receiptFile", receiptFile);
    WriteMember(json, "wrapperVersion", Ascii(WRAPPER_VERSION_TEXT));
    WriteMember(json, "mode", receipt.mode);
    WriteTimesAndComputer(json, receipt);
    WriteJsonKey(json, "slots");
    BeginJsonArray(json);
    for (const SlotRecord& slot : receipt.run.slots) {
        BeginJsonObject(json);
        WriteJsonKey(json, "slot");
        WriteJsonInteger(json, slot.slot);
        WriteMemberOrNull(json, "outcome", slot.outcome == kNoOutcome ? L"" : OutcomeName(slot.outcome));
        WriteJsonKey(json, "products");
        WriteJsonInteger(json, static_cast<std::int64_t>(slot.products.size()));
        EndJsonObject(json);
    }
    EndJsonArray(json);
    WriteRunEnd(json, receipt);
    EndJsonObject(json);
    return json.text;
}
