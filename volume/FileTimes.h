#pragma once
// The four time stamps NTFS keeps for a file, in $STANDARD_INFORMATION and again in each
// FILE_NAME: 100-nanosecond ticks since 1601-01-01 00:00:00 UTC, as the volume stores them.

#include <cstdint>

namespace Krod {

struct FileTimes {
    std::uint64_t created = 0;
    std::uint64_t modified = 0;      // the data
    std::uint64_t recordChanged = 0; // the MFT record
    std::uint64_t accessed = 0;
};

} // namespace Krod
