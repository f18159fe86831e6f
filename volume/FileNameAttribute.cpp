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

constexpr char kNonResidentError[] = "Nonresident filename attribute not supported";

// The namespace of a resident FILE_NAME whose value holds the fixed fields.
std::uint8_t ReadNamespace(const CAttribute& name) {
    return read_le<std::uint8_t>(name.GetResidentValue(), name.GetResidentValueLength(), kNamespaceField);
}

} // namespace

CFileNameAttribute::CFileNameAttribute(const CAttribute& attribute) : CAttribute(attribute) {
    if (IsEmpty())
        return;
    if (GetType() != kAttributeFileName)
        throw std::logic_error("Not a filename attribute");
    if (IsNonResident())
        throw std::logic_error(kNonResidentError);
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
    Value(); // the empty view throws
    return ReadNamespace(*this);
}

std::uint32_t CFileNameAttribute::GetFileAttributes() const {
    const std::uint8_t* value = Value();
    return read_le<std::uint32_t>(value, GetResidentValueLength(), kFileAttributesField);
}

// Selectors 0 to 2 filter; 3, AnyNamespace and any other value keep every name. POSIX names are
// always kept, selector 2 drops pure Win32 names and selectors 0 and 1 drop pure DOS names. The
// Win32/DOS marks are counted over all names, kept or not. A resident value too short for the
// fixed fields names nothing and is passed over, as damaged records are, so that one damaged
// name does not end a scan; a non-resident FILE_NAME still throws, as its view would. The names
// kept are moved to the front of the list of all FILE_NAMEs and no view is made of them, so that
// selecting copies no attribute.
AttributeList CFileRecord::GetFileNameAttributes(int selector) const {
    const bool filtering = selector >= kNamespacePosix && selector <= kNamespaceDos;
    AttributeList names = FindAttributes(kAttributeFileName);
    std::size_t kept = 0;
    unsigned marks = 0;
    for (CAttribute& attribute : names) {
        if (attribute.IsNonResident())
            throw std::logic_error(kNonResidentError);
        if (attribute.GetResidentValueLength() < kFileNameHeaderSize)
            continue;
        const std::uint8_t nameSpace = ReadNamespace(attribute);
        marks += ((nameSpace & kWin32Mark) != 0) + ((nameSpace & kDosMark) != 0);
        const bool keep =
            !filtering || nameSpace == kNamespacePosix ||
            (selector == kNamespaceDos ? nameSpace != kNamespaceWin32 : nameSpace != kNamespaceDos);
        if (!keep)
            continue;
        if (&names[kept] != &attribute) // a name moved onto itself would lose its runs
            names[kept] = std::move(attribute);
        ++kept;
    }
    if (marks > kMaxWin32AndDosMarks)
        throw EMutExAttributesError(GetReference());
    names.erase(names.begin() + static_cast<std::ptrdiff_t>(kept), names.end());
    return names;
}

} // namespace Krod
