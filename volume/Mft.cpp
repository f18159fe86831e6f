#include "volume/Mft.h"

#include "volume/AttributeHeader.h"
#include "volume/AttributeListEntries.h"
#include "volume/AttributeWalk.h"
#include "volume/BootSector.h"
#include "volume/Errors.h"
#include "volume/ListedAttributes.h"
#include "volume/RecordHeader.h"
#include "volume/UpdateSequence.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

namespace Krod {
namespace {

// NTFS sector sizes lie between these powers of two.
constexpr std::uint32_t kMinSectorSize = 256;
constexpr std::uint32_t kMaxSectorSize = 4096;
// Windows and mkntfs format clusters of up to 2 MiB.
constexpr std::uint32_t kMaxClusterSize = 2 * 1024 * 1024;
// Rounds of reading $MFT's extension records through the runs found so far. NTFS keeps those
// records early in the MFT, inside the first piece's runs, so a second round rarely finds more.
constexpr unsigned kMaxMftListRounds = 16;
// How many records ahead a scan's bytes are asked for.
constexpr std::size_t kPrefetchDistance = 4;
// Parents ahead of the scan asked for and remembered at most; a volume has far fewer directories
// ahead of any point of its MFT.
constexpr std::size_t kMaxParentsAsked = 1 << 16;
// Directories ReadAncestors reads for the names of one record at most, and remembers having read at
// most; the names of a file have far fewer ancestors, and a volume far fewer directories.
constexpr std::size_t kMaxAncestorsRead = 1 << 14;
constexpr std::size_t kMaxAncestorsRemembered = 1 << 20;

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
        if (type == kAttributeFileName && load_le<std::uint8_t>(header + AttributeField::kNonResident) == 0 &&
            load_le<std::uint32_t>(header + AttributeField::kValueLength) >= sizeof(std::uint64_t))
            parent(FileReference::FromRaw(load_le<std::uint64_t>(
                header + load_le<std::uint16_t>(header + AttributeField::kValueOffset))));
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

// Asks disk for spans in order of position, neighbours and repeats joined, each no larger than a
// list may be; returns whether the device has to fetch some of them.
bool PrefetchInOrder(CLogicalDisk& disk, std::vector<SectorRange>& spans) {
    std::sort(spans.begin(), spans.end(),
              [](const SectorRange& a, const SectorRange& b) { return a.first < b.first; });
    const std::uint64_t maxSectors = kMaxAttributeListSize / disk.GetBytesPerSector();
    std::vector<SectorRange> joined;
    for (const SectorRange& span : spans) {
        if (!joined.empty() && span.first <= joined.back().first + joined.back().count) {
            const std::uint64_t end =
                std::max(joined.back().first + joined.back().count, span.first + span.count);
            if (end - joined.back().first <= maxSectors) {
                joined.back().count = end - joined.back().first;
                continue;
            }
        }
        joined.push_back(span);
    }
    return disk.PrefetchSectors(joined);
}

bool IsPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

void CheckGeometry(CLogicalDisk& disk) {
    const std::uint32_t bytesPerSector = disk.GetBytesPerSector();
    if (!IsPowerOfTwo(bytesPerSector) || bytesPerSector < kMinSectorSize || bytesPerSector > kMaxSectorSize)
        throw std::runtime_error("Unsupportable sector size");
    if (!IsPowerOfTwo(disk.GetSectorsPerCluster()) || disk.GetBytesPerCluster() == 0 ||
        disk.GetBytesPerCluster() > kMaxClusterSize)
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
    if (!LooksLikeNtfsBootSector(boot.data(), boot.size()))
        throw EInvalidPartition();
    CheckGeometry(*disk);
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
    const auto cached = KeptAt(number);
    if (cached != directoryCache_.end() && cached->first == number)
        return cached->second;

    CFileRecord record(mftData_.GetDisk(), reference);
    ReadInto(record, number);
    FollowAttributeListOf(record);
    if (EnableDirectoryCache && record.IsValid() && (record.GetFlags() & kRecordIsDirectory) != 0)
        directoryCache_.emplace(cached, number, record);
    return record;
}

void CMft::ReadBlock(std::uint64_t first, std::uint32_t count) {
    if (count > kMaxBlockBytes / recordSize_)
        throw std::length_error("Record block too large");
    if (takenCount_ != 0 && taken_[0].first == first && taken_[0].count == count) {
        std::swap(block_, taken_[0]); // fixed up as far as it was looked at
        std::rotate(taken_.begin(), taken_.begin() + 1, taken_.begin() + takenCount_);
        --takenCount_;
        return;
    }
    takenCount_ = 0;
    const std::uint64_t sectors = std::uint64_t{count} * sectorsPerRecord_;
    block_.states.assign(count, BlockRecordState::AsRead);
    block_.first = first;
    block_.count = 0; // nothing is served from the block until it is whole
    if (ahead_) {
        const bool wanted = aheadFirst_ == first && aheadCount_ == count;
        const platform::ErrorCode error = ahead_->Wait();
        ahead_.reset();
        // A failed read is read again as usual, which reports the error.
        if (wanted && error == 0) {
            block_.bytes.swap(aheadBytes_);
            block_.count = count;
            return;
        }
    }
    block_.bytes.resize(std::size_t{count} * recordSize_);
    const std::size_t bytesPerSector = mftData_.GetDisk()->GetBytesPerSector();
    // Record numbers have 48 bits and a record at most 256 sectors, so this cannot wrap.
    const std::uint32_t read = mftData_.ReadSectors(block_.bytes.data(), first * sectorsPerRecord_,
                                                    static_cast<std::uint32_t>(sectors));
    // Records beyond the MFT's runs, also one the runs cover only in part, read as zeros, as
    // ReadFileRecord gives them.
    const std::uint64_t whole = read / sectorsPerRecord_ * sectorsPerRecord_;
    std::memset(block_.bytes.data() + whole * bytesPerSector, 0, (sectors - whole) * bytesPerSector);
    block_.count = count;
}

bool CMft::TakeBlockAhead() {
    if (!ahead_ || takenCount_ == taken_.size())
        return false;
    const platform::ErrorCode error = ahead_->Wait();
    ahead_.reset();
    // A failed read is read again by ReadBlock, which reports the error.
    if (error != 0)
        return false;
    Block& taken = taken_[takenCount_];
    taken.bytes.swap(aheadBytes_);
    taken.states.assign(aheadCount_, BlockRecordState::AsRead);
    taken.first = aheadFirst_;
    taken.count = aheadCount_;
    ++takenCount_;
    return true;
}

void CMft::ReadBlockAhead(std::uint64_t first, std::uint32_t count) {
    ahead_.reset();
    if (count == 0 || count > kMaxBlockBytes / recordSize_)
        return;
    const std::uint64_t sectors = std::uint64_t{count} * sectorsPerRecord_;
    const std::optional<std::uint64_t> sector =
        mftData_.GetContiguousSectors(first * sectorsPerRecord_, sectors);
    if (!sector)
        return;
    aheadBytes_.resize(std::size_t{count} * recordSize_);
    aheadFirst_ = first;
    aheadCount_ = count;
    ahead_ = mftData_.GetDisk()->ReadSectorsInBackground(aheadBytes_.data(), *sector,
                                                         static_cast<std::uint32_t>(sectors));
}

// The scan tests the block's records while the next block is read: what following their lists and
// climbing from their names will read outside the block, asked for now and all together, arrives
// while it tests, instead of one seek at a time.
bool CMft::PrefetchFarReads(const std::function<bool(std::uint16_t flags)>& wanted) {
    CLogicalDisk& disk = *mftData_.GetDisk();
    Block& block = takenCount_ != 0 ? taken_[takenCount_ - 1] : block_;
    const std::uint64_t end = block.first + block.count;
    std::vector<SectorRange> spans;
    // With directories kept, a climb reads only the parents that lie ahead of the scan; each is
    // asked for once, and forgotten once the scan has passed it. A damaged volume may name a
    // different parent in every record: no more than kMaxParentsAsked are remembered at a time.
    parentsAsked_.erase(parentsAsked_.begin(), parentsAsked_.lower_bound(block.first));
    const std::uint64_t records = GetFileRecordCount();
    const auto addParent = [&](FileReference reference) {
        const std::uint64_t parent = reference.GetRecordNumber();
        if (EnableDirectoryCache && parent >= end && parent < records &&
            parentsAsked_.size() < kMaxParentsAsked && parentsAsked_.insert(parent).second)
            AddRecordSpan(parent, spans);
    };
    for (std::uint64_t number = block.first; number < end; ++number) {
        const std::uint8_t* record = FixedUpRecord(block, static_cast<std::size_t>(number - block.first));
        if (!record || RecordBaseReference(record, recordSize_).GetRaw() != 0 ||
            !wanted(RecordFlags(record, recordSize_)))
            continue;
        const auto [offset, length] = FindListAndParents(record, recordSize_, addParent);
        if (length == 0)
            continue;
        const std::uint8_t* header = record + offset;
        if (read_le<std::uint8_t>(header, length, AttributeField::kNonResident) != 0) {
            AddListClusters(header, length, disk, spans);
            continue;
        }
        // The attribute's validation placed the value inside it.
        const std::uint8_t* value =
            header + read_le<std::uint16_t>(header, length, AttributeField::kValueOffset);
        for (const AttributeListEntry& entry : ParseAttributeList(
                 value, read_le<std::uint32_t>(header, length, AttributeField::kValueLength))) {
            const std::uint64_t extension = entry.record.GetRecordNumber();
            if (entry.type != kAttributeList && (extension < block.first || extension >= end))
                AddRecordSpan(extension, spans);
        }
    }
    return PrefetchInOrder(disk, spans);
}

void CMft::AddRecordSpan(std::uint64_t number, std::vector<CLogicalDisk::SectorRange>& spans) const {
    // Record numbers have 48 bits and a record at most 256 sectors, so this cannot wrap.
    if (const auto sector = mftData_.GetContiguousSectors(number * sectorsPerRecord_, sectorsPerRecord_))
        spans.push_back({*sector, sectorsPerRecord_});
}

CMft::DirectoryCache::const_iterator CMft::KeptAt(std::uint64_t number) const {
    return std::lower_bound(directoryCache_.begin(), directoryCache_.end(), number,
                            [](const auto& entry, std::uint64_t wanted) { return entry.first < wanted; });
}

CMft::Block* CMft::BlockHolding(std::uint64_t number) {
    for (std::size_t i = 0; i <= takenCount_; ++i) {
        Block& block = i == 0 ? block_ : taken_[i - 1];
        if (number >= block.first && number - block.first < block.count)
            return &block;
    }
    return nullptr;
}

bool CMft::IsAtHand(std::uint64_t number) {
    if (const auto kept = KeptAt(number); kept != directoryCache_.end() && kept->first == number)
        return true;
    return BlockHolding(number) != nullptr;
}

void CMft::ReadAncestors(std::vector<FileReference> level) {
    if (!EnableDirectoryCache)
        return;
    const std::uint64_t records = GetFileRecordCount();
    // A directory read once had its own ancestors read with it: the climbs above it are asked for
    // no more. The memory is bounded; forgetting only costs looking again.
    if (ancestorsRead_.size() > kMaxAncestorsRemembered)
        ancestorsRead_.clear();
    std::size_t read = 0;
    while (!level.empty() && read < kMaxAncestorsRead) {
        std::vector<FileReference> reading;
        std::vector<SectorRange> spans;
        for (const FileReference reference : level) {
            const std::uint64_t number = reference.GetRecordNumber();
            if (number >= records || read == kMaxAncestorsRead || !ancestorsRead_.insert(number).second)
                continue;
            ++read;
            reading.push_back(reference);
            if (!IsAtHand(number))
                AddRecordSpan(number, spans);
        }
        PrefetchInOrder(*mftData_.GetDisk(), spans);
        level.clear();
        for (const FileReference reference : reading) {
            try {
                const CFileRecord record = ReadFileRecord(reference); // kept, if a valid directory
                if (record.IsValid() && (record.GetFlags() & kRecordIsDirectory) != 0)
                    FindListAndParents(record.GetBuffer(), recordSize_,
                                       [&level](FileReference parent) { level.push_back(parent); });
            } catch (const std::exception&) {
                // Left to the climb that needs the record: it reports what failed where it would have.
                return;
            }
        }
    }
}

const std::uint8_t* CMft::GetFixedUpBlockRecord(std::uint64_t recordNumber) {
    if (recordNumber < block_.first || recordNumber - block_.first >= block_.count)
        throw std::out_of_range("Record " + std::to_string(recordNumber) + " lies outside the block read");
    return FixedUpRecord(block_, static_cast<std::size_t>(recordNumber - block_.first));
}

const std::uint8_t* CMft::GetTornBlockRecord(std::uint64_t recordNumber) {
    if (GetFixedUpBlockRecord(recordNumber))
        return nullptr;
    // A record that failed its fixup keeps its bytes as read.
    const std::uint8_t* bytes = block_.bytes.data() + (recordNumber - block_.first) * recordSize_;
    return HasFileSignature(bytes, recordSize_) ? bytes : nullptr;
}

const std::uint8_t* CMft::FixedUpRecord(Block& block, std::size_t index) {
    const std::uint32_t recordSize = GetFileRecordSize();
    std::uint8_t* bytes = block.bytes.data() + index * recordSize;
    BlockRecordState& state = block.states[index];
    if (state == BlockRecordState::AsRead) {
        // A scan asks for the records in order, and the block was filled by another core: asking
        // for a later record's bytes now hides most of the wait for them.
        // Its header and the ends of its stretches are what is read first.
        if (index + kPrefetchDistance < block.count) {
            const std::uint8_t* later = bytes + kPrefetchDistance * recordSize;
            __builtin_prefetch(later);
            for (std::size_t end = kUpdateSequenceStride; end <= recordSize; end += kUpdateSequenceStride)
                __builtin_prefetch(later + end - 2);
        }
        state = HasFileSignature(bytes, recordSize) && ApplyUpdateSequence(bytes, recordSize)
                    ? BlockRecordState::FixedUp
                    : BlockRecordState::Unusable;
    }
    return state == BlockRecordState::FixedUp ? bytes : nullptr;
}

void CMft::ReadInto(CFileRecord& record, std::uint64_t recordNumber) {
    // A record of the block, or of a block taken ahead, is copied from it, fixed up already if it
    // could be.
    if (Block* block = BlockHolding(recordNumber)) {
        const std::size_t index = static_cast<std::size_t>(recordNumber - block->first);
        if (const std::uint8_t* fixedUp = FixedUpRecord(*block, index)) {
            std::memcpy(record.GetBuffer(), fixedUp, record.GetBufferSize());
            record.fixedUp_ = true;
            return;
        }
        // Not a FILE record, or one whose update sequence fails: its bytes are still as read.
        std::memcpy(record.GetBuffer(), block->bytes.data() + index * record.GetBufferSize(),
                    record.GetBufferSize());
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
    if (!record.IsValid() || record.GetBaseReference().GetRaw() != 0 || !record.GetData()->HasAttributeList())
        return;
    auto listed = std::make_shared<CFileRecord::Listed>();
    listed->attributes = FollowAttributeList(
        record,
        [this](FileReference reference) {
            CFileRecord extension(mftData_.GetDisk(), reference);
            ReadInto(extension, reference.GetRecordNumber());
            return extension;
        },
        listed->damage);
    record.listed_ = std::move(listed);
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
