#include "volume/StandardInformation.h"

#include "volume/FileRecord.h"
#include "volume/LittleEndian.h"

namespace Krod {
namespace {

// $STANDARD_INFORMATION value fields, offsets from the start of the value. NTFS 1.2 ends the
// value after 0x30 bytes and 3.x after 0x48; the fields read here lie in both.
constexpr std::size_t kCreatedField = 0x00;        // u64 ticks
constexpr std::size_t kModifiedField = 0x08;       // u64 ticks
constexpr std::size_t kRecordChangedField = 0x10;  // u64 ticks
constexpr std::size_t kAccessedField = 0x18;       // u64 ticks
constexpr std::size_t kFileAttributesField = 0x20; // u32 flags

} // namespace

std::optional<StandardInformation> ReadStandardInformation(const CFileRecord& record) {
    const CAttribute found = record.FindFirstAttribute(kAttributeStandardInformation);
    if (found.IsEmpty() || found.IsNonResident())
        return std::nullopt;
    const std::uint8_t* value = found.GetResidentValue();
    const std::uint32_t length = found.GetResidentValueLength();
    if (!FitsIn(length, kFileAttributesField, sizeof(std::uint32_t)))
        return std::nullopt;
    StandardInformation information;
    information.times.created = read_le<std::uint64_t>(value, length, kCreatedField);
    information.times.modified = read_le<std::uint64_t>(value, length, kModifiedField);
    information.times.recordChanged = read_le<std::uint64_t>(value, length, kRecordChangedField);
    information.times.accessed = read_le<std::uint64_t>(value, length, kAccessedField);
    information.fileAttributes = read_le<std::uint32_t>(value, length, kFileAttributesField);
    return information;
}

} // namespace Krod
