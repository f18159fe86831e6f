#pragma once
// The update sequence that protects multi-sector structures (FILE records, INDX blocks): the last
// two bytes of every 512-byte stretch hold the sequence number on disk, and the array after the
// number holds their true contents.

#include <cstddef>
#include <cstdint>

namespace Krod {

// NTFS protects its structures in stretches of this many bytes, whatever the sector size.
constexpr std::size_t kUpdateSequenceStride = 512;

// Where the update sequence of a block fails: kArrayDamaged when its array does not fit the block
// or its stretches reach past it, else the first stretch (counted from 1) that does not end with the
// sequence number, a torn or damaged write; kSequenceSound when every stretch does.
constexpr std::size_t kSequenceSound = 0;
constexpr std::size_t kArrayDamaged = static_cast<std::size_t>(-1);
std::size_t FindUpdateSequenceFault(const std::uint8_t* block, std::size_t size);

// Checks and undoes the update sequence of a block of size bytes whose header holds the array
// offset (u16 at 0x04) and count (u16 at 0x06, the sequence number included). A count of 0 or 1
// needs no fixup. Returns true when the block is fixed up. Returns false, leaving the block
// untouched, when the header or array does not fit the block, the stretches reach past it, or
// a stretch does not end with the sequence number (a torn or damaged write).
bool ApplyUpdateSequence(std::uint8_t* block, std::size_t size);

} // namespace Krod
