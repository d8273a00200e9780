#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Scripting and inspection of the fake installer that tests link in place
// of msi.dll (and of installer_busy.h). It keeps the real contract where the
// code depends on it: a too-small buffer gets 234 and the needed length, a
// closed handle is gone, a failed product query leaves the buffer alone.
// Its clock starts just before the 32-bit wrap and moves only when the
// wrapper pauses, so waits of minutes take no real time.
namespace fake_msi {

// What every fake installer call leaves as the thread's last-error value.
constexpr unsigned kClobberedLastError = 0xC0FFEE;

struct SummaryScript {
    unsigned openResult = 0;            // non-zero: the file is no package
    std::map<unsigned, std::wstring> texts;   // property id -> value
    std::map<unsigned, unsigned> readResults; // property id -> forced result
};

// A patch registered for a product, in the product's context.
struct AppliedPatch {
    std::wstring patchCode;
    std::wstring localPackage;
    unsigned state = 1;                 // "State": 1 applied, 2 superseded, 4 obsoleted, 8 registered
    std::wstring uninstallable = L"1";  // "Uninstallable"
};

// Known in one context (the per-machine one unless a test says otherwise);
// GetProductInfoEx reads the same properties as GetProductInfo there
// (LocalPackage among them).
struct Product {
    int state = 5;
    int context = 4;
    std::map<std::wstring, std::wstring> properties;
    std::vector<AppliedPatch> appliedPatches;
};

struct ConfigureCall {
    std::wstring productCode;
    int installLevel;
    int installState;
    std::wstring commandLine;
    std::wstring logFile;  // the log in force when the call was made
    int uiLevel;           // the UI level in force when the call was made
};

void Reset();

// Every summary opened from now on answers from `script`...
void SetSummary(const SummaryScript& script);
void SetSummary(const std::wstring& keywords, const std::wstring& templateValue);
// ...except that of a file whose whole content is `fileContent`, so tests
// can give each embedded patch its own targeting data.
void SetSummaryForFile(const std::string& fileContent, const std::wstring& keywords,
                       const std::wstring& templateValue);
void AddProduct(const std::wstring& code, int state, const std::wstring& version,
                const std::wstring& name, const std::wstring& language);
// Results of the next ConfigureProductEx calls, in order; 0 when none is left.
void QueueConfigureResults(const std::vector<unsigned>& results);
// From now on a successful call with MSIPATCHREMOVE="{A};{B}" unregisters
// those patches from its product, as the installer does (Wine's does not).
void RemovePatchesOnSuccess();
// Runs inside the next ConfigureProductEx calls, e.g. to move a version.
void OnConfigure(void (*hook)(const ConfigureCall& call));
void SetProductVersion(const std::wstring& code, const std::wstring& version);
// Another installation holds the execution mutex until the clock has moved
// this far since Reset.
void HoldExecutionMutexUntil(std::uint64_t milliseconds);
// How far the clock has moved since Reset.
std::uint64_t Elapsed();
Product& ProductOf(const std::wstring& code);

// Every installer call in order, e.g. "QueryProductState {A}",
// "GetProductInfo {A} VersionString", "SummaryInfoGetProperty 5 2048",
// "ExecutionMutexHeld", "Pause 1000".
const std::vector<std::wstring>& Calls();
const std::vector<ConfigureCall>& ConfigureCalls();
const std::vector<std::wstring>& OpenedSummaryPaths();
int OpenHandleCount();
int DoubleCloseCount();
int UiLevel();

} // namespace fake_msi
