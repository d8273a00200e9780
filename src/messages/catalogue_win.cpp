#include "messages/catalogue_win.h"

#include "messages/catalogue.h"

namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct LanguageSearch {
    WORD primary;
    LANGID found;
};

BOOL CALLBACK TakeSamePrimaryLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR parameter)
{
    auto* search = reinterpret_cast<LanguageSearch*>(parameter);
    if (PRIMARYLANGID(language) != search->primary)
        return TRUE;
    search->found = language;
    return FALSE;
}

// The string block of `id` in the thread's language: the exact language,
// else another table of the same primary language (German for Swiss
// German), else English. The platform's own string lookup follows the UI
// language instead, which the installer run does not set.
HRSRC FindStringBlock(HINSTANCE instance, int id)
{
    const LPCWSTR block = MAKEINTRESOURCEW(StringBlockOf(id));
    const LANGID wanted = LANGIDFROMLCID(GetThreadLocale());
    if (HRSRC found = FindResourceExW(instance, RT_STRING, block, wanted))
        return found;
    LanguageSearch search = {PRIMARYLANGID(wanted), 0};
    EnumResourceLanguagesW(instance, RT_STRING, block, TakeSamePrimaryLanguage,
                           reinterpret_cast<LONG_PTR>(&search));
    if (search.found != 0)
        return FindResourceExW(instance, RT_STRING, block, search.found);
    return FindResourceExW(instance, RT_STRING, block, kEnglish);
}

} // namespace

int LoadMessage(HINSTANCE instance, int id, std::wstring& text, int maxChars)
{
    text.clear();
    HRSRC resource = FindStringBlock(instance, id);
    HGLOBAL loaded = resource != nullptr ? LoadResource(instance, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || maxChars < 1)
        return 0;
    text = StringFromBlock(static_cast<const std::uint16_t*>(bytes),
                           SizeofResource(instance, resource) / sizeof(std::uint16_t),
                           id % kStringsPerBlock);
    if (text.size() > static_cast<size_t>(maxChars - 1))
        text.resize(static_cast<size_t>(maxChars - 1));
    return static_cast<int>(text.size());
}
