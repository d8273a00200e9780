#pragma once

#include "builder/sha256.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// The hashes of what the writer writes, made on a second thread while the
// writer goes on, so that a build costs about the larger of the copy and
// the hash, not their sum. The writer reads a piece into a buffer of the
// ring, writes it and hands it over; the thread adds it to the wrapper's
// hash and to its patch's, and so frees the buffer. The writer waits only
// when the thread is a whole ring behind: memory stays kHashedPieces
// pieces. Where no thread can be started, each piece is hashed as it is
// handed over.

constexpr std::size_t kPieceSize = 1 << 20;
constexpr std::size_t kHashedPieces = 8;

struct HandedPiece {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    Sha256* patch = nullptr;  // that patch's hash, for bytes of a patch
};

struct PieceHasher {
    Sha256* wrapper = nullptr;  // the hash of every piece, when wanted
    std::unique_ptr<std::uint8_t[]> buffers[kHashedPieces];
    HandedPiece pieces[kHashedPieces];
    std::size_t handed = 0, hashed = 0;  // pieces so far
    bool ended = false;
    std::mutex lock;
    std::condition_variable changed;
    std::thread thread;  // none until StartHashing, or when it could not start one

    ~PieceHasher();
};

// The thread started, which adds every piece to `wrapper` when given.
void StartHashing(PieceHasher& hasher, Sha256* wrapper);

// The buffer of kPieceSize the next piece is to be read into, free.
std::uint8_t* NextBuffer(PieceHasher& hasher);

// `size` bytes to hash: the buffer NextBuffer gave, or bytes that stay as
// they are until EndHashing.
void HandOver(PieceHasher& hasher, const std::uint8_t* bytes, std::size_t size, Sha256* patch);

// Once every piece handed over is hashed, the thread ended.
void EndHashing(PieceHasher& hasher);
