// Receipts where a fleet writes them: a folder whose DACL grants the
// running account exactly what the receipts share of docs/receipts.md grants the
// computer accounts ("Create files / write data" and "Read attributes" on
// the folder alone, CREATOR OWNER "Delete" on files) and nothing to
// anybody else, Administrators and SYSTEM included. The wrapper, elevated
// as deployments run it, writes a receipt there twice, the second over the
// first: on the folder itself, and through a loopback share with share
// permission Change, where the server checks the access of a network
// logon, as for a fleet's computers.
#include "kit_windows_cases_win.h"
#include "kit_wine_win.h"

#include <algorithm>

#include <aclapi.h>
#include <lm.h>
#include <sddl.h>

#include "kit_cases_win.h"
#include "kit_files_win.h"
#include "text_win.h"

namespace {

const wchar_t kShareName[] = L"WrapperKitReceipts";

// FILE_ADD_FILE | FILE_READ_ATTRIBUTES (0x82) for the user on the folder
// alone, DELETE for CREATOR OWNER on the files made in it, inherited and
// nothing else: "ACE Strings", "File Security and Access Rights".
std::wstring ReceiptFolderSddl(const std::wstring& user)
{
    return L"D:P(A;;0x82;;;" + user + L")(A;OIIO;SD;;;CO)";
}

// The folder made with that DACL; empty, or why not.
std::wstring MakeReceiptFolder(const std::wstring& folder)
{
    const std::wstring user = UserInSddl();
    if (user.empty()) return L"the kit's own user cannot be read";
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(ReceiptFolderSddl(user).c_str(), SDDL_REVISION_1,
                                                              &attributes.lpSecurityDescriptor, nullptr))
        return L"the folder's descriptor cannot be made: error " + std::to_wstring(GetLastError());
    const bool made = CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
    const DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    return made ? std::wstring() : L"cannot make " + folder + L": error " + std::to_wstring(error);
}

// The folder opened to the kit again, to read what the runs left: its
// owner may always change its DACL ("Owner of a New Object"), and the new
// one goes down to the files in it (SetNamedSecurityInfoW).
std::wstring OpenToTheKit(const std::wstring& folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + UserInSddl() + L")";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return L"cannot make a descriptor to read " + folder;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::wstring path = folder;
    const DWORD error = SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT,
                                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                              nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return error == ERROR_SUCCESS ? std::wstring() : L"cannot open " + folder + L" to read it: error " + std::to_wstring(error);
}

// The names in FOLDER, one a line.
std::wstring NamesIn(const std::wstring& folder)
{
    std::wstring names;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names += (names.empty() ? L"" : L" ") + name;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Two runs that write the receipt PATH, each saying in its log that it did.
void WriteTwice(Findings& found, const Kit& kit, CaseJob& job, const std::wstring& path, const std::wstring& name)
{
    for (int run = 1; run <= 2; ++run) {
        const std::wstring log = kit.work + L"\\" + name + L"-" + std::to_wstring(run) + L".log";
        ExpectExit(found, kit, job, L"c.exe", L"/q /exitcode /log " + Quoted(log) + L" /json " + Quoted(path), 1642);
        std::string text;
        ReadWholeFile(log, text);
        // The log's own words when it could not: "The receipt cannot be written to ...".
        const std::size_t said = std::min(text.find("The receipt"), text.size());
        found.Holds(name + L", run " + std::to_wstring(run) + L": the log does not say the receipt was written: " +
                        from_utf8(text.substr(said, 300)),
                    text.find("The receipt is written to ") != std::string::npos);
    }
}

// A share of FOLDER for Everyone with share permission Change
// (0x1301BF: "Share and NTFS permissions"); empty, or why there is none.
std::wstring ShareFolder(const std::wstring& folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x1301BF;;;WD)", SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return L"no share descriptor: error " + std::to_wstring(GetLastError());
    SHARE_INFO_502 share = {};
    share.shi502_netname = const_cast<wchar_t*>(kShareName);
    share.shi502_type = STYPE_DISKTREE;
    share.shi502_max_uses = static_cast<DWORD>(-1);
    share.shi502_path = const_cast<wchar_t*>(folder.c_str());
    share.shi502_security_descriptor = descriptor;
    NetShareDel(nullptr, const_cast<wchar_t*>(kShareName), 0);
    const NET_API_STATUS status = NetShareAdd(nullptr, 502, reinterpret_cast<BYTE*>(&share), nullptr);
    LocalFree(descriptor);
    return status == NERR_Success ? std::wstring() : L"NetShareAdd answered " + std::to_wstring(status);
}

}  // namespace

Findings ReceiptShare(const Kit& kit, CaseJob& job)
{
    if (UnderWine()) return NotPossibleUnderWine(L"it keeps no DACL given to a folder, so nothing would be refused");
    Findings found;
    const std::wstring local = kit.work + L"\\receipts", shared = kit.work + L"\\shared-receipts";
    found.Step(MakeReceiptFolder(local));
    if (!found.why.empty()) return found;
    WriteTwice(found, kit, job, local + L"\\r.json", L"receipt-folder");

    // Through \\localhost where the Server service shares folders; a
    // machine without it says so in a note.
    const std::wstring share = found.why.empty() ? MakeReceiptFolder(shared) : std::wstring();
    found.Step(share);
    const std::wstring sharing = found.why.empty() ? ShareFolder(shared) : L"";
    if (found.why.empty() && sharing.empty())
        WriteTwice(found, kit, job, L"\\\\localhost\\" + std::wstring(kShareName) + L"\\r.json", L"receipt-share");
    else if (found.why.empty())
        found.Note(L"no loopback share to write through (" + sharing + L"); the folder's DACL alone was checked");
    NetShareDel(nullptr, const_cast<wchar_t*>(kShareName), 0);

    for (const std::wstring& folder : {local, shared}) {
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        found.Step(OpenToTheKit(folder));
        std::string receipt;
        if (folder == shared && !sharing.empty()) continue;
        found.Same(folder + L": what the runs left", NamesIn(folder), L"r.json");
        found.Holds(folder + L"\\r.json is no receipt",
                    ReadWholeFile(folder + L"\\r.json", receipt) && receipt.find("\"schema\": 2,") != std::string::npos);
    }
    return found;
}
