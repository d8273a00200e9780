#include "catalogue_texts.h"
#include "fake_fixture.h"
#include "messages.h"
#include "messages/catalogue.h"
#include "messages/catalogue_win.h"
#include "messages/outcome_box_win.h"
#include "shared/process_state_win.h"

#include <algorithm>

namespace {

const int kIds[] = {300, 301, 306, 307, 308, 309, 310, 311, 312, 313, 314, 315, 316, 317, 318, 319, 320, 321, 322};
const LANGID kLanguages[] = {1028, 1029, 1031, 1033, 1036, 1038, 1040, 1041, 1042, 1045, 1046, 1049, 2052, 3082};

std::wstring German(int id, const std::optional<std::wstring>& value = {})
{
    return CatalogueText(L"de-DE", id, value);
}

// The text of `id` exactly as the table of `language` holds it, without
// any fallback to another language.
bool TableText(LANGID language, int id, std::wstring& text)
{
    HRSRC block = FindResourceExW(ModuleInstance, RT_STRING, MAKEINTRESOURCEW(StringBlockOf(id)), language);
    if (block == nullptr)
        return false;
    const auto* units = static_cast<const std::uint16_t*>(LockResource(LoadResource(ModuleInstance, block)));
    text = StringFromBlock(units, SizeofResource(ModuleInstance, block) / 2, id % kStringsPerBlock);
    return true;
}

std::wstring Placeholders(const std::wstring& text)
{
    std::wstring found;
    for (size_t i = text.find(L'%'); i != std::wstring::npos; i = text.find(L'%', i + 1))
        found += text.substr(i, 2);
    return found;
}

size_t LineFeeds(const std::wstring& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), L'\n'));
}

TEST(Catalogue, EnglishIsExact)
{
    for (int id : kIds) {
        std::wstring text;
        ASSERT_TRUE(TableText(1033, id, text));
        EXPECT_EQ(text, EnglishText(id)) << id;
    }
}

TEST(Catalogue, EveryLanguageFollowsTheRules)
{
    for (LANGID language : kLanguages) {
        for (int id : kIds) {
            std::wstring text;
            ASSERT_TRUE(TableText(language, id, text)) << language << " " << id;
            const std::wstring english = EnglishText(id);
            EXPECT_FALSE(text.empty()) << language << " " << id;
            EXPECT_LE(text.size(), 255u) << language << " " << id;
            EXPECT_EQ(Placeholders(text), Placeholders(english)) << language << " " << id;
            EXPECT_EQ(LineFeeds(text), LineFeeds(english)) << language << " " << id;
            EXPECT_EQ(text.find(L'\r'), std::wstring::npos) << language << " " << id;
            if (id == IDS_NO_PRODUCT) {
                EXPECT_NE(text.find(L"Norvale"), std::wstring::npos) << language;
            }
            if (language != 1033) {
                EXPECT_NE(text, english) << language << " " << id << " is not translated";
            }
        }
    }
}

TEST(Catalogue, OtherIdsOfTheBlocksAreEmpty)
{
    for (LANGID language : kLanguages) {
        for (int id = 288; id < 336; ++id) {
            if (std::find(std::begin(kIds), std::end(kIds), id) != std::end(kIds))
                continue;
            std::wstring text;
            ASSERT_TRUE(TableText(language, id, text));
            EXPECT_TRUE(text.empty()) << language << " " << id;
        }
    }
}

class LoadMessageTest : public FakeInstallerTest {
protected:
    std::wstring Load(LCID locale, int id, int maxChars = 256)
    {
        SetThreadLocale(locale);
        std::wstring text = L"previous";
        LoadMessage(ModuleInstance, id, text, maxChars);
        return text;
    }
};

TEST_F(LoadMessageTest, FollowsTheThreadLocale)
{
    EXPECT_EQ(Load(1031, IDS_CAPTION_SUCCESS), German(IDS_CAPTION_SUCCESS));
    EXPECT_EQ(Load(1033, IDS_CAPTION_SUCCESS), EnglishText(IDS_CAPTION_SUCCESS));
}

TEST_F(LoadMessageTest, AnotherCountrysTableOfTheSameLanguageServes)
{
    EXPECT_EQ(Load(2055, IDS_CAPTION_SUCCESS), German(IDS_CAPTION_SUCCESS));  // German, Switzerland
}

TEST_F(LoadMessageTest, ALanguageWithoutTableGetsEnglish)
{
    EXPECT_EQ(Load(1043, IDS_CAPTION_SUCCESS), EnglishText(IDS_CAPTION_SUCCESS));  // Dutch
}

TEST_F(LoadMessageTest, AMissingIdGivesEmptyText)
{
    EXPECT_EQ(Load(1033, 302), L"");
    EXPECT_EQ(Load(1033, 5000), L"");
}

TEST_F(LoadMessageTest, KeepsAtMostMaxCharsLessOne)
{
    EXPECT_EQ(Load(1033, IDS_CAPTION_SUCCESS, 6), EnglishText(IDS_CAPTION_SUCCESS).substr(0, 5));
    std::wstring text = L"previous";
    EXPECT_EQ(LoadMessage(ModuleInstance, IDS_CAPTION_SUCCESS, text, 1), 0);
    EXPECT_EQ(text, L"");
}

class OutcomeMessageTest : public FakeInstallerTest {
protected:
    const fake_boxes::Box& Shown(int id)
    {
        ShowOutcomeMessage(id);
        EXPECT_EQ(fake_boxes::Shown().size(), 1u);
        return fake_boxes::Shown().back();
    }
};

TEST_F(OutcomeMessageTest, InstalledNamesTheProductUnderTheSuccessCaption)
{
    MessageProductName = L"Alpha 2017";
    const fake_boxes::Box& box = Shown(301);
    EXPECT_EQ(box.text, EnglishText(IDS_INSTALL_SUCCEEDED, L"Alpha 2017"));
    EXPECT_EQ(box.caption, EnglishText(IDS_CAPTION_SUCCESS));
    EXPECT_EQ(box.flags, 0x50040u);
}

TEST_F(OutcomeMessageTest, AnEmptyProductNameLeavesTwoBlanks)
{
    EXPECT_EQ(Shown(306).text, EnglishText(IDS_UP_TO_DATE, L""));
}

TEST_F(OutcomeMessageTest, UpToDateCarriesTheErrorIcon)
{
    const fake_boxes::Box& box = Shown(306);
    EXPECT_EQ(box.caption, EnglishText(IDS_CAPTION_UNNECESSARY));
    EXPECT_EQ(box.flags, 0x50010u);
}

TEST_F(OutcomeMessageTest, FailureShowsTheLastErrorValue)
{
    SetLastError(1603);
    const fake_boxes::Box& box = Shown(300);
    EXPECT_EQ(box.text, EnglishText(IDS_INSTALL_FAILED, L"1603"));
    EXPECT_EQ(box.caption, EnglishText(IDS_CAPTION_ERROR));
    EXPECT_EQ(box.flags, 0x50010u);
}

// Looking up a table the catalogue lacks sets the last-error value: the
// code shown must be the one read before any lookup.
TEST_F(OutcomeMessageTest, FailureShowsTheInstallersCodeInALocaleWithoutATable)
{
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_THAI, SUBLANG_DEFAULT), SORT_DEFAULT));
    SetLastError(1603);
    const fake_boxes::Box& box = Shown(300);
    EXPECT_EQ(box.text, EnglishText(IDS_INSTALL_FAILED, L"1603"));
    EXPECT_EQ(box.caption, EnglishText(IDS_CAPTION_ERROR));
}

TEST_F(OutcomeMessageTest, AnErrorWithTheHighBitSetIsNegative)
{
    SetLastError(0x80070005);
    const std::wstring text = Shown(300).text;
    EXPECT_EQ(text.substr(text.rfind(L' ') + 1), L"-2147024891");
}

TEST_F(OutcomeMessageTest, NoProductIsShownAsIs)
{
    const fake_boxes::Box& box = Shown(307);
    EXPECT_EQ(box.text, EnglishText(IDS_NO_PRODUCT));
    EXPECT_EQ(box.caption, EnglishText(IDS_CAPTION_ERROR));
}

TEST_F(OutcomeMessageTest, WrongVersionNamesTheProductUnderTheErrorCaption)
{
    MessageProductName = L"Beta";
    const fake_boxes::Box& box = Shown(308);
    EXPECT_EQ(box.text, EnglishText(IDS_WRONG_VERSION, L"Beta"));
    EXPECT_EQ(box.caption, EnglishText(IDS_CAPTION_ERROR));
    EXPECT_EQ(box.flags, 0x50010u);
}

TEST_F(OutcomeMessageTest, AVeryLongProductNameIsShownWhole)
{
    MessageProductName = std::wstring(1023, L'n');
    EXPECT_EQ(Shown(301).text, EnglishText(IDS_INSTALL_SUCCEEDED, MessageProductName));
}

TEST_F(OutcomeMessageTest, QuietShowsNothing)
{
    Options.quiet = true;
    ShowOutcomeMessage(301);
    EXPECT_TRUE(fake_boxes::Shown().empty());
}

TEST_F(OutcomeMessageTest, AGermanUserSeesGerman)
{
    SetThreadLocale(1031);
    MessageProductName = L"Alpha";
    const fake_boxes::Box& box = Shown(301);
    EXPECT_EQ(box.caption, German(IDS_CAPTION_SUCCESS));
    EXPECT_EQ(box.text, German(IDS_INSTALL_SUCCEEDED, L"Alpha"));
}

// /uninstall's boxes take their values from the caller, in the text's
// order; a "%d" in a product name is the name's, not the code's place.
TEST_F(OutcomeMessageTest, TheUninstallBoxesFillTheirValuesInOrder)
{
    const struct {
        int id;
        std::vector<std::wstring> values;
        int caption;
        unsigned flags;
    } rows[] = {
        {IDS_UNINSTALL_SUCCEEDED, {L"2"}, IDS_CAPTION_REMOVED, 0x50040u},
        {IDS_UNINSTALL_NOTHING, {}, IDS_CAPTION_NOTHING_TO_REMOVE, 0x50040u},
        {IDS_UNINSTALL_FAILED, {L"Alpha %d", L"1603"}, IDS_CAPTION_REMOVAL_ERROR, 0x50010u},
        {IDS_UNINSTALL_IMPOSSIBLE, {L"Beta"}, IDS_CAPTION_REMOVAL_ERROR, 0x50010u},
    };
    for (const auto& row : rows) {
        fake_boxes::Reset();
        ShowOutcomeMessage(row.id, row.values);
        ASSERT_EQ(fake_boxes::Shown().size(), 1u) << row.id;
        std::wstring expected = EnglishText(row.id);
        size_t at = 0;
        for (const std::wstring& value : row.values) {
            at = expected.find_first_of(L'%', at);
            expected.replace(at, 2, value);
            at += value.size();
        }
        EXPECT_EQ(fake_boxes::Shown()[0].text, expected) << row.id;
        EXPECT_EQ(fake_boxes::Shown()[0].caption, EnglishText(row.caption)) << row.id;
        EXPECT_EQ(fake_boxes::Shown()[0].flags, row.flags) << row.id;
    }
}

TEST_F(OutcomeMessageTest, AnIdOutsideTheTableKeepsTheErrorCaptionWithoutIcon)
{
    const fake_boxes::Box& box = Shown(302);
    EXPECT_EQ(box.caption, L"Error");
    EXPECT_EQ(box.flags, 0x50000u);
}

} // namespace
