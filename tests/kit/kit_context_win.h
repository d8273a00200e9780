#pragma once

#include <string>
#include <vector>

#include "kit_installer_win.h"
#include "kit_job_win.h"

// The products, by their place in Kit::products; their packages are these
// files in the kit's folder, in this order. The test patches serve those
// before kBusy; Busy's installation waits while the installer runs it.
enum KitProductId { kAlpha, kCharlie, kEchoOne, kEchoTwo, kRomeo, kBusy, kKitProductCount };
struct KitPackage {
    const wchar_t* file;
    bool perUser;
};
extern const KitPackage kKitPackages[kKitProductCount];

struct Kit {
    std::wstring dir;   // the kit's folder: products, patches, wrappers, tools
    std::wstring work;  // this run's own files (logs, receipts, extracted patches)
    std::wstring logs;  // the kit's folder's "logs": every installer log of the run, kept
    std::vector<KitProduct> products;
};

// What one case found wrong first; empty while all went as expected.
struct Findings {
    std::wstring why;
    std::wstring skipped;             // why the case shows nothing here, when it does not
    std::vector<std::wstring> notes;  // what it saw that is no failure, but worth a look
    void Same(const std::wstring& what, const std::wstring& actual, const std::wstring& expected);
    void Holds(const std::wstring& what, bool holds);
    // Adds a step's own failure (empty: none).
    void Step(const std::wstring& failure);
    // What the case needs did not happen, for REASON (with the system's
    // answer): under Wine, whose behaviour it is, the case is skipped
    // naming Wine; anywhere else it fails.
    void WineCannotShow(const std::wstring& reason);
    // Adds a note, once.
    void Note(const std::wstring& note);
};

// Runs FILE of the kit's folder with ARGUMENTS in the case's job: empty
// with its exit code, or why it gave none.
std::wstring RunKitProgram(const Kit& kit, CaseJob& job, const std::wstring& file, const std::wstring& arguments,
                           DWORD& exitCode);
// RunKitProgram, and its exit code against EXPECTED.
void ExpectExit(Findings& found, const Kit& kit, CaseJob& job, const std::wstring& file,
                const std::wstring& arguments, DWORD expected);

// The product's installed version, "none" when it is not installed.
std::wstring VersionNow(const KitProduct& product);
// The installer log the wrapper leaves for PRODUCT, "install" or "rollback".
std::wstring InstallerLogOf(const KitProduct& product, const wchar_t* kind);
