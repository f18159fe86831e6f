// The update sequence of a multi-sector structure (FILE record, INDX block): on disk the last two
// bytes of every 512-byte stretch hold the sequence number, and the array at the header's offset
// keeps their true contents. The stride is 512 whatever the sector size: that is what the
// formatter and the driver write, on 4096-byte-sector volumes too (an array of 9 entries for a
// 4096-byte record).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mkvol {

constexpr size_t kFixupStride = 512;

struct UpdateSequence {
    uint16_t offset = 0; // header offset 0x04: where the array starts
    uint16_t count = 0;  // header offset 0x06: sequence number plus one saved word per stretch
};

// The array's place, from the header; throws std::runtime_error when the array or the stretches
// it covers lie outside the buffer.
UpdateSequence ReadUpdateSequence(const std::vector<uint8_t>& record);

// Disk form to logical form. Returns false, leaving the buffer unchanged, when a stretch does not
// end with the sequence number.
bool UndoFixups(std::vector<uint8_t>& record, const UpdateSequence& sequence);

// Logical form to disk form with the sequence number now in the array: every stretch end is saved
// into the array and replaced by the sequence number.
void RedoFixups(std::vector<uint8_t>& record, const UpdateSequence& sequence);

} // namespace mkvol
