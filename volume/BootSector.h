#pragma once
// The NTFS boot sector (sector 0 of the volume): the fields that give the volume's geometry and
// where its MFT lies, the test that a sector is an NTFS boot sector, and the checks that the
// geometry it states can be read.

#include <array>
#include <cstddef>
#include <cstdint>

namespace Krod {

// Field offsets from the start of the boot sector.
namespace BootField {
constexpr std::size_t kOemId = 0x03;             // 8 bytes, "NTFS    "
constexpr std::size_t kBytesPerSector = 0x0B;    // u16
constexpr std::size_t kSectorsPerCluster = 0x0D; // u8: sectors, or above 0x80 a negative power of two
constexpr std::size_t kTotalSectors = 0x28;      // u64, sectors in the volume
constexpr std::size_t kMftCluster = 0x30;        // u64, logical cluster number of $MFT
constexpr std::size_t kClustersPerRecord = 0x40; // s8: clusters, or a negative power of two in bytes
} // namespace BootField

// Whether the size bytes at sector begin as an NTFS boot sector does: the OEM identifier
// "NTFS    " at offset 3. False when size is too small to hold it.
bool LooksLikeNtfsBootSector(const std::uint8_t* sector, std::size_t size);

class CBootSector {
  public:
    // How much of sector 0 is kept: the BIOS parameter block up to the clusters-per-record field.
    static constexpr std::size_t kSize = 0x5D;

    // A boot sector of zeros (no NTFS volume).
    CBootSector() = default;
    // The first kSize bytes of sector; size must be at least kSize (std::out_of_range otherwise).
    CBootSector(const std::uint8_t* sector, std::size_t size);

    const std::array<std::uint8_t, kSize>& GetBytes() const { return bytes_; }
    bool LooksLikeNtfs() const { return LooksLikeNtfsBootSector(bytes_.data(), bytes_.size()); }

    // Geometry as the boot sector states it, unvalidated (CheckGeometry validates it). The sectors
    // per cluster byte b counts sectors up to 0x80; above it, as volumes with clusters of 128 KiB
    // and more store it, it stands for 2^(256 - b) sectors (0xF8: 256), at most 2^31.
    std::uint16_t GetBytesPerSector() const;
    std::uint32_t GetSectorsPerCluster() const;
    // Bytes per sector x sectors per cluster; 0 when that exceeds 32 bits (never a valid volume).
    std::uint32_t GetBytesPerCluster() const;
    // Sectors in the volume, the boot sector's backup at the end not counted.
    std::uint64_t GetTotalSectors() const;
    std::uint64_t GetMftCluster() const;
    // Clusters per record c > 0 gives c clusters; c <= 0 gives 2^-c bytes (0 gives 1 byte).
    std::uint32_t GetFileRecordSize() const;

    // Throws std::runtime_error "Unsupportable sector size" (not a power of two from 256 to 4096),
    // "Unsupportable cluster size" (not a power of two of sectors, or above 2 MiB), "Unsupportable
    // MFT record size" (not whole sectors, or above maxRecordSize) and "Unsupportable MFT position"
    // (its byte offset beyond 64 bits).
    void CheckGeometry(std::uint32_t maxRecordSize) const;

  private:
    std::array<std::uint8_t, kSize> bytes_{};
};

} // namespace Krod
