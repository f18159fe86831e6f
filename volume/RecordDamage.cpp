#include "volume/RecordDamage.h"

#include "volume/RecordHeader.h"

#include <sstream>

namespace Krod {

// A record not in use keeps what its file left, while the records and clusters it names are free
// to be reused: what no longer fits together there is the normal state of a deleted file, and is
// described as what it is, not as damage.
std::string DescribeDamage(const RecordDamage& damage, std::uint64_t baseRecord, bool inUse) {
    std::ostringstream text;
    using Kind = RecordDamage::Kind;
    switch (damage.kind) {
    case Kind::None:
        break;
    case Kind::Attribute:
        if (damage.record.GetRecordNumber() == baseRecord)
            text << "Its attribute at offset " << damage.offset;
        else
            text << "The attribute at offset " << damage.offset << " of its extension record "
                 << damage.record;
        text << (inUse ? " is damaged." : " cannot be read.");
        break;
    case Kind::ShortFileName:
        text << "A FILE_NAME is too short for its fields.";
        break;
    case Kind::ListEntries:
        if (inUse)
            text << "Its attribute list is damaged at offset " << damage.offset << ".";
        else
            text << "Its attribute list holds no whole entry from offset " << damage.offset << " on.";
        break;
    case Kind::ListSize:
        text << "Its attribute list claims " << damage.offset << " bytes.";
        break;
    case Kind::ListUnread:
        text << "Its attribute list cannot be read in full.";
        break;
    case Kind::ListPastEnd:
        text << "Its attribute list lies past the end of the image.";
        break;
    case Kind::ListRecord:
        text << "The entry at offset " << damage.offset << " of its attribute list names " << damage.record
             << (inUse ? ", which is not its extension record."
                       : ", which no longer extends it: the records of a deleted file are reused.");
        break;
    case Kind::ListAttribute:
        text << "The entry at offset " << damage.offset << " of its attribute list names an attribute that "
             << damage.record << (inUse ? " does not hold." : " no longer holds.");
        break;
    case Kind::UpdateSequence:
        if (damage.record.GetRecordNumber() == baseRecord)
            text << "Its update sequence";
        else
            text << "The update sequence of its extension record " << damage.record;
        if (damage.offset == kArrayDamaged)
            text << (inUse ? " is damaged." : " cannot be checked.");
        else
            text << " does not match at byte " << damage.offset * kUpdateSequenceStride - 2 << ".";
        break;
    case Kind::MarkedBad:
        text << "It is marked BAAD: NTFS found a write to it incomplete.";
        break;
    }
    return text.str();
}

} // namespace Krod
