#include "volume/RecordDamage.h"

#include "volume/UpdateSequence.h"

#include <sstream>

namespace Krod {

std::string DescribeDamage(const RecordDamage& damage, std::uint64_t baseRecord) {
    std::ostringstream text;
    using Kind = RecordDamage::Kind;
    switch (damage.kind) {
    case Kind::None:
        break;
    case Kind::Attribute:
        if (damage.record.GetRecordNumber() == baseRecord)
            text << "Its attribute at offset " << damage.offset << " is damaged.";
        else
            text << "The attribute at offset " << damage.offset << " of its extension record "
                 << damage.record << " is damaged.";
        break;
    case Kind::ShortFileName:
        text << "A FILE_NAME is too short for its fields.";
        break;
    case Kind::ListEntries:
        text << "Its attribute list is damaged at offset " << damage.offset << ".";
        break;
    case Kind::ListSize:
        text << "Its attribute list claims " << damage.offset << " bytes.";
        break;
    case Kind::ListUnread:
        text << "Its attribute list cannot be read in full.";
        break;
    case Kind::ListRecord:
        text << "The entry at offset " << damage.offset << " of its attribute list names " << damage.record
             << ", which is not its extension record.";
        break;
    case Kind::ListAttribute:
        text << "The entry at offset " << damage.offset << " of its attribute list names an attribute that "
             << damage.record << " does not hold.";
        break;
    case Kind::UpdateSequence:
        if (damage.record.GetRecordNumber() == baseRecord)
            text << "Its update sequence";
        else
            text << "The update sequence of its extension record " << damage.record;
        if (damage.offset == kArrayDamaged)
            text << " is damaged.";
        else
            text << " does not match in sector " << damage.offset << ".";
        break;
    }
    return text.str();
}

} // namespace Krod
