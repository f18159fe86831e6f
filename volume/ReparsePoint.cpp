#include "volume/ReparsePoint.h"

#include "volume/AttributeHeader.h"
#include "volume/LittleEndian.h"
#include "volume/Utf16Text.h"

#include <algorithm>
#include <stdexcept>

namespace Krod {
namespace {

// Reparse data fields, offsets from the start of the value.
constexpr std::size_t kTagField = 0x00;        // u32 reparse tag
constexpr std::size_t kDataLengthField = 0x04; // u16, bytes after the 8-byte header
constexpr std::size_t kReparseHeaderSize = 0x08;
// A tag without the Microsoft bit puts a 16-byte GUID before its data.
constexpr std::size_t kGuidSize = 0x10;

// Mount-point data fields, offsets from the start of the tag-specific data.
constexpr std::size_t kSubstituteOffsetField = 0x00; // u16, from the path buffer
constexpr std::size_t kSubstituteLengthField = 0x02; // u16, bytes
constexpr std::size_t kPathBufferOffset = 0x08;

} // namespace

CReparsePointAttribute::CReparsePointAttribute(const CAttribute& attribute) : CAttribute(attribute) {
    if (IsEmpty())
        return;
    if (GetType() != kAttributeReparsePoint)
        throw std::invalid_argument("Not an symlink attribute");
    if (IsNonResident())
        throw std::logic_error("Nonresident symlink attribute not supported");
}

std::wstring CReparsePointAttribute::GetJunctionTarget() const {
    if (IsEmpty())
        throw std::logic_error("Attribute is empty");
    const std::uint8_t* value = GetResidentValue();
    const std::size_t valueLength = GetResidentValueLength();
    const char* damaged = "Junction point reparse data reaches past its value";
    if (valueLength < kReparseHeaderSize)
        throw std::runtime_error(damaged);

    const auto tag = read_le<std::uint32_t>(value, valueLength, kTagField);
    if (!IsNameSurrogateMountPoint(tag))
        throw std::logic_error("Not a junction point symlink");
    // The reparse data ends where its length field says, or earlier at the end of the value.
    const std::size_t size = std::min<std::size_t>(
        valueLength, kReparseHeaderSize + read_le<std::uint16_t>(value, valueLength, kDataLengthField));
    const std::size_t data = kReparseHeaderSize + ((tag & kReparseTagMicrosoft) != 0 ? 0 : kGuidSize);
    if (!FitsIn(size, data, kPathBufferOffset))
        throw std::runtime_error(damaged);
    const std::size_t nameOffset =
        data + kPathBufferOffset + read_le<std::uint16_t>(value, size, data + kSubstituteOffsetField);
    const std::size_t nameBytes = read_le<std::uint16_t>(value, size, data + kSubstituteLengthField);
    if (!FitsIn(size, nameOffset, nameBytes))
        throw std::runtime_error(damaged);

    std::wstring name;
    ReadUtf16(value, size, nameOffset, nameBytes / 2, name);
    return name;
}

} // namespace Krod
