#include "msi_api_fake.h"

#include "install/installer_busy.h"
#include "install/msi_api.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <set>

namespace {

constexpr unsigned kUnknownProduct = 1605;
constexpr unsigned kUnknownProperty = 1608;
constexpr unsigned kUnknownPatch = 1647;
constexpr unsigned kInvalidHandle = 6;
constexpr int kDefaultUiLevel = 5;
constexpr std::uint32_t kClockStart = 0xFFFFFFFFu - 2500;

struct FakeState {
    fake_msi::SummaryScript summary;
    std::map<std::string, fake_msi::SummaryScript> summaryByContent;
    std::map<MsiHandle, fake_msi::SummaryScript> openSummaries;
    std::map<std::wstring, fake_msi::Product> products;
    std::vector<unsigned> configureResults;
    void (*configureHook)(const fake_msi::ConfigureCall&) = nullptr;
    std::vector<std::wstring> calls;
    std::vector<fake_msi::ConfigureCall> configureCalls;
    std::vector<std::wstring> openedPaths;
    std::set<MsiHandle> openHandles;
    MsiHandle nextHandle = 100;
    int doubleCloses = 0;
    int uiLevel = kDefaultUiLevel;
    std::wstring logFile;
    std::uint64_t elapsed = 0;
    std::uint64_t mutexHeldUntil = 0;
    bool removePatches = false;
};

FakeState& State()
{
    static FakeState state;
    return state;
}

// The state of a call, and the last-error value, which real installer calls
// may change on their way out whatever their result: code that reads the
// value after one of them reads this instead.
FakeState& Call()
{
    SetLastError(fake_msi::kClobberedLastError);
    return State();
}

// Copies `value` the way the installer does: the length without the
// terminator comes back; a buffer that cannot hold value and terminator
// gets 234.
unsigned CopyOut(const std::wstring& value, wchar_t* buffer, std::uint32_t* length)
{
    const std::uint32_t capacity = *length;
    *length = static_cast<std::uint32_t>(value.size());
    if (value.size() >= capacity) {
        if (capacity > 0) {
            wmemcpy(buffer, value.data(), capacity - 1);
            buffer[capacity - 1] = L'\0';
        }
        return kMsiMoreData;
    }
    wmemcpy(buffer, value.data(), value.size());
    buffer[value.size()] = L'\0';
    return kMsiSuccess;
}

bool IsSuccess(unsigned result)
{
    return result == kMsiSuccess || result == kMsiRestartRequired || result == kMsiRestartInitiated;
}

// MSIPATCHREMOVE="{A};{B}": the codes between the quotes.
void UnregisterRemovedPatches(fake_msi::Product& product, const std::wstring& commandLine)
{
    const std::wstring property = L"MSIPATCHREMOVE=\"";
    const size_t start = commandLine.find(property);
    if (start == std::wstring::npos)
        return;
    const size_t from = start + property.size();
    const std::wstring codes = commandLine.substr(from, commandLine.find(L'"', from) - from) + L";";
    auto& patches = product.appliedPatches;
    for (size_t at = 0, end; (end = codes.find(L';', at)) != std::wstring::npos; at = end + 1) {
        const std::wstring code = codes.substr(at, end - at);
        patches.erase(std::remove_if(patches.begin(), patches.end(),
                                     [&](const fake_msi::AppliedPatch& patch) { return patch.patchCode == code; }),
                      patches.end());
    }
}

std::string ContentOf(const wchar_t* path)
{
    std::string content;
    FILE* file = _wfopen(path, L"rb");
    if (file == nullptr)
        return content;
    char chunk[4096];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, file)) > 0)
        content.append(chunk, count);
    fclose(file);
    return content;
}

fake_msi::SummaryScript ScriptFor(const wchar_t* path)
{
    FakeState& state = State();
    const auto byContent = state.summaryByContent.find(ContentOf(path));
    return byContent != state.summaryByContent.end() ? byContent->second : state.summary;
}

} // namespace

namespace fake_msi {

void Reset()
{
    State() = FakeState();
}

void SetSummary(const SummaryScript& script)
{
    State().summary = script;
}

void SetSummary(const std::wstring& keywords, const std::wstring& templateValue)
{
    SummaryScript script;
    script.texts[kSummaryKeywords] = keywords;
    script.texts[kSummaryTemplate] = templateValue;
    SetSummary(script);
}

void SetSummaryForFile(const std::string& fileContent, const std::wstring& keywords,
                       const std::wstring& templateValue)
{
    SummaryScript& script = State().summaryByContent[fileContent];
    script.texts[kSummaryKeywords] = keywords;
    script.texts[kSummaryTemplate] = templateValue;
}

void AddProduct(const std::wstring& code, int state, const std::wstring& version,
                const std::wstring& name, const std::wstring& language)
{
    Product& product = State().products[code];
    product.state = state;
    product.properties[L"VersionString"] = version;
    product.properties[L"ProductName"] = name;
    product.properties[L"Language"] = language;
}

void SetProductVersion(const std::wstring& code, const std::wstring& version)
{
    ProductOf(code).properties[L"VersionString"] = version;
}

Product& ProductOf(const std::wstring& code)
{
    return State().products[code];
}

void QueueConfigureResults(const std::vector<unsigned>& results)
{
    State().configureResults = results;
}

void RemovePatchesOnSuccess()
{
    State().removePatches = true;
}

void OnConfigure(void (*hook)(const ConfigureCall& call))
{
    State().configureHook = hook;
}

void HoldExecutionMutexUntil(std::uint64_t milliseconds)
{
    State().mutexHeldUntil = milliseconds;
}

std::uint64_t Elapsed() { return State().elapsed; }
const std::vector<std::wstring>& Calls() { return State().calls; }
const std::vector<ConfigureCall>& ConfigureCalls() { return State().configureCalls; }
const std::vector<std::wstring>& OpenedSummaryPaths() { return State().openedPaths; }
int OpenHandleCount() { return static_cast<int>(State().openHandles.size()); }
int DoubleCloseCount() { return State().doubleCloses; }
int UiLevel() { return State().uiLevel; }

} // namespace fake_msi

namespace msi_api {

unsigned GetSummaryInformation(const wchar_t* path, MsiHandle* handle)
{
    FakeState& state = Call();
    state.calls.push_back(L"GetSummaryInformation");
    state.openedPaths.push_back(path);
    const fake_msi::SummaryScript script = ScriptFor(path);
    if (script.openResult != 0)
        return script.openResult;
    *handle = state.nextHandle++;
    state.openHandles.insert(*handle);
    state.openSummaries[*handle] = script;
    return kMsiSuccess;
}

unsigned SummaryInfoGetProperty(MsiHandle handle, unsigned property, wchar_t* buffer,
                                std::uint32_t* length)
{
    FakeState& state = Call();
    state.calls.push_back(L"SummaryInfoGetProperty " + std::to_wstring(property) + L" " +
                          std::to_wstring(*length));
    if (state.openHandles.count(handle) == 0)
        return kInvalidHandle;
    const fake_msi::SummaryScript& script = state.openSummaries[handle];
    const auto forced = script.readResults.find(property);
    if (forced != script.readResults.end())
        return forced->second;
    const auto text = script.texts.find(property);
    return CopyOut(text == script.texts.end() ? std::wstring() : text->second, buffer, length);
}

unsigned CloseHandle(MsiHandle handle)
{
    FakeState& state = Call();
    state.calls.push_back(L"CloseHandle");
    if (state.openHandles.erase(handle) == 0) {
        ++state.doubleCloses;
        return kInvalidHandle;
    }
    return kMsiSuccess;
}

int QueryProductState(const wchar_t* productCode)
{
    FakeState& state = Call();
    state.calls.push_back(std::wstring(L"QueryProductState ") + productCode);
    const auto product = state.products.find(productCode);
    return product == state.products.end() ? -1 : product->second.state;
}

unsigned GetProductInfo(const wchar_t* productCode, const wchar_t* property, wchar_t* buffer,
                        std::uint32_t* length)
{
    FakeState& state = Call();
    state.calls.push_back(std::wstring(L"GetProductInfo ") + productCode + L" " + property);
    const auto product = state.products.find(productCode);
    if (product == state.products.end())
        return kUnknownProduct;
    const auto value = product->second.properties.find(property);
    if (value == product->second.properties.end())
        return kUnknownProperty;
    return CopyOut(value->second, buffer, length);
}

unsigned GetProductInfoEx(const wchar_t* productCode, int context, const wchar_t* property, wchar_t* buffer,
                          std::uint32_t* length)
{
    State().calls.push_back(std::wstring(L"GetProductInfoEx ") + productCode + L" " + std::to_wstring(context));
    const auto product = State().products.find(productCode);
    if (product == State().products.end() || context != product->second.context)
        return kUnknownProduct;
    return GetProductInfo(productCode, property, buffer, length);
}

unsigned EnumPatchesEx(const wchar_t* productCode, int context, unsigned filter, unsigned index, wchar_t* patchCode,
                       int* patchContext)
{
    FakeState& state = Call();
    state.calls.push_back(std::wstring(L"EnumPatchesEx ") + productCode + L" " + std::to_wstring(index));
    const auto product = state.products.find(productCode);
    if (product == state.products.end() || context != product->second.context || filter != kPatchStateApplied)
        return kUnknownProduct;
    std::vector<std::wstring> applied;
    for (const fake_msi::AppliedPatch& patch : product->second.appliedPatches) {
        if (patch.state == kPatchStateApplied)
            applied.push_back(patch.patchCode);
    }
    if (index >= applied.size())
        return kMsiNoMoreItems;
    std::uint32_t chars = 39;
    *patchContext = context;
    return CopyOut(applied[index], patchCode, &chars);
}

unsigned GetPatchInfoEx(const wchar_t* patchCode, const wchar_t* productCode, int context, const wchar_t* property,
                        wchar_t* buffer, std::uint32_t* length)
{
    FakeState& state = Call();
    state.calls.push_back(std::wstring(L"GetPatchInfoEx ") + patchCode + L" " + productCode + L" " +
                          std::to_wstring(context) + L" " + property);
    const auto product = state.products.find(productCode);
    if (product == state.products.end() || context != product->second.context)
        return kUnknownProduct;
    const std::wstring name = property;
    for (const fake_msi::AppliedPatch& patch : product->second.appliedPatches) {
        if (patch.patchCode != patchCode)
            continue;
        if (name == L"LocalPackage")
            return CopyOut(patch.localPackage, buffer, length);
        if (name == L"State")
            return CopyOut(std::to_wstring(patch.state), buffer, length);
        if (name == L"Uninstallable")
            return CopyOut(patch.uninstallable, buffer, length);
        return kUnknownProperty;
    }
    return kUnknownPatch;
}

unsigned EnableLog(std::uint32_t logMode, const wchar_t* logFile, std::uint32_t attributes)
{
    FakeState& state = Call();
    state.calls.push_back(L"EnableLog " + std::to_wstring(logMode) + L" " + logFile + L" " +
                          std::to_wstring(attributes));
    state.logFile = logFile;
    return kMsiSuccess;
}

int SetInternalUI(int level)
{
    FakeState& state = Call();
    state.calls.push_back(L"SetInternalUI " + std::to_wstring(level));
    const int previous = state.uiLevel;
    state.uiLevel = level;
    return previous;
}

unsigned ConfigureProductEx(const wchar_t* productCode, int installLevel, int installState,
                            const wchar_t* commandLine)
{
    FakeState& state = Call();
    state.calls.push_back(std::wstring(L"ConfigureProductEx ") + productCode);
    const fake_msi::ConfigureCall call{productCode, installLevel, installState, commandLine,
                                       state.logFile, state.uiLevel};
    state.configureCalls.push_back(call);
    if (state.configureHook != nullptr)
        state.configureHook(call);
    unsigned result = kMsiSuccess;
    if (!state.configureResults.empty()) {
        result = state.configureResults.front();
        state.configureResults.erase(state.configureResults.begin());
    }
    if (state.removePatches && IsSuccess(result))
        UnregisterRemovedPatches(state.products[productCode], call.commandLine);
    return result;
}

} // namespace msi_api

namespace installer_busy {

bool ExecutionMutexHeld()
{
    FakeState& state = State();
    state.calls.push_back(L"ExecutionMutexHeld");
    return state.elapsed < state.mutexHeldUntil;
}

std::uint32_t Milliseconds()
{
    return static_cast<std::uint32_t>(kClockStart + State().elapsed);
}

void Pause(std::uint32_t milliseconds)
{
    FakeState& state = State();
    state.calls.push_back(L"Pause " + std::to_wstring(milliseconds));
    state.elapsed += milliseconds;
}

} // namespace installer_busy
