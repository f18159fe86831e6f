#pragma once
// The opened volume: its boot sector, its geometry and whole-sector reads. Reference counted:
// it is created with one reference and destroys itself when Release() drops the last one.

#include "platform/Device.h"
#include "volume/BootSector.h"
#include "volume/FrameAllocator.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Krod {

class CLogicalDisk {
  public:
    // Size of the first read when the device cannot tell its sector size.
    static constexpr std::uint32_t kProvisionalSectorSize = 32768;

    // Opens the volume of a drive text at platform::DevicePathForDrive(drive) ("\\.\C:" for "C:"
    // on Windows, the device or image path itself on POSIX) through the image layer, and reads its
    // boot sector. Throws ESystemError if the device cannot be opened or sector 0 cannot be read,
    // std::runtime_error with the image layer's one-line text when what the path names holds no
    // volume to open; that text calls the drive text valueName, as the user knows it. openNotes
    // receives the notes about damage that the reads of the open met, also when it throws; later
    // ones TakeDeviceNotes hands out.
    CLogicalDisk(const wchar_t* drive, const std::string& valueName, std::vector<std::string>& openNotes);
    // The same on an opened device; the disk owns the device. When sector 0 cannot be read, the notes
    // of the device's reads so far go to failureNotes (if given) before the throw.
    explicit CLogicalDisk(std::unique_ptr<platform::Device> device,
                          std::vector<std::string>* failureNotes = nullptr);

    CLogicalDisk(const CLogicalDisk&) = delete;
    CLogicalDisk& operator=(const CLogicalDisk&) = delete;

    void AddRef() { ++references_; }
    // Drops one reference and returns the count left; at 0 the disk is destroyed. Inline, as the
    // record and attribute objects of every record take and drop references.
    std::uint32_t Release() {
        const std::uint32_t left = --references_;
        if (left == 0)
            Destroy();
        return left;
    }

    const CBootSector& GetBootSector() const { return bootSector_; }

    // The notes about damage that the device's reads have met since the last call, for the user
    // (platform::Device::TakeNotes).
    std::vector<std::string> TakeDeviceNotes() { return device_->TakeNotes(); }

    // Geometry as the boot sector states it, unvalidated (CMft validates it): see CBootSector.
    std::uint16_t GetBytesPerSector() const { return bootSector_.GetBytesPerSector(); }
    std::uint32_t GetSectorsPerCluster() const { return bootSector_.GetSectorsPerCluster(); }
    std::uint32_t GetBytesPerCluster() const { return bootSector_.GetBytesPerCluster(); }
    std::uint64_t GetMftCluster() const { return bootSector_.GetMftCluster(); }
    // Sectors in the volume, the boot sector's backup at the end not counted: what the boot sector
    // states, but no more than the device holds when it can tell its size (a damaged boot sector
    // must not make a small image look huge).
    std::uint64_t GetTotalSectors() const;
    // The sectors the boot sector states, whatever the device holds.
    std::uint64_t GetStatedTotalSectors() const { return bootSector_.GetTotalSectors(); }
    // Those sectors in bytes, or the largest 64-bit number when they hold more.
    std::uint64_t GetStatedBytes() const;
    // The bytes the device holds when it holds fewer than the volume's stated sectors: an image cut
    // short, or a partition running past the end of its disk's image. Nothing for a whole volume and
    // for a device that cannot tell its size.
    std::optional<std::uint64_t> GetCutShortAt() const;
    // Whether the device holds sectors [first, first + count); true when it cannot tell its size.
    bool HoldsSectors(std::uint64_t first, std::uint64_t count) const;
    std::uint32_t GetFileRecordSize() const { return bootSector_.GetFileRecordSize(); }

    // Positions the device at sector; does nothing if it already stands there. Throws ESystemError
    // if the device refuses, std::out_of_range if the byte offset exceeds 64 bits.
    void SeekSector(std::uint64_t sector);
    // Reads count whole sectors at the current position into buffer (count x bytes per sector
    // bytes) and advances the position. Sectors past the end of the device read as zeros.
    // Throws ESystemError if the device fails; the position must then be set again.
    void ReadSectors(void* buffer, std::uint32_t count);
    // SeekSector, then ReadSectors.
    void ReadSectorsAt(void* buffer, std::uint64_t sector, std::uint32_t count);
    // Starts reading count sectors at sector into buffer in the background, leaving the position
    // as it is (platform::Device::ReadInBackground); nothing when the device cannot, or the offset
    // exceeds 64 bits.
    std::unique_ptr<platform::BackgroundRead> ReadSectorsInBackground(void* buffer, std::uint64_t sector,
                                                                      std::uint32_t count);

    // count sectors from first on.
    struct SectorRange {
        std::uint64_t first;
        std::uint64_t count;
    };
    // Tells the device that the sectors of ranges are going to be read soon, in about that order
    // (platform::Device::Prefetch, which may keep keepBytes of them); leaves out a range whose
    // bytes lie beyond 64 bits. Returns whether the device has to fetch some of them.
    bool PrefetchSectors(const std::vector<SectorRange>& ranges, std::size_t keepBytes);

    // The pool of record frames of this volume; it dies with the disk.
    CFrameAllocator& GetFrameAllocator() { return frames_; }

  private:
    CLogicalDisk(const std::wstring& devicePath, const std::string& valueName,
                 std::vector<std::string>& openNotes);
    ~CLogicalDisk() = default; // only Release() destroys a disk
    void Destroy();
    void ReadBootSector(std::vector<std::string>* failureNotes);

    std::uint32_t references_ = 1;
    CBootSector bootSector_;
    std::unique_ptr<platform::Device> device_;
    std::optional<std::uint64_t> deviceBytes_; // the device's size, when it can tell
    std::optional<std::uint64_t> position_;    // sector the device stands at; unknown after a failure
    CFrameAllocator frames_;
};

// Hooks for boost::intrusive_ptr<CLogicalDisk>.
inline void intrusive_ptr_add_ref(CLogicalDisk* disk) {
    disk->AddRef();
}
inline void intrusive_ptr_release(CLogicalDisk* disk) {
    disk->Release();
}

} // namespace Krod
