#pragma once

#include <cstdint>

// The only door to the Windows Installer. Each function is one installer
// call with the installer's own result codes, unchanged; the callers decide
// what the codes mean. One exception: GetSummaryInformation first checks
// that the file's summary stream can be read at all, and answers 1620 (an
// invalid package) without calling the installer when it cannot, because a
// damaged compound file can crash the installer's reader. The real
// implementation loads msi.dll from the system folder only; tests link a
// scripted fake instead.
//
// A leaf: it includes nothing of ours, so the payload layer may use it to
// read a patch's summary as well as the install layer.

using MsiHandle = std::uint32_t;

constexpr unsigned kMsiSuccess = 0;
constexpr unsigned kMsiMoreData = 234;
constexpr unsigned kMsiNoMoreItems = 259;
constexpr unsigned kMsiInstallFailure = 1603;
constexpr unsigned kMsiInstallAlreadyRunning = 1618;
constexpr unsigned kMsiRestartInitiated = 1641;
constexpr unsigned kMsiPatchRemovalUnsupported = 1646;
constexpr unsigned kMsiUnknownPatch = 1647;
constexpr unsigned kMsiPatchRemovalDisallowed = 1649;
constexpr unsigned kMsiRestartRequired = 3010;

constexpr int kInstallStateAdvertised = 1;
// What MsiQueryProductState answers for a product installed for another
// user only ("MsiQueryProductStateW function").
constexpr int kInstallStateAbsent = 2;
constexpr int kInstallStateDefault = 5;

// Installation contexts, and the state of a patch applied to a product.
constexpr int kContextUserManaged = 1;
constexpr int kContextUserUnmanaged = 2;
constexpr int kContextMachine = 4;
constexpr unsigned kPatchStateApplied = 1;
constexpr unsigned kPatchStateSuperseded = 2;
constexpr unsigned kPatchStateObsoleted = 4;

constexpr unsigned kSummaryKeywords = 5;
constexpr unsigned kSummaryTemplate = 7;

// A summary stream longer than this is refused unread, by the wrapper's
// own reader and before the installer's: far above any real summary (a
// few kilobytes), far below trouble.
constexpr std::uint64_t kMaxSummaryStreamBytes = 16 * 1024 * 1024;

namespace msi_api {

// Opens the summary information of a package file (no database handle,
// update count 0).
unsigned GetSummaryInformation(const wchar_t* path, MsiHandle* handle);

// Reads a text property into `buffer`; `length` is its size in characters
// on entry and the value's length (without terminator) on return. Answers
// kMsiMoreData with the needed length when the buffer is too small.
unsigned SummaryInfoGetProperty(MsiHandle handle, unsigned property, wchar_t* buffer,
                                std::uint32_t* length);

unsigned CloseHandle(MsiHandle handle);

int QueryProductState(const wchar_t* productCode);

unsigned GetProductInfo(const wchar_t* productCode, const wchar_t* property, wchar_t* buffer,
                        std::uint32_t* length);

// The same for the product's instance in one installation context, of the
// current user where the context is a user's.
unsigned GetProductInfoEx(const wchar_t* productCode, int context, const wchar_t* property, wchar_t* buffer,
                          std::uint32_t* length);

// The index-th patch (from 0) in the states of `filter` on the product's
// instance in `context` (the current user's where it is a user's): its code
// in `patchCode` (39 characters) and the patch's context in `patchContext`.
// Answers kMsiNoMoreItems past the last.
unsigned EnumPatchesEx(const wchar_t* productCode, int context, unsigned filter, unsigned index, wchar_t* patchCode,
                       int* patchContext);

// A property of a patch on the product's instance in `context`, like GetProductInfoEx.
unsigned GetPatchInfoEx(const wchar_t* patchCode, const wchar_t* productCode, int context, const wchar_t* property,
                        wchar_t* buffer, std::uint32_t* length);

unsigned EnableLog(std::uint32_t logMode, const wchar_t* logFile, std::uint32_t attributes);

// Returns the previous user-interface level.
int SetInternalUI(int level);

unsigned ConfigureProductEx(const wchar_t* productCode, int installLevel, int installState,
                            const wchar_t* commandLine);

} // namespace msi_api
