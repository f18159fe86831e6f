#pragma once
// The fuzz input that stands for a whole volume: the stretches of the volume the code under test
// reads, as extents, so that a small input describes a volume of megabytes whose other bytes are
// zero. Mutating an extent's bytes damages the volume; mutating its header moves them.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vesk_fuzz {

// Volumes larger than this are cut here: a mutated offset must not cost gigabytes.
constexpr std::size_t kMaxVolumeBytes = 4u << 20;

// The volume data describes: extents one after another, each a u32 little-endian byte offset,
// a u16 little-endian length and that many bytes (fewer when the input ends first). A later
// extent overwrites an earlier one; bytes beyond kMaxVolumeBytes are dropped; a trailing header
// shorter than 6 bytes is ignored.
std::vector<std::uint8_t> VolumeFromInput(const std::uint8_t* data, std::size_t size);

// The input that describes the nonzero bytes of image within ranges (offset, size): the inverse
// of VolumeFromInput for those ranges, with every other byte read as zero.
std::vector<std::uint8_t> InputFromVolume(const std::vector<std::uint8_t>& image,
                                          const std::vector<std::pair<std::uint64_t, std::size_t>>& ranges);

} // namespace vesk_fuzz
