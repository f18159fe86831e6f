// The empty volume: an image file of the recipe's size, formatted by mkntfs.
#pragma once

#include "recipe.h"

#include <cstdint>
#include <string>

namespace mkvol {

struct Geometry {
    uint32_t sector = 512;
    uint32_t cluster = 4096;
    uint64_t size = 0;
};

// The geometry command's values; throws std::runtime_error when command is not one or a value is
// not what mkntfs accepts (sector 256..4096 and cluster 256..65536, powers of two, cluster at least a
// sector; size a multiple of the sector size and at least 1 MiB).
Geometry GeometryOf(const Command& command);

// Creates (or truncates) the image as a sparse file of geometry.size bytes and formats it. The
// format is quick (no zeroing), at sector 0 (no partition offset), with the clock at the epoch
// (-T), so that it is the same on every run; mkntfs's chatter goes to IMAGE.mkntfs.log, which is
// removed when it succeeds. Throws std::runtime_error when mkntfs cannot be run or fails.
void FormatImage(const std::string& image, const Geometry& geometry);

} // namespace mkvol
