#include "volume/AttributeListAttribute.h"

#include "volume/AttributeHeader.h"
#include "volume/FileNameValue.h"
#include "volume/LittleEndian.h"
#include "volume/RecordHeader.h"

#include <boost/container/small_vector.hpp>

#include <algorithm>
#include <memory>
#include <utility>

namespace Krod {
namespace {

// Entry fields, offsets from the start of the entry.
constexpr std::size_t kTypeField = 0x00;       // u32 attribute type
constexpr std::size_t kLengthField = 0x04;     // u16 entry length in bytes
constexpr std::size_t kNameLengthField = 0x06; // u8, in UTF-16 code units
constexpr std::size_t kNameOffsetField = 0x07; // u8
constexpr std::size_t kLowestVcnField = 0x08;  // u64
constexpr std::size_t kRecordField = 0x10;     // u64 FileReference
constexpr std::size_t kInstanceField = 0x18;   // u16
// The fixed part of an entry; the name follows it.
constexpr std::size_t kEntryHeaderSize = 0x1A;

// The position in record's attribute index of the attribute of type with instance, or the
// number of attributes when the record holds none.
std::uint32_t FindInstance(const CFileRecord& record, std::uint32_t type, std::uint16_t instance) {
    const auto& spans = record.GetData()->GetAttributeIndex().spans;
    std::uint32_t index = 0;
    for (; index < spans.size(); ++index) {
        const std::uint8_t* header = record.GetBuffer() + spans[index].offset;
        if (read_le<std::uint32_t>(header, spans[index].length, AttributeField::kType) == type &&
            read_le<std::uint16_t>(header, spans[index].length, AttributeField::kInstance) == instance)
            break;
    }
    return index;
}

bool ExtendsBase(const CFileRecord& record, const CFileRecord& base) {
    if (!record.IsFileRecord() || !record.IsFixedUp())
        return false;
    const bool inUse = (record.GetFlags() & kRecordInUse) != 0;
    if (inUse != ((base.GetFlags() & kRecordInUse) != 0))
        return false;
    const FileReference back = record.GetBaseReference();
    return back.GetRecordNumber() == base.GetReference().GetRecordNumber() &&
           (!inUse || back.GetSequenceNumber() == base.GetSequenceNumber());
}

// Adds attribute to the file's attributes, or, when it is a later piece of a non-resident
// stream, to the runs of the last attribute of its type and name, if it continues them. Returns
// whether it was taken.
bool Add(AttributeList& attributes, const CAttribute& attribute) {
    if (!attribute.IsNonResident() || attribute.GetLowestVcn() == 0) {
        attributes.push_back(attribute);
        return true;
    }
    const std::uint32_t type = attribute.GetType();
    const std::wstring name = attribute.GetName();
    for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
        if (it->GetType() == type && it->IsNonResident() && it->GetName() == name)
            return it->AppendPiece(attribute);
    }
    return false;
}

// A record the list names, read once, and whether it is an extension of the base record.
struct Extension {
    std::uint64_t number;
    CFileRecord record;
    bool extendsBase;
};

// Whether the attribute at position index of the valid record is a FILE_NAME too short for its
// fields.
bool IsShortFileNameAt(const CFileRecord& record, std::uint32_t index) {
    return IsShortFileName(record.GetBuffer() + record.GetData()->GetAttributeIndex().spans[index].offset);
}

// Keeps the first damage met.
void Note(RecordDamage& damage, RecordDamage::Kind kind, FileReference record, std::uint64_t offset) {
    if (!damage)
        damage = {kind, record, offset};
}

} // namespace

std::vector<AttributeListEntry> ParseAttributeList(const std::uint8_t* bytes, std::size_t size,
                                                   std::uint64_t* damagedAt) {
    std::vector<AttributeListEntry> entries;
    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t* entry = bytes + pos;
        const std::size_t length =
            FitsIn(size, pos, kEntryHeaderSize) ? read_le<std::uint16_t>(entry, size - pos, kLengthField) : 0;
        if (length < kEntryHeaderSize || !FitsIn(size, pos, length))
            break;
        const std::size_t nameBytes = 2 * std::size_t{read_le<std::uint8_t>(entry, length, kNameLengthField)};
        if (!FitsIn(length, read_le<std::uint8_t>(entry, length, kNameOffsetField), nameBytes))
            break;
        entries.push_back({read_le<std::uint32_t>(entry, length, kTypeField),
                           read_le<std::uint64_t>(entry, length, kLowestVcnField),
                           FileReference::FromRaw(read_le<std::uint64_t>(entry, length, kRecordField)),
                           read_le<std::uint16_t>(entry, length, kInstanceField),
                           static_cast<std::uint32_t>(pos)});
        pos += length;
    }
    if (pos < size && damagedAt)
        *damagedAt = pos;
    return entries;
}

std::vector<AttributeListEntry> ReadAttributeList(const CAttribute& list, RecordDamage& damage) {
    std::uint64_t damagedAt = kMaxAttributeListSize;
    std::vector<AttributeListEntry> entries;
    if (!list.IsNonResident()) {
        entries = ParseAttributeList(list.GetResidentValue(), list.GetResidentValueLength(), &damagedAt);
    } else {
        const std::uint64_t size = list.GetDataSize();
        const std::uint64_t bytesPerCluster = list.GetDisk()->GetBytesPerCluster();
        if (size > kMaxAttributeListSize || bytesPerCluster == 0) {
            damage = {RecordDamage::Kind::ListSize, {}, size};
            return {};
        }
        const auto clusters = static_cast<std::uint32_t>((size + bytesPerCluster - 1) / bytesPerCluster);
        // Clusters past the end of a cut image read as zeros, which would look like damage.
        if (list.PlaceClusters(clusters) == CAttribute::Placement::PastEnd) {
            damage = {RecordDamage::Kind::ListPastEnd, {}, 0};
            return {};
        }
        // Only what was read is parsed, so the buffer needs no zeros first.
        const std::unique_ptr<std::uint8_t[]> value(new std::uint8_t[clusters * bytesPerCluster]);
        const std::uint64_t read = list.ReadClusters(value.get(), 0, clusters) * bytesPerCluster;
        entries = ParseAttributeList(value.get(), std::min(size, read), &damagedAt);
        if (read < size) {
            damage = {RecordDamage::Kind::ListUnread, {}, 0};
            return entries;
        }
    }
    if (damagedAt != kMaxAttributeListSize)
        damage = {RecordDamage::Kind::ListEntries, {}, damagedAt};
    return entries;
}

namespace {

// The attributes of the file whose valid, fixed-up base record is base, as FollowAttributeList
// gathers them; the first damage met goes to damage, which is left alone when there is none.
AttributeList GatherListedAttributes(const CFileRecord& base, const RecordReader& read,
                                     RecordDamage& damage) {
    const std::uint64_t baseNumber = base.GetReference().GetRecordNumber();
    const AttributeList lists = base.FindAttributes(kAttributeList);
    const std::vector<AttributeListEntry> entries =
        lists.empty() ? std::vector<AttributeListEntry>() : ReadAttributeList(lists.front(), damage);

    AttributeList attributes;
    // Lists are short and name few records, so both are searched in order, with no allocation
    // for a usual list.
    boost::container::small_vector<Extension, 4> extensions;
    boost::container::small_vector<std::uint64_t, 16> taken; // record number << 16 | instance
    const auto isTaken = [&taken](std::uint64_t key) {
        return std::find(taken.begin(), taken.end(), key) != taken.end();
    };
    for (const AttributeListEntry& entry : entries) {
        const std::uint64_t number = entry.record.GetRecordNumber();
        if (entry.type == kAttributeList) {
            // The list's own entry names the base record; another one stands in a lost entry's place.
            if (number != baseNumber)
                Note(damage, RecordDamage::Kind::ListAttribute, entry.record, entry.offset);
            continue;
        }
        const CFileRecord* holder = &base;
        if (number != baseNumber) {
            auto it =
                std::find_if(extensions.begin(), extensions.end(),
                             [number](const Extension& extension) { return extension.number == number; });
            if (it == extensions.end()) {
                CFileRecord record = read(entry.record);
                const bool extendsBase = ExtendsBase(record, base);
                it = extensions.insert(extensions.end(), {number, std::move(record), extendsBase});
                const std::uint32_t damagedAt =
                    extendsBase ? it->record.GetData()->GetAttributeIndex().damagedAt : kWalkComplete;
                if (damagedAt != kWalkComplete)
                    Note(damage, RecordDamage::Kind::Attribute, entry.record, damagedAt);
            }
            if (!it->extendsBase) {
                // A record torn in the middle of a write cannot be told to be an extension or not.
                const CFileRecord& named = it->record;
                if (named.IsFileRecord() && !named.IsFixedUp())
                    Note(damage, RecordDamage::Kind::UpdateSequence, entry.record,
                         FindUpdateSequenceFault(named.GetBuffer(), named.GetBufferSize()));
                else
                    Note(damage, RecordDamage::Kind::ListRecord, entry.record, entry.offset);
                continue;
            }
            holder = &it->record;
        }
        const std::uint32_t index = FindInstance(*holder, entry.type, entry.instance);
        const std::uint64_t key = number << 16 | entry.instance;
        if (index == holder->GetData()->GetAttributeIndex().spans.size() || isTaken(key)) {
            Note(damage, RecordDamage::Kind::ListAttribute, entry.record, entry.offset);
            continue;
        }
        taken.push_back(key);
        if (!Add(attributes, holder->GetAttribute(index)))
            Note(damage, RecordDamage::Kind::ListAttribute, entry.record, entry.offset);
        else if (entry.type == kAttributeFileName && IsShortFileNameAt(*holder, index))
            Note(damage, RecordDamage::Kind::ShortFileName, entry.record, 0);
    }
    const auto own = static_cast<std::uint32_t>(base.GetData()->GetAttributeIndex().spans.size());
    for (std::uint32_t index = 0; index < own; ++index) {
        const CAttribute attribute = base.GetAttribute(index);
        if (isTaken(baseNumber << 16 | attribute.GetInstance()))
            continue;
        Add(attributes, attribute);
        if (IsShortFileNameAt(base, index))
            Note(damage, RecordDamage::Kind::ShortFileName, base.GetReference(), 0);
    }
    return attributes;
}

} // namespace

void FollowAttributeList(CFileRecord& base, const RecordReader& read) {
    if (!base.IsValid() || base.GetBaseReference().GetRaw() != 0 || !base.GetData()->HasAttributeList())
        return;
    auto listed = std::make_shared<CFileRecord::Listed>();
    listed->attributes = GatherListedAttributes(base, read, listed->damage);
    base.listed_ = std::move(listed);
}

} // namespace Krod
