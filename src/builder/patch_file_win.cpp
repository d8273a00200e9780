#include "builder/patch_file_win.h"

#include <algorithm>
#include <cstdint>

namespace {

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

FileIdentity IdentityOf(HANDLE file)
{
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information)) {
        identity.known = true;
        identity.volume = information.dwVolumeSerialNumber;
        identity.indexHigh = information.nFileIndexHigh;
        identity.indexLow = information.nFileIndexLow;
    }
    return identity;
}

} // namespace

std::wstring FullPathOf(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return std::wstring();
    full.resize(length);
    return full;
}

FileIdentity IdentifyFile(const std::wstring& path)
{
    // No access asked: this works on a file that others hold open.
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FileIdentity();
    const FileIdentity identity = IdentityOf(file);
    CloseHandle(file);
    return identity;
}

PatchFileFacts OpenPatchFile(const std::wstring& file, const FileIdentity& output, MappedFile& mapped)
{
    PatchFileFacts facts;
    facts.fullPath = FullPathOf(file);
    WIN32_FILE_ATTRIBUTE_DATA data;
    facts.exists = GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) != FALSE;
    facts.regular = facts.exists && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!facts.regular)
        return facts;
    facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return facts;
    // A device name such as NUL opens too.
    facts.regular = GetFileType(handle) == FILE_TYPE_DISK;
    facts.isOutput = SameFile(IdentityOf(handle), output);
    HANDLE mapping = nullptr;
    const void* view = nullptr;
    if (facts.regular && facts.size > 0 && facts.size <= SIZE_MAX)
        mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping != nullptr)
        view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) {
        if (mapping != nullptr)
            CloseHandle(mapping);
        CloseHandle(handle);
        return facts;
    }
    facts.readable = true;
    mapped.bytes = static_cast<const std::uint8_t*>(view);
    mapped.size = facts.size;
    facts.signature = facts.size >= sizeof kCompoundFileSignature &&
                      std::equal(kCompoundFileSignature, kCompoundFileSignature + sizeof kCompoundFileSignature,
                                 mapped.bytes);
    return facts;
}
