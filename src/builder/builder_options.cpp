#include "builder/builder_options.h"

BuilderCommand ParseBuilderOptions(const std::vector<std::wstring>& arguments, BuilderOptions& options,
                                   std::wstring& refusal)
{
    options = BuilderOptions();
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == L"-o" || argument == L"--arch") {
            if (!hasValue)
                return kBuilderUsage;
            (argument == L"-o" ? options.output : options.arch) = arguments[++i];
        } else if (argument == L"--sign" || argument == L"--password-file") {
            refusal = argument + L" is not available here: sign the finished wrapper with signtool";
            return kBuilderRefuse;
        } else if (argument == L"--unchecked") {
            options.checked = false;
        } else if (argument == L"-h" || argument == L"--help") {
            return kBuilderUsage;
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
    return L"usage: build-wrapper -o OUT.exe [--arch x64|x86] [--unchecked] [PATCH ...]\n"
           L"  PATCH is FILE (next free slot) or N=FILE (slot N, 1 to 15)\n";
}
