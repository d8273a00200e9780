#pragma once

#include "install/product_record.h"

#include <string>

constexpr int kTargetsFailed = 1;
constexpr int kTargetsFound = 2;

// Appends a record for every target product of the patch file that the
// installer reports as present, in the order of the patch's Template.
// kTargetsFailed, with nothing appended, when the patch's targeting data
// cannot be read (the last-error value says why).
int FindInstalledTargets(std::wstring patchPath, ProductRecords& records);

// Installed or advertised.
bool IsProductPresent(const std::wstring& productCode);
std::wstring GetInstalledVersion(const std::wstring& productCode);
bool GetProductNameAndLanguage(const std::wstring& productCode, std::wstring& productName,
                               std::wstring& language);
