#include "builder/piece_hasher.h"

#include <functional>
#include <system_error>

namespace {

void Hash(Sha256* wrapper, const HandedPiece& piece)
{
    if (wrapper != nullptr && piece.patch != nullptr)
        AddToSha256Pair(*wrapper, *piece.patch, piece.bytes, piece.size);
    else if (wrapper != nullptr)
        AddToSha256(*wrapper, piece.bytes, piece.size);
    else if (piece.patch != nullptr)
        AddToSha256(*piece.patch, piece.bytes, piece.size);
}

void HashPieces(PieceHasher& hasher)
{
    std::unique_lock<std::mutex> lock(hasher.lock);
    for (;;) {
        hasher.changed.wait(lock, [&] { return hasher.hashed < hasher.handed || hasher.ended; });
        if (hasher.hashed == hasher.handed)
            return;
        const HandedPiece piece = hasher.pieces[hasher.hashed % kHashedPieces];
        lock.unlock();
        Hash(hasher.wrapper, piece);
        lock.lock();
        ++hasher.hashed;
        hasher.changed.notify_all();
    }
}

// Waits until the thread has hashed the piece that used the next slot.
void WaitForSlot(PieceHasher& hasher, std::unique_lock<std::mutex>& lock)
{
    hasher.changed.wait(lock, [&] { return hasher.handed - hasher.hashed < kHashedPieces; });
}

} // namespace

PieceHasher::~PieceHasher()
{
    EndHashing(*this);
}

void StartHashing(PieceHasher& hasher, Sha256* wrapper)
{
    hasher.wrapper = wrapper;
    try {
        hasher.thread = std::thread(HashPieces, std::ref(hasher));
    } catch (const std::system_error&) {
    }
}

std::uint8_t* NextBuffer(PieceHasher& hasher)
{
    std::unique_lock<std::mutex> lock(hasher.lock);
    WaitForSlot(hasher, lock);
    std::unique_ptr<std::uint8_t[]>& buffer = hasher.buffers[hasher.handed % kHashedPieces];
    if (!buffer)
        buffer.reset(new std::uint8_t[kPieceSize]);
    return buffer.get();
}

void HandOver(PieceHasher& hasher, const std::uint8_t* bytes, std::size_t size, Sha256* patch)
{
    if (!hasher.thread.joinable()) {
        Hash(hasher.wrapper, {bytes, size, patch});
        return;
    }
    std::unique_lock<std::mutex> lock(hasher.lock);
    WaitForSlot(hasher, lock);
    hasher.pieces[hasher.handed % kHashedPieces] = {bytes, size, patch};
    ++hasher.handed;
    hasher.changed.notify_all();
}

void EndHashing(PieceHasher& hasher)
{
    if (!hasher.thread.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(hasher.lock);
        hasher.ended = true;
    }
    hasher.changed.notify_all();
    hasher.thread.join();
}
