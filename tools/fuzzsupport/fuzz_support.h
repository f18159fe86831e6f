#pragma once
// What the fuzz targets and their seed maker share (the library vesk_fuzz_support): the input that
// stands for a whole volume, the index fuzzer's walk over one, the search fuzzer's run of the
// program, and Try.

#include "app/LongOptions.h"
#include "platform/Device.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

namespace vesk_fuzz {

// Runs step, swallowing the std::exception the volume library documents for damaged data.
template <typename Step> void Try(Step step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// A whole volume as an input: the stretches of it the code under test reads, as extents, so that
// a small input describes a volume of megabytes whose other bytes are zero. Mutating an extent's
// bytes damages the volume; mutating its header moves them. Volumes are cut at kMaxVolumeBytes: a
// mutated offset must not cost gigabytes.
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

// Records the index walk visits at most: a mutated MFT may claim millions.
constexpr unsigned kMaxWalkedRecords = 256;

// The index fuzzer's walk: opens the MFT of device and, for each valid record among the first
// kMaxWalkedRecords, reads every INDEX_ROOT's entries and, when the root has sub-nodes, every in-use
// INDEX_ALLOCATION block of the same name through its $BITMAP; reads every junction target; then
// loads the junction table and looks up each junction's source and target. Each step that throws
// is left and the walk goes on with the next.
void WalkIndexes(std::unique_ptr<platform::Device> device);

// The search fuzzer's run: the search for "*" on device with the options flags selects, one bit
// each: -nall, -fsystem, -funused, -deferred, -ssize -salloc, -nocache, -sP, -JP; with rows, each
// hit is written as rows of that format instead of lines. Result lines and messages are discarded
// (the console streams are silenced for good on the first call). Reports nothing: the search
// itself reports and swallows what it meets.
void RunSearchCase(std::uint8_t flags, std::unique_ptr<platform::Device> device,
                   RowFormat rows = RowFormat::Lines);

} // namespace vesk_fuzz
