#include "volume/BootSector.h"

#include "volume/LittleEndian.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace Krod {
namespace {

// The OEM identifier of every NTFS volume.
constexpr char kNtfsOemId[] = "NTFS    ";
constexpr std::size_t kOemIdSize = sizeof kNtfsOemId - 1;
// The sectors-per-cluster byte counts sectors up to this value, above it it is an exponent.
constexpr std::uint8_t kLargestSectorCount = 0x80;
// A negative exponent beyond this shifts a 32-bit count out entirely.
constexpr unsigned kLargestExponent = 31;
// NTFS sector sizes lie between these powers of two.
constexpr std::uint32_t kMinSectorSize = 256;
constexpr std::uint32_t kMaxSectorSize = 4096;
// Windows and mkntfs format clusters of up to 2 MiB.
constexpr std::uint32_t kMaxClusterSize = 2 * 1024 * 1024;

bool IsPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

} // namespace

bool LooksLikeNtfsBootSector(const std::uint8_t* sector, std::size_t size) {
    return FitsIn(size, BootField::kOemId, kOemIdSize) &&
           std::memcmp(sector + BootField::kOemId, kNtfsOemId, kOemIdSize) == 0;
}

CBootSector::CBootSector(const std::uint8_t* sector, std::size_t size) {
    if (size < kSize)
        ThrowFieldOutside();
    std::memcpy(bytes_.data(), sector, kSize);
}

std::uint16_t CBootSector::GetBytesPerSector() const {
    return read_le<std::uint16_t>(bytes_.data(), bytes_.size(), BootField::kBytesPerSector);
}

std::uint32_t CBootSector::GetSectorsPerCluster() const {
    const auto stored = read_le<std::uint8_t>(bytes_.data(), bytes_.size(), BootField::kSectorsPerCluster);
    if (stored <= kLargestSectorCount)
        return stored;
    const unsigned exponent = 256u - stored;
    return exponent > kLargestExponent ? 0 : std::uint32_t{1} << exponent;
}

std::uint32_t CBootSector::GetBytesPerCluster() const {
    const std::uint64_t bytes = std::uint64_t{GetBytesPerSector()} * GetSectorsPerCluster();
    return bytes > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(bytes);
}

std::uint64_t CBootSector::GetTotalSectors() const {
    return read_le<std::uint64_t>(bytes_.data(), bytes_.size(), BootField::kTotalSectors);
}

std::uint64_t CBootSector::GetMftCluster() const {
    return read_le<std::uint64_t>(bytes_.data(), bytes_.size(), BootField::kMftCluster);
}

std::uint32_t CBootSector::GetFileRecordSize() const {
    const auto clusters = read_le<std::int8_t>(bytes_.data(), bytes_.size(), BootField::kClustersPerRecord);
    if (clusters > 0)
        return GetBytesPerCluster() * static_cast<std::uint32_t>(clusters);
    return std::uint32_t{1} << ((-clusters) & 0x1F);
}

void CBootSector::CheckGeometry(std::uint32_t maxRecordSize) const {
    const std::uint32_t bytesPerSector = GetBytesPerSector();
    if (!IsPowerOfTwo(bytesPerSector) || bytesPerSector < kMinSectorSize || bytesPerSector > kMaxSectorSize)
        throw std::runtime_error("Unsupportable sector size");
    if (!IsPowerOfTwo(GetSectorsPerCluster()) || GetBytesPerCluster() == 0 ||
        GetBytesPerCluster() > kMaxClusterSize)
        throw std::runtime_error("Unsupportable cluster size");
    const std::uint32_t recordSize = GetFileRecordSize();
    if (recordSize < bytesPerSector || recordSize % bytesPerSector != 0 || recordSize > maxRecordSize)
        throw std::runtime_error("Unsupportable MFT record size");
    if (GetMftCluster() > std::numeric_limits<std::uint64_t>::max() / GetBytesPerCluster())
        throw std::runtime_error("Unsupportable MFT position");
}

} // namespace Krod
