// The stopwatch on POSIX: CLOCK_MONOTONIC, counted from the program's static initialisation.

#include "platform/Clock.h"

#include <time.h>

namespace platform {
namespace {

std::uint64_t MonotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

const std::uint64_t programStart = MonotonicMilliseconds();

} // namespace

std::uint64_t ElapsedMilliseconds() {
    return MonotonicMilliseconds() - programStart;
}

} // namespace platform
