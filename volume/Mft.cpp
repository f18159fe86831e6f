#include "volume/Mft.h"

#include "volume/AttributeHeader.h"
#include "volume/AttributeListAttribute.h"
#include "volume/AttributeWalk.h"
#include "volume/BootSector.h"
#include "volume/Errors.h"
#include "volume/FileNameValue.h"
#include "volume/RecordHeader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace Krod {
namespace {

// Rounds of reading $MFT's extension records through the runs found so far. NTFS keeps those
// records early in the MFT, inside the first piece's runs, so a second round rarely finds more.
constexpr unsigned kMaxMftListRounds = 16;
// Record numbers the directory cache keeps a bit for, at most (16 MiB of bits): a parent reference
// of a damaged volume may name a record far out in an $MFT whose runs map the same clusters again
// and again, and a bit for every number below it would take gigabytes. Above it, the cache itself
// is asked.
constexpr std::uint64_t kMaxKeptBits = std::uint64_t{1} << 27;

using SectorRange = CLogicalDisk::SectorRange;

// What a scan's pre-pass looks at in a valid base record: its $ATTRIBUTE_LIST, if its first
// attribute of that type or later is one (a record keeps its attributes sorted by type, and
// CFileRecordData::HasAttributeList finds it so), with its offset and length; and the records
// its FILE_NAMEs name as parents, passed to parent as references.
template <typename Parent>
std::pair<std::uint32_t, std::uint32_t> FindListAndParents(const std::uint8_t* record, std::uint32_t size,
                                                           Parent parent) {
    std::pair<std::uint32_t, std::uint32_t> list{0, 0};
    bool listPlace = true;
    WalkAttributes(record, size, [&](std::uint32_t type, std::uint32_t offset, std::uint32_t length) {
        if (listPlace && type >= kAttributeList) {
            if (type == kAttributeList)
                list = {offset, length};
            listPlace = false;
        }
        const std::uint8_t* header = record + offset;
        // The walk's validation placed a resident value inside its attribute.
        if (type == kAttributeFileName && load_le<std::uint8_t>(header + AttributeField::kNonResident) == 0) {
            const CFileNameInPlace name(header +
                                            load_le<std::uint16_t>(header + AttributeField::kValueOffset),
                                        load_le<std::uint32_t>(header + AttributeField::kValueLength));
            // A value too short for the fields names no parent; the record reports it.
            if (name.HoldsParentReference())
                parent(name.GetParentReference());
        }
        return type <= kAttributeFileName;
    });
    return list;
}

// The sectors ReadAttributeList reads for the non-resident list header[0, length): its value's
// clusters, through its runs, unless the value is too large to be read.
void AddListClusters(const std::uint8_t* header, std::uint32_t length, const CLogicalDisk& disk,
                     std::vector<SectorRange>& spans) {
    const std::uint64_t size = read_le<std::uint64_t>(header, length, AttributeField::kDataSize);
    const std::uint64_t bytesPerCluster = disk.GetBytesPerCluster();
    if (size > kMaxAttributeListSize || bytesPerCluster == 0)
        return;
    std::uint64_t clusters = (size + bytesPerCluster - 1) / bytesPerCluster;
    // The runs are validated, so these products stay inside 64 bits.
    for (const DataRun& run : DecodeRunList(header, length, static_cast<std::uint32_t>(bytesPerCluster))) {
        if (clusters == 0)
            break;
        const std::uint64_t taken = std::min(clusters, run.length);
        if (!run.sparse)
            spans.push_back({run.lcn * disk.GetSectorsPerCluster(), taken * disk.GetSectorsPerCluster()});
        clusters -= taken;
    }
}

} // namespace

CMft::CMft(CLogicalDisk* disk) {
    const CBootSector& boot = disk->GetBootSector();
    if (!boot.LooksLikeNtfs())
        throw EInvalidPartition();
    boot.CheckGeometry(kMaxRecordSize);
    recordSize_ = disk->GetFileRecordSize();
    sectorsPerRecord_ = recordSize_ / disk->GetBytesPerSector();

    // The pool gets its first block now, before the scan; a second reader of the same disk shares it.
    CFrameAllocator& frames = disk->GetFrameAllocator();
    if (frames.GetFrameSize() != CFileRecordData::FrameSizeFor(recordSize_))
        frames.SetFrameSize(CFileRecordData::FrameSizeFor(recordSize_));
    frames.FreeFrame(frames.AllocateFrame());

    // Record 0 is $MFT itself; it is read where the boot sector says, since no run list is known yet.
    // CheckGeometry keeps the sector number inside 64 bits.
    if (!disk->HoldsSectors(disk->GetMftCluster() * disk->GetSectorsPerCluster(), sectorsPerRecord_))
        throw std::runtime_error("The $MFT lies past the end of the image.");
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
    // A piece of the run list that was not found (its extension record lost, or past the end of the
    // image) would leave records unread without a word; no record may be taken for another.
    const std::uint64_t clusters = mftData_.GetAllocatedSize() / disk->GetBytesPerCluster();
    if (mftData_.GetClusterCount() < clusters)
        throw std::runtime_error("The run list of the $MFT cannot be read in full: it maps " +
                                 std::to_string(mftData_.GetClusterCount()) + " of its " +
                                 std::to_string(clusters) + " clusters.");
}

CFileRecord CMft::ReadFileRecord(std::uint32_t recordNumber) {
    return ReadFileRecord(FileReference(recordNumber));
}

CFileRecord CMft::ReadFileRecord(FileReference reference) {
    const std::uint64_t number = reference.GetRecordNumber();
    if (IsKept(number))
        return directoryCache_.find(number)->second;

    CFileRecord record(mftData_.GetDisk(), reference);
    ReadInto(record, number);
    FollowAttributeListOf(record);
    if (EnableDirectoryCache && record.IsValid() && (record.GetFlags() & kRecordIsDirectory) != 0) {
        directoryCache_.emplace(number, record);
        if (number < kMaxKeptBits) {
            if (number >= kept_.size())
                kept_.resize(number + 1);
            kept_[number] = true;
        }
    }
    return record;
}

void CMft::ReadRecords(std::uint8_t* bytes, std::uint64_t first, std::uint32_t count) {
    const std::uint64_t sectors = std::uint64_t{count} * sectorsPerRecord_;
    if (sectors > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("Record block too large");
    const std::size_t bytesPerSector = mftData_.GetDisk()->GetBytesPerSector();
    // Record numbers have 48 bits and a record at most 256 sectors, so this cannot wrap.
    const std::uint32_t read =
        mftData_.ReadSectors(bytes, first * sectorsPerRecord_, static_cast<std::uint32_t>(sectors));
    const std::uint64_t whole = read / sectorsPerRecord_ * sectorsPerRecord_;
    std::memset(bytes + whole * bytesPerSector, 0, (sectors - whole) * bytesPerSector);
}

std::unique_ptr<platform::BackgroundRead>
CMft::ReadRecordsInBackground(std::uint8_t* bytes, std::uint64_t first, std::uint32_t count) {
    const std::uint64_t sectors = std::uint64_t{count} * sectorsPerRecord_;
    const std::optional<std::uint64_t> sector =
        mftData_.GetContiguousSectors(first * sectorsPerRecord_, sectors);
    if (!sector || sectors > std::numeric_limits<std::uint32_t>::max())
        return nullptr;
    return mftData_.GetDisk()->ReadSectorsInBackground(bytes, *sector, static_cast<std::uint32_t>(sectors));
}

void CMft::FindParents(const std::uint8_t* bytes, const std::function<void(FileReference)>& parent) const {
    FindListAndParents(bytes, recordSize_, [&parent](FileReference reference) { parent(reference); });
}

void CMft::FindFarReads(const std::uint8_t* record, const std::function<void(FileReference)>& parent,
                        const std::function<void(FileReference)>& extension,
                        std::vector<SectorRange>& listSectors) const {
    const auto [offset, length] =
        FindListAndParents(record, recordSize_, [&parent](FileReference reference) { parent(reference); });
    if (length == 0)
        return;
    const std::uint8_t* header = record + offset;
    if (read_le<std::uint8_t>(header, length, AttributeField::kNonResident) != 0) {
        AddListClusters(header, length, *mftData_.GetDisk(), listSectors);
        return;
    }
    // The attribute's validation placed the value inside it.
    const std::uint8_t* value = header + read_le<std::uint16_t>(header, length, AttributeField::kValueOffset);
    for (const AttributeListEntry& entry :
         ParseAttributeList(value, read_le<std::uint32_t>(header, length, AttributeField::kValueLength)))
        if (entry.type != kAttributeList)
            extension(entry.record);
}

std::optional<SectorRange> CMft::GetRecordSectors(std::uint64_t number) const {
    // Record numbers have 48 bits and a record at most 256 sectors, so this cannot wrap.
    if (const auto sector = mftData_.GetContiguousSectors(number * sectorsPerRecord_, sectorsPerRecord_))
        return SectorRange{*sector, sectorsPerRecord_};
    return std::nullopt;
}

bool CMft::IsKept(std::uint64_t number) const {
    if (number < kept_.size())
        return kept_[number];
    return number >= kMaxKeptBits && directoryCache_.find(number) != directoryCache_.end();
}

void CMft::ReadInto(CFileRecord& record, std::uint64_t recordNumber) {
    // A record a scan holds is copied from its block, fixed up already if it could be.
    bool fixedUp = false;
    if (const std::uint8_t* held = held_ ? held_->HeldRecord(recordNumber, fixedUp) : nullptr) {
        std::memcpy(record.GetBuffer(), held, record.GetBufferSize());
        record.fixedUp_ = fixedUp;
        return;
    }
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
    FollowAttributeList(record, [this](FileReference reference) {
        CFileRecord extension(mftData_.GetDisk(), reference);
        ReadInto(extension, reference.GetRecordNumber());
        return extension;
    });
}

std::vector<CMft::RecordRange> CMft::GetRecordsPastImageEnd() const {
    const CLogicalDisk& disk = *mftData_.GetDisk();
    const std::optional<std::uint64_t> cut = disk.GetCutShortAt();
    const std::uint64_t records =
        std::min(mftData_.GetSectorCount(), disk.GetStatedTotalSectors()) / sectorsPerRecord_;
    std::vector<RecordRange> ranges;
    if (!cut || records == 0)
        return ranges;
    const std::uint64_t deviceSectors = *cut / disk.GetBytesPerSector();
    const std::uint64_t sectorsPerCluster = disk.GetSectorsPerCluster();
    for (const DataRun& run : mftData_.GetRuns()) {
        // The run list's validation keeps these products inside 64 bits.
        const std::uint64_t start = run.lcn * sectorsPerCluster;
        const std::uint64_t sectors = run.length * sectorsPerCluster;
        if (run.sparse || start + sectors <= deviceSectors)
            continue;
        const std::uint64_t held = start >= deviceSectors ? 0 : deviceSectors - start;
        const std::uint64_t first = (run.vcn * sectorsPerCluster + held) / sectorsPerRecord_;
        const std::uint64_t last =
            std::min(records - 1, (run.vcn * sectorsPerCluster + sectors - 1) / sectorsPerRecord_);
        if (first > last)
            continue;
        if (!ranges.empty() && first <= ranges.back().last + 1)
            ranges.back().last = std::max(ranges.back().last, last);
        else
            ranges.push_back({first, last});
    }
    return ranges;
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
