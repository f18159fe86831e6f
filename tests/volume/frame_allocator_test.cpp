#include "volume/FrameAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace Krod {
namespace {

TEST(FrameAllocator, TakesItsFrameSizeOnce) {
    CFrameAllocator frames;
    EXPECT_EQ(frames.GetFrameSize(), 0u);
    EXPECT_THROW(frames.AllocateFrame(), std::logic_error);
    frames.SetFrameSize(1024);
    try {
        frames.SetFrameSize(2048);
        FAIL() << "frame size changed";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot change frame size after allocation took place");
    }
    EXPECT_EQ(frames.GetFrameSize(), 1024u);
}

TEST(FrameAllocator, HandsOutTheMostRecentlyFreedFrameFirst) {
    CFrameAllocator frames;
    frames.SetFrameSize(1024);
    std::uint8_t* a = frames.AllocateFrame();
    std::uint8_t* b = frames.AllocateFrame();
    EXPECT_NE(a, b);
    frames.FreeFrame(a);
    frames.FreeFrame(b);
    EXPECT_EQ(frames.AllocateFrame(), b);
    EXPECT_EQ(frames.AllocateFrame(), a);
}

// Frames of one block lie side by side, so a block of n frames spans (n - 1) frame sizes.
TEST(FrameAllocator, GrowsInDoublingBlocks) {
    constexpr std::uint32_t kSize = 1024;
    CFrameAllocator frames;
    frames.SetFrameSize(kSize);
    std::uint32_t blockFrames = CFrameAllocator::kFirstBlockFrames;
    for (int block = 0; block < 3; ++block, blockFrames *= 2) {
        std::vector<std::uint8_t*> taken;
        for (std::uint32_t i = 0; i < blockFrames; ++i)
            taken.push_back(frames.AllocateFrame());
        auto [low, high] = std::minmax_element(taken.begin(), taken.end());
        EXPECT_EQ(static_cast<std::size_t>(*high - *low), std::size_t{blockFrames - 1} * kSize)
            << "block " << block;
    }
}

} // namespace
} // namespace Krod
