#pragma once
// The names of a record read where it lies, in a block of records a scan has read and fixed up,
// without making a record object: the same names, chosen the same way, as the record's
// GetFileNameAttributes gives.

#include "volume/FileNameValue.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace Krod {

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
