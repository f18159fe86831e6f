#pragma once
// What only Linux tells of an open file: a block device's sector size and length, and a second
// open file description of the same file.

#include <cstdint>
#include <optional>

namespace platform {

// The logical sector size of the block device open on fd; none for anything else.
std::optional<std::uint32_t> BlockDeviceSectorSize(int fd);

// The length in bytes of the block device open on fd; none for anything else.
std::optional<std::uint64_t> BlockDeviceSize(int fd);

// The same file opened again for reading, with a file position and a read-ahead window of its own;
// -1 when it cannot be opened again.
int OpenAgain(int fd);

} // namespace platform
