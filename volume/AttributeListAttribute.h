#pragma once
// The $ATTRIBUTE_LIST attribute (type 0x20) of a file whose attributes do not all fit its base
// record: its entries, one per attribute, each naming the record that keeps the attribute; the
// reading of its value, resident or not; and the following of it, which gathers the file's
// attributes from its base record and its extension records.

#include "volume/Attribute.h"
#include "volume/FileRecord.h"
#include "volume/FileReference.h"
#include "volume/RecordDamage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Reads one record by reference, fixed up when it can be, without following any list of its own.
using RecordReader = std::function<CFileRecord(FileReference)>;

// Follows the $ATTRIBUTE_LIST of base when it is a valid base record that carries one, so that its
// lookups (CFileRecord::FindAttributes) see the file's attributes wherever they are kept: in the
// order of the list, then those of base the list does not name (the list itself among them) in
// record order. The pieces of a non-resident attribute become one attribute, the piece from VCN 0
// on with the runs of the pieces that continue it. Nothing for any other record.
//
// An entry is passed over when it names an $ATTRIBUTE_LIST, an attribute already taken, an
// attribute its record does not hold, a piece that does not continue its stream, or a record that
// is not an extension of base: not a valid FILE record, in use when base is not or the reverse,
// or whose base reference does not point back to base (record number, and sequence number while
// in use: freeing a record moves its sequence number on, so a deleted file's extensions point to
// its former one). Each record is read once, through read, and no list but base's is followed.
// The first thing that kept an attribute from being found is what base's GetDamage tells then: a
// damaged list (ReadAttributeList), an entry passed over (but the list's own entry, naming an
// $ATTRIBUTE_LIST in base), an extension record whose attribute walk ends in damage, a FILE_NAME
// too short for its fields.
// Throws what read and the list's device reads throw.
void FollowAttributeList(CFileRecord& base, const RecordReader& read);

} // namespace Krod
