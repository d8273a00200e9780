#pragma once

#include <string>
#include <vector>

// The command line of build-wrapper.exe, which is ./build-wrapper's
// without signing (signtool signs the finished wrapper on Windows):
//
//   build-wrapper -o OUT.exe [--arch x64|x86] [--unchecked] [PATCH ...]

struct BuilderOptions {
    std::wstring output;
    std::wstring arch = L"x64";
    bool checked = true;
    std::vector<std::wstring> patches;  // the PATCH arguments, see patch_plan.h
};

enum BuilderCommand {
    kBuilderBuild,
    kBuilderUsage,  // show the usage and refuse
    kBuilderRefuse,
};

// `refusal` is set for kBuilderRefuse.
BuilderCommand ParseBuilderOptions(const std::vector<std::wstring>& arguments, BuilderOptions& options,
                                   std::wstring& refusal);

// The usage text, two lines.
std::wstring BuilderUsage();
