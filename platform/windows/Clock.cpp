// The stopwatch on Windows: the C runtime's clock(), which counts wall-clock time since the
// process started (not processor time, as elsewhere).

#include "platform/Clock.h"

#include <ctime>

namespace platform {

std::uint64_t ElapsedMilliseconds() {
    const std::clock_t ticks = std::clock();
    if (ticks == static_cast<std::clock_t>(-1))
        return 0; // the runtime cannot tell
    return static_cast<std::uint64_t>(ticks) * 1000 / CLOCKS_PER_SEC;
}

} // namespace platform
