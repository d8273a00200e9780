#include "kit_cases_win.h"

#include "text_win.h"

namespace {

// The patches and the products each one moves (two.msp both Echo products).
const wchar_t* const kFixturePatches[] = {L"a.msp", L"c.msp", L"two.msp", L"r.msp"};

Findings FixtureCheck(const Kit& kit, CaseJob& job)
{
    const std::vector<KitProduct> patched(kit.products.begin(), kit.products.begin() + kBusy);
    Findings found;
    for (const KitProduct& product : patched) found.Step(InstallFresh(job, product));
    for (const wchar_t* patch : kFixturePatches) {
        DWORD code = 0;
        found.Step(Msiexec(job, L"/p " + Quoted(kit.dir + L"\\" + patch), code));
        found.Same(std::wstring(L"msiexec /p ") + patch + L": exit code", std::to_wstring(code), L"0");
    }
    for (const KitProduct& product : patched)
        found.Same(product.name + L": version after its patch", VersionNow(product), kUpgradeVersion);
    for (const KitProduct& product : patched) found.Step(RemoveProduct(job, product));
    return found;
}

}  // namespace

const KitCase kFixtureCase = {L"fixtures", FixtureCheck, true};
