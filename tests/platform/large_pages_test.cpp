// Buffers of every size, below, at and above a large page, hold what is written to every byte of them.

#include "platform/LargePages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(LargePageMemory, HoldsEveryByteOfEverySize) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    for (const std::size_t size : {std::size_t{2}, std::size_t{4096}, 2 * kMiB - 1, 2 * kMiB, 5 * kMiB + 3}) {
        std::vector<std::uint8_t, platform::LargePageAllocator<std::uint8_t>> buffer(size, 0xA5);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % 16, 0u) << size;
        buffer.back() = 0x5A;
        buffer.resize(size + kMiB, 0x11); // moves to memory of another size
        EXPECT_EQ(buffer[size - 1], 0x5A) << size;
        EXPECT_EQ(buffer.front(), 0xA5) << size;
        EXPECT_EQ(buffer.back(), 0x11) << size;
    }
}

} // namespace
