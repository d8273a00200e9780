#pragma once

#include "install/product_record.h"

#include <cstdint>
#include <string>
#include <vector>

// The name a receipt knows the kind by, e.g. "installer-busy".
const char* FailureHintName(FailureHintKind kind);

// Adds a hint of `kind` when a volume has less free space than needed; the
// detail gives the figures in whole megabytes, free rounded down and needed
// rounded up, so the two never read alike: "12 MB free on C:\, 40 MB needed".
void AddSpaceHint(std::vector<FailureHint>& hints, FailureHintKind kind, const std::wstring& volume,
                  std::uint64_t freeBytes, std::uint64_t neededBytes);

// The hint as the log and the plan word it: what it may make the installer
// do, then its detail.
std::wstring FailureHintText(const FailureHint& hint);
