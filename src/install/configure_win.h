#pragma once

#include "install/configure.h"
#include "install/product_record.h"

#include <cstdint>
#include <string>

// Applies the patch file to the record's product, or removes patches from
// it (see InstallerCall and PatchPropertyString for `patches`), in one
// installer call with a verbose log; returns the installer's code unchanged.
// Stores in the record the property string it used, the installer log of a
// call made, the seconds waited for a busy installer, and, before the
// call, the missing cached copies of this wrapper's patches put back and
// the failure hints looked up (and logged) for a patch of `patchSize` bytes.
// While another installation holds the installer, the call waits and is
// made again within the run's budget (see AwaitInstaller; `slot` names the
// patch in the log); an installer busy to the end gives 1618, called or not.
unsigned ConfigurePatch(const std::wstring& slot, ProductRecord& record, InstallerCall call,
                        const std::wstring& patches, std::uint64_t patchSize);
