#pragma once
// FILE_NAME values read where they lie: in a CFileRecord's buffer, or in a block of records a scan
// has read and fixed up, without making record objects. The selection of names by namespace is
// defined here once for both.

#include "volume/AttributeHeader.h"
#include "volume/FileReference.h"
#include "volume/FileTimes.h"
#include "volume/LittleEndian.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Krod {

// File-name namespaces, the byte at FILE_NAME value offset 0x41. Bit 0 marks a name with a
// Win32 side, bit 1 a name with a DOS side.
constexpr std::uint8_t kNamespacePosix = 0;
constexpr std::uint8_t kNamespaceWin32 = 1;
constexpr std::uint8_t kNamespaceDos = 2;
constexpr std::uint8_t kNamespaceWin32AndDos = 3;
// The namespace selector that keeps every name (GetFileNameAttributes) or stands for the name's
// own namespace (GetParentPath).
constexpr int AnyNamespace = 256;

// The fixed part of a FILE_NAME value; the name's code units follow it to the end of the value.
constexpr std::size_t kFileNameHeaderSize = 0x42;
// A record may carry one Win32 and one DOS side among its names (besides any POSIX names).
constexpr unsigned kMaxWin32AndDosSides = 2;

// Whether a name of namespace nameSpace is selected: selectors 0 and 1 keep every name but pure
// DOS ones, selector 2 every name but pure Win32 ones, any other selector every name; POSIX names
// are always kept.
constexpr bool SelectorKeeps(int selector, std::uint8_t nameSpace) {
    const bool filtering = selector >= kNamespacePosix && selector <= kNamespaceDos;
    return !filtering || nameSpace == kNamespacePosix ||
           (selector == kNamespaceDos ? nameSpace != kNamespaceWin32 : nameSpace != kNamespaceDos);
}

// The Win32 and DOS sides a name of namespace nameSpace carries: 0, 1 or 2.
constexpr unsigned Win32AndDosSides(std::uint8_t nameSpace) {
    return ((nameSpace & kNamespaceWin32) != 0) + ((nameSpace & kNamespaceDos) != 0);
}

// The fields of one resident FILE_NAME value of length bytes that lies inside its record. The
// fixed fields throw std::out_of_range when the value is too short to hold them.
class CFileNameInPlace {
  public:
    CFileNameInPlace() = default;
    CFileNameInPlace(const std::uint8_t* value, std::uint32_t length) : value_(value), length_(length) {}

    FileReference GetParentReference() const;
    std::uint32_t GetFileAttributes() const;
    std::uint8_t GetNamespace() const;
    // The time stamps this name was given when it was made, moved or renamed; they need not agree
    // with the file's own in $STANDARD_INFORMATION.
    FileTimes GetTimes() const;
    // The name: the code units from kFileNameHeaderSize to the end of the value (nothing for a
    // shorter value). GetFileNameLength() units, at most half the record size.
    std::size_t GetFileNameLength() const;
    // Writes the name's GetFileNameLength() code units to text.
    void CopyFileNameText(wchar_t* text) const;
    // Replaces text by the name, reusing its storage.
    void GetFileNameText(std::wstring& text) const;

  private:
    const std::uint8_t* value_ = nullptr;
    std::uint32_t length_ = 0;
};

// Whether the attribute whose header, validated by an attribute walk, lies at header is a resident
// FILE_NAME whose value is too short for the fixed fields: a damaged name, which names nothing.
inline bool IsShortFileName(const std::uint8_t* header) {
    return load_le<std::uint32_t>(header + AttributeField::kType) == kAttributeFileName &&
           load_le<std::uint8_t>(header + AttributeField::kNonResident) == 0 &&
           load_le<std::uint32_t>(header + AttributeField::kValueLength) < kFileNameHeaderSize;
}

// The names of a record as CFileRecord::GetFileNameAttributes(selector) selects them, in the same
// order, with where each one's attribute lies in the record, and the first name that the Win32
// selector keeps (which decides whether the record is one of NTFS's own files).
struct FileNamesInPlace {
    static constexpr std::size_t kMaxNames = 8;
    struct Span {
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::array<CFileNameInPlace, kMaxNames> selected;
    std::array<Span, kMaxNames> attributes;
    std::size_t count = 0;
    CFileNameInPlace firstWin32;
    bool hasWin32 = false;
};

// Reads the names of the valid, fixed-up record in record[0, size) into names, walking its
// attributes as a CFileRecord does. Returns false when the record's own bytes cannot give the
// answer GetFileNameAttributes would, or may be damaged (CFileRecord::GetDamage tells): it carries
// an $ATTRIBUTE_LIST (its names may lie in other records), a non-resident FILE_NAME or more Win32
// and DOS sides than a record may carry (the selection throws), more than kMaxNames selected
// names, a FILE_NAME too short for its fields, or an attribute walk that ends in damage.
bool ReadFileNamesInPlace(const std::uint8_t* record, std::uint32_t size, int selector,
                          FileNamesInPlace& names);

} // namespace Krod
