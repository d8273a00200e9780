#include "kit/verdicts.h"

#include "shared/ascii_case.h"
#include "shared/json_writer.h"
#include "shared/utf8_text.h"

#include <algorithm>

namespace {

KitVerdict Passed()
{
    return {true, std::wstring()};
}

KitVerdict Failed(const std::wstring& reason)
{
    return {false, reason};
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A path as compared: backslashes only, none at the end.
std::wstring ComparablePath(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

bool SamePath(const std::wstring& left, const std::wstring& right)
{
    return EqualsIgnoringAsciiCase(ComparablePath(left), ComparablePath(right).c_str());
}

// True when `path` names something inside `folder`, at any depth. The
// character after the folder's name must be a separator, so that
// C:\Windows\System32x is not inside C:\Windows\System32, and a path that
// goes through "." or ".." is inside nothing, however it starts.
bool IsInside(const std::wstring& path, const std::wstring& folder)
{
    const std::wstring inner = ComparablePath(path);
    const std::wstring outer = ComparablePath(folder);
    if (outer.empty() || inner.size() <= outer.size() + 1 || inner[outer.size()] != L'\\')
        return false;
    const std::wstring below = inner.substr(outer.size()) + L'\\';
    return EqualsIgnoringAsciiCase(inner.substr(0, outer.size()), outer.c_str()) &&
           below.find(L"\\.\\") == std::wstring::npos && below.find(L"\\..\\") == std::wstring::npos;
}

std::wstring FolderOf(const std::wstring& path)
{
    const auto last = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    return std::wstring(path.begin(), last.base());
}

bool StartsIgnoringAsciiCase(const std::wstring& text, const std::wstring& start)
{
    return text.size() >= start.size() && EqualsIgnoringAsciiCase(text.substr(0, start.size()), start.c_str());
}

void AddOnce(std::vector<std::wstring>& list, const std::wstring& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

// --- Security descriptors in SDDL ---------------------------------------------
// learn.microsoft.com/windows/win32/secauthz/security-descriptor-string-format
// and .../secauthz/ace-strings: "O:owner G:group D:flags(ace)(ace)...",
// without spaces; an ACE is "type;flags;rights;object;inherited object;SID".
// ConvertSecurityDescriptorToStringSecurityDescriptorW leaves out "D:" where
// the descriptor has no DACL (anybody may do anything), and the flag
// "NO_ACCESS_CONTROL" stands for a null DACL (the same).

constexpr size_t kAceFields = 6;

struct Ace {
    std::wstring text;
    std::wstring fields[kAceFields];  // type, flags, rights, object, inherited object, trustee
};

struct Descriptor {
    std::wstring owner;
    bool hasDacl = false;
    bool nullDacl = false;
    bool protectedDacl = false;
    std::vector<Ace> aces;
};

bool StartsAt(const std::wstring& text, size_t at, const wchar_t* word)
{
    return text.compare(at, std::char_traits<wchar_t>::length(word), word) == 0;
}

// The SID of the "O:" or "G:" part at `at`: up to the next part's letter,
// the one before the next colon.
bool ReadTrustee(const std::wstring& sddl, size_t& at, std::wstring& trustee)
{
    const size_t start = at + 2;
    const size_t colon = sddl.find(L':', start);
    const size_t end = colon == std::wstring::npos ? sddl.size() : colon - 1;
    if (end <= start)
        return false;
    trustee = sddl.substr(start, end - start);
    at = end;
    return true;
}

bool ReadDaclFlags(const std::wstring& sddl, size_t& at, Descriptor& descriptor)
{
    while (at < sddl.size() && sddl[at] != L'(') {
        if (StartsAt(sddl, at, L"NO_ACCESS_CONTROL"))
            descriptor.nullDacl = true, at += 17;
        else if (StartsAt(sddl, at, L"AI") || StartsAt(sddl, at, L"AR"))
            at += 2;
        else if (sddl[at] == L'P')
            descriptor.protectedDacl = true, ++at;
        else
            return false;
    }
    return true;
}

// One "(...)" of exactly six fields; a conditional or resource ACE, with a
// seventh field or parentheses inside, is not read.
bool ReadAce(const std::wstring& sddl, size_t& at, Ace& ace)
{
    const size_t close = sddl.find(L')', at);
    if (sddl[at] != L'(' || close == std::wstring::npos)
        return false;
    ace.text = sddl.substr(at, close + 1 - at);
    const std::wstring inside = sddl.substr(at + 1, close - at - 1);
    if (inside.find(L'(') != std::wstring::npos || std::count(inside.begin(), inside.end(), L';') != kAceFields - 1)
        return false;
    size_t start = 0;
    for (std::wstring& field : ace.fields) {
        const size_t end = std::min(inside.find(L';', start), inside.size());
        field = inside.substr(start, end - start);
        start = end + 1;
    }
    at = close + 1;
    return true;
}

// The owner, group and DACL parts, in that order, each at most once, and
// nothing else: a SACL part, or anything this does not know, is unread.
bool ReadDescriptor(const std::wstring& sddl, Descriptor& descriptor)
{
    size_t at = 0;
    std::wstring group;
    if (StartsAt(sddl, at, L"O:") && !ReadTrustee(sddl, at, descriptor.owner))
        return false;
    if (StartsAt(sddl, at, L"G:") && !ReadTrustee(sddl, at, group))
        return false;
    if (StartsAt(sddl, at, L"D:")) {
        descriptor.hasDacl = true;
        at += 2;
        if (!ReadDaclFlags(sddl, at, descriptor))
            return false;
        while (at < sddl.size()) {
            descriptor.aces.emplace_back();
            if (!ReadAce(sddl, at, descriptor.aces.back()))
                return false;
        }
    }
    return at == sddl.size();
}

// SYSTEM or the Administrators group, by SID: the two aliases SDDL may
// write for them stand for these SIDs.
bool IsSystemOrAdministrators(const std::wstring& trustee)
{
    static const wchar_t* const kAliases[][2] = {{L"SY", L"S-1-5-18"}, {L"BA", L"S-1-5-32-544"}};
    std::wstring sid = trustee;
    for (const auto& alias : kAliases) {
        if (trustee == alias[0])
            sid = alias[1];
    }
    return std::any_of(std::begin(kAliases), std::end(kAliases),
                       [&sid](const auto& alias) { return EqualsIgnoringAsciiCase(sid, alias[1]); });
}

} // namespace

// GetMappedFileNameW names a file by the device of its volume; the drive
// letters' devices come from QueryDosDeviceW, and a file on a share is
// below the device of the multiple UNC provider, \Device\Mup ("Obtaining a
// File Name From a File Handle",
// learn.microsoft.com/windows/win32/memory/obtaining-a-file-name-from-a-file-handle,
// and FsRtlRegisterUncProviderEx,
// learn.microsoft.com/windows-hardware/drivers/ddi/ntifs/nf-ntifs-_fsrtl_advanced_fcb_header-fsrtlregisteruncproviderex).
// A device must be followed by a separator: \Device\HarddiskVolume1 does
// not begin \Device\HarddiskVolume10\x.dll. Where two drives stand for one
// device (a second letter for the same volume), either names the file.
// Wine 8 answers with the NT name of the drive path instead,
// \??\C:\windows\system32\kernel32.dll (seen with its GetMappedFileNameW
// on the calling process), which is the drive path behind "\??\".
std::wstring DrivePathOf(const std::wstring& devicePath, const std::vector<DriveDevice>& drives)
{
    static const std::wstring kDosDevices = L"\\??\\";
    if (StartsIgnoringAsciiCase(devicePath, kDosDevices)) {
        const std::wstring path = devicePath.substr(kDosDevices.size());
        if (StartsIgnoringAsciiCase(path, L"UNC\\"))
            return path.size() > 4 ? L"\\\\" + path.substr(4) : std::wstring();
        return path.size() > 3 && path[1] == L':' && path[2] == L'\\' ? path : std::wstring();
    }
    for (const DriveDevice& drive : drives) {
        const std::wstring device = ComparablePath(drive.device);
        if (!device.empty() && devicePath.size() > device.size() + 1 && devicePath[device.size()] == L'\\' &&
            StartsIgnoringAsciiCase(devicePath, device))
            return drive.drive + devicePath.substr(device.size());
    }
    static const std::wstring kShares = L"\\Device\\Mup\\";
    if (devicePath.size() > kShares.size() && StartsIgnoringAsciiCase(devicePath, kShares))
        return L"\\\\" + devicePath.substr(kShares.size());
    return std::wstring();
}

bool IsPlainFullPath(const std::wstring& path)
{
    const std::wstring plain = ComparablePath(path);
    if (plain.size() < 4)
        return false;
    const wchar_t letter = static_cast<wchar_t>(plain[0] | 0x20);
    const bool onDrive = letter >= L'a' && letter <= L'z' && plain[1] == L':' && plain[2] == L'\\';
    const bool onShare = plain[0] == L'\\' && plain[1] == L'\\' && plain[2] != L'\\' && plain[2] != L'?' &&
                         plain[2] != L'.';
    const std::wstring names = plain.substr(2) + L'\\';
    return (onDrive || onShare) && names.find(L"\\.\\") == std::wstring::npos &&
           names.find(L"\\..\\") == std::wstring::npos;
}

// A planted DLL is taken from the program's folder or the current folder
// by the loader's search ("Dynamic-link library search order",
// learn.microsoft.com/windows/win32/dlls/dynamic-link-library-search-order),
// so a module from there fails, and so does a planted copy wherever the
// kit put it. Anything else the system maps into the program is none of
// its doing: security products inject their DLLs, and text input loads
// the touch keyboard's tiptsf.dll from Common Files. Those are notes.
// A module the debugger could not name may be any of these: it fails, as
// nothing shows that it is not a planted copy.
//
// A WOW64 process loads the 64-bit ntdll.dll and wow64*.dll from System32
// beside its 32-bit modules from SysWOW64, and a 64-bit debugger sees both
// (Microsoft's "A look at the WoW64 layer in the debugger",
// blogs.msdn.microsoft.com/dougste/2007/01/02): so the system's folders are
// a list.
KitVerdict ModuleLoadVerdict(const std::vector<std::wstring>& loadedPaths, const ModulePlaces& places)
{
    if (loadedPaths.empty())
        return Failed(L"no module load was seen");
    if (!IsPlainFullPath(places.program))
        return Failed(L"the program's own place is unknown, and with it its folder: " + places.program);
    const auto inAny = [](const std::wstring& path, const std::vector<std::wstring>& list) {
        return std::any_of(list.begin(), list.end(), [&path](const std::wstring& place) {
            return SamePath(path, place) || IsInside(path, place);
        });
    };
    KitVerdict verdict = Passed();
    for (const std::wstring& path : loadedPaths) {
        std::wstring failure;
        if (!IsPlainFullPath(path))
            failure = L"a module whose place is unknown: " + path;
        else if (SamePath(path, places.program))
            continue;
        else if (inAny(path, places.planted))
            failure = L"a planted copy: " + path;
        else if (IsInside(path, FolderOf(places.program)))
            failure = L"a module from the program's folder: " + path;
        else if (IsInside(path, places.currentFolder))
            failure = L"a module from the current folder: " + path;
        else if (!inAny(path, places.systemFolders))
            AddOnce(verdict.notes, L"a module from outside the system's folders: " + path);
        if (!failure.empty() && verdict.passed)
            verdict.passed = false, verdict.reason = failure;
    }
    return verdict;
}

KitVerdict PlantedMarkersVerdict(const std::vector<std::wstring>& markersFound)
{
    if (markersFound.empty())
        return Passed();
    return Failed(L"a planted DLL was loaded and wrote " + markersFound.front());
}

// Who may own the copy: the wrapper sets no owner, so the copy gets the
// default owner of the token it runs with ("Owner of a New Object",
// learn.microsoft.com/windows/win32/secauthz/owner-of-a-new-object, and
// TOKEN_OWNER, .../api/winnt/ns-winnt-token_owner). For an elevated member
// of Administrators that is the Administrators group where UAC splits the
// token, and may be the user where it does not: the built-in
// Administrator, or UAC turned off. The owner may change the DACL whatever
// it says (the same page); such a user has no programs without
// Administrators to do so with.
//
// Who may open it: only what the DACL allows ("How DACLs Control Access to
// an Object", learn.microsoft.com/windows/win32/secauthz/how-dacls-control-access-to-an-object).
// The wrapper asks for SYSTEM and Administrators alone, and the user is
// not one of them even as the owner: where UAC splits the token, the
// user's programs that run without elevation hold the user's SID too, with
// Administrators only to deny ("How User Account Control works",
// learn.microsoft.com/windows/security/application-security/application-control/user-account-control/how-it-works),
// so an entry for the user would open the copy to them.
KitVerdict CopySecurityVerdict(const std::wstring& sddl, const std::wstring& user)
{
    Descriptor descriptor;
    if (!ReadDescriptor(sddl, descriptor))
        return Failed(L"cannot read the descriptor " + sddl);
    const auto isUser = [&user](const std::wstring& trustee) {
        return !user.empty() && EqualsIgnoringAsciiCase(trustee, user.c_str());
    };
    if (!IsSystemOrAdministrators(descriptor.owner) && !isUser(descriptor.owner))
        return Failed(L"owned by \"" + descriptor.owner + L"\", not by SYSTEM, Administrators or the user running it (" +
                      user + L"): " + sddl);
    if (!descriptor.hasDacl || descriptor.nullDacl)
        return Failed(L"no DACL, so everybody has full access: " + sddl);
    if (!descriptor.protectedDacl)
        return Failed(L"the DACL is not protected, so the folder's inheritable entries join it: " + sddl);
    for (const Ace& ace : descriptor.aces) {
        const std::wstring* field = ace.fields;
        if (field[0] != L"A" || !field[1].empty() || !field[3].empty() || !field[4].empty())
            return Failed(L"an entry that is not a plain allow entry: " + ace.text);
        if (isUser(field[5]))
            return Failed(L"an entry for the user running it, whose programs without elevation it would let in: " +
                          ace.text);
        if (!IsSystemOrAdministrators(field[5]))
            return Failed(L"an entry for somebody other than SYSTEM or Administrators: " + ace.text);
    }
    return Passed();
}

KitVerdict CopyFolderVerdict(const std::wstring& logged, const std::wstring& expected)
{
    if (logged.empty())
        return Failed(L"the log names no temporary folder");
    if (!SamePath(logged, expected))
        return Failed(L"the copies went to " + logged + L", not to " + expected);
    return Passed();
}

// The record LogRunStart writes: "Operating system NAME(VERSION); elevated:
// yes|no; temporary folder FOLDER". A log holds every run appended, so the
// last such record is the latest run's. The folder is taken as written: no
// Windows name holds a control character, "<" or ">"
// (learn.microsoft.com/windows/win32/fileio/naming-a-file), so of what a
// record escapes only NEL and the line and paragraph separators could be
// in it, and their escapes then compare unequal: a failure, never a pass.
std::wstring LogFolderLine(const std::wstring& logText)
{
    static const wchar_t kField[] = L"; temporary folder ";
    const size_t record = logText.rfind(L"<![LOG[Operating system ");
    if (record == std::wstring::npos)
        return std::wstring();
    const size_t end = logText.find(L"]LOG]!>", record);
    const size_t field = logText.find(kField, record);
    if (end == std::wstring::npos || field == std::wstring::npos || field > end)
        return std::wstring();
    const size_t start = field + std::char_traits<wchar_t>::length(kField);
    return logText.substr(start, end - start);
}

// Compared as the installer's codes are written, braces and all; only the
// case of the hexadecimal letters may differ.
namespace {

KitVerdict NoneStillApplied(const std::vector<std::wstring>& appliedAfter, const std::vector<std::wstring>& codes,
                            const wchar_t* after)
{
    if (codes.empty())
        return Failed(L"the run applied no patch whose removal could be checked");
    for (const std::wstring& code : codes) {
        for (const std::wstring& applied : appliedAfter) {
            if (EqualsIgnoringAsciiCase(applied, code.c_str()))
                return Failed(std::wstring(L"still applied after ") + after + L": " + code);
        }
    }
    return Passed();
}

}  // namespace

KitVerdict RollbackVerdict(const std::vector<std::wstring>& appliedAfter,
                           const std::vector<std::wstring>& patchCodesOfRun)
{
    return NoneStillApplied(appliedAfter, patchCodesOfRun, L"the rollback");
}

KitVerdict PutBackVerdict(const std::vector<std::wstring>& actions, const std::vector<std::wstring>& packages,
                          const std::wstring& deleted)
{
    if (actions.size() != 1 || packages.size() != 1)
        return Failed(L"the receipt names " + std::to_wstring(actions.size()) + L" copies put back or not, not one");
    if (!SamePath(packages[0], deleted))
        return Failed(L"the receipt names " + packages[0] + L", not the copy deleted, " + deleted);
    if (actions[0] != L"put-back")
        return Failed(L"the receipt says " + actions[0] + L", not put-back");
    return Passed();
}

KitVerdict UninstallVerdict(const std::vector<std::wstring>& appliedAfter, const std::vector<std::wstring>& patchCodes,
                            const std::wstring& versionAfter, const std::wstring& versionBefore,
                            const std::vector<std::wstring>& receiptVerdicts)
{
    const KitVerdict applied = NoneStillApplied(appliedAfter, patchCodes, L"/uninstall");
    if (!applied.passed)
        return applied;
    if (versionAfter != versionBefore)
        return Failed(L"the product stands at " + versionAfter + L", not back at " + versionBefore);
    if (receiptVerdicts.empty())
        return Failed(L"the receipt names no product");
    for (const std::wstring& verdict : receiptVerdicts) {
        if (verdict != L"removed")
            return Failed(L"the receipt says " + verdict + L", not removed");
    }
    return Passed();
}

namespace {

// A message as formatted may end with the line end its message table
// gives every text; a line feed may come back as CR LF.
std::wstring WithoutLineEnds(std::wstring text)
{
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    while (!text.empty() && text.back() == L'\n')
        text.pop_back();
    return text;
}

}  // namespace

KitVerdict EventVerdict(const std::vector<SeenEvent>& events, unsigned id, unsigned level, const std::string& receipt)
{
    if (events.size() != 1)
        return Failed(std::to_wstring(events.size()) + L" events of the run under its source, not one");
    const SeenEvent& event = events.front();
    if (event.id != id || event.level != level)
        return Failed(L"event " + std::to_wstring(event.id) + L" at level " + std::to_wstring(event.level) + L", not " +
                      std::to_wstring(id) + L" at level " + std::to_wstring(level));
    if (event.data.size() != 2)
        return Failed(std::to_wstring(event.data.size()) + L" strings, not two");
    if (event.formatError != 0)
        return Failed(L"its message cannot be made: error " + std::to_wstring(event.formatError));
    if (WithoutLineEnds(event.message) != WithoutLineEnds(event.data[0]))
        return Failed(L"its message is not its first string: " + event.message.substr(0, 300));
    if (receipt.empty())
        return Failed(L"the run wrote no receipt");
    if (Utf8FromText(event.data[1]) != CompactJson(receipt))
        return Failed(L"its second string is not the receipt the run wrote, compact: " + event.data[1].substr(0, 300));
    return Passed();
}
