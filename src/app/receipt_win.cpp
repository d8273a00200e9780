#include "app/receipt_win.h"

#include "app/install_run_win.h"
#include "app/run_event_win.h"
#include "diagnostics/os_description_win.h"
#include "install/version.h"
#include "payload/embedded_patch.h"
#include "payload/summary_win.h"
#include "payload/temp_folder_win.h"
#include "shared/process_state.h"
#include "shared/process_state_win.h"
#include "shared/replace_file_win.h"
#include "shared/run_log_win.h"

#include <windows.h>

#include <vector>

namespace {

std::wstring ComputerName(COMPUTER_NAME_FORMAT format)
{
    DWORD size = 0;
    GetComputerNameExW(format, nullptr, &size);
    std::vector<wchar_t> name(size + 1);
    size = static_cast<DWORD>(name.size());
    if (!GetComputerNameExW(format, name.data(), &size))
        return std::wstring();
    return std::wstring(name.data(), size);
}

// The fully qualified DNS name, "HostName.DomainName" (learn.microsoft.com,
// "COMPUTER_NAME_FORMAT enumeration"), made from its two parts: asked for
// whole, Wine 8 asks the resolver, which cost every run with a receipt
// 30 to 50 ms there.
std::wstring DnsHostName()
{
    const std::wstring host = ComputerName(ComputerNameDnsHostname);
    const std::wstring domain = ComputerName(ComputerNameDnsDomain);
    return host.empty() || domain.empty() ? host : host + L"." + domain;
}

// What the wrapper carries, for a run that neither installed nor planned:
// no product was looked at. A patch whose summary cannot be read still has
// its resource and size.
void RecordCarriedSlots(RunRecord& run)
{
    for (int slotNumber = 1; slotNumber <= kPatchSlotCount; ++slotNumber) {
        SlotDecision decision;
        if (!FindEmbeddedPatch(PatchResourceName(slotNumber), decision.patch))
            continue;
        ReadEmbeddedTargeting(decision.patch, decision.targeting);
        run.slots.push_back(RecordOfSlot(slotNumber, kNoOutcome, decision));
        run.slots.back().products.clear();
    }
}

std::wstring WhyNotWritten(DWORD error)
{
    switch (error) {
    case kReplaceLink:
        return L"it, or its folder, is a link or other reparse point";
    case kReplaceSecondName:
        return L"it has a second name (a hard link)";
    case kReplaceFolder:
        return L"it is a folder";
    default:
        return L"error " + std::to_wstring(error);
    }
}

void CompleteReceipt(RunReceipt& receipt)
{
    receipt.commandLine = GetCommandLineW();
    receipt.usageError = Options.usageError;
    receipt.ignoredWords = Options.ignoredWords;
    receipt.dnsHostName = DnsHostName();
    receipt.netbiosName = ComputerName(ComputerNameNetBIOS);
    VersionQuad osVersion;
    receipt.osName = L"Windows";
    DescribeOperatingSystem(receipt.osName, osVersion);
    receipt.osVersion = FormatVersion(osVersion);
    const RunAccount account = CurrentRunAccount();
    receipt.elevated = account != kRunUnelevated;
    receipt.systemAccount = account == kRunAsSystem;
    receipt.copiesFolder = TempCopyFolderFor(account);
    if (!receipt.outcomeKnown)
        RecordCarriedSlots(receipt.run);
    receipt.restartNeeded = RestartNeeded(receipt.run, RestartRequest);
}

// Writes the receipt to Options.receiptPath; why it could not, empty when it could.
std::wstring WriteReceipt(const std::string& json)
{
    const DWORD error = ReplaceFileWhole(Options.receiptPath, json);
    if (error == ERROR_SUCCESS) {
        Log(kLogInfo, L"The receipt is written to " + Options.receiptPath);
        return std::wstring();
    }
    const std::wstring why = WhyNotWritten(error);
    Log(kLogWarning, L"The receipt cannot be written to " + Options.receiptPath + L": " + why + L"; the run is as it was");
    return why;
}

} // namespace

LogStamp UtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    const TIME_ZONE_INFORMATION utc = {};
    return LogStampOf(now, utc, TIME_ZONE_ID_UNKNOWN);
}

void RecordRun(RunReceipt& receipt, unsigned exitCode)
{
    receipt.mode = RunModeName(Options);
    receipt.exitCode = exitCode;
    const RunEvent event = RunEventOf(receipt);
    if (event.id == 0 && Options.receiptPath.empty())
        return;
    const DWORD lastError = GetLastError();
    CompleteReceipt(receipt);
    receipt.eventId = event.id;
    receipt.eventLevel = event.level;
    const HANDLE source = event.id == 0 ? nullptr : OpenRunEventSource(receipt);
    receipt.end = UtcNow();
    const std::string json = FormatReceipt(receipt);
    EventPlaces places;
    if (!Options.receiptPath.empty())
        places.receiptNotWritten = WriteReceipt(json);
    places.wrapperPath = ModulePath();
    places.logPath = Options.logPath;
    places.logNotOpened = RunLogOpen() ? L"" : L"it could not be opened";
    places.receiptPath = Options.receiptPath;
    places.deploymentExitCode = Options.deploymentExitCode;
    ReportRunEvent(source, receipt, json, places);
    SetLastError(lastError);
}
