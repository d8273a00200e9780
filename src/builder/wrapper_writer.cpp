#include "builder/wrapper_writer.h"

#include "builder/build_steps.h"
#include "builder/pe_checksum.h"
#include "shared/little_endian.h"

#include <algorithm>
#include <memory>

namespace {

constexpr std::size_t kPieceSize = 1 << 20;

struct Output {
    FileHandle file;
    PeChecksum checksum;
    FileProblem problem = kFileFine;
};

void Write(Output& out, const std::uint8_t* bytes, std::size_t size)
{
    if (out.problem != kFileFine)
        return;
    AddToChecksum(out.checksum, bytes, size);
    out.problem = WriteToFile(out.file, bytes, size);
}

void WriteZeros(Output& out, std::uint64_t count, std::uint8_t* buffer)
{
    std::fill(buffer, buffer + std::min<std::uint64_t>(count, kPieceSize), 0);
    // A failed write ends the padding at once, whatever is left of it.
    while (count > 0 && out.problem == kFileFine) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kPieceSize));
        Write(out, buffer, piece);
        count -= piece;
    }
}

// Copies the whole patch, adding its bytes to `hash` when given; empty, or
// the refusal.
std::wstring CopyPatch(Output& out, const PatchCopy& patch, std::uint8_t* buffer, Sha256* hash)
{
    const std::wstring unreadable = UnreadablePatchRefusal(patch.file);
    FileStamp before;
    const FileHandle in = OpenPatchForReading(patch.file, before);
    if (in == kNoFile)
        return unreadable;
    std::uint64_t copied = 0;
    std::int64_t got = 0;
    while (out.problem == kFileFine && copied <= patch.stamp.size &&
           (got = ReadFromFile(in, buffer, kPieceSize)) > 0) {
        Write(out, buffer, static_cast<std::size_t>(got));
        if (hash != nullptr)
            AddToSha256(*hash, buffer, static_cast<std::size_t>(got));
        copied += static_cast<std::uint64_t>(got);
        ReachedBuildStep(kPatchPieceCopied, patch.file);
    }
    FileStamp after;
    const bool stamped = StampOfOpenFile(in, after);
    CloseFile(in);
    if (got < 0 || !stamped)
        return unreadable;
    if (out.problem != kFileFine)
        return std::wstring();
    if (copied != patch.stamp.size || !SameStamp(before, patch.stamp) || !SameStamp(after, patch.stamp))
        return ChangedPatchRefusal(patch.file);
    return std::wstring();
}

} // namespace

std::wstring FileProblemText(FileProblem problem)
{
    switch (problem) {
    case kFileFine:
        break;
    case kFileDenied:
        return L"permission denied";
    case kFileFull:
        return L"the disk is full";
    case kFileTooLarge:
        return L"it would be larger than the system lets a file be";
    case kFileFolder:
        return L"it is a folder";
    case kFileBusy:
        return L"another build is writing it";
    case kFileInUse:
        return L"another program has it open";
    case kFileLink:
        return L"it is a link";
    case kFileSecondName:
        return L"it has a second name (a hard link)";
    case kFileNotRegular:
        return L"it is not a regular file";
    case kFileNotFolder:
        return L"a file stands where the build makes a folder";
    case kFileNotPrivate:
        return L"its file system cannot keep it for this user alone";
    case kFileNoDrive:
        return L"its drive does not exist";
    case kFileNameTooLong:
        return L"a name in it is too long";
    case kFilePathTooLong:
        return L"the path is too long";
    case kFileOther:
        return L"the system refused";
    }
    return std::wstring();
}

std::wstring WriteWrapper(FileHandle file, const std::wstring& name, const WrapperLayout& layout,
                          const std::vector<PatchCopy>& patches, std::vector<Sha256>* patchHashes)
{
    if (patchHashes != nullptr)
        patchHashes->assign(patches.size(), Sha256());
    Output out{file, PeChecksum()};
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kPieceSize]);
    Write(out, layout.head.data(), layout.head.size());
    std::wstring refusal;
    std::uint64_t at = layout.head.size();
    for (std::size_t i = 0; i < patches.size() && refusal.empty() && out.problem == kFileFine; ++i) {
        WriteZeros(out, layout.patchOffsets[i] - at, buffer.get());
        refusal = CopyPatch(out, patches[i], buffer.get(), patchHashes != nullptr ? &(*patchHashes)[i] : nullptr);
        at = layout.patchOffsets[i] + patches[i].stamp.size;
    }
    if (refusal.empty())
        WriteZeros(out, layout.fileSize - at, buffer.get());
    std::uint8_t checksum[4];
    Put32(checksum, FinishChecksum(out.checksum, layout.fileSize));
    if (refusal.empty() && out.problem == kFileFine)
        out.problem = WriteToFileAt(out.file, layout.checksumOffset, checksum, sizeof checksum);
    if (refusal.empty() && out.problem != kFileFine)
        refusal = L"cannot write '" + name + L"': " + FileProblemText(out.problem);
    return refusal;
}
