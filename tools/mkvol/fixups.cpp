#include "fixups.h"

#include "le.h"

#include <stdexcept>

namespace mkvol {

namespace {

constexpr size_t kSequenceOffsetField = 0x04;
constexpr size_t kSequenceCountField = 0x06;

size_t StretchEnd(size_t index) {
    return index * kFixupStride - 2;
}

} // namespace

UpdateSequence ReadUpdateSequence(const std::vector<uint8_t>& record) {
    UpdateSequence sequence;
    sequence.offset = ReadLe<uint16_t>(record, kSequenceOffsetField);
    sequence.count = ReadLe<uint16_t>(record, kSequenceCountField);
    const size_t arrayBytes = size_t{sequence.count} * 2;
    if (sequence.offset > record.size() || arrayBytes > record.size() - sequence.offset)
        throw std::runtime_error("update sequence array lies outside the record");
    if (sequence.count > 0 && size_t{sequence.count} - 1 > record.size() / kFixupStride)
        throw std::runtime_error("update sequence covers more stretches than the record has");
    return sequence;
}

bool UndoFixups(std::vector<uint8_t>& record, const UpdateSequence& sequence) {
    if (sequence.count < 2)
        return true;
    const auto usn = ReadLe<uint16_t>(record, sequence.offset);
    for (size_t i = 1; i < sequence.count; ++i)
        if (ReadLe<uint16_t>(record, StretchEnd(i)) != usn)
            return false;
    for (size_t i = 1; i < sequence.count; ++i)
        WriteLe(record, StretchEnd(i), ReadLe<uint16_t>(record, sequence.offset + 2 * i));
    return true;
}

void RedoFixups(std::vector<uint8_t>& record, const UpdateSequence& sequence) {
    if (sequence.count < 2)
        return;
    const auto usn = ReadLe<uint16_t>(record, sequence.offset);
    for (size_t i = 1; i < sequence.count; ++i) {
        WriteLe(record, sequence.offset + 2 * i, ReadLe<uint16_t>(record, StretchEnd(i)));
        WriteLe(record, StretchEnd(i), usn);
    }
}

} // namespace mkvol
