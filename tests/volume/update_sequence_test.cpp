#include "volume/UpdateSequence.h"

#include <gtest/gtest.h>

#include <vector>

namespace Krod {
namespace {

using Block = std::vector<std::uint8_t>;

void PutU16(Block& block, std::size_t offset, std::uint16_t value) {
    block[offset] = static_cast<std::uint8_t>(value);
    block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t GetU16(const Block& block, std::size_t offset) {
    return static_cast<std::uint16_t>(block[offset] | block[offset + 1] << 8);
}

// A block whose stretch i ends with the sequence number 0x0707 and whose array saves 0x1100 + i.
Block Protected(std::size_t size, std::uint16_t arrayOffset, std::uint16_t count) {
    Block block(size, 0x33);
    PutU16(block, 0x04, arrayOffset);
    PutU16(block, 0x06, count);
    PutU16(block, arrayOffset, 0x0707);
    for (std::size_t i = 1; i < count; ++i) {
        PutU16(block, arrayOffset + 2 * i, static_cast<std::uint16_t>(0x1100 + i));
        PutU16(block, i * 512 - 2, 0x0707);
    }
    return block;
}

TEST(UpdateSequence, RestoresTheLastWordOfEvery512ByteStretch) {
    struct Case {
        std::size_t size;
        std::uint16_t count;
    };
    // A 4096-byte block has nine entries whatever the sector size: 512-byte stretches.
    for (const Case& c : {Case{1024, 3}, Case{4096, 9}, Case{4096, 3}}) {
        Block block = Protected(c.size, 0x30, c.count);
        ASSERT_TRUE(ApplyUpdateSequence(block.data(), block.size())) << c.size << "/" << c.count;
        for (std::size_t i = 1; i < c.count; ++i)
            EXPECT_EQ(GetU16(block, i * 512 - 2), 0x1100 + i);
    }
}

TEST(UpdateSequence, NeedsNoFixupWithoutStretches) {
    for (std::uint16_t count : {0, 1}) {
        Block block = Protected(1024, 0x30, count);
        const Block before = block;
        EXPECT_TRUE(ApplyUpdateSequence(block.data(), block.size()));
        EXPECT_EQ(block, before);
    }
}

// Every failure leaves the block exactly as it was read, whichever stretch failed.
TEST(UpdateSequence, RefusesDamagedOrMisplacedSequencesWithoutTouchingTheBlock) {
    struct Case {
        const char* what;
        Block block;
    };
    Block firstStretch = Protected(1024, 0x30, 3);
    PutU16(firstStretch, 510, 0x0708);
    Block secondStretch = Protected(1024, 0x30, 3);
    PutU16(secondStretch, 1022, 0x0708);
    Block lastOfNine = Protected(4096, 0x30, 9);
    PutU16(lastOfNine, 4094, 0);
    Block arrayPastEnd = Protected(1024, 0x30, 3);
    PutU16(arrayPastEnd, 0x04, 1020);
    Block stretchesPastEnd = Protected(1024, 0x30, 3);
    PutU16(stretchesPastEnd, 0x06, 4);
    const Case cases[] = {
        {"first stretch", firstStretch},
        {"second stretch", secondStretch},
        {"ninth stretch", lastOfNine},
        {"array past the end", arrayPastEnd},
        {"stretches past the end", stretchesPastEnd},
        {"header cut short", Block(6, 0)},
    };
    for (const Case& c : cases) {
        Block block = c.block;
        EXPECT_FALSE(ApplyUpdateSequence(block.data(), block.size())) << c.what;
        EXPECT_EQ(block, c.block) << c.what;
    }
}

} // namespace
} // namespace Krod
