#include "builder/build_files.h"

#include "shared/utf8_text.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
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
    case EISDIR:
        return kFileFolder;
    case ELOOP:
        return kFileLink;
    default:
        return kFileOther;
    }
}

FileStamp StampOf(const struct stat& status)
{
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modified = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return stamp;
}

} // namespace

PatchFileFacts LookAtPatchFile(const std::wstring& file, const std::wstring& output)
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
    facts.isOutput = fs::equivalent(path, fs::path(NameOf(output)), error);
    const fs::path full = fs::canonical(path, error);
    facts.fullPath = WideFromUtf8(error ? fs::absolute(path, error).string() : full.string());

    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    facts.readable = in >= 0;
    std::uint8_t head[sizeof kCompoundFileSignature] = {};
    facts.signature = facts.readable && read(in, head, sizeof head) == static_cast<ssize_t>(sizeof head) &&
                      std::equal(head, head + sizeof head, kCompoundFileSignature);
    if (in >= 0)
        close(in);
    return facts;
}

const std::uint8_t* MapOpenFile(FileHandle file, std::uint64_t size)
{
    void* view = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, static_cast<int>(file), 0);
    return view == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(view);
}

void UnmapPatchFile(const std::uint8_t* bytes, std::uint64_t size)
{
    munmap(const_cast<std::uint8_t*>(bytes), static_cast<std::size_t>(size));
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

void CloseFile(FileHandle file)
{
    close(static_cast<int>(file));
}

bool IsFolder(const std::wstring& path)
{
    struct stat status;
    return stat(NameOf(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

FileProblem MakeFolderOf(const std::wstring& path)
{
    const fs::path folder = fs::path(NameOf(path)).parent_path();
    std::error_code error;
    if (folder.empty() || fs::is_directory(folder, error))
        return kFileFine;
    fs::create_directories(folder, error);
    return error ? ProblemOf(error.value()) : kFileFine;
}

FileHandle CreatePartialFile(const std::wstring& path, FileProblem& problem)
{
    // Not blocking: a FIFO at the name is refused, not waited on.
    const int out = open(NameOf(path).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (out < 0) {
        problem = ProblemOf(errno);
        return kNoFile;
    }
    // A build that was killed leaves its file unlocked; a build that runs
    // holds the lock until it has renamed the file.
    struct stat status;
    if (flock(out, LOCK_EX | LOCK_NB) != 0 || fstat(out, &status) != 0 || !S_ISREG(status.st_mode) ||
        ftruncate(out, 0) != 0) {
        problem = errno == EWOULDBLOCK ? kFileBusy : ProblemOf(errno);
        close(out);
        return kNoFile;
    }
    problem = kFileFine;
    return out;
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

FileProblem FinishFile(FileHandle file)
{
    // Not synced: a build is as safe as the copy it stands for, and a file
    // renamed over another is flushed first by the common Linux file
    // systems (ext4's auto_da_alloc, XFS, btrfs).
    return close(static_cast<int>(file)) == 0 ? kFileFine : ProblemOf(errno);
}

FileProblem MoveOver(const std::wstring& from, const std::wstring& to)
{
    if (IsFolder(to))
        return kFileFolder;
    return rename(NameOf(from).c_str(), NameOf(to).c_str()) == 0 ? kFileFine : ProblemOf(errno);
}

void RemoveFile(const std::wstring& path)
{
    unlink(NameOf(path).c_str());
}
