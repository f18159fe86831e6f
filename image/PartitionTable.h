#pragma once
// The partition table of a disk, read by libblkid: MBR with extended and logical partitions, GPT,
// and the other kinds libblkid knows.

#include "platform/Device.h"

#include <cstdint>
#include <string>
#include <vector>

namespace image {

struct Partition {
    int number;           // as Linux numbers it: sdb2 is 2 (MBR logical partitions from 5)
    std::uint64_t start;  // bytes from the start of the disk
    std::uint64_t length; // bytes
};

struct PartitionTable {
    std::vector<Partition> partitions; // in the table's order; empty when the disk has no usable table
    platform::ErrorCode error = 0;     // a read of the disk that failed
    // A table that was found but cannot be used, and why ("neither GPT header can be used (...)");
    // empty when there is none.
    std::string unusable;
    // The entries of that GPT that start inside the disk, as far as one of its headers and their
    // entries can be read; a partition may run past the disk's end.
    std::vector<Partition> salvaged;
    // Said when the tables go on past what is copied of them (a chain of logical partitions longer
    // than the copy's budget): the partitions listed further on are missing. Empty otherwise.
    std::string note;
};

// The partitions of disk, read as a disk of sectorSize-byte logical sectors. libblkid reads a copy in
// memory of the sectors a table occupies, followed from the table itself: the disk's first 64 KiB
// (the MBR, the GPT header and the other kinds' labels), each extended boot record of the chain of
// logical partitions, each GPT header and its entries once they are found sound and inside the disk,
// and the first 16 KiB of each MBR partition of a kind that holds a label of its own (BSD, Solaris,
// UnixWare, Minix). A table claiming more than the disk holds is never read, and the copy takes at
// most 32 MiB, so no crafted count makes it large.
PartitionTable ReadPartitionTable(platform::Device& disk, std::uint32_t sectorSize);

} // namespace image
