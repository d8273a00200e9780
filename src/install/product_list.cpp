#include "install/product_list.h"

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
