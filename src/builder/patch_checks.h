#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The checks both builders make before they embed a patch: each patch is
// read with the wrapper's own readers (the summary's Keywords and Template,
// the version parser), so that a builder never reads a patch differently
// from the wrapper on the target machines. A patch the wrapper could never
// apply is refused; one it would misread in part gets a warning. The texts
// lack the "build-wrapper: refused: " and "build-wrapper: warning: " that
// the builders print before them.

// The product codes a checked slot names in its Template.
struct SlotProducts {
    int slot = 0;
    std::wstring where;  // "slot N (PATH)"
    std::vector<std::wstring> products;
};

struct BuildReport {
    std::vector<std::wstring> slotMap;  // lines, one block per slot
    std::vector<std::wstring> warnings;
    std::vector<std::wstring> refusals;
    std::vector<SlotProducts> products;  // in slot order
};

// Adds the slot map block of the patch in `slot` (the whole file in
// `bytes`, named `path` in the texts) and its warnings and refusals.
void CheckPatch(int slot, const std::wstring& path, const std::uint8_t* bytes, std::size_t size,
                BuildReport& report);

// A warning for every slot whose products share none with an earlier
// slot's: the run stops at the first slot whose products a machine lacks,
// so on a machine without the earlier slot's products it never reaches
// the later one.
void AddSlotOrderWarnings(BuildReport& report);

// The block of a patch embedded without checks: its file only.
void AddUncheckedPatch(int slot, const std::wstring& path, BuildReport& report);

// What a builder prints: the warnings, then the refusals (standard error),
// and the slot map (standard output), a line feed after every line.
std::wstring ProblemsText(const BuildReport& report);
std::wstring SlotMapText(const BuildReport& report);
