#pragma once

#include "install/product_record.h"

#include <string>
#include <vector>

// States in which the installer holds a patch on a product: applied,
// superseded or obsoleted. A registered one (8) is not on the product.
bool IsPatchPresent(unsigned state);

// "applied", "superseded", "obsoleted", "registered", "absent" (0), or
// "state N" for any other.
std::wstring PatchStateName(unsigned state);

// "machine", "user-managed", "user-unmanaged"; "none" for 0.
const wchar_t* InstallContextName(int context);

// The receipt's name: "not-installed", "not-reachable", "not-applied",
// "due", "removed", "not-removed", "failed".
const wchar_t* RemovalVerdictName(RemovalVerdict verdict);

// The verdict on one patch of a removing call, from the patch's state read
// afterwards: present, it is not removed (the answer claimed it gone:
// success or 1647) or failed; absent, it is removed (a success) or not
// applied (1647, or a failure that left it absent).
RemovalVerdict VerdictAfterRemoval(unsigned answer, unsigned stateAfter);

// The answer in words for the log and the plan, e.g. "1646: the patch
// cannot be removed; only uninstalling the product and installing it
// again without the patch removes it".
std::wstring RemovalAnswerText(unsigned answer);

// What one removing call counts as for the exit code, from whether a patch
// it named is present afterwards: then 1603 for an answer that claimed
// otherwise, else the failing answer; none present, its restart code or 0.
unsigned RemovalCallCode(unsigned answer, bool leftPresent);

// The exit code of /uninstall from its calls' codes (RemovalCallCode), in
// call order: the first failure, else 1641, else 3010, else 0.
unsigned UninstallExitCode(const std::vector<unsigned>& callCodes);
