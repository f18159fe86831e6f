#include "volume/FileNameAttribute.h"

#include "volume/AttributeHeader.h"
#include "volume/Errors.h"
#include "volume/LittleEndian.h"

#include <stdexcept>

namespace Krod {
namespace {

// FILE_NAME value fields, offsets from the start of the value.
constexpr std::size_t kParentReferenceField = 0x00; // u64 FileReference of the parent directory
constexpr std::size_t kFileAttributesField = 0x38;  // u32 file attribute flags
constexpr std::size_t kNamespaceField = 0x41;       // u8 namespace
// The fixed part of the value; the name follows it.
constexpr std::size_t kFileNameHeaderSize = 0x42;

constexpr std::uint8_t kWin32Mark = 0x01;
constexpr std::uint8_t kDosMark = 0x02;
// A record may carry one Win32 and one DOS side among its names (besides any POSIX names).
constexpr unsigned kMaxWin32AndDosMarks = 2;

} // namespace

CFileNameAttribute::CFileNameAttribute(const CAttribute& attribute) : CAttribute(attribute) {
    if (IsEmpty())
        return;
    if (GetType() != kAttributeFileName)
        throw std::logic_error("Not a filename attribute");
    if (IsNonResident())
        throw std::logic_error("Nonresident filename attribute not supported");
    if (GetResidentValueLength() < kFileNameHeaderSize)
        throw std::runtime_error("FILE_NAME value is shorter than its 0x42-byte header");
}

// Checked first, so that the empty view reports itself before any header field is read.
const std::uint8_t* CFileNameAttribute::Value() const {
    if (IsEmpty())
        throw std::logic_error("Attribute is empty");
    return GetResidentValue();
}

FileReference CFileNameAttribute::GetParentReference() const {
    const std::uint8_t* value = Value();
    return FileReference::FromRaw(
        read_le<std::uint64_t>(value, GetResidentValueLength(), kParentReferenceField));
}

std::uint8_t CFileNameAttribute::GetNamespace() const {
    const std::uint8_t* value = Value();
    return read_le<std::uint8_t>(value, GetResidentValueLength(), kNamespaceField);
}

std::uint32_t CFileNameAttribute::GetFileAttributes() const {
    const std::uint8_t* value = Value();
    return read_le<std::uint32_t>(value, GetResidentValueLength(), kFileAttributesField);
}

// Selectors 0 to 2 filter; 3, AnyNamespace and any other value keep every name. POSIX names are
// always kept, selector 2 drops pure Win32 names and selectors 0 and 1 drop pure DOS names. The
// Win32/DOS marks are counted over all names, kept or not. A resident value too short for the
// fixed fields names nothing and is passed over, as damaged records are, so that one damaged
// name does not end a scan; a non-resident FILE_NAME still throws.
AttributeList CFileRecord::GetFileNameAttributes(int selector) const {
    const bool filtering = selector >= kNamespacePosix && selector <= kNamespaceDos;
    AttributeList selected;
    unsigned marks = 0;
    for (const CAttribute& attribute : FindAttributes(kAttributeFileName)) {
        if (!attribute.IsNonResident() && attribute.GetResidentValueLength() < kFileNameHeaderSize)
            continue;
        const std::uint8_t nameSpace = CFileNameAttribute(attribute).GetNamespace();
        marks += ((nameSpace & kWin32Mark) != 0) + ((nameSpace & kDosMark) != 0);
        const bool keep =
            !filtering || nameSpace == kNamespacePosix ||
            (selector == kNamespaceDos ? nameSpace != kNamespaceWin32 : nameSpace != kNamespaceDos);
        if (keep)
            selected.push_back(attribute);
    }
    if (marks > kMaxWin32AndDosMarks)
        throw EMutExAttributesError(GetReference());
    return selected;
}

} // namespace Krod
