#pragma once
// One hit of the scan: the record as read and the FILE_NAME of it that matched.

#include "volume/Attribute.h"
#include "volume/FileRecord.h"

#include <cstdint>
#include <optional>

struct FoundFile {
    // Copies share the record buffer.
    Krod::CFileRecord record;
    // The number the record was read under; the ID column and messages show it.
    std::uint32_t recordNumber = 0;
    // The FILE_NAME attribute that matched (a view of record's buffer); none until the hit is made.
    std::optional<Krod::CAttribute> matchedName;
};
