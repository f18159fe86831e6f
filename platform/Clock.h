#pragma once
// The run's stopwatch.

#include <cstdint>

namespace platform {

// Wall-clock milliseconds since the program started, from a clock that never runs backwards
// (not CPU time, and unaffected by changes of the system time).
std::uint64_t ElapsedMilliseconds();

} // namespace platform
