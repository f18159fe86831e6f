#pragma once
// What keeps a record's attributes, or those of its extension records, from being read in full:
// the names and data they would have given are missing from what the record yields.

#include "volume/FileReference.h"

#include <cstdint>
#include <string>

namespace Krod {

struct RecordDamage {
    enum class Kind : std::uint8_t {
        None,
        Attribute, // the attribute at offset in record has a damaged length or layout; the walk ends there
        ShortFileName,  // a FILE_NAME value is too short for its fields
        ListEntries,    // the $ATTRIBUTE_LIST's entries end in a damaged one at offset
        ListSize,       // the $ATTRIBUTE_LIST claims offset bytes, more than NTFS writes
        ListUnread,     // the $ATTRIBUTE_LIST's runs do not hold all of its value
        ListPastEnd,    // the $ATTRIBUTE_LIST's clusters lie past the end of a cut image
        ListRecord,     // the list entry at offset names record, which is no extension of the file
        ListAttribute,  // the list entry at offset names an attribute record does not hold (or holds for
                        // another entry)
        UpdateSequence, // record (the base, or an extension the list names) fails its update sequence
                        // in stretch offset (counted from 1; kArrayDamaged: its array is damaged), so
                        // its bytes are of two writes, or damaged, and it is not read
        MarkedBad,      // record carries the BAAD signature: NTFS found it torn, and it is not read
    };
    Kind kind = Kind::None;
    FileReference record;
    std::uint64_t offset = 0;

    explicit operator bool() const { return kind != Kind::None; }
};

// One sentence for the examiner about the damage of base record baseRecord, such as "Its attribute
// at offset 312 is damaged."; for a record not in use (inUse false), whose file was deleted, what does
// not fit together without calling it damage, such as "Its attribute at offset 312 cannot be read."
// Throws std::bad_alloc.
std::string DescribeDamage(const RecordDamage& damage, std::uint64_t baseRecord, bool inUse = true);

} // namespace Krod
