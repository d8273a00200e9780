// The box a person sees, in the language of this machine: the wrapper's
// "no product" box as the watcher read it, against the string table the
// wrapper's own rule picks from the wrapper file itself.
#include "kit_cases_win.h"
#include "kit_windows_cases_win.h"
#include "kit_files_win.h"
#include "messages.h"
#include "messages/catalogue.h"
#include "text_win.h"

#include <vector>

namespace {

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages)
{
    reinterpret_cast<std::vector<LANGID>*>(languages)->push_back(language);
    return TRUE;
}

// String ID of the table for the user's locale, the one the wrapper's
// thread starts with (GetThreadLocale): that table, else the first of the
// same primary language, else English. Not the UI language that Windows'
// own LoadStringW would follow: the wrapper chooses by the locale.
std::wstring TableText(HMODULE wrapper, int id)
{
    const LPCWSTR block = MAKEINTRESOURCEW(StringBlockOf(id));
    const LANGID wanted = LANGIDFROMLCID(GetThreadLocale());
    std::vector<LANGID> languages;
    EnumResourceLanguagesW(wrapper, RT_STRING, block, AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
    LANGID chosen = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    bool samePrimary = false;
    for (LANGID language : languages) {
        if (language == wanted) {
            chosen = language;
            break;
        }
        if (!samePrimary && PRIMARYLANGID(language) == PRIMARYLANGID(wanted)) {
            chosen = language;
            samePrimary = true;
        }
    }
    HRSRC found = FindResourceExW(wrapper, RT_STRING, block, chosen);
    HGLOBAL loaded = found ? LoadResource(wrapper, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return std::wstring();
    return StringFromBlock(static_cast<const std::uint16_t*>(bytes), SizeofResource(wrapper, found) / 2,
                           id % kStringsPerBlock);
}

}  // namespace

// d.msp's product is not installed: the "no product" box, under "Error",
// and with /uninstall the "nothing to remove" box, whose caption stands in
// a string block of its own.
Findings BoxTexts(const Kit& kit, CaseJob& job)
{
    const std::wstring wrapperPath = kit.dir + L"\\d.exe";
    const struct {
        const wchar_t* arguments;
        int caption, text;
    } boxes[] = {
        {L"", IDS_CAPTION_ERROR, IDS_NO_PRODUCT},
        {L" /uninstall", IDS_CAPTION_NOTHING_TO_REMOVE, IDS_UNINSTALL_NOTHING},
    };
    Findings found;
    HMODULE wrapper =
        LoadLibraryExW(wrapperPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    found.Holds(L"cannot load the resources of " + wrapperPath, wrapper != nullptr);
    if (!found.why.empty()) return found;
    int run = 0;
    for (const auto& expected : boxes) {
        const std::wstring seen = kit.work + L"\\texts-" + std::to_wstring(++run) + L".txt";
        ExpectExit(found, kit, job, L"watcher.exe",
                   Quoted(seen) + L" --timeout 120 --run " + Quoted(wrapperPath) + expected.arguments, 0);
        const std::wstring caption = TableText(wrapper, expected.caption), text = TableText(wrapper, expected.text);
        found.Holds(L"the wrapper's table has no text for the box", !caption.empty() && !text.empty());
        std::string shown;
        ReadWholeFile(seen, shown);
        const std::wstring box = from_utf8(shown.substr(0, shown.find('\n')));
        const std::wstring line = BoxLineField(caption) + L"\t" + BoxLineField(text) + L"\t";
        found.Same(std::wstring(L"d.exe") + expected.arguments + L": the box's caption and text",
                   box.substr(0, line.size()), line);
    }
    FreeLibrary(wrapper);
    return found;
}
