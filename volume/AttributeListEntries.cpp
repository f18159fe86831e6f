#include "volume/AttributeListEntries.h"

#include "volume/LittleEndian.h"

#include <algorithm>
#include <memory>

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

} // namespace Krod
