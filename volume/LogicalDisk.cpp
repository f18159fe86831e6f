#include "volume/LogicalDisk.h"

#include "image/ImageStack.h"
#include "volume/BootSector.h"
#include "volume/Errors.h"
#include "volume/LittleEndian.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

namespace Krod {
namespace {

// Boot sector fields the disk answers about.
constexpr std::size_t kBytesPerSectorOffset = 0x0B;    // u16
constexpr std::size_t kSectorsPerClusterOffset = 0x0D; // u8: sectors, or above 0x80 a negative power of two
// The sectors-per-cluster byte counts sectors up to this value, above it it is an exponent.
constexpr std::uint8_t kLargestSectorCount = 0x80;
// A negative exponent beyond this shifts a 32-bit count out entirely.
constexpr unsigned kLargestExponent = 31;
constexpr std::size_t kTotalSectorsOffset = 0x28;      // u64, sectors in the volume
constexpr std::size_t kMftClusterOffset = 0x30;        // u64, logical cluster number of $MFT
constexpr std::size_t kClustersPerRecordOffset = 0x40; // s8: clusters, or a negative power of two in bytes

std::unique_ptr<platform::Device> OpenOrThrow(const std::wstring& path, const std::string& valueName,
                                              std::vector<std::string>& notes) {
    platform::OpenResult opened = image::OpenVolume(path, {LooksLikeNtfsBootSector, "NTFS", valueName});
    notes = std::move(opened.notes);
    if (!opened.device && !opened.problem.empty())
        throw std::runtime_error(opened.problem);
    if (!opened.device)
        throw ESystemError(opened.error);
    return std::move(opened.device);
}

} // namespace

CLogicalDisk::CLogicalDisk(const wchar_t* drive, const std::string& valueName,
                           std::vector<std::string>& openNotes)
    : CLogicalDisk(platform::DevicePathForDrive(drive), valueName, openNotes) {}

CLogicalDisk::CLogicalDisk(const std::wstring& devicePath, const std::string& valueName,
                           std::vector<std::string>& openNotes)
    : CLogicalDisk(OpenOrThrow(devicePath, valueName, openNotes)) {}

CLogicalDisk::CLogicalDisk(std::unique_ptr<platform::Device> device)
    : device_(std::move(device)), deviceBytes_(device_->Size()) {
    ReadBootSector();
}

// The boot sector tells the sector size only after it has been read, so the first read uses
// what the device reports, or a size no sector exceeds.
void CLogicalDisk::ReadBootSector() {
    std::uint32_t size = device_->SectorSize().value_or(kProvisionalSectorSize);
    if (size == 0 || size > kProvisionalSectorSize)
        size = kProvisionalSectorSize; // no sector is larger; a device claiming more is not believed
    std::vector<std::uint8_t> sector(std::max<std::size_t>(size, kBootSectorCopySize));
    if (platform::ErrorCode error = device_->Seek(0))
        throw ESystemError(error);
    if (platform::ErrorCode error = device_->Read(sector.data(), sector.size()))
        throw ESystemError(error);
    std::copy_n(sector.begin(), kBootSectorCopySize, bootSector_.begin());
    // The device stands after the provisional sector, which need not be a boot-sector sector:
    // leave the position unknown so that the next read seeks.
    position_.reset();
}

std::uint32_t CLogicalDisk::Release() {
    std::uint32_t left = --references_;
    if (left == 0)
        delete this;
    return left;
}

std::uint16_t CLogicalDisk::GetBytesPerSector() const {
    return read_le<std::uint16_t>(bootSector_.data(), bootSector_.size(), kBytesPerSectorOffset);
}

std::uint32_t CLogicalDisk::GetSectorsPerCluster() const {
    const auto stored =
        read_le<std::uint8_t>(bootSector_.data(), bootSector_.size(), kSectorsPerClusterOffset);
    if (stored <= kLargestSectorCount)
        return stored;
    const unsigned exponent = 256u - stored;
    return exponent > kLargestExponent ? 0 : std::uint32_t{1} << exponent;
}

std::uint32_t CLogicalDisk::GetBytesPerCluster() const {
    const std::uint64_t bytes = std::uint64_t{GetBytesPerSector()} * GetSectorsPerCluster();
    return bytes > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(bytes);
}

std::uint64_t CLogicalDisk::GetStatedTotalSectors() const {
    return read_le<std::uint64_t>(bootSector_.data(), bootSector_.size(), kTotalSectorsOffset);
}

std::uint64_t CLogicalDisk::GetStatedBytes() const {
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(GetStatedTotalSectors(), std::uint64_t{GetBytesPerSector()}, &bytes))
        return std::numeric_limits<std::uint64_t>::max();
    return bytes;
}

std::optional<std::uint64_t> CLogicalDisk::GetCutShortAt() const {
    const std::uint64_t bytesPerSector = GetBytesPerSector();
    if (!deviceBytes_ || bytesPerSector == 0 || *deviceBytes_ / bytesPerSector >= GetStatedTotalSectors())
        return std::nullopt;
    return deviceBytes_;
}

bool CLogicalDisk::HoldsSectors(std::uint64_t first, std::uint64_t count) const {
    const std::uint64_t bytesPerSector = GetBytesPerSector();
    if (!deviceBytes_ || bytesPerSector == 0)
        return true;
    const std::uint64_t sectors = *deviceBytes_ / bytesPerSector;
    return first <= sectors && count <= sectors - first;
}

std::uint64_t CLogicalDisk::GetTotalSectors() const {
    const std::uint64_t stated = GetStatedTotalSectors();
    const std::uint16_t bytesPerSector = GetBytesPerSector();
    if (!deviceBytes_ || bytesPerSector == 0)
        return stated;
    return std::min(stated, *deviceBytes_ / bytesPerSector);
}

std::uint64_t CLogicalDisk::GetMftCluster() const {
    return read_le<std::uint64_t>(bootSector_.data(), bootSector_.size(), kMftClusterOffset);
}

std::uint32_t CLogicalDisk::GetFileRecordSize() const {
    auto clusters = read_le<std::int8_t>(bootSector_.data(), bootSector_.size(), kClustersPerRecordOffset);
    if (clusters > 0)
        return GetBytesPerCluster() * static_cast<std::uint32_t>(clusters);
    return std::uint32_t{1} << ((-clusters) & 0x1F);
}

void CLogicalDisk::SeekSector(std::uint64_t sector) {
    if (position_ == sector)
        return;
    std::uint16_t bytesPerSector = GetBytesPerSector();
    if (bytesPerSector != 0 && sector > std::numeric_limits<std::uint64_t>::max() / bytesPerSector)
        throw std::out_of_range("Sector " + std::to_string(sector) + " lies beyond the addressable range");
    if (platform::ErrorCode error = device_->Seek(sector * bytesPerSector))
        throw ESystemError(error);
    position_ = sector;
}

void CLogicalDisk::ReadSectors(void* buffer, std::uint32_t count) {
    platform::ErrorCode error = device_->Read(buffer, std::size_t{count} * GetBytesPerSector());
    if (error != 0) {
        position_.reset();
        throw ESystemError(error);
    }
    if (position_)
        *position_ += count;
}

std::unique_ptr<platform::BackgroundRead>
CLogicalDisk::ReadSectorsInBackground(void* buffer, std::uint64_t sector, std::uint32_t count) {
    const std::uint16_t bytesPerSector = GetBytesPerSector();
    if (bytesPerSector != 0 && sector > std::numeric_limits<std::uint64_t>::max() / bytesPerSector)
        return nullptr;
    return device_->ReadInBackground(buffer, sector * bytesPerSector, std::size_t{count} * bytesPerSector);
}

bool CLogicalDisk::PrefetchSectors(const std::vector<SectorRange>& ranges) {
    const std::uint64_t bytesPerSector = GetBytesPerSector();
    const std::uint64_t maxBytes = std::min<std::uint64_t>(std::numeric_limits<std::uint64_t>::max(),
                                                           std::numeric_limits<std::size_t>::max());
    std::vector<platform::ByteRange> bytes;
    bytes.reserve(ranges.size());
    for (const SectorRange& range : ranges) {
        if (bytesPerSector != 0 &&
            (range.first > std::numeric_limits<std::uint64_t>::max() / bytesPerSector ||
             range.count > maxBytes / bytesPerSector))
            continue;
        bytes.push_back(
            {range.first * bytesPerSector, static_cast<std::size_t>(range.count * bytesPerSector)});
    }
    return device_->Prefetch(bytes);
}

void CLogicalDisk::ReadSectorsAt(void* buffer, std::uint64_t sector, std::uint32_t count) {
    SeekSector(sector);
    ReadSectors(buffer, count);
}

} // namespace Krod
