#include "install/installed_targets_win.h"

#include "install/msi_api.h"
#include "payload/targeting.h"

#include <cwchar>

namespace {

constexpr std::uint32_t kPropertyChars = 1024;

// One product property. A failed query leaves the buffer as it was, so a
// fresh buffer reads as empty text rather than whatever memory held.
std::wstring QueryProductProperty(const std::wstring& productCode, const wchar_t* property)
{
    wchar_t buffer[kPropertyChars] = L"";
    std::uint32_t length = kPropertyChars;
    msi_api::GetProductInfo(productCode.c_str(), property, buffer, &length);
    return std::wstring(buffer, wcsnlen(buffer, kPropertyChars));
}

} // namespace

void FindInstalledTargets(const PatchTargeting& targeting, ProductRecords& records)
{
    ProductRecord working;
    working.upgradeVersion = targeting.upgradeVersion;
    working.targetVersions = targeting.targetVersions;
    for (const std::wstring& code : TemplateProductCodes(targeting.products)) {
        if (!IsProductPresent(code))
            continue;
        auto record = std::make_unique<ProductRecord>(working);
        record->productCode = code;
        record->installedVersion = GetInstalledVersion(code);
        GetProductNameAndLanguage(code, record->productName, record->language);
        records.push_back(std::move(record));
    }
}

bool IsProductPresent(const std::wstring& productCode)
{
    const int state = msi_api::QueryProductState(productCode.c_str());
    return state == kInstallStateAdvertised || state == kInstallStateDefault;
}

std::wstring GetInstalledVersion(const std::wstring& productCode)
{
    return QueryProductProperty(productCode, L"VersionString");
}

bool GetProductNameAndLanguage(const std::wstring& productCode, std::wstring& productName,
                               std::wstring& language)
{
    productName = QueryProductProperty(productCode, L"ProductName");
    language = QueryProductProperty(productCode, L"Language");
    return true;
}
