#include "volume/RecordHeader.h"

namespace Krod {
namespace {

void WriteU16(std::uint8_t* bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

std::size_t FindUpdateSequenceFault(const std::uint8_t* block, std::size_t size) {
    if (!FitsIn(size, RecordField::kSequenceArrayCount, sizeof(std::uint16_t)))
        return kArrayDamaged;
    const std::size_t arrayOffset = read_le<std::uint16_t>(block, size, RecordField::kSequenceArrayOffset);
    const std::size_t count = read_le<std::uint16_t>(block, size, RecordField::kSequenceArrayCount);
    if (count <= 1)
        return kSequenceSound;
    const std::size_t stretches = count - 1;
    if (!FitsIn(size, arrayOffset, count * sizeof(std::uint16_t)) || stretches > size / kUpdateSequenceStride)
        return kArrayDamaged;
    // The checks above place the array and every stretch inside the block.
    const auto sequenceNumber = load_le<std::uint16_t>(block + arrayOffset);
    for (std::size_t i = 1; i <= stretches; ++i) {
        if (load_le<std::uint16_t>(block + i * kUpdateSequenceStride - 2) != sequenceNumber)
            return i;
    }
    return kSequenceSound;
}

// Every stretch is verified before any is changed, so a failed block keeps its on-disk bytes.
bool ApplyUpdateSequence(std::uint8_t* block, std::size_t size) {
    if (FindUpdateSequenceFault(block, size) != kSequenceSound)
        return false;
    const std::size_t count = read_le<std::uint16_t>(block, size, RecordField::kSequenceArrayCount);
    if (count <= 1)
        return true;
    const std::size_t arrayOffset = read_le<std::uint16_t>(block, size, RecordField::kSequenceArrayOffset);
    for (std::size_t i = 1; i < count; ++i)
        WriteU16(block, i * kUpdateSequenceStride - 2, load_le<std::uint16_t>(block + arrayOffset + 2 * i));
    return true;
}

} // namespace Krod
