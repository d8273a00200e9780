#include "payload/targeting.h"

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

std::vector<std::wstring> SplitTargetVersions(const std::wstring& targetVersions)
{
    std::vector<std::wstring> versions;
    size_t start = 0;
    for (size_t comma = targetVersions.find(L','); comma != std::wstring::npos;
         comma = targetVersions.find(L',', start)) {
        versions.push_back(targetVersions.substr(start, comma - start));
        start = comma + 1;
    }
    versions.push_back(targetVersions.substr(start));
    return versions;
}

std::vector<std::wstring> TemplateProductCodes(const std::wstring& templateValue)
{
    std::vector<std::wstring> codes;
    size_t start = 0;
    while (start < templateValue.size()) {
        size_t end = templateValue.find(L';', start);
        if (end == std::wstring::npos)
            end = templateValue.size();
        if (end == start)
            break;
        codes.push_back(templateValue.substr(start, end - start));
        start = end + 1;
    }
    return codes;
}
