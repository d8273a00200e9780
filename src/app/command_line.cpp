#include "app/command_line.h"

#include "shared/ascii_case.h"

namespace {

constexpr unsigned kUnattendedWaitMinutes = 10;
constexpr unsigned kLongestWaitMinutes = 1440;

// A whole number from 0 to 1440 in ASCII digits, nothing else: no sign,
// no space, no unit.
bool ParseWaitMinutes(const std::wstring& text, unsigned& minutes)
{
    unsigned value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - L'0');
        if (value > kLongestWaitMinutes)
            return false;
    }
    minutes = value;
    return !text.empty();
}

// A usage error: nothing of the run is done. The first one found is the
// one the log names.
void RefuseCommandLine(RunOptions& options, const std::wstring& reason)
{
    options.installMode = false;
    if (options.usageError.empty())
        options.usageError = reason;
}

// A value that reads "/whatif" or "/uninstall" was most likely meant as
// that word: taken as a path or a number, the run would install where
// only a plan or a removal was asked for.
bool RefuseModeWordAsValue(RunOptions& options, const wchar_t* word, const std::wstring& value)
{
    for (const wchar_t* mode : {L"/whatif", L"/uninstall"}) {
        if (EqualsIgnoringAsciiCase(value, mode)) {
            RefuseCommandLine(options, std::wstring(word) + L" takes " + mode + L" as its value");
            return true;
        }
    }
    return false;
}

// "-uninstall", "--WhatIf", "uninstall", or with the en or em dash a word
// processor puts in a copied line: a word we added that must never
// install, written with dashes or bare. Ignored as unknown, it would
// install where a removal or a plan was asked for. Returns the word
// meant, or nullptr.
const wchar_t* MistypedModeWord(const std::wstring& word)
{
    size_t dashes = 0;
    while (dashes < 2 && dashes < word.size() &&
           (word[dashes] == L'-' || word[dashes] == L'\u2013' || word[dashes] == L'\u2014'))
        ++dashes;
    const std::wstring rest = word.substr(dashes);
    for (const wchar_t* mode : {L"/whatif", L"/uninstall"}) {
        if (EqualsIgnoringAsciiCase(rest, mode + 1))
            return mode;
    }
    return nullptr;
}

// Like /e: the argument after `word` is the path, whatever it looks like;
// an empty one is no path (and no word either).
void TakeFilePath(const std::vector<std::wstring>& arguments, size_t& i, const wchar_t* word, RunOptions& options,
                  std::wstring& path)
{
    if (i + 1 < arguments.size() && !arguments[i + 1].empty()) {
        if (!RefuseModeWordAsValue(options, word, arguments[++i]))
            path = arguments[i];
    } else {
        RefuseCommandLine(options, std::wstring(word) + L" is not followed by the path of a file");
    }
}

} // namespace

const wchar_t kCommandLineHelp[] =
    L"Applies the Windows Installer patches it carries to the installed products.\n\n"
    L"(no arguments)\tinstall the patches\n"
    L"/q\tno outcome message box\n"
    L"/exitcode\tend with a code for deployment systems\n"
    L"/log FILE\tappend a record of the run to FILE\n"
    L"/json FILE\twrite a receipt of the run to FILE\n"
    L"/uninstall\tremove the patches it carries from the installed products\n"
    L"/whatif\tshow what the install (or /uninstall) would do, changing nothing\n"
    L"/wait MINUTES\twhile another installation runs, wait up to MINUTES in all (0 to 1440; 10 with /q)\n"
    L"/e PATH\twrite the patches to files named after PATH\n"
    L"/i\tshow the patches and the operating system\n"
    L"/pi\tdo nothing\n"
    L"/?, /help\tshow this list";

void ApplyArguments(const std::vector<std::wstring>& arguments, RunOptions& options)
{
    options.quiet = false;
    options.extractMode = false;
    options.extractPath.clear();
    options.installMode = true;
    options.whatIfMode = false;
    options.uninstallMode = false;
    options.deploymentExitCode = false;
    options.helpMode = false;
    options.usageError.clear();
    options.ignoredWords.clear();
    options.logPath.clear();
    options.receiptPath.clear();
    options.waitMinutes = 0;
    bool waitGiven = false;
    size_t read = arguments.size();  // the words read: /i and /pi end the line
    const wchar_t* endedBy = nullptr;

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
            TakeFilePath(arguments, i, L"/log", options, options.logPath);
        } else if (EqualsIgnoringAsciiCase(word, L"/json")) {
            TakeFilePath(arguments, i, L"/json", options, options.receiptPath);
        } else if (EqualsIgnoringAsciiCase(word, L"/wait")) {
            // Like /log: the next argument is the number, whatever it looks like.
            waitGiven = true;
            if (i + 1 >= arguments.size())
                RefuseCommandLine(options, L"/wait is not followed by a number of minutes");
            else if (!RefuseModeWordAsValue(options, L"/wait", arguments[++i]) &&
                     !ParseWaitMinutes(arguments[i], options.waitMinutes))
                RefuseCommandLine(options, L"\"" + arguments[i] + L"\" after /wait is not a whole number of minutes "
                                           L"from 0 to 1440");
        } else if (EqualsIgnoringAsciiCase(word, L"/e")) {
            options.installMode = false;
            options.extractMode = true;
            // The next argument is the path whatever it looks like, even "/q".
            if (i + 1 < arguments.size() && !RefuseModeWordAsValue(options, L"/e", arguments[++i]))
                options.extractPath = arguments[i];
        } else if (EqualsIgnoringAsciiCase(word, L"/whatif")) {
            options.installMode = false;
            options.whatIfMode = true;
        } else if (EqualsIgnoringAsciiCase(word, L"/uninstall")) {
            options.installMode = false;
            options.uninstallMode = true;
        } else if (EqualsIgnoringAsciiCase(word, L"/i")) {
            options.installMode = false;
            options.infoMode = true;
            read = i + 1;
            endedBy = L"/i";
            break;
        } else if (EqualsIgnoringAsciiCase(word, L"/pi")) {
            options.installMode = false;
            options.infoMode = false;
            read = i + 1;
            endedBy = L"/pi";
            break;
        } else if (const wchar_t* meant = MistypedModeWord(word)) {
            RefuseCommandLine(options, std::wstring(meant) + L" is written with \"/\", not with dashes or bare");
        } else {
            options.ignoredWords.push_back(word);
        }
    }
    // A plan writes no file: with /e, which writes the patches, neither is
    // done rather than one guessed.
    if (options.whatIfMode && options.extractMode)
        RefuseCommandLine(options, L"/whatif and /e cannot be combined");
    // A removal beside a report, "do nothing" or written patches: which
    // one was meant is not guessed, least of all the one that changes the
    // machine.
    if (options.uninstallMode && options.extractMode)
        RefuseCommandLine(options, L"/uninstall and /e cannot be combined");
    if (options.uninstallMode && endedBy != nullptr)
        RefuseCommandLine(options, std::wstring(L"/uninstall cannot be followed by ") + endedBy);
    // Unattended, a busy installer is waited for; a person at the screen is
    // shown its error at once.
    if (!waitGiven)
        options.waitMinutes = options.quiet ? kUnattendedWaitMinutes : 0;
    // A line that cannot be followed is taken as unattended wherever /q
    // stands on the part that is read, even where another word took it as
    // its value ("/wait /q", the number forgotten): its box would wait for
    // nobody.
    for (size_t i = 1; i < read && !options.usageError.empty(); ++i)
        options.quiet = options.quiet || EqualsIgnoringAsciiCase(arguments[i], L"/q");
}
