#pragma once
// The NTFS boot sector.

#include <cstddef>
#include <cstdint>

namespace Krod {

// Whether the first size bytes of a volume (its boot sector) carry NTFS's OEM identifier: the
// test that tells an NTFS volume from anything else, before any field is believed.
bool LooksLikeNtfsBootSector(const std::uint8_t* sector, std::size_t size);

} // namespace Krod
