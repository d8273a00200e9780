#pragma once

#include "builder/patch_removability.h"
#include "payload/compound_file.h"

#include <string>
#include <vector>

// The checks both builders make before they embed a patch: each patch is
// read with the wrapper's own readers (the summary's Keywords and Template,
// the version parser), so that a builder never reads a patch differently
// from the wrapper on the target machines. A patch the wrapper could never
// apply is refused; one it would misread in part gets a warning. The texts
// lack the "build-wrapper: refused: " and "build-wrapper: warning: " that
// the builders print before them.

// What the checks read of a slot whose Template names products.
struct CheckedSlot {
    int slot = 0;
    std::wstring where;  // "slot N (PATH)"
    std::wstring patchCode;  // the revision number's first GUID; empty when it begins with none
    std::vector<std::wstring> products;
    std::wstring upgradeVersion;  // as written; empty when the Keywords cannot be split
    std::vector<std::wstring> targetVersions;  // likewise
    PatchRemovability removal = kRemovabilityUnknown;
};

// A warning about slot `slot`, which `where` names, or about the wrapper
// as a whole (slot 0, `where` empty).
struct BuildWarning {
    int slot = 0;
    std::wstring where;
    std::wstring text;
};

struct BuildReport {
    std::vector<std::wstring> slotMap;  // lines, one block per slot
    std::vector<BuildWarning> warnings;
    std::vector<std::wstring> refusals;
    std::vector<CheckedSlot> checkedSlots;  // in slot order
};

// Adds the slot map block of the patch in `slot` (read from `patch`,
// named `path` in the texts) and its warnings and refusals. Only what the
// checks need is read: the header, the tables, the directory, the summary,
// the patch's MsiPatchMetadata table and the transforms' tables, and
// together no more than a fixed budget (patch_checks.cpp), whatever the
// patch holds: what it keeps them from reading, they cannot tell.
void CheckPatch(int slot, const std::wstring& path, const ByteSource& patch, BuildReport& report);

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
