#pragma once
// The FILE_NAME view (attribute type 0x30): a file's parent reference, namespace and flags. The
// climbs from a name to the root directory are in DirectoryPaths.h.

#include "volume/Attribute.h"
#include "volume/FileNameValue.h"
#include "volume/FileRecord.h"
#include "volume/FileReference.h"

#include <cstdint>
#include <string>

namespace Krod {

// CFileRecord::GetFileNameAttributes(selector), defined with this view, keeps every POSIX name and,
// for selectors 0 and 1, every name but pure DOS ones, for selector 2 every name but pure Win32
// ones, for any other selector every name. It passes over values too short for the fixed fields,
// throws EMutExAttributesError when the record carries more than one Win32 and one DOS side
// among all its names, and std::logic_error for a non-resident FILE_NAME.

class CFileNameAttribute : public CAttribute {
  public:
    // The empty view.
    CFileNameAttribute() = default;
    // A view of attribute; the empty attribute gives the empty view. Throws std::logic_error
    // "Not a filename attribute" or "Nonresident filename attribute not supported", and
    // std::runtime_error "FILE_NAME value is shorter than its 0x42-byte header" for a value too
    // short to hold the fields read here.
    explicit CFileNameAttribute(const CAttribute& attribute);

    // Value fields; each throws std::logic_error "Attribute is empty" on the empty view.
    FileReference GetParentReference() const;
    std::uint8_t GetNamespace() const;
    std::uint32_t GetFileAttributes() const;

    // The value's fields where they lie; throws std::logic_error "Attribute is empty" on the empty view.
    CFileNameInPlace InPlace() const;
};

} // namespace Krod
