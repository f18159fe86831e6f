#include "volume/AttributeHeader.h"

#include "volume/LittleEndian.h"

namespace Krod {

std::uint32_t ValidatedAttributeLength(const std::uint8_t* record, std::size_t limit, std::size_t offset) {
    if (!FitsIn(limit, offset, kResidentHeaderSize))
        return 0;
    const std::uint8_t* header = record + offset;
    const std::size_t room = limit - offset;
    const auto length = read_le<std::uint32_t>(header, room, AttributeField::kLength);
    const bool nonResident = read_le<std::uint8_t>(header, room, AttributeField::kNonResident) != 0;
    if (length > room || length < (nonResident ? kNonResidentHeaderSize : kResidentHeaderSize))
        return 0;

    const std::size_t nameBytes =
        2 * std::size_t{read_le<std::uint8_t>(header, length, AttributeField::kNameLength)};
    const std::size_t nameOffset = read_le<std::uint16_t>(header, length, AttributeField::kNameOffset);
    if (nameBytes != 0 && !FitsIn(length, nameOffset, nameBytes))
        return 0;
    if (!nonResident) {
        const std::size_t valueLength = read_le<std::uint32_t>(header, length, AttributeField::kValueLength);
        const std::size_t valueOffset = read_le<std::uint16_t>(header, length, AttributeField::kValueOffset);
        if (!FitsIn(length, valueOffset, valueLength))
            return 0;
    }
    return length;
}

} // namespace Krod
