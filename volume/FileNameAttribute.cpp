#include "volume/FileNameAttribute.h"

#include "volume/AttributeHeader.h"
#include "volume/Errors.h"
#include "volume/LittleEndian.h"

#include <stdexcept>

namespace Krod {
namespace {

constexpr char kNonResidentError[] = "Nonresident filename attribute not supported";

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

// Checked first, so that the empty view reports itself before any field is read.
CFileNameInPlace CFileNameAttribute::InPlace() const {
    if (IsEmpty())
        throw std::logic_error("Attribute is empty");
    return CFileNameInPlace(GetResidentValue(), GetResidentValueLength());
}

FileReference CFileNameAttribute::GetParentReference() const {
    return InPlace().GetParentReference();
}

std::uint8_t CFileNameAttribute::GetNamespace() const {
    return InPlace().GetNamespace();
}

std::uint32_t CFileNameAttribute::GetFileAttributes() const {
    return InPlace().GetFileAttributes();
}

// Selectors 0 to 2 filter; 3, AnyNamespace and any other value keep every name. POSIX names are
// always kept, selector 2 drops pure Win32 names and selectors 0 and 1 drop pure DOS names. The
// Win32/DOS sides are counted over all names, kept or not. A resident value too short for the
// fixed fields names nothing and is passed over, as damaged records are, so that one damaged
// name does not end a scan; a non-resident FILE_NAME still throws, as its view would. The names
// kept are moved to the front of the list of all FILE_NAMEs and no view is made of them, so that
// selecting copies no attribute.
AttributeList CFileRecord::GetFileNameAttributes(int selector) const {
    AttributeList names = FindAttributes(kAttributeFileName);
    std::size_t kept = 0;
    unsigned sides = 0;
    for (CAttribute& attribute : names) {
        if (attribute.IsNonResident())
            throw std::logic_error(kNonResidentError);
        if (attribute.GetResidentValueLength() < kFileNameHeaderSize)
            continue;
        const std::uint8_t nameSpace =
            CFileNameInPlace(attribute.GetResidentValue(), attribute.GetResidentValueLength()).GetNamespace();
        sides += Win32AndDosSides(nameSpace);
        if (!SelectorKeeps(selector, nameSpace))
            continue;
        if (&names[kept] != &attribute) // a name moved onto itself would lose its runs
            names[kept] = std::move(attribute);
        ++kept;
    }
    if (sides > kMaxWin32AndDosSides)
        throw EMutExAttributesError(GetReference());
    names.erase(names.begin() + static_cast<std::ptrdiff_t>(kept), names.end());
    return names;
}

} // namespace Krod
