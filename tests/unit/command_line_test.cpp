#include "app/command_line.h"
#include "app/receipt.h"

#include <gtest/gtest.h>

namespace {

RunOptions Parse(std::vector<std::wstring> words)
{
    words.insert(words.begin(), L"wrapper.exe");
    RunOptions options;
    ApplyArguments(words, options);
    return options;
}

TEST(CommandLine, NoArgumentsRunsTheInstall)
{
    const RunOptions options = Parse({});
    EXPECT_TRUE(options.installMode);
    EXPECT_FALSE(options.extractMode);
    EXPECT_FALSE(options.infoMode);
    EXPECT_FALSE(options.quiet);
}

TEST(CommandLine, OptionWordsMatchWithoutRegardToCase)
{
    EXPECT_TRUE(Parse({L"/Q"}).quiet);
    EXPECT_TRUE(Parse({L"/E", L"x"}).extractMode);
    EXPECT_TRUE(Parse({L"/I"}).infoMode);
    EXPECT_FALSE(Parse({L"/PI"}).installMode);
}

TEST(CommandLine, OnlyTheExactWordsAreOptions)
{
    for (const wchar_t* word : {L"-q", L"-e", L"/qq", L"/q:1", L"/", L"q", L"/i ", L"/e=x", L"/\u0130", L"-?",
                                L"/??", L"/hel", L"/logs", L"-log", L"/wait:5", L"/waits"}) {
        const RunOptions options = Parse({word});
        EXPECT_TRUE(options.installMode) << word;
        EXPECT_FALSE(options.quiet || options.extractMode || options.infoMode || options.helpMode) << word;
        EXPECT_EQ(options.logPath, L"") << word;
        // Ignored, and named as such.
        EXPECT_EQ(options.ignoredWords, std::vector<std::wstring>{word}) << word;
    }
    // Only the words that are none of ours: not a value, nor what follows /i.
    EXPECT_EQ(Parse({L"/norestart", L"/log", L"x", L"/q", L"-q", L"/i", L"y"}).ignoredWords,
              (std::vector<std::wstring>{L"/norestart", L"-q"}));
}

// Asking for help must never start the elevated install.
TEST(CommandLine, HelpIsAWordOfItsOwn)
{
    for (const wchar_t* word : {L"/?", L"/help", L"/HELP", L"/Help"}) {
        const RunOptions options = Parse({L"/q", word});
        EXPECT_TRUE(options.helpMode) << word;
        EXPECT_FALSE(options.installMode) << word;
    }
    EXPECT_EQ(Parse({L"/e", L"/?"}).extractPath, L"/?");
    EXPECT_FALSE(Parse({L"/e", L"/?"}).helpMode);
    EXPECT_FALSE(Parse({L"/i", L"/?"}).helpMode);
}

TEST(CommandLine, LogTakesTheNextArgumentAsItsPath)
{
    const struct {
        std::vector<std::wstring> words;
        const wchar_t* logPath;
        bool installMode;
    } rows[] = {
        {{L"/log", L"C:\\Logs\\fix.log"}, L"C:\\Logs\\fix.log", true},
        {{L"/q", L"/LOG", L"a.log", L"/exitcode"}, L"a.log", true},
        {{L"/log", L"/q"}, L"/q", true},        // the path, whatever it looks like
        {{L"/e", L"/log", L"x.log"}, L"", false},  // /e took it as its path
        {{L"/i", L"/log", L"x.log"}, L"", false},  // scanning stopped at /i
        {{L"/pi", L"/log", L"x.log"}, L"", false},
        {{L"/log", L"a.log", L"/log", L"b.log"}, L"b.log", true},
    };
    for (const auto& row : rows) {
        const RunOptions options = Parse(row.words);
        EXPECT_EQ(options.logPath, row.logPath) << row.words[0];
        EXPECT_EQ(options.installMode, row.installMode) << row.words[0];
        EXPECT_EQ(options.usageError, L"") << row.words[0];
        // /json takes its path alike.
        std::vector<std::wstring> words = row.words;
        for (std::wstring& word : words)
            word = word == L"/log" || word == L"/LOG" ? L"/json" : word;
        EXPECT_EQ(Parse(words).receiptPath, row.logPath) << row.words[0];
    }
    const RunOptions quiet = Parse({L"/log", L"/q"});
    EXPECT_FALSE(quiet.quiet);
}

TEST(CommandLine, WaitTakesTheNextArgumentAsWholeMinutes)
{
    const struct {
        std::vector<std::wstring> words;
        unsigned minutes;
    } rows[] = {
        {{}, 0},                              // a person at the screen sees the error at once
        {{L"/q"}, 10},                        // unattended
        {{L"/WAIT", L"30"}, 30},              // any run may wait
        {{L"/wait", L"0", L"/q"}, 0},         // no waiting, even unattended
        {{L"/q", L"/wait", L"1440"}, 1440},
        {{L"/wait", L"0007"}, 7},
        {{L"/wait", L"5", L"/wait", L"6"}, 6},
        {{L"/e", L"/wait", L"x"}, 0},         // /e took it as its path
        {{L"/q", L"/i", L"/wait", L"x"}, 10}, // scanning stopped at /i
        {{L"/log", L"/wait", L"/q"}, 10},     // /log took it as its path
    };
    for (const auto& row : rows) {
        const RunOptions options = Parse(row.words);
        EXPECT_EQ(options.waitMinutes, row.minutes) << testing::PrintToString(row.words);
        EXPECT_EQ(options.usageError, L"") << testing::PrintToString(row.words);
    }
}

// Anything but a whole number of minutes from 0 to 1440 after /wait, and
// no path after /log, is a usage error: nothing is done, and the first
// one found says why.
TEST(CommandLine, ABadValueIsAUsageError)
{
    const std::vector<std::vector<std::wstring>> cases = {
        {L"/wait"}, {L"/wait", L""}, {L"/wait", L"1441"}, {L"/wait", L"-1"}, {L"/wait", L"+5"},
        {L"/wait", L" 5"}, {L"/wait", L"5m"}, {L"/wait", L"1.5"}, {L"/wait", L"99999999999999999999"},
        {L"/wait", L"\uFF15"}, {L"/wait", L"/q"}, {L"/wait", L"x", L"/wait", L"5"},
        {L"/log"}, {L"/q", L"/log"}, {L"/log", L""}, {L"/log", L"a.log", L"/log"},
        // /whatif taken as a value, or beside /e, which writes files: no guess at what was meant.
        {L"/log", L"/WhatIf"}, {L"/wait", L"/whatif"}, {L"/e", L"/whatif"}, {L"/whatif", L"/e", L"x"},
        {L"/e", L"x", L"/whatif"}, {L"/json"}, {L"/json", L"/whatif"},
        // The same for /uninstall, and beside /i or /pi, which end the line.
        {L"/log", L"/Uninstall"}, {L"/wait", L"/uninstall"}, {L"/e", L"/uninstall"}, {L"/uninstall", L"/e", L"x"},
        {L"/uninstall", L"/i"}, {L"/whatif", L"/uninstall", L"/pi"},
        // Our mode words with dashes or bare: ignored, they would install.
        {L"-uninstall", L"/q", L"/exitcode"}, {L"--WhatIf"}, {L"uninstall"}, {L"UNINSTALL"}, {L"\u2013uninstall"},
        {L"\u2014whatif"}, {L"/q", L"whatif"},
    };
    for (const auto& words : cases) {
        const RunOptions options = Parse(words);
        EXPECT_NE(options.usageError, L"") << testing::PrintToString(words);
        EXPECT_FALSE(options.installMode || options.helpMode) << testing::PrintToString(words);
    }
    // Wherever /q stands, even as a value, a line that cannot be followed shows no box.
    EXPECT_TRUE(Parse({L"/wait", L"/q"}).quiet);
    EXPECT_TRUE(Parse({L"/?", L"/wait", L"/Q"}).quiet);
    EXPECT_FALSE(Parse({L"/e", L"/q"}).quiet);
    EXPECT_EQ(Parse({L"/log", L"a.log", L"/log"}).logPath, L"a.log");  // that log can say why
    EXPECT_EQ(Parse({L"/q", L"/wait", L"30m", L"/exitcode", L"/log"}).usageError,
              L"\"30m\" after /wait is not a whole number of minutes from 0 to 1440");
    EXPECT_EQ(Parse({L"/log"}).usageError, L"/log is not followed by the path of a file");
    EXPECT_EQ(Parse({L"/wait"}).usageError, L"/wait is not followed by a number of minutes");
    EXPECT_EQ(Parse({L"/uninstall", L"/I"}).usageError, L"/uninstall cannot be followed by /i");
    EXPECT_EQ(Parse({L"/json", L"/UNINSTALL"}).usageError, L"/json takes /uninstall as its value");
    EXPECT_EQ(Parse({L"--Uninstall"}).usageError, L"/uninstall is written with \"/\", not with dashes or bare");
    // What /e takes as its path, and what follows /i or /pi, is no such word.
    for (const auto& words : std::vector<std::vector<std::wstring>>{{L"/e", L"/log"}, {L"/e", L"/wait"},
                                                                    {L"/i", L"/log"}, {L"/pi", L"/wait", L"x"}})
        EXPECT_EQ(Parse(words).usageError, L"") << testing::PrintToString(words);
}

// The receipt names what was asked; a usage error before anything else.
TEST(CommandLine, TheReceiptsModeNamesWhatWasAsked)
{
    const struct {
        std::vector<std::wstring> words;
        const wchar_t* mode;
    } rows[] = {
        {{L"/q"}, L"install"}, {{L"/whatif"}, L"whatif"}, {{L"/whatif", L"/i"}, L"whatif+info"},
        {{L"/e", L"x", L"/i"}, L"extract+info"}, {{L"/e", L"x"}, L"extract"}, {{L"/i"}, L"info"},
        {{L"/pi"}, L"nothing"}, {{L"/?"}, L"help"}, {{L"/?", L"/wait"}, L"usage-error"},
        {{L"/UnInstall", L"/q"}, L"uninstall"}, {{L"/uninstall", L"/whatif"}, L"whatif-uninstall"},
        {{L"/i", L"/uninstall"}, L"info"}, {{L"/uninstall", L"/?"}, L"help"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RunModeName(Parse(row.words)), row.mode) << testing::PrintToString(row.words);
}

// Wherever the word stands, nothing is installed; after /i it is not read.
TEST(CommandLine, WhatIfInstallsNothing)
{
    for (const auto& words : std::vector<std::vector<std::wstring>>{{L"/WHATIF"}, {L"/q", L"/whatif", L"/exitcode"},
                                                                    {L"/log", L"a.log", L"/WhatIf", L"/wait", L"5"}}) {
        EXPECT_TRUE(Parse(words).whatIfMode) << testing::PrintToString(words);
        EXPECT_FALSE(Parse(words).installMode) << testing::PrintToString(words);
        EXPECT_EQ(Parse(words).usageError, L"") << testing::PrintToString(words);
    }
    EXPECT_FALSE(Parse({L"/i", L"/whatif"}).whatIfMode);
}

TEST(CommandLine, ExtractTakesTheNextArgumentWhateverItIs)
{
    const RunOptions options = Parse({L"/e", L"/q"});
    EXPECT_TRUE(options.extractMode);
    EXPECT_FALSE(options.installMode);
    EXPECT_EQ(options.extractPath, L"/q");
    EXPECT_FALSE(options.quiet);
}

TEST(CommandLine, LastExtractPathWins)
{
    EXPECT_EQ(Parse({L"/e", L"a.msp", L"/e", L"b.msp"}).extractPath, L"b.msp");
}

TEST(CommandLine, ExtractAsLastArgumentLeavesThePathEmpty)
{
    const RunOptions options = Parse({L"/e"});
    EXPECT_TRUE(options.extractMode);
    EXPECT_EQ(options.extractPath, L"");
}

TEST(CommandLine, InfoStopsScanning)
{
    const RunOptions options = Parse({L"/i", L"/e", L"x", L"/q"});
    EXPECT_TRUE(options.infoMode);
    EXPECT_FALSE(options.extractMode);
    EXPECT_FALSE(options.quiet);
    EXPECT_FALSE(options.installMode);
}

TEST(CommandLine, ExtractThenInfoRunsBoth)
{
    const RunOptions options = Parse({L"/e", L"x", L"/i"});
    EXPECT_TRUE(options.extractMode);
    EXPECT_TRUE(options.infoMode);
    EXPECT_EQ(options.extractPath, L"x");
}

TEST(CommandLine, QuietDoesNotHideTheReport)
{
    const RunOptions options = Parse({L"/q", L"/i"});
    EXPECT_TRUE(options.quiet);
    EXPECT_TRUE(options.infoMode);
}

TEST(CommandLine, PiDoesNothingAndHidesLaterWords)
{
    const RunOptions options = Parse({L"/pi", L"/e", L"x", L"/i"});
    EXPECT_FALSE(options.installMode || options.extractMode || options.infoMode);
}

TEST(CommandLine, PiClearsAnEarlierInfo)
{
    RunOptions options;
    options.infoMode = true;
    ApplyArguments({L"wrapper.exe", L"/pi"}, options);
    EXPECT_FALSE(options.infoMode);
}

TEST(CommandLine, ParsingResetsEverythingButInfo)
{
    RunOptions options;
    options.quiet = true;
    options.extractMode = true;
    options.extractPath = L"old";
    options.infoMode = true;
    options.waitMinutes = 99;
    options.usageError = L"old";
    ApplyArguments({L"wrapper.exe"}, options);
    EXPECT_EQ(options.usageError, L"");
    EXPECT_FALSE(options.quiet);
    EXPECT_EQ(options.waitMinutes, 0u);
    EXPECT_FALSE(options.extractMode);
    EXPECT_EQ(options.extractPath, L"");
    EXPECT_TRUE(options.installMode);
    EXPECT_TRUE(options.infoMode);
}

TEST(CommandLine, ExitCodeIsAnOptInWordThatChangesNothingElse)
{
    EXPECT_FALSE(Parse({}).deploymentExitCode);
    const RunOptions options = Parse({L"/ExitCode", L"/q"});
    EXPECT_TRUE(options.deploymentExitCode);
    EXPECT_TRUE(options.installMode);
    EXPECT_TRUE(options.quiet);
    EXPECT_FALSE(Parse({L"/exitcode:1"}).deploymentExitCode);
    EXPECT_FALSE(Parse({L"/i", L"/exitcode"}).deploymentExitCode);
    EXPECT_EQ(Parse({L"/e", L"/exitcode"}).extractPath, L"/exitcode");
}

TEST(CommandLine, AnEmptyVectorRunsTheInstall)
{
    RunOptions options;
    ApplyArguments({}, options);
    EXPECT_TRUE(options.installMode);
}

} // namespace
