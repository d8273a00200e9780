#pragma once

#include <string>
#include <vector>

// The builders' command line:
//
//   build-wrapper -o OUT.exe [--arch x64|x86] [--sign CERT.pfx [--password-file FILE]]
//                 [--manifest FILE] [--unchecked] [PATCH ...]
//   build-wrapper --version
//
// Signing is the Linux builder's alone: on Windows, signtool signs the
// finished wrapper.

struct BuilderOptions {
    std::wstring output;
    std::wstring arch = L"x64";
    std::wstring certificate;  // --sign
    std::wstring passwordFile;
    std::wstring firstSigningOption;  // the first of --sign and --password-file given, to name it
    std::wstring manifest;  // --manifest, see wrapper_manifest.h
    bool checked = true;
    std::vector<std::wstring> patches;  // the PATCH arguments, see patch_plan.h
};

enum BuilderCommand {
    kBuilderBuild,
    kBuilderUsage,  // show the usage and refuse
    kBuilderVersion,  // show the version (BuilderVersion) and end
    kBuilderRefuse,
};

// `refusal` is set for kBuilderRefuse.
BuilderCommand ParseBuilderOptions(const std::vector<std::wstring>& arguments, BuilderOptions& options,
                                   std::wstring& refusal);

// The usage text, four lines.
std::wstring BuilderUsage();

// "build-wrapper 1.2.0.0", the version of res/version.h, and a line feed.
std::wstring BuilderVersion();
