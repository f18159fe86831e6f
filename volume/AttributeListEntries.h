#pragma once
// The entries of an $ATTRIBUTE_LIST value: one per attribute of a file whose attributes do not all
// fit its base record, naming the record that keeps the attribute.

#include "volume/Attribute.h"
#include "volume/FileReference.h"
#include "volume/RecordDamage.h"

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
    std::uint32_t offset;    // of the entry in the list's value
};

// The entries of the list value bytes[0, size) in order. The walk ends at a zero length, at an
// entry shorter than its fields or its name, and at one that reaches past the value; where such
// an entry lies is then kept in damagedAt (when given), which is left alone otherwise.
std::vector<AttributeListEntry> ParseAttributeList(const std::uint8_t* bytes, std::size_t size,
                                                   std::uint64_t* damagedAt = nullptr);

// The entries of list, an $ATTRIBUTE_LIST attribute, resident or not: none when its value is
// larger than kMaxAttributeListSize; for a non-resident value only what its runs hold. What keeps
// entries from being read (those cases, and a damaged entry) goes to damage, which is left alone
// otherwise. Throws ESystemError on device failure.
std::vector<AttributeListEntry> ReadAttributeList(const CAttribute& list, RecordDamage& damage);

} // namespace Krod
