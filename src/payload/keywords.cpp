#include "payload/keywords.h"

bool SplitKeywords(const std::wstring& keywords, std::wstring& upgradeVersion,
                   std::wstring& targetVersions)
{
    const size_t semicolon = keywords.find(L';');
    if (semicolon == std::wstring::npos || semicolon == 0)
        return false;
    upgradeVersion = keywords.substr(0, semicolon);
    targetVersions = keywords.substr(semicolon + 1);
    return true;
}
