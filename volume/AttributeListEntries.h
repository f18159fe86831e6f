#pragma once
// The entries of an $ATTRIBUTE_LIST value: one per attribute of a file whose attributes do not all
// fit its base record, naming the record that keeps the attribute.

#include "volume/Attribute.h"
#include "volume/FileReference.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Krod {

// No NTFS writes a list longer than this; a longer one is damage, and is not followed.
constexpr std::uint64_t kMaxAttributeListSize = 256 * 1024;

struct AttributeListEntry {
    std::uint32_t type;
    std::uint64_t lowestVcn; // of the piece of a non-resident attribute the entry names
    FileReference record;    // the record that keeps the attribute
    std::uint16_t instance;  // the attribute's instance number within that record
};

// The entries of the list value bytes[0, size) in order. The walk ends at a zero length, at an
// entry shorter than its fields or its name, and at one that reaches past the value.
std::vector<AttributeListEntry> ParseAttributeList(const std::uint8_t* bytes, std::size_t size);

// The entries of list, an $ATTRIBUTE_LIST attribute, resident or not: none when its value is
// larger than kMaxAttributeListSize; for a non-resident value only what its runs hold. Throws
// ESystemError on device failure.
std::vector<AttributeListEntry> ReadAttributeList(const CAttribute& list);

} // namespace Krod
