#include "app/command_line.h"

namespace {

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

const wchar_t kCommandLineHelp[] =
    L"Applies the Windows Installer patches it carries to the installed products.\n\n"
    L"(no arguments)\tinstall the patches\n"
    L"/q\tno outcome message box\n"
    L"/exitcode\tend with a code for deployment systems\n"
    L"/log FILE\tappend a record of the run to FILE\n"
    L"/e PATH\twrite the patches to files named after PATH\n"
    L"/i\tshow the patches and the operating system\n"
    L"/pi\tdo nothing\n"
    L"/?, /help\tshow this list";

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
    options.helpMode = false;
    options.logPath.clear();

    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& word = arguments[i];
        if (EqualsIgnoringAsciiCase(word, L"/q")) {
            options.quiet = true;
        } else if (EqualsIgnoringAsciiCase(word, L"/exitcode")) {
            options.deploymentExitCode = true;
        } else if (EqualsIgnoringAsciiCase(word, L"/?") || EqualsIgnoringAsciiCase(word, L"/help")) {
            // Asking for help must never start the elevated install.
            options.installMode = false;
            options.helpMode = true;
        } else if (EqualsIgnoringAsciiCase(word, L"/log")) {
            // Like /e: the next argument is the path, whatever it looks like.
            if (i + 1 < arguments.size())
                options.logPath = arguments[++i];
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
