#include "builder/pe_checksum.h"

#include "shared/little_endian.h"

namespace {

// 2^16 is 1 modulo 0xFFFF, so the sum may be folded at any time.
std::uint64_t Folded(std::uint64_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

} // namespace

void AddToChecksum(PeChecksum& checksum, const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0)
        return;
    if (checksum.odd) {
        checksum.sum += checksum.low | (bytes[0] << 8);
        checksum.odd = false;
        ++bytes;
        --size;
    }
    // Whole 32-bit words: each is its two 16-bit halves modulo 0xFFFF. A
    // piece of a few megabytes cannot overflow the 64-bit sum.
    std::uint64_t sum = 0;
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4)
        sum += Get32(bytes + i);
    if (i + 2 <= size) {
        sum += Get16(bytes + i);
        i += 2;
    }
    checksum.sum = Folded(checksum.sum + Folded(sum));
    if (i < size) {
        checksum.odd = true;
        checksum.low = bytes[i];
    }
}

std::uint32_t FinishChecksum(const PeChecksum& checksum, std::uint64_t fileSize)
{
    const std::uint64_t sum = Folded(checksum.sum + (checksum.odd ? checksum.low : 0));
    return static_cast<std::uint32_t>(sum + fileSize);
}
