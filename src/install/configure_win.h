#pragma once

#include "install/product_record.h"

#include <string>

// Applies the patch file to the record's product, or removes it, in one
// installer call with a verbose log; returns the installer's code unchanged.
// Stores the property string it used in record.commandLine.
unsigned ConfigurePatch(ProductRecord& record, const std::wstring& patchPath, bool remove);
