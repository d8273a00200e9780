#include "builder/build_files.h"

#include "builder/build_steps.h"
#include "shared/utf8_text.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string NameOf(const std::wstring& name)
{
    return Utf8FromWide(name);
}

FileProblem ProblemOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return kFileDenied;
    case ENOSPC:
    case EDQUOT:
        return kFileFull;
    case EFBIG:
        return kFileTooLarge;
    case EISDIR:
        return kFileFolder;
    case ELOOP:
        return kFileLink;
    default:
        return kFileOther;
    }
}

// What a failed call on `path` means: ENAMETOOLONG stands for a name
// longer than NAME_MAX and for a path longer than PATH_MAX alike.
FileProblem ProblemAt(const std::string& path, int error)
{
    if (error != ENAMETOOLONG)
        return ProblemOf(error);
    return HasOverlongName(path, "/") ? kFileNameTooLong : kFilePathTooLong;
}

FileStamp StampOf(const struct stat& status)
{
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.identity.volume = static_cast<std::uint64_t>(status.st_dev);
    stamp.identity.index = static_cast<std::uint64_t>(status.st_ino);
    stamp.identity.modified =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return stamp;
}

bool SameInode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Where a name puts its file: the nearest folder on its path that exists,
// by identity (so "./", "dir/.." and a linked folder all lead to it), and
// the rest of the path from there. A bare relative name is in the
// current folder.
struct NamePlace {
    struct stat folder;
    fs::path rest;
};

bool PlaceOf(const fs::path& path, NamePlace& place)
{
    fs::path folder = path.parent_path();
    fs::path rest = path.filename();
    while (stat(folder.empty() ? "." : folder.c_str(), &place.folder) != 0) {
        if (errno != ENOENT || !folder.has_relative_path())
            return false;
        rest = folder.filename() / rest;
        folder = folder.parent_path();
    }
    place.rest = rest.lexically_normal();
    return S_ISDIR(place.folder.st_mode);
}

// Whether `name` leads to `held`'s file: a name is removed only by the
// build that holds its file's lock, so once a build holds the lock the
// name leads to that file until the build renames or removes it; unless
// another build removed the file and made its own while this one took
// the lock.
bool NameLeadsTo(const std::string& name, int held)
{
    struct stat named, status;
    return lstat(name.c_str(), &named) == 0 && fstat(held, &status) == 0 && SameInode(named, status);
}

// What a killed build left at `name`, removed as the rule of build_files.h
// says; `held` keeps its lock until the new file is made and locked, so
// that no other build takes that one for another leftover in between.
FileProblem RemoveLeftover(const std::string& name, int& held)
{
    // Read-only and not blocking: nothing there is written, and a FIFO
    // is refused, not waited on.
    held = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (held < 0)
        return errno == ENOENT ? kFileFine : ProblemAt(name, errno);
    struct stat status;
    if (fstat(held, &status) != 0)
        return ProblemOf(errno);
    if (S_ISDIR(status.st_mode))
        return kFileFolder;
    if (!S_ISREG(status.st_mode))
        return kFileNotRegular;
    if (flock(held, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? kFileBusy : ProblemOf(errno);
    if (!NameLeadsTo(name, held))
        return kFileBusy;
    if (fstat(held, &status) == 0 && status.st_nlink > 1)
        return kFileSecondName;
    return unlink(name.c_str()) == 0 ? kFileFine : ProblemOf(errno);
}

// Whether the folder `held` holds nothing but `name`, a regular file with
// one name: read through the held folder, whatever its name leads to.
bool HoldsOnlySignedFile(int held, const std::string& name)
{
    const int listing = fcntl(held, F_DUPFD_CLOEXEC, 0);
    DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
    if (entries == nullptr) {
        if (listing >= 0)
            close(listing);
        return false;
    }
    bool others = false, signedFile = false;
    while (const struct dirent* entry = readdir(entries)) {
        const std::string entryName = entry->d_name;
        if (entryName == name)
            signedFile = true;
        else if (entryName != "." && entryName != "..")
            others = true;
    }
    closedir(entries);
    struct stat status;
    return !others && (!signedFile || (fstatat(held, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                                       S_ISREG(status.st_mode) && status.st_nlink == 1));
}

// What a killed build left at `folder` while it signed: removed only when
// it is a folder that holds nothing but `name`, a regular file with one
// name, looked at before anything is removed; anything else is refused
// and left as it was. Only the build that holds OUT.partial calls this.
FileProblem RemoveLeftSigningFolder(const std::string& folder, const std::string& name)
{
    const int left = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (left < 0) {
        switch (errno) {
        case ENOENT:
            return kFileFine;
        case ELOOP:
            return kFileLink;
        case ENOTDIR:
            return kFileNotFolder;
        default:
            return ProblemAt(folder, errno);
        }
    }
    if (!HoldsOnlySignedFile(left, name)) {
        close(left);
        return kFileFolder;
    }
    RemoveSigningFolder(left, WideFromUtf8(folder), WideFromUtf8(name));
    return kFileFine;
}

} // namespace

PatchFileFacts LookAtPatchFile(const std::wstring& file)
{
    PatchFileFacts facts;
    std::error_code error;
    const fs::path path = NameOf(file);
    const fs::file_status status = fs::status(path, error);
    facts.exists = fs::exists(status);
    facts.regular = fs::is_regular_file(status);
    if (!facts.regular)
        return facts;
    facts.size = fs::file_size(path, error);
    const fs::path full = fs::canonical(path, error);
    facts.fullPath = WideFromUtf8(error ? fs::absolute(path, error).string() : full.string());

    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FileStamp stamp;
    facts.readable = in >= 0 && StampOfOpenFile(in, stamp);
    facts.identity = stamp.identity;
    std::uint8_t head[sizeof kCompoundFileSignature] = {};
    facts.signature = facts.readable && read(in, head, sizeof head) == static_cast<ssize_t>(sizeof head) &&
                      std::equal(head, head + sizeof head, kCompoundFileSignature);
    if (in >= 0)
        close(in);
    return facts;
}

bool NamesOneFile(const std::wstring& a, const std::wstring& b)
{
    const std::string first = NameOf(a), second = NameOf(b);
    struct stat one, other;
    if (stat(first.c_str(), &one) == 0 && stat(second.c_str(), &other) == 0)
        return SameInode(one, other);
    NamePlace firstPlace, secondPlace;
    return PlaceOf(first, firstPlace) && PlaceOf(second, secondPlace) &&
           SameInode(firstPlace.folder, secondPlace.folder) && firstPlace.rest == secondPlace.rest;
}

std::wstring FileNameOf(const std::wstring& path)
{
    return path.substr(path.find_last_of(L'/') + 1);
}

FileHandle OpenPatchForReading(const std::wstring& file, FileStamp& stamp)
{
    const int in = open(NameOf(file).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return kNoFile;
    if (!StampOfOpenFile(in, stamp)) {
        close(in);
        return kNoFile;
    }
    return in;
}

bool StampOfOpenFile(FileHandle file, FileStamp& stamp)
{
    struct stat status;
    if (fstat(static_cast<int>(file), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    stamp = StampOf(status);
    return true;
}

std::int64_t ReadFromFile(FileHandle file, std::uint8_t* buffer, std::size_t size)
{
    ssize_t got;
    do {
        got = read(static_cast<int>(file), buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

std::int64_t ReadFromFileAt(FileHandle file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size)
{
    ssize_t got;
    do {
        got = pread(static_cast<int>(file), buffer, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

void CloseFile(FileHandle file)
{
    close(static_cast<int>(file));
}

bool IsFolder(const std::wstring& path)
{
    struct stat status;
    return stat(NameOf(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

FileProblem MakeFolderOf(const std::wstring& path, std::vector<std::wstring>& made)
{
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path folder = fs::path(NameOf(path)).parent_path(); !folder.empty() && !fs::exists(folder, error);
         folder = folder.parent_path())
        missing.push_back(folder);
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        if (mkdir(folder->c_str(), 0777) != 0) {
            if (errno == EEXIST && fs::is_directory(*folder, error))
                continue;  // made by another program just now
            return ProblemAt(folder->string(), errno);
        }
        made.push_back(WideFromUtf8(folder->string()));
    }
    return kFileFine;
}

void RemoveEmptyFolders(const std::vector<std::wstring>& made)
{
    // rmdir removes only an empty folder.
    for (auto folder = made.rbegin(); folder != made.rend() && rmdir(NameOf(*folder).c_str()) == 0; ++folder) {
    }
}

FileHandle CreateScratchFile(const std::wstring& path, FileProblem& problem)
{
    const std::string name = NameOf(path);
    int leftover = -1;
    problem = RemoveLeftover(name, leftover);
    int out = -1;
    if (problem == kFileFine) {
        ReachedBuildStep(kScratchNameCleared, path);
        // Locked at once: a build that finds it unlocked takes it for a
        // killed build's file; it checks the name after the lock, so it
        // refuses if this build removed it in between.
        out = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out < 0)
            problem = errno == EEXIST ? kFileBusy : ProblemOf(errno);
        else if (flock(out, LOCK_EX | LOCK_NB) != 0 || !NameLeadsTo(name, out))
            problem = kFileBusy;
    }
    if (leftover >= 0)
        close(leftover);
    if (problem == kFileFine)
        return out;
    if (out >= 0)
        close(out);
    return kNoFile;
}

FileProblem WriteToFile(FileHandle file, const std::uint8_t* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t wrote = write(static_cast<int>(file), bytes, size);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return wrote == 0 ? kFileFull : ProblemOf(errno);
        bytes += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return kFileFine;
}

FileProblem WriteToFileAt(FileHandle file, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size)
{
    const ssize_t wrote = pwrite(static_cast<int>(file), bytes, size, static_cast<off_t>(offset));
    return wrote == static_cast<ssize_t>(size) ? kFileFine : ProblemOf(errno);
}

FileProblem PutInPlace(FileHandle, const std::wstring& from, const std::wstring& to)
{
    // EISDIR when a folder stands at `to`.
    return rename(NameOf(from).c_str(), NameOf(to).c_str()) == 0 ? kFileFine : ProblemOf(errno);
}

void RemoveScratchFile(FileHandle file, const std::wstring& path)
{
    unlink(NameOf(path).c_str());
    close(static_cast<int>(file));
}

FileHandle MakeSigningFolder(const std::wstring& path, const std::wstring& name, FileProblem& problem)
{
    const std::string folder = NameOf(path);
    problem = RemoveLeftSigningFolder(folder, NameOf(name));
    if (problem != kFileFine)
        return kNoFile;
    if (mkdir(folder.c_str(), 0700) != 0) {
        problem = errno == EEXIST ? kFileFolder : ProblemOf(errno);
        return kNoFile;
    }
    // Held from here on: the name may be swapped for another folder or a
    // link, the signer writes into this one. A file system that keeps no
    // owner or mode of ours (vfat, a CIFS mount) cannot keep it private:
    // the folder made is removed again.
    const int held = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status;
    if (held < 0 || fstat(held, &status) != 0 || status.st_uid != geteuid() || (status.st_mode & 0777) != 0700) {
        problem = held < 0 ? ProblemOf(errno) : kFileNotPrivate;
        if (held >= 0)
            RemoveSigningFolder(held, path, name);
        return kNoFile;
    }
    problem = kFileFine;
    return held;
}

FileHandle OpenSignedFile(FileHandle folder, const std::wstring& name)
{
    const int in = openat(static_cast<int>(folder), NameOf(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    return in >= 0 ? in : kNoFile;
}

FileProblem PutSignedInPlace(FileHandle folder, const std::wstring& name, const std::wstring& to)
{
    return renameat(static_cast<int>(folder), NameOf(name).c_str(), AT_FDCWD, NameOf(to).c_str()) == 0
               ? kFileFine
               : ProblemOf(errno);
}

void RemoveSigningFolder(FileHandle folder, const std::wstring& path, const std::wstring& name)
{
    unlinkat(static_cast<int>(folder), NameOf(name).c_str(), 0);
    // By name, so only while the name still leads to the held folder.
    if (NameLeadsTo(NameOf(path), static_cast<int>(folder)))
        rmdir(NameOf(path).c_str());
    close(static_cast<int>(folder));
}
