#pragma once
// The FILE_NAME view (attribute type 0x30): a file's parent reference, namespace and flags, and
// the climbs from a name to the root directory.

#include "volume/Attribute.h"
#include "volume/DirectoryPaths.h"
#include "volume/FileNamesInPlace.h"
#include "volume/FileRecord.h"
#include "volume/FileReference.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>

namespace Krod {

class CMft;

// CFileRecord::GetFileNameAttributes(selector), defined with this view, keeps every POSIX name and,
// for selectors 0 and 1, every name but pure DOS ones, for selector 2 every name but pure Win32
// ones, for any other selector every name. It passes over values too short for the fixed fields,
// throws EMutExAttributesError when the record carries more than one Win32 and one DOS side
// among all its names, and std::logic_error for a non-resident FILE_NAME.

// File attribute flags (u32 at FILE_NAME value offset 0x38).
constexpr std::uint32_t kFileAttributeSystem = 0x00000004;
constexpr std::uint32_t kFileAttributeDirectory = 0x10000000; // the file has a $I30 index

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

    // The volume-relative path of the parent directory, with a leading and a trailing backslash
    // ("\" for a name in the root). Each ancestor is named by GetFileNameAttributes(selector)
    // pruned to one name: DOS names go first, then Win32&DOS, then Win32 ones, while more than one
    // is left. selector AnyNamespace means this name's own namespace.
    // Every parent reference on the way, but those to the root, must still name its directory
    // (StillNames).
    // Throws std::logic_error "Hardlink on directory occured" when an ancestor keeps several names;
    // ENoFilenameAttribute with the ancestor's reference when it keeps none; EReusedParent when a
    // reference no longer names its directory; EBrokenParentChain when the parents loop or lie
    // deeper than kMaxDirectoryDepth; and what reading records throws.
    std::wstring GetParentPath(CMft& mft, int selector = AnyNamespace) const;

    // The records of the ancestor directories, root first and parent last (the root alone for a
    // name in the root); owned by the caller. Throws ENoFilenameAttribute for an ancestor without
    // FILE_NAME, EReusedParent, EBrokenParentChain and record read errors as GetParentPath.
    std::unique_ptr<std::list<CFileRecord>> GetAncestorRecords(CMft& mft) const;

    // The value's fields where they lie; throws std::logic_error "Attribute is empty" on the empty view.
    CFileNameInPlace InPlace() const;
};

} // namespace Krod
