// The empty volume: an image file of a given size, formatted by mkntfs.
#pragma once

#include <cstdint>
#include <string>

namespace mkvol {

struct Geometry {
    uint32_t sector = 512;
    uint32_t cluster = 4096;
    uint64_t size = 0;
};

// What mkntfs would refuse in geometry, or "" when it takes it: sector 256..4096 and cluster up to
// 2 MiB, powers of two, cluster at least a sector; size a multiple of the sector size, at least 1 MiB.
std::string GeometryProblem(const Geometry& geometry);

// Creates (or truncates) the image as a sparse file of geometry.size bytes and formats it. The
// format is quick (no zeroing), at sector 0 (no partition offset), with the clock at the epoch
// (-T), so that it is the same on every run; mkntfs's chatter goes to IMAGE.mkntfs.log, which is
// removed when it succeeds. Throws std::runtime_error when the geometry has a problem or mkntfs
// cannot be run or fails.
void FormatImage(const std::string& image, const Geometry& geometry);

} // namespace mkvol
