#pragma once
// NTFS-shaped volumes built in memory for unit tests: a boot sector, an MFT laid over chosen runs,
// and FILE records with resident and non-resident attributes, protected by update sequences as
// NTFS writes them.

#include "platform/MemoryDevice.h"
#include "volume/LogicalDisk.h"

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk_test {

using Bytes = std::vector<std::uint8_t>;

// Writes value as a width-byte little-endian number at offset, growing bytes as needed.
void PutLe(Bytes& bytes, std::size_t offset, std::uint64_t value, std::size_t width);

// One run of clusters on the volume.
struct Run {
    std::uint64_t lcn;
    std::uint64_t length;
};

// A run list as NTFS encodes it: each run's LCN as a signed delta from the previous, widths minimal.
Bytes EncodeRunList(const std::vector<Run>& runs);

// Builds one FILE record of recordSize bytes.
class RecordBuilder {
  public:
    static constexpr std::uint16_t kInUse = 0x0001;
    static constexpr std::uint16_t kDirectory = 0x0002;

    explicit RecordBuilder(std::uint32_t recordSize, std::uint16_t flags = kInUse);

    // Appends an attribute; name is UTF-16 code units, one per wchar_t.
    RecordBuilder& Resident(std::uint32_t type, const Bytes& value, const std::wstring& name = L"");
    RecordBuilder& NonResident(std::uint32_t type, const Bytes& runList, std::uint64_t allocatedSize,
                               std::uint64_t dataSize, const std::wstring& name = L"");
    // Appends attribute bytes as given (for malformed attributes).
    RecordBuilder& Raw(const Bytes& attribute);

    // The record bytes: end marker and bytes in use written, update sequence applied with
    // sequence number usn over 512-byte stretches.
    Bytes Build(std::uint16_t usn = 0x0101) const;

  private:
    std::uint32_t recordSize_;
    std::uint16_t flags_;
    std::uint16_t firstAttribute_;
    Bytes attributes_;
};

// One $ATTRIBUTE_LIST entry, 0x20 bytes, naming an unnamed attribute of type whose piece from
// lowestVcn on lies in the record fileReference, as attribute instance.
Bytes AttributeListEntry(std::uint32_t type, std::uint64_t lowestVcn, std::uint64_t fileReference,
                         std::uint16_t instance);

// A FILE_NAME value with the given parent, namespace and name.
Bytes FileNameValue(std::uint64_t parentReference, std::uint8_t nameSpace, const std::wstring& name);

struct Geometry {
    std::uint16_t bytesPerSector = 512;
    std::uint8_t sectorsPerCluster = 8;
    std::int8_t clustersPerRecord = -10; // 1024-byte records
};

// What a test holds of an opened volume: the disk (one reference) and its device, which the disk owns.
struct OpenedVolume {
    boost::intrusive_ptr<Krod::CLogicalDisk> disk;
    platform::MemoryDevice* device;
};

class SyntheticVolume {
  public:
    // A volume of clusters clusters whose MFT occupies mftRuns; record 0 describes them.
    SyntheticVolume(Geometry geometry, std::uint64_t clusters, std::vector<Run> mftRuns);
    // 512-byte sectors, 4096-byte clusters, 1024-byte records; 64 clusters with the MFT in two
    // runs: clusters 4-5 (records 0-7) and 20-21 (records 8-15).
    SyntheticVolume();

    std::uint32_t RecordSize() const;
    std::uint32_t BytesPerCluster() const;
    // The byte offset of record n through the MFT runs.
    std::uint64_t RecordOffset(std::uint64_t n) const;
    void PutRecord(std::uint64_t n, const Bytes& record);
    void PutBytes(std::uint64_t offset, const Bytes& bytes);
    Bytes& Image() { return image_; }

    // A device over a copy of the image; the disk reads its boot sector at once.
    OpenedVolume Open(std::optional<std::uint32_t> deviceSectorSize = {}) const;

  private:
    Geometry geometry_;
    std::vector<Run> mftRuns_;
    Bytes image_;
};

} // namespace vesk_test
