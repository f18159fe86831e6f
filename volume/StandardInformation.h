#pragma once
// The $STANDARD_INFORMATION view (attribute type 0x10): the file's own time stamps and file
// attribute flags, which every base record carries first among its attributes.

#include "volume/FileTimes.h"

#include <cstdint>
#include <optional>

namespace Krod {

class CFileRecord;

constexpr std::uint32_t kAttributeStandardInformation = 0x10;

struct StandardInformation {
    FileTimes times;
    std::uint32_t fileAttributes = 0; // read-only 0x1, hidden 0x2, system 0x4, archive 0x20, ...
};

// The $STANDARD_INFORMATION of record (a valid base record), or nothing when it has none that
// holds the times and the flags: none at all, a non-resident one, or a value shorter than the
// fields. Every such record is damaged; NTFS writes the attribute resident into each base record.
std::optional<StandardInformation> ReadStandardInformation(const CFileRecord& record);

} // namespace Krod
