#pragma once

#include <string>

// The patch report of the slot whose resource is `resourceName`, read from
// a fresh temporary copy; empty when the copy or its product list fails.
std::wstring BuildPatchReport(const std::wstring& resourceName);

// Shows the "Info" box: one block per embedded patch, in slot order.
void ShowPatchReport();
