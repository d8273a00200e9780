#include "messages/catalogue.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Blocks on the heap at exactly their size, so that a read past either end
// is caught by the address sanitizer rather than landing in spare capacity.
std::unique_ptr<std::uint16_t[]> ExactBlock(std::initializer_list<std::uint16_t> units)
{
    std::unique_ptr<std::uint16_t[]> block(new std::uint16_t[units.size()]);
    std::copy(units.begin(), units.end(), block.get());
    return block;
}

TEST(StringFromBlock, ReadsTheStringAtItsPosition)
{
    const auto block = ExactBlock({0, 2, L'h', L'i', 1, L'x'});
    EXPECT_EQ(StringFromBlock(block.get(), 6, 0), L"");
    EXPECT_EQ(StringFromBlock(block.get(), 6, 1), L"hi");
    EXPECT_EQ(StringFromBlock(block.get(), 6, 2), L"x");
}

TEST(StringFromBlock, ALengthRunningPastTheBlockGivesNothing)
{
    // Exactly to the block's end is read; one unit more is not.
    const auto exact = ExactBlock({3, L'a', L'b', L'c'});
    EXPECT_EQ(StringFromBlock(exact.get(), 4, 0), L"abc");
    const auto oneMore = ExactBlock({4, L'a', L'b', L'c'});
    EXPECT_EQ(StringFromBlock(oneMore.get(), 4, 0), L"");
    const auto block = ExactBlock({1, L'a', 5, L'b', L'c'});
    EXPECT_EQ(StringFromBlock(block.get(), 5, 1), L"");
    const auto lengthOnly = ExactBlock({0xFFFF});
    EXPECT_EQ(StringFromBlock(lengthOnly.get(), 1, 0), L"");
}

TEST(StringFromBlock, APositionPastTheEndGivesNothing)
{
    const auto block = ExactBlock({1, L'a', 1, L'b'});
    EXPECT_EQ(StringFromBlock(block.get(), 4, 2), L"");
    EXPECT_EQ(StringFromBlock(block.get(), 4, 15), L"");
    const auto skipsPastTheEnd = ExactBlock({9, L'a'});
    EXPECT_EQ(StringFromBlock(skipsPastTheEnd.get(), 2, 1), L"");
}

} // namespace
