#include "builder/wrapper_writer.h"

#include "builder/build_steps.h"
#include "builder/pe_checksum.h"
#include "builder/piece_hasher.h"
#include "shared/little_endian.h"

#include <algorithm>

namespace {

struct Output {
    FileHandle file;  // kNoFile: the bytes are only summed
    PieceHasher& hasher;
    PeChecksum checksum;
    FileProblem problem = kFileFine;
};

// Written and hashed, but not summed.
void Put(Output& out, const std::uint8_t* bytes, std::size_t size, Sha256* patch)
{
    if (out.problem != kFileFine)
        return;
    if (out.file != kNoFile)
        out.problem = WriteToFile(out.file, bytes, size);
    HandOver(out.hasher, bytes, size, patch);
}

void Write(Output& out, const std::uint8_t* bytes, std::size_t size, Sha256* patch)
{
    if (out.problem == kFileFine)
        AddToChecksum(out.checksum, bytes, size);
    Put(out, bytes, size, patch);
}

// `zeros` holds kPieceSize of them.
void WriteZeros(Output& out, std::uint64_t count, const std::uint8_t* zeros)
{
    // A failed write ends the padding at once, whatever is left of it.
    while (count > 0 && out.problem == kFileFine) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kPieceSize));
        Write(out, zeros, piece, nullptr);
        count -= piece;
    }
}

// Copies the whole patch, adding its bytes to `hash` when given; empty, or
// the refusal.
std::wstring CopyPatch(Output& out, const PatchCopy& patch, Sha256* hash)
{
    const std::wstring unreadable = UnreadablePatchRefusal(patch.file);
    FileStamp before;
    const FileHandle in = OpenPatchForReading(patch.file, before);
    if (in == kNoFile)
        return unreadable;
    std::uint64_t copied = 0;
    std::int64_t got = 0;
    while (out.problem == kFileFine && copied <= patch.stamp.size) {
        std::uint8_t* buffer = NextBuffer(out.hasher);
        if ((got = ReadFromFile(in, buffer, kPieceSize)) <= 0)
            break;
        Write(out, buffer, static_cast<std::size_t>(got), hash);
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

// The wrapper of `layout`, with `head` for its head, written to `out`;
// `sums` gets the checksum's sum so far after each patch. Empty, or the
// refusal.
std::wstring WriteAll(Output& out, const std::vector<std::uint8_t>& head, const WrapperLayout& layout,
                      const std::vector<PatchCopy>& patches, std::vector<Sha256>* patchHashes,
                      std::vector<std::uint32_t>& sums)
{
    const std::vector<std::uint8_t> zeros(kPieceSize);
    // Summed as the format sums it, with the checksum field zero as the
    // layout leaves it.
    AddToChecksum(out.checksum, layout.head.data(), layout.head.size());
    Put(out, head.data(), head.size(), nullptr);
    std::wstring refusal;
    std::uint64_t at = head.size();
    for (std::size_t i = 0; i < patches.size() && refusal.empty() && out.problem == kFileFine; ++i) {
        WriteZeros(out, layout.patchOffsets[i] - at, zeros.data());
        refusal = CopyPatch(out, patches[i], patchHashes != nullptr ? &(*patchHashes)[i] : nullptr);
        sums.push_back(FinishChecksum(out.checksum, 0));
        at = layout.patchOffsets[i] + patches[i].stamp.size;
    }
    if (refusal.empty())
        WriteZeros(out, layout.fileSize - at, zeros.data());
    EndHashing(out.hasher);
    return refusal;
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
                          const std::vector<PatchCopy>& patches, WrittenHashes* hashes)
{
    // The wrapper's hash begins with the checksum, which sums every byte:
    // it is summed first, reading the patches without writing, and put in
    // the head written. A patch that sums otherwise the second time, with
    // its stamp unchanged, is refused as changed.
    std::vector<std::uint8_t> head = layout.head;
    std::vector<std::uint32_t> expected, sums;
    std::wstring refusal;
    if (hashes != nullptr && hashes->wrapperWanted) {
        PieceHasher idle;
        Output summed{kNoFile, idle, PeChecksum()};
        refusal = WriteAll(summed, head, layout, patches, nullptr, expected);
        if (!refusal.empty())
            return refusal;
        Put32(head.data() + layout.checksumOffset, FinishChecksum(summed.checksum, layout.fileSize));
    }
    PieceHasher hasher;
    if (hashes != nullptr) {
        hashes->wrapper = Sha256();
        hashes->patches.assign(patches.size(), Sha256());
        StartHashing(hasher, hashes->wrapperWanted ? &hashes->wrapper : nullptr);
    }
    Output out{file, hasher, PeChecksum()};
    refusal = WriteAll(out, head, layout, patches, hashes != nullptr ? &hashes->patches : nullptr, sums);
    if (!expected.empty() && refusal.empty() && out.problem == kFileFine) {
        const auto differs = std::mismatch(expected.begin(), expected.end(), sums.begin()).first;
        if (differs != expected.end())
            refusal = ChangedPatchRefusal(patches[static_cast<std::size_t>(differs - expected.begin())].file);
    }
    std::uint8_t checksum[4];
    Put32(checksum, FinishChecksum(out.checksum, layout.fileSize));
    if (refusal.empty() && out.problem == kFileFine)
        out.problem = WriteToFileAt(out.file, layout.checksumOffset, checksum, sizeof checksum);
    if (refusal.empty() && out.problem != kFileFine)
        refusal = L"cannot write '" + name + L"': " + FileProblemText(out.problem);
    return refusal;
}
