#include "app/command_line.h"

namespace {

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

bool EqualsIgnoringAsciiCase(const std::wstring& left, const wchar_t* right)
{
    size_t i = 0;
    for (; i < left.size() && right[i] != L'\0'; ++i) {
        if (FoldAscii(left[i]) != FoldAscii(right[i]))
            return false;
    }
    return i == left.size() && right[i] == L'\0';
}

void ApplyArguments(const std::vector<std::wstring>& arguments, RunOptions& options)
{
    options.quiet = false;
    options.extractMode = false;
    options.extractPath.clear();
    options.installMode = true;
    options.deploymentExitCode = false;

    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& word = arguments[i];
        if (EqualsIgnoringAsciiCase(word, L"/q")) {
            options.quiet = true;
        } else if (EqualsIgnoringAsciiCase(word, L"/exitcode")) {
            options.deploymentExitCode = true;
        } else if (EqualsIgnoringAsciiCase(word, L"/e")) {
            options.installMode = false;
            options.extractMode = true;
            // The next argument is the path whatever it looks like, even "/q".
            if (i + 1 < arguments.size())
                options.extractPath = arguments[++i];
        } else if (EqualsIgnoringAsciiCase(word, L"/i")) {
            options.installMode = false;
            options.infoMode = true;
            return;
        } else if (EqualsIgnoringAsciiCase(word, L"/pi")) {
            options.installMode = false;
            options.infoMode = false;
            return;
        }
    }
}
