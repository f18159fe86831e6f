#pragma once
// The value of a FILE_NAME attribute (type 0x30): its fields, the namespaces of names and their
// selection, read where the value lies, in a CFileRecord's buffer or in a block of records a scan
// has read. The view of the attribute is CFileNameAttribute.

#include "volume/AttributeHeader.h"
#include "volume/FileReference.h"
#include "volume/FileTimes.h"
#include "volume/LittleEndian.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Krod {

// FILE_NAME value fields, offsets from the start of the value.
namespace FileNameField {
constexpr std::size_t kParentReference = 0x00; // u64 FileReference of the parent directory
constexpr std::size_t kCreated = 0x08;         // u64 ticks, as the three times below
constexpr std::size_t kModified = 0x10;
constexpr std::size_t kRecordChanged = 0x18;
constexpr std::size_t kAccessed = 0x20;
constexpr std::size_t kFileAttributes = 0x38; // u32 file attribute flags
constexpr std::size_t kNameLength = 0x40;     // u8, in code units
constexpr std::size_t kNamespace = 0x41;      // u8
constexpr std::size_t kName = 0x42;           // the name's code units
} // namespace FileNameField

// File attribute flags.
constexpr std::uint32_t kFileAttributeSystem = 0x00000004;
constexpr std::uint32_t kFileAttributeDirectory = 0x10000000; // the file has a $I30 index

// File-name namespaces, the namespace byte. Bit 0 marks a name with a Win32 side, bit 1 a name
// with a DOS side.
constexpr std::uint8_t kNamespacePosix = 0;
constexpr std::uint8_t kNamespaceWin32 = 1;
constexpr std::uint8_t kNamespaceDos = 2;
constexpr std::uint8_t kNamespaceWin32AndDos = 3;
// The namespace selector that keeps every name (GetFileNameAttributes) or stands for the name's
// own namespace (GetParentPath).
constexpr int AnyNamespace = 256;

// The fixed part of a FILE_NAME value; the name's code units follow it to the end of the value.
constexpr std::size_t kFileNameHeaderSize = FileNameField::kName;
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

    // Whether the value is long enough for the parent reference, the first of its fields.
    bool HoldsParentReference() const {
        return FitsIn(length_, FileNameField::kParentReference, sizeof(std::uint64_t));
    }
    FileReference GetParentReference() const;
    std::uint32_t GetFileAttributes() const;
    std::uint8_t GetNamespace() const;
    // The time stamps this name was given when it was made, moved or renamed; they need not agree
    // with the file's own in $STANDARD_INFORMATION.
    FileTimes GetTimes() const;
    // The name: the code units from kFileNameHeaderSize to the end of the value (nothing for a
    // shorter value). GetFileNameLength() units, at most half the record size.
    std::size_t GetFileNameLength() const;
    // The name's GetFileNameLength() code units as stored: little-endian, two bytes each.
    const std::uint8_t* GetFileNameUnits() const { return value_ + kFileNameHeaderSize; }
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

} // namespace Krod
