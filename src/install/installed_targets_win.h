#pragma once

#include "install/product_record.h"
#include "payload/targeting.h"

#include <string>

// Appends a record for every target product of the patch that the
// installer reports as present, in the order of the patch's Template.
void FindInstalledTargets(const PatchTargeting& targeting, ProductRecords& records);

// Installed or advertised.
bool IsProductPresent(const std::wstring& productCode);
std::wstring GetInstalledVersion(const std::wstring& productCode);
bool GetProductNameAndLanguage(const std::wstring& productCode, std::wstring& productName,
                               std::wstring& language);
