#include "catalogue_texts.h"
#include "fake_fixture.h"
#include "install/configure_win.h"

namespace {


LCID g_localeDuringCall = 0;
void RememberLocale(const fake_msi::ConfigureCall&)
{
    g_localeDuringCall = GetThreadLocale();
}

// Points TMP at a folder for one test; GetTempPathW reads TMP first.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::wstring& folder) { SetEnvironmentVariableW(L"TMP", folder.c_str()); }
    ~TempFolderOverride() { SetEnvironmentVariableW(L"TMP", saved_.empty() ? nullptr : saved_.c_str()); }

private:
    std::wstring saved_ = Saved();
    static std::wstring Saved()
    {
        wchar_t value[MAX_PATH] = L"";
        GetEnvironmentVariableW(L"TMP", value, MAX_PATH);
        return value;
    }
};

class ConfigurePatchTest : public FakeInstallerTest {
protected:
    ProductRecord Record(const std::wstring& name, const std::wstring& language)
    {
        ProductRecord record;
        record.productCode = kProductA;
        record.productName = name;
        record.language = language;
        return record;
    }
};

TEST_F(ConfigurePatchTest, InstallPropertyString)
{
    ProductRecord record = Record(L"Alpha 2017", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
    const std::wstring expected =
        L"PATCH=\"C:\\T\\MSP7\" REBOOTPROMPT=S FILESINUSETEXT=\"" + EnglishText(IDS_FILES_IN_USE) + L"\"";
    EXPECT_EQ(record.commandLine, expected);
    ASSERT_EQ(fake_msi::ConfigureCalls().size(), 1u);
    const fake_msi::ConfigureCall& call = fake_msi::ConfigureCalls()[0];
    EXPECT_EQ(call.productCode, kProductA);
    EXPECT_EQ(call.commandLine, expected);
    EXPECT_EQ(call.installLevel, 0);
    EXPECT_EQ(call.installState, 5);
}

TEST_F(ConfigurePatchTest, RemovalPropertyString)
{
    ProductRecord record = Record(L"Alpha 2017", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallRollback, L"C:\\T\\MSP8", 0);
    EXPECT_EQ(record.commandLine, L"MSIPATCHREMOVE=\"C:\\T\\MSP8\" REBOOTPROMPT=S FILESINUSETEXT=\"" +
                                      EnglishText(IDS_FILES_IN_USE) + L"\" NRVL_SETUP_EXE=1");
    EXPECT_FALSE(record.answered);  // a rollback's answer is the slot's removal
    // Removed by their codes, several in one transaction.
    ConfigurePatch(L"IDR_MSP_2", record, kCallUninstall, L"{B};{A}", 0);
    EXPECT_EQ(fake_msi::ConfigureCalls().back().commandLine,
              L"MSIPATCHREMOVE=\"{B};{A}\" REBOOTPROMPT=S FILESINUSETEXT=\"" + EnglishText(IDS_FILES_IN_USE) +
                  L"\" NRVL_SETUP_EXE=1");
    EXPECT_TRUE(record.answered);
}

// Inside a quoted value the installer reads "" as one quote: a quote in a
// path or text must not end the value early.
TEST_F(ConfigurePatchTest, QuotesInsideValuesAreDoubled)
{
    ProductRecord record = Record(L"Alpha", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\a\"b", 0);
    EXPECT_EQ(record.commandLine.find(L"PATCH=\"C:\\T\\a\"\"b\" REBOOTPROMPT=S "), 0u) << record.commandLine;
}

TEST_F(ConfigurePatchTest, LogFilesAreNamedAfterTheProduct)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"T";
    CreateDirectoryW(folder.c_str(), nullptr);
    TempFolderOverride override(folder + L"\\");

    ProductRecord record = Record(L"Alpha 2017", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
    ConfigurePatch(L"IDR_MSP_1", record, kCallRollback, L"C:\\T\\MSP7", 0);
    ConfigurePatch(L"IDR_MSP_1", record, kCallUninstall, L"{B}", 0);
    ASSERT_EQ(fake_msi::ConfigureCalls().size(), 3u);
    EXPECT_EQ(fake_msi::ConfigureCalls()[0].logFile, folder + L"\\Alpha 2017 SP install.log");
    EXPECT_EQ(fake_msi::ConfigureCalls()[1].logFile, folder + L"\\Alpha 2017 SP rollback.log");
    EXPECT_EQ(fake_msi::ConfigureCalls()[2].logFile, folder + L"\\Alpha 2017 SP uninstall.log");
    EXPECT_NE(std::find(fake_msi::Calls().begin(), fake_msi::Calls().end(),
                        L"EnableLog 4096 " + folder + L"\\Alpha 2017 SP install.log 0"),
              fake_msi::Calls().end());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(ConfigurePatchTest, WithoutAUsableTemporaryFolderTheLogGoesToDriveC)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    TempFolderOverride override(std::wstring(temp) + L"missing\\deeper\\");
    ProductRecord record = Record(L"Alpha", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
    EXPECT_EQ(fake_msi::ConfigureCalls().at(0).logFile, L"c:\\Alpha SP install.log");
}

TEST_F(ConfigurePatchTest, ALongProductNameNeitherOverrunsNorStopsTheCall)
{
    ProductRecord record = Record(std::wstring(1023, L'n'), L"1033");
    EXPECT_EQ(ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0), 0u);
    ASSERT_EQ(fake_msi::ConfigureCalls().size(), 1u);
    const std::wstring& log = fake_msi::ConfigureCalls()[0].logFile;
    EXPECT_NE(log.find(std::wstring(1023, L'n') + L" SP install.log"), std::wstring::npos);
}

TEST_F(ConfigurePatchTest, AProductNameCannotMoveTheLogElsewhere)
{
    ProductRecord record = Record(L"..\\..\\Windows\\evil:x", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
    const std::wstring& log = fake_msi::ConfigureCalls().at(0).logFile;
    const std::wstring name = log.substr(log.rfind(L'\\') + 1);
    EXPECT_EQ(name, L".._.._Windows_evil_x SP install.log");
}

TEST_F(ConfigurePatchTest, FilesInUseTextComesInTheProductsLanguage)
{
    fake_msi::OnConfigure(RememberLocale);
    ProductRecord record = Record(L"Alpha", L"1031");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
    EXPECT_NE(record.commandLine.find(L"FILESINUSETEXT=\"" + CatalogueText(L"de-DE", IDS_FILES_IN_USE) + L"\""),
              std::wstring::npos)
        << record.commandLine;
    EXPECT_EQ(g_localeDuringCall, 1031u);
    EXPECT_EQ(GetThreadLocale(), GetUserDefaultLCID());
}

TEST_F(ConfigurePatchTest, NoUsableLanguageKeepsTheLocaleInForce)
{
    for (const wchar_t* language : {L"", L"0", L"abc"}) {
        fake_msi::Reset();
        SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT));
        ProductRecord record = Record(L"Alpha", language);
        ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
        EXPECT_NE(record.commandLine.find(EnglishText(IDS_FILES_IN_USE)), std::wstring::npos) << language;
    }
    EXPECT_EQ(GetThreadLocale(), GetUserDefaultLCID());
}

TEST_F(ConfigurePatchTest, UiLevelIsBasicWithoutCancelDuringTheCallAndRestoredAfter)
{
    const int before = fake_msi::UiLevel();
    ProductRecord record = Record(L"Alpha", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
    EXPECT_EQ(fake_msi::ConfigureCalls().at(0).uiLevel, 0x23);
    EXPECT_EQ(fake_msi::UiLevel(), before);
}

// Where nobody watches, nobody could answer an installer's error box.
TEST_F(ConfigurePatchTest, QuietRunsGiveTheInstallerNoUserInterface)
{
    Options.quiet = true;
    ProductRecord record = Record(L"Alpha", L"1033");
    ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0);
    ConfigurePatch(L"IDR_MSP_1", record, kCallRollback, L"C:\\T\\MSP7", 0);
    EXPECT_EQ(fake_msi::ConfigureCalls().at(0).uiLevel, 2);
    EXPECT_EQ(fake_msi::ConfigureCalls().at(1).uiLevel, 2);
}

TEST_F(ConfigurePatchTest, TheInstallersCodeComesBackUnchanged)
{
    for (unsigned code : {0u, 1603u, 1641u, 3010u, 0x80070005u}) {
        fake_msi::QueueConfigureResults({code});
        ProductRecord record = Record(L"Alpha", L"1033");
        EXPECT_EQ(ConfigurePatch(L"IDR_MSP_1", record, kCallInstall, L"C:\\T\\MSP7", 0), code);
    }
}

} // namespace
