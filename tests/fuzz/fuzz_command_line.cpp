// The command-line rules on arbitrary argument vectors and prior states.
//
// Input fields: the prior state (letters q, n, e, i, x set quiet, install,
// extract, info and the exit-code option; the whole field is the prior
// extraction path), then one argument per field, the program first.

#include "fuzz_input.h"

#include "app/command_line.h"

namespace {

wchar_t Lower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

wchar_t Upper(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
}

std::wstring Folded(const std::wstring& word)
{
    std::wstring folded;
    for (wchar_t c : word)
        folded += Lower(c);
    return folded;
}

RunOptions PriorState(const std::wstring& field)
{
    RunOptions options;
    for (wchar_t c : field) {
        options.quiet = options.quiet || c == L'q';
        options.installMode = options.installMode || c == L'n';
        options.extractMode = options.extractMode || c == L'e';
        options.infoMode = options.infoMode || c == L'i';
        options.deploymentExitCode = options.deploymentExitCode || c == L'x';
    }
    options.extractPath = field;
    return options;
}

bool Same(const RunOptions& a, const RunOptions& b)
{
    return a.quiet == b.quiet && a.installMode == b.installMode && a.extractMode == b.extractMode &&
           a.infoMode == b.infoMode && a.extractPath == b.extractPath &&
           a.deploymentExitCode == b.deploymentExitCode && a.helpMode == b.helpMode && a.usageError == b.usageError &&
           a.logPath == b.logPath && a.receiptPath == b.receiptPath && a.whatIfMode == b.whatIfMode &&
           a.uninstallMode == b.uninstallMode &&
           a.waitMinutes == b.waitMinutes;
}

// "whatif" or "uninstall" after up to two dashes (ASCII, en or em), as
// typed for "/whatif" or "/uninstall".
bool MistypedModeWord(const std::wstring& folded)
{
    size_t dashes = 0;
    while (dashes < 2 && dashes < folded.size() &&
           (folded[dashes] == L'-' || folded[dashes] == 0x2013 || folded[dashes] == 0x2014))
        ++dashes;
    const std::wstring rest = folded.substr(dashes);
    return rest == L"whatif" || rest == L"uninstall";
}

// Minutes as a person reads them: digits only, leading zeros aside at most
// four digits, at most 1440.
bool GoodMinutes(const std::wstring& value)
{
    if (value.empty() || value.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    const size_t first = value.find_first_not_of(L'0');
    return first == std::wstring::npos ||
           (value.size() - first <= 4 && std::stoi(value.substr(first)) <= 1440);
}

// What the rules say the words ask for, read as a list of option words.
struct Reading {
    bool quiet = false;
    bool exitCode = false;
    bool extract = false;
    std::wstring extractPath;
    bool help = false;
    std::wstring logPath;
    std::wstring receiptPath;
    bool waitGiven = false;
    std::wstring waitValue;   // the last one given
    bool waitBad = false;     // some value was no whole number from 0 to 1440
    bool logBad = false;      // some "/log" or "/json" had no path after it, or an empty one
    bool whatIf = false;      // the word "/whatif"
    bool uninstall = false;   // the word "/uninstall"
    // "/whatif" or "/uninstall" taken as a value (which keeps the one
    // before), either beside /e, "/uninstall" ended by /i or /pi, or
    // either word mistyped.
    bool whatIfValue = false;
    bool mistyped = false;    // "whatif" or "uninstall" with dashes or bare
    std::vector<std::wstring> ignored;  // every other word, as written
    bool stopped = false;     // "/i" or "/pi" ended the scan
    bool info = false;        // the word that ended it was "/i"
    size_t stoppedAt = 0;     // index of that word
    std::vector<size_t> pathIndices;
};

Reading Read(const std::vector<std::wstring>& arguments)
{
    Reading reading;
    std::wstring* path = nullptr;  // the path or value that the word before asks for
    for (size_t i = 1; i < arguments.size(); ++i) {
        if ((path == &reading.logPath || path == &reading.receiptPath) && arguments[i].empty()) {
            // An empty path is none, and is read as a word (it is none either).
            reading.logBad = true;
            path = nullptr;
        }
        if (path != nullptr) {
            if (Folded(arguments[i]) == L"/whatif" || Folded(arguments[i]) == L"/uninstall") {
                reading.whatIfValue = true;
                reading.pathIndices.push_back(i);
                path = nullptr;
                continue;
            }
            *path = arguments[i];
            reading.pathIndices.push_back(i);
            reading.waitBad = reading.waitBad || (path == &reading.waitValue && !GoodMinutes(arguments[i]));
            path = nullptr;
            continue;
        }
        const std::wstring word = Folded(arguments[i]);
        if (word == L"/q") {
            reading.quiet = true;
        } else if (word == L"/exitcode") {
            reading.exitCode = true;
        } else if (word == L"/e") {
            // A final "/e" with nothing after it keeps an earlier path.
            reading.extract = true;
            path = &reading.extractPath;
        } else if (word == L"/log") {
            path = &reading.logPath;
        } else if (word == L"/json") {
            path = &reading.receiptPath;
        } else if (word == L"/wait") {
            reading.waitGiven = true;
            path = &reading.waitValue;
        } else if (word == L"/whatif") {
            reading.whatIf = true;
        } else if (word == L"/uninstall") {
            reading.uninstall = true;
        } else if (word == L"/?" || word == L"/help") {
            reading.help = true;
        } else if (word == L"/i" || word == L"/pi") {
            reading.stopped = true;
            reading.info = word == L"/i";
            reading.stoppedAt = i;
            break;
        } else if (MistypedModeWord(word)) {
            reading.mistyped = true;
        } else {
            reading.ignored.push_back(arguments[i]);
        }
    }
    // A final "/wait" or "/log" with nothing after it has no value.
    reading.waitBad = reading.waitBad || path == &reading.waitValue;
    reading.logBad = reading.logBad || path == &reading.logPath || path == &reading.receiptPath;
    reading.whatIfValue = reading.whatIfValue || reading.mistyped || (reading.whatIf && reading.extract) ||
                          (reading.uninstall && (reading.extract || reading.stopped));
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring> fields = fuzz::Fields(data, size);
    const RunOptions prior = PriorState(fuzz::FieldOrEmpty(fields, 0));
    std::vector<std::wstring> arguments;
    if (fields.size() > 1)
        arguments.assign(fields.begin() + 1, fields.end());

    RunOptions options = prior;
    ApplyArguments(arguments, options);
    const Reading reading = Read(arguments);

    // Install runs exactly when nothing else was asked for; only an info
    // mode carried over from before can stand beside it.
    FUZZ_CHECK(!(options.installMode && options.extractMode));
    if (reading.stopped) {
        FUZZ_CHECK(!options.installMode);
        FUZZ_CHECK(options.infoMode == reading.info);
    } else {
        FUZZ_CHECK(options.infoMode == prior.infoMode);
        FUZZ_CHECK(options.installMode == !(options.extractMode || options.helpMode || reading.waitBad ||
                                            reading.logBad || reading.whatIf || reading.uninstall ||
                                            reading.whatIfValue));
    }
    FUZZ_CHECK(options.helpMode == reading.help);
    FUZZ_CHECK(options.usageError.empty() == !(reading.waitBad || reading.logBad || reading.whatIfValue));
    // Wherever "/whatif" stands before /i or /pi, nothing is installed.
    FUZZ_CHECK(options.whatIfMode == reading.whatIf);
    FUZZ_CHECK(options.uninstallMode == reading.uninstall);
    if (reading.whatIf || reading.uninstall || reading.whatIfValue)
        FUZZ_CHECK(!options.installMode);
    if (!reading.waitBad) {
        const unsigned minutes = reading.waitGiven ? static_cast<unsigned>(std::stoi(L"0" + reading.waitValue))
                                                   : (reading.quiet ? 10 : 0);
        FUZZ_CHECK(options.waitMinutes == minutes);
    }
    FUZZ_CHECK(options.logPath == reading.logPath);
    FUZZ_CHECK(options.receiptPath == reading.receiptPath);
    // A line that cannot be followed is quiet wherever "/q" stands on the
    // part that is read.
    bool anyQuiet = false;
    const size_t read = reading.stopped ? reading.stoppedAt + 1 : arguments.size();
    for (size_t i = 1; i < read; ++i)
        anyQuiet = anyQuiet || (arguments[i].size() == 2 && arguments[i][0] == L'/' && (arguments[i][1] | 0x20) == L'q');
    FUZZ_CHECK(options.quiet == (reading.quiet || (!options.usageError.empty() && anyQuiet)));
    FUZZ_CHECK(options.deploymentExitCode == reading.exitCode);
    FUZZ_CHECK(options.ignoredWords == reading.ignored);
    FUZZ_CHECK(options.extractMode == reading.extract);
    FUZZ_CHECK(options.extractPath == reading.extractPath);
    if (!options.extractMode)
        FUZZ_CHECK(options.extractPath.empty());

    // Nothing from before matters but the info mode.
    RunOptions fresh;
    fresh.infoMode = prior.infoMode;
    ApplyArguments(arguments, fresh);
    FUZZ_CHECK(Same(fresh, options) && fresh.ignoredWords == options.ignoredWords);

    // Running again over its own result changes nothing.
    RunOptions twice = options;
    ApplyArguments(arguments, twice);
    FUZZ_CHECK(Same(twice, options));

    // Option words match whatever their ASCII case; paths are kept as given.
    std::vector<std::wstring> flipped = arguments;
    for (size_t i = 1; i < flipped.size(); ++i) {
        bool isPath = false;
        for (size_t p : reading.pathIndices)
            isPath = isPath || p == i;
        if (isPath)
            continue;
        for (wchar_t& c : flipped[i])
            c = (c >= L'a' && c <= L'z') ? Upper(c) : Lower(c);
    }
    RunOptions caseFlipped = prior;
    ApplyArguments(flipped, caseFlipped);
    FUZZ_CHECK(Same(caseFlipped, options));

    // Words after the one that ends the scan are never read.
    if (reading.stopped) {
        std::vector<std::wstring> cut(arguments.begin(), arguments.begin() + reading.stoppedAt + 1);
        cut.push_back(L"/e");
        cut.push_back(L"x");
        RunOptions shorter = prior;
        ApplyArguments(cut, shorter);
        FUZZ_CHECK(Same(shorter, options));
    }
    return 0;
}
