#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockTest, NeverRunsBackwards) {
    std::uint64_t last = platform::ElapsedMilliseconds();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t now = platform::ElapsedMilliseconds();
        EXPECT_GE(now, last);
        last = now;
    }
}

} // namespace
