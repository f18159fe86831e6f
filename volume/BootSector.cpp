#include "volume/BootSector.h"

#include "volume/LittleEndian.h"

#include <cstring>

namespace Krod {
namespace {

// The OEM identifier at boot sector offset 0x03 of every NTFS volume.
constexpr char kNtfsOemId[] = "NTFS    ";
constexpr std::size_t kOemIdOffset = 0x03;

} // namespace

bool LooksLikeNtfsBootSector(const std::uint8_t* sector, std::size_t size) {
    return FitsIn(size, kOemIdOffset, sizeof kNtfsOemId - 1) &&
           std::memcmp(sector + kOemIdOffset, kNtfsOemId, sizeof kNtfsOemId - 1) == 0;
}

} // namespace Krod
