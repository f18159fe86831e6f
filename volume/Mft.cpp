#include "volume/Mft.h"

#include "volume/AttributeHeader.h"
#include "volume/Errors.h"
#include "volume/ListedAttributes.h"
#include "volume/UpdateSequence.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

namespace Krod {
namespace {

// The OEM identifier at boot sector offset 0x03 of every NTFS volume.
constexpr char kNtfsOemId[] = "NTFS    ";
constexpr std::size_t kOemIdOffset = 0x03;
// NTFS sector sizes lie between these powers of two.
constexpr std::uint32_t kMinSectorSize = 256;
constexpr std::uint32_t kMaxSectorSize = 4096;
// Rounds of reading $MFT's extension records through the runs found so far. NTFS keeps those
// records early in the MFT, inside the first piece's runs, so a second round rarely finds more.
constexpr unsigned kMaxMftListRounds = 16;

bool IsPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

void CheckGeometry(CLogicalDisk& disk) {
    const std::uint32_t bytesPerSector = disk.GetBytesPerSector();
    if (!IsPowerOfTwo(bytesPerSector) || bytesPerSector < kMinSectorSize || bytesPerSector > kMaxSectorSize)
        throw std::runtime_error("Unsupportable sector size");
    if (!IsPowerOfTwo(disk.GetSectorsPerCluster()))
        throw std::runtime_error("Unsupportable cluster size");
    const std::uint32_t recordSize = disk.GetFileRecordSize();
    if (recordSize < bytesPerSector || recordSize % bytesPerSector != 0 || recordSize > CMft::kMaxRecordSize)
        throw std::runtime_error("Unsupportable MFT record size");
    if (disk.GetMftCluster() > std::numeric_limits<std::uint64_t>::max() / disk.GetBytesPerCluster())
        throw std::runtime_error("Unsupportable MFT position");
}

} // namespace

CMft::CMft(CLogicalDisk* disk) {
    const auto& boot = disk->GetBootSector();
    if (std::memcmp(boot.data() + kOemIdOffset, kNtfsOemId, sizeof kNtfsOemId - 1) != 0)
        throw EInvalidPartition();
    CheckGeometry(*disk);
    const std::uint32_t recordSize = disk->GetFileRecordSize();
    sectorsPerRecord_ = recordSize / disk->GetBytesPerSector();

    // The pool gets its first block now, before the scan; a second reader of the same disk shares it.
    CFrameAllocator& frames = disk->GetFrameAllocator();
    if (frames.GetFrameSize() != CFileRecordData::FrameSizeFor(recordSize))
        frames.SetFrameSize(CFileRecordData::FrameSizeFor(recordSize));
    frames.FreeFrame(frames.AllocateFrame());

    // Record 0 is $MFT itself; it is read where the boot sector says, since no run list is known yet.
    CFileRecord mftRecord(disk, FileReference(0));
    disk->ReadSectorsAt(mftRecord.GetBuffer(), disk->GetMftCluster() * disk->GetSectorsPerCluster(),
                        sectorsPerRecord_);
    if (mftRecord.IsFileRecord() && !ApplyFixup(mftRecord))
        throw std::runtime_error("0th file record fixup check failed");
    AttributeList data = mftRecord.FindAttributes(kAttributeData);
    // The pieces of a $DATA too fragmented for record 0 lie in extension records, which are read
    // through the runs known so far; a round that finds more runs may reach more of them.
    if (!data.empty() && data.front().IsNonResident() && !data.front().GetRuns().empty()) {
        for (unsigned round = 0; round < kMaxMftListRounds; ++round) {
            mftData_ = data.front();
            FollowAttributeListOf(mftRecord);
            data = mftRecord.FindAttributes(kAttributeData);
            if (data.size() != 1 || !data.front().IsNonResident() ||
                data.front().GetClusterCount() <= mftData_.GetClusterCount())
                break;
        }
    }
    if (data.size() != 1)
        throw std::runtime_error("Number of data attributes of 0th file record is not 1");
    if (!data.front().IsNonResident() || data.front().GetRuns().empty())
        throw std::runtime_error("0th file record has no data runs");
    mftData_ = data.front();
}

CFileRecord CMft::ReadFileRecord(std::uint32_t recordNumber) {
    return ReadFileRecord(FileReference(recordNumber));
}

CFileRecord CMft::ReadFileRecord(FileReference reference) {
    const std::uint64_t number = reference.GetRecordNumber();
    auto cached =
        std::lower_bound(directoryCache_.begin(), directoryCache_.end(), number,
                         [](const auto& entry, std::uint64_t wanted) { return entry.first < wanted; });
    if (cached != directoryCache_.end() && cached->first == number)
        return cached->second;

    CFileRecord record(mftData_.GetDisk(), reference);
    ReadInto(record, number);
    FollowAttributeListOf(record);
    if (EnableDirectoryCache && record.IsValid() && (record.GetFlags() & kRecordIsDirectory) != 0)
        directoryCache_.emplace(cached, number, record);
    return record;
}

void CMft::ReadInto(CFileRecord& record, std::uint64_t recordNumber) {
    // Record numbers have 48 bits and a record at most 256 sectors, so this cannot wrap.
    const std::uint32_t read =
        mftData_.ReadSectors(record.GetBuffer(), recordNumber * sectorsPerRecord_, sectorsPerRecord_);
    if (read < sectorsPerRecord_) {
        // Beyond the MFT's runs: never let a recycled frame's old bytes pass for this record.
        std::memset(record.GetBuffer(), 0, record.GetBufferSize());
        return;
    }
    ApplyFixup(record);
}

void CMft::FollowAttributeListOf(CFileRecord& record) {
    if (!record.IsValid() || record.GetBaseReference().GetRaw() != 0 || !record.GetData()->HasAttributeList())
        return;
    record.listed_ =
        std::make_shared<const AttributeList>(FollowAttributeList(record, [this](FileReference reference) {
            CFileRecord extension(mftData_.GetDisk(), reference);
            ReadInto(extension, reference.GetRecordNumber());
            return extension;
        }));
}

std::uint64_t CMft::GetFileRecordCount() const {
    const std::uint64_t volumeSectors = mftData_.GetDisk()->GetTotalSectors();
    return std::min(mftData_.GetSectorCount(), volumeSectors) / sectorsPerRecord_;
}

bool CMft::ApplyFixup(CFileRecord& record) const {
    if (record.fixedUp_)
        return true;
    if (!record.IsFileRecord() || !ApplyUpdateSequence(record.GetBuffer(), record.GetBufferSize()))
        return false;
    record.fixedUp_ = true;
    return true;
}

} // namespace Krod
