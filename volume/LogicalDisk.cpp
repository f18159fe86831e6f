#include "volume/LogicalDisk.h"

#include "image/ImageStack.h"
#include "volume/BootSector.h"
#include "volume/Errors.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

namespace Krod {
namespace {

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
    : CLogicalDisk(OpenOrThrow(devicePath, valueName, openNotes), &openNotes) {}

CLogicalDisk::CLogicalDisk(std::unique_ptr<platform::Device> device, std::vector<std::string>* failureNotes)
    : device_(std::move(device)), deviceBytes_(device_->Size()) {
    ReadBootSector(failureNotes);
}

// The boot sector tells the sector size only after it has been read, so the first read uses
// what the device reports, or a size no sector exceeds.
void CLogicalDisk::ReadBootSector(std::vector<std::string>* failureNotes) {
    std::uint32_t size = device_->SectorSize().value_or(kProvisionalSectorSize);
    if (size == 0 || size > kProvisionalSectorSize)
        size = kProvisionalSectorSize; // no sector is larger; a device claiming more is not believed
    std::vector<std::uint8_t> sector(std::max<std::size_t>(size, CBootSector::kSize));
    // The device dies with the disk that fails to be made: what its reads noted (a damaged chunk of
    // the partition table's pass) is handed out first.
    const auto fail = [&](platform::ErrorCode error) {
        if (failureNotes != nullptr)
            for (std::string& note : device_->TakeNotes())
                failureNotes->push_back(std::move(note));
        return ESystemError(error);
    };
    if (platform::ErrorCode error = device_->Seek(0))
        throw fail(error);
    if (platform::ErrorCode error = device_->Read(sector.data(), sector.size()))
        throw fail(error);
    bootSector_ = CBootSector(sector.data(), sector.size());
    // The device stands after the provisional sector, which need not be a boot-sector sector:
    // leave the position unknown so that the next read seeks.
    position_.reset();
}

void CLogicalDisk::Destroy() {
    delete this;
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

bool CLogicalDisk::PrefetchSectors(const std::vector<SectorRange>& ranges, std::size_t keepBytes) {
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
    return device_->Prefetch(bytes, keepBytes);
}

void CLogicalDisk::ReadSectorsAt(void* buffer, std::uint64_t sector, std::uint32_t count) {
    SeekSector(sector);
    ReadSectors(buffer, count);
}

} // namespace Krod
