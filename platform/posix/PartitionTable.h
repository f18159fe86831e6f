#pragma once
// The partition table of a disk, read by libblkid: MBR with extended and logical partitions, GPT,
// and the other kinds libblkid knows.

#include "platform/Device.h"

#include <cstdint>
#include <vector>

namespace platform {

struct Partition {
    int number;           // as Linux numbers it: sdb2 is 2 (MBR logical partitions from 5)
    std::uint64_t start;  // bytes from the start of the disk
    std::uint64_t length; // bytes
};

struct PartitionTable {
    std::vector<Partition> partitions; // in the table's order; empty when the disk has no table
    ErrorCode error = 0;               // a read of the disk that failed
};

// The partitions of disk, read as a disk of sectorSize-byte logical sectors. fd is the disk's own descriptor,
// a raw image file or a block device, that libblkid reads directly; -1 for a disk in a container, of which
// libblkid reads a copy in memory of what a table can use: the disk's first and last MiB, and the MiB at the
// start and after the end of each partition found, until no more partitions turn up (the links between
// logical partitions lie there wherever partitioning tools put them).
PartitionTable ReadPartitionTable(Device& disk, int fd, std::uint32_t sectorSize);

} // namespace platform
