#include "builder/builder_options.h"

#include "version.h"

BuilderCommand ParseBuilderOptions(const std::vector<std::wstring>& arguments, BuilderOptions& options,
                                   std::wstring& refusal)
{
    options = BuilderOptions();
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == L"-o" || argument == L"--arch" || argument == L"--sign" || argument == L"--password-file" ||
            argument == L"--manifest") {
            if (!hasValue)
                return kBuilderUsage;
            const std::wstring& value = arguments[++i];
            if (argument == L"-o")
                options.output = value;
            else if (argument == L"--arch")
                options.arch = value;
            else if (argument == L"--sign")
                options.certificate = value;
            else if (argument == L"--manifest" && !value.empty())
                options.manifest = value;
            else if (argument == L"--manifest")
                return kBuilderUsage;
            else
                options.passwordFile = value;
            const bool signing = argument == L"--sign" || argument == L"--password-file";
            if (signing && options.firstSigningOption.empty())
                options.firstSigningOption = argument;
        } else if (argument == L"--unchecked") {
            options.checked = false;
        } else if (argument == L"-h" || argument == L"--help") {
            return kBuilderUsage;
        } else if (argument == L"--version") {
            return kBuilderVersion;
        } else {
            options.patches.push_back(argument);
        }
    }
    if (options.output.empty())
        return kBuilderUsage;
    if (options.arch != L"x64" && options.arch != L"x86") {
        refusal = L"unknown architecture '" + options.arch + L"' (x64 or x86)";
        return kBuilderRefuse;
    }
    return kBuilderBuild;
}

std::wstring BuilderUsage()
{
    return L"usage: build-wrapper -o OUT.exe [--arch x64|x86] [--sign CERT.pfx [--password-file FILE]]\n"
           L"                     [--manifest FILE] [--unchecked] [PATCH ...]\n"
           L"       build-wrapper --version\n"
           L"  PATCH is FILE (next free slot) or N=FILE (slot N, 1 to 15)\n";
}

std::wstring BuilderVersion()
{
    return L"build-wrapper " WRAPPER_VERSION_TEXT L"\n";
}
