#pragma once
// The common header of an attribute inside an MFT record, and its validation.

#include "volume/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace Krod {

// Attribute types the library and its users look up.
constexpr std::uint32_t kAttributeList = 0x20;
constexpr std::uint32_t kAttributeFileName = 0x30;
constexpr std::uint32_t kAttributeData = 0x80;
constexpr std::uint32_t kAttributeIndexRoot = 0x90;
constexpr std::uint32_t kAttributeIndexAllocation = 0xA0;
constexpr std::uint32_t kAttributeReparsePoint = 0xC0;
// Type value that ends the attribute list of a record.
constexpr std::uint32_t kAttributeEndMarker = 0xFFFFFFFF;

// Field offsets from the start of the attribute header.
namespace AttributeField {
constexpr std::size_t kType = 0x00;          // u32
constexpr std::size_t kLength = 0x04;        // u32, whole attribute in bytes
constexpr std::size_t kNonResident = 0x08;   // u8, 0 = value inside the record
constexpr std::size_t kNameLength = 0x09;    // u8, in UTF-16 code units
constexpr std::size_t kNameOffset = 0x0A;    // u16
constexpr std::size_t kInstance = 0x0E;      // u16, unique within the record; $ATTRIBUTE_LIST names it
constexpr std::size_t kValueLength = 0x10;   // u32, resident only
constexpr std::size_t kValueOffset = 0x14;   // u16, resident only
constexpr std::size_t kLowestVcn = 0x10;     // u64, non-resident only: first VCN this record maps
constexpr std::size_t kRunListOffset = 0x20; // u16, non-resident only
constexpr std::size_t kAllocatedSize = 0x28; // u64, non-resident only
constexpr std::size_t kDataSize = 0x30;      // u64, non-resident only
} // namespace AttributeField

// Smallest headers that hold every field the library reads.
constexpr std::size_t kResidentHeaderSize = 0x18;
constexpr std::size_t kNonResidentHeaderSize = 0x38;

// The length of the attribute that starts at offset in record[0, limit), or 0 when it is not a
// valid attribute there: its header, its name and (if resident) its value must lie inside both
// the attribute and the limit.
// Inline: every attribute walk of a scan calls it for every attribute.
inline std::uint32_t ValidatedAttributeLength(const std::uint8_t* record, std::size_t limit,
                                              std::size_t offset) {
    // Every field read here lies inside the resident header, which the first check places inside
    // the limit.
    if (!FitsIn(limit, offset, kResidentHeaderSize))
        return 0;
    const std::uint8_t* header = record + offset;
    const std::size_t room = limit - offset;
    const auto length = load_le<std::uint32_t>(header + AttributeField::kLength);
    const bool nonResident = load_le<std::uint8_t>(header + AttributeField::kNonResident) != 0;
    if (length > room || length < (nonResident ? kNonResidentHeaderSize : kResidentHeaderSize))
        return 0;

    const std::size_t nameBytes =
        2 * std::size_t{load_le<std::uint8_t>(header + AttributeField::kNameLength)};
    const std::size_t nameOffset = load_le<std::uint16_t>(header + AttributeField::kNameOffset);
    if (nameBytes != 0 && !FitsIn(length, nameOffset, nameBytes))
        return 0;
    if (!nonResident) {
        const std::size_t valueLength = load_le<std::uint32_t>(header + AttributeField::kValueLength);
        const std::size_t valueOffset = load_le<std::uint16_t>(header + AttributeField::kValueOffset);
        if (!FitsIn(length, valueOffset, valueLength))
            return 0;
    }
    return length;
}

} // namespace Krod
