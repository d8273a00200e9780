#pragma once

#include <string>

// The patch report of the slot whose resource is `resourceName`, read from
// its embedded bytes; empty when there is no patch or its product list
// cannot be read.
std::wstring BuildPatchReport(const std::wstring& resourceName);

// Shows the "Info" box: one block per embedded patch, in slot order.
void ShowPatchReport();
