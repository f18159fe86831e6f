#pragma once
// The walk over the attributes of a record in its buffer, shared by the attribute index of a record
// read and by the scan's reading of records where they lie.

#include "volume/AttributeHeader.h"
#include "volume/LittleEndian.h"
#include "volume/RecordHeader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace Krod {

// What WalkAttributes returns when it reached the end marker or visit ended it.
constexpr std::uint32_t kWalkComplete = 0xFFFFFFFF;

// Calls visit(type, offset, length) for the attributes of the record in record order while it
// returns true. The walk stops at the end marker, at a zero length, at the record's bytes in use,
// and at the first attribute that does not lie validly inside the record. Returns kWalkComplete,
// or, when damage ended the walk, the offset at which it stopped: an attribute that does not lie
// validly inside the record, or the end of the bytes in use without an end marker.
template <typename Visit>
std::uint32_t WalkAttributes(const std::uint8_t* record, std::uint32_t size, Visit visit) {
    const std::size_t limit =
        std::min<std::size_t>(size, read_le<std::uint32_t>(record, size, RecordField::kBytesInUse));
    std::size_t pos = read_le<std::uint16_t>(record, size, RecordField::kFirstAttribute);
    while (FitsIn(limit, pos, sizeof(std::uint32_t))) {
        const auto type = load_le<std::uint32_t>(record + pos + AttributeField::kType); // checked above
        if (type == kAttributeEndMarker)
            return kWalkComplete;
        const std::uint32_t length = ValidatedAttributeLength(record, limit, pos);
        if (length == 0)
            break;
        if (!visit(type, static_cast<std::uint32_t>(pos), length))
            return kWalkComplete;
        pos += length;
    }
    return static_cast<std::uint32_t>(pos); // no more than the record's size
}

} // namespace Krod
