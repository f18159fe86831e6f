#include "volume/MftScan.h"

#include "volume/AttributeListAttribute.h"
#include "volume/RecordHeader.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace Krod {
namespace {

// How many records ahead a scan's bytes are asked for.
constexpr std::size_t kPrefetchDistance = 4;
// While the device has everything at hand, looking at a block for its far reads costs more than it
// saves: only every kWarmLookEvery-th block is looked at then, to notice when that changes.
constexpr std::uint64_t kWarmLookEvery = 16;
// Parents ahead of the scan asked for and remembered at most; a volume has far fewer directories
// ahead of any point of its MFT.
constexpr std::size_t kMaxParentsAsked = 1 << 16;
// Directories ReadAncestors reads for the names of one record at most, and remembers having read at
// most; the names of a file have far fewer ancestors, and a volume far fewer directories.
constexpr std::size_t kMaxAncestorsRead = 1 << 14;
constexpr std::size_t kMaxAncestorsRemembered = 1 << 20;

using SectorRange = CLogicalDisk::SectorRange;

} // namespace

CMftScan::CMftScan(CMft& mft, std::size_t blockBytes)
    : mft_(mft), recordSize_(mft.GetFileRecordSize()),
      perBlock_(static_cast<std::uint32_t>(std::max<std::size_t>(1, blockBytes / recordSize_))) {
    mft_.ServeRecordsFrom(this);
}

CMftScan::~CMftScan() {
    mft_.ServeRecordsFrom(nullptr);
}

void CMftScan::Walk(std::uint64_t begin, std::uint64_t end, Wanted wanted) {
    end_ = end;
    next_ = begin;
    blocksRead_ = 0;
    fetching_ = false;
    aheadAt_ = end;
    wanted_ = std::move(wanted);
}

std::uint32_t CMftScan::CountAt(std::uint64_t first) const {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(perBlock_, end_ - first));
}

bool CMftScan::NextBlock() {
    if (next_ >= end_)
        return false;
    const std::uint64_t first = next_;
    next_ = first + CountAt(first);
    ReadNextBlock(first, CountAt(first));
    if (takenCount_ == 0) {
        if (fetching_ || blocksRead_ % kWarmLookEvery == 0)
            fetching_ = PrefetchFarReads(wanted_) || fetching_;
        aheadAt_ = next_;
        if (next_ < end_)
            ReadBlockAhead(next_, CountAt(next_));
    }
    while (fetching_ && aheadAt_ < end_ && takenCount_ < kMaxBlocksTakenAhead && TakeBlockAhead()) {
        aheadAt_ += CountAt(aheadAt_);
        if (aheadAt_ < end_)
            ReadBlockAhead(aheadAt_, CountAt(aheadAt_));
        PrefetchFarReads(wanted_);
    }
    ++blocksRead_;
    return true;
}

void CMftScan::ReadBlock(std::uint64_t first, std::uint32_t count) {
    if (count > perBlock_)
        throw std::length_error("Record block too large");
    takenCount_ = 0;
    ahead_.reset();
    ReadNextBlock(first, count);
}

void CMftScan::ReadNextBlock(std::uint64_t first, std::uint32_t count) {
    if (takenCount_ != 0 && taken_[0].first == first && taken_[0].count == count) {
        std::swap(block_, taken_[0]); // fixed up as far as it was looked at
        std::rotate(taken_.begin(), taken_.begin() + 1, taken_.begin() + takenCount_);
        --takenCount_;
        return;
    }
    takenCount_ = 0;
    block_.states.assign(count, RecordState::AsRead);
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
    mft_.ReadRecords(block_.bytes.data(), first, count);
    block_.count = count;
}

bool CMftScan::TakeBlockAhead() {
    if (!ahead_ || takenCount_ == taken_.size())
        return false;
    const platform::ErrorCode error = ahead_->Wait();
    ahead_.reset();
    // A failed read is read again in hand, which reports the error.
    if (error != 0)
        return false;
    Block& taken = taken_[takenCount_];
    taken.bytes.swap(aheadBytes_);
    taken.states.assign(aheadCount_, RecordState::AsRead);
    taken.first = aheadFirst_;
    taken.count = aheadCount_;
    ++takenCount_;
    return true;
}

void CMftScan::ReadBlockAhead(std::uint64_t first, std::uint32_t count) {
    ahead_.reset();
    if (count == 0)
        return;
    aheadBytes_.resize(std::size_t{count} * recordSize_);
    aheadFirst_ = first;
    aheadCount_ = count;
    ahead_ = mft_.ReadRecordsInBackground(aheadBytes_.data(), first, count);
}

// The scan tests the block's records while the next block is read: what following their lists and
// climbing from their names will read outside the block, asked for now and all together, arrives
// while it tests, instead of one seek at a time.
bool CMftScan::PrefetchFarReads(const Wanted& wanted) {
    Block& block = takenCount_ != 0 ? taken_[takenCount_ - 1] : block_;
    const std::uint64_t end = block.first + block.count;
    std::vector<SectorRange> spans;
    // With directories kept, a climb reads only the parents that lie ahead of the scan; each is
    // asked for once, and forgotten once the scan has passed it. A damaged volume may name a
    // different parent in every record: no more than kMaxParentsAsked are remembered at a time.
    parentsAsked_.erase(parentsAsked_.begin(), parentsAsked_.lower_bound(block.first));
    const std::uint64_t records = mft_.GetFileRecordCount();
    const bool keptDirectories = mft_.EnableDirectoryCache;
    const std::function<void(FileReference)> parent = [&](FileReference reference) {
        const std::uint64_t number = reference.GetRecordNumber();
        if (keptDirectories && number >= end && number < records && parentsAsked_.size() < kMaxParentsAsked &&
            parentsAsked_.insert(number).second)
            AddRecordSpan(number, spans);
    };
    const std::function<void(FileReference)> extension = [&](FileReference reference) {
        const std::uint64_t number = reference.GetRecordNumber();
        if (number < block.first || number >= end)
            AddRecordSpan(number, spans);
    };
    for (std::uint64_t number = block.first; number < end; ++number) {
        const std::uint8_t* record = FixedUpRecord(block, static_cast<std::size_t>(number - block.first));
        if (record && RecordBaseReference(record, recordSize_).GetRaw() == 0 &&
            wanted(RecordFlags(record, recordSize_)))
            mft_.FindFarReads(record, parent, extension, spans);
    }
    return PrefetchInOrder(spans);
}

bool CMftScan::PrefetchInOrder(std::vector<SectorRange>& spans) {
    CLogicalDisk& disk = mft_.GetDisk();
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
    return disk.PrefetchSectors(joined, std::size_t{perBlock_} * recordSize_);
}

void CMftScan::AddRecordSpan(std::uint64_t number, std::vector<SectorRange>& spans) const {
    if (const std::optional<SectorRange> sectors = mft_.GetRecordSectors(number))
        spans.push_back(*sectors);
}

CMftScan::Block* CMftScan::BlockHolding(std::uint64_t number) {
    for (std::size_t i = 0; i <= takenCount_; ++i) {
        Block& block = i == 0 ? block_ : taken_[i - 1];
        if (number >= block.first && number - block.first < block.count)
            return &block;
    }
    return nullptr;
}

const std::uint8_t* CMftScan::HeldRecord(std::uint64_t number, bool& fixedUp) {
    Block* block = BlockHolding(number);
    if (!block)
        return nullptr;
    const std::size_t index = static_cast<std::size_t>(number - block->first);
    const std::uint8_t* bytes = FixedUpRecord(*block, index);
    fixedUp = bytes != nullptr;
    // Not a FILE record, or one whose update sequence fails: its bytes are still as read.
    return bytes ? bytes : block->bytes.data() + index * recordSize_;
}

void CMftScan::ReadAncestors(std::vector<FileReference> level) {
    if (!mft_.EnableDirectoryCache)
        return;
    const std::uint64_t records = mft_.GetFileRecordCount();
    // A directory read once had its own ancestors read with it: the climbs above it are asked for
    // no more. The memory is bounded; forgetting only costs looking again.
    if (ancestorsRead_.size() > kMaxAncestorsRemembered)
        ancestorsRead_.clear();
    std::size_t read = 0;
    const std::function<void(FileReference)> addToLevel = [&level](FileReference parent) {
        level.push_back(parent);
    };
    while (!level.empty() && read < kMaxAncestorsRead) {
        std::vector<FileReference> reading;
        std::vector<SectorRange> spans;
        for (const FileReference reference : level) {
            const std::uint64_t number = reference.GetRecordNumber();
            if (number >= records || read == kMaxAncestorsRead || !ancestorsRead_.insert(number).second)
                continue;
            ++read;
            reading.push_back(reference);
            if (!mft_.IsKept(number) && !BlockHolding(number))
                AddRecordSpan(number, spans);
        }
        PrefetchInOrder(spans);
        level.clear();
        for (const FileReference reference : reading) {
            try {
                const CFileRecord record = mft_.ReadFileRecord(reference); // kept, if a valid directory
                if (record.IsFixedUp() && record.IsFileRecord() &&
                    (record.GetFlags() & kRecordIsDirectory) != 0)
                    mft_.FindParents(record.GetBuffer(), addToLevel);
            } catch (const std::exception&) {
                // Left to the climb that needs the record: it reports what failed where it would have.
                return;
            }
        }
    }
}

const std::uint8_t* CMftScan::Record(std::uint64_t n) {
    if (n < block_.first || n - block_.first >= block_.count)
        throw std::out_of_range("Record " + std::to_string(n) + " lies outside the block read");
    return FixedUpRecord(block_, static_cast<std::size_t>(n - block_.first));
}

const std::uint8_t* CMftScan::TornRecord(std::uint64_t n) {
    if (Record(n))
        return nullptr;
    // A record that failed its fixup keeps its bytes as read.
    const std::uint8_t* bytes = block_.bytes.data() + (n - block_.first) * recordSize_;
    return HasFileSignature(bytes, recordSize_) || HasBadSignature(bytes, recordSize_) ? bytes : nullptr;
}

const std::uint8_t* CMftScan::FixedUpRecord(Block& block, std::size_t index) {
    std::uint8_t* bytes = block.bytes.data() + index * recordSize_;
    RecordState& state = block.states[index];
    if (state == RecordState::AsRead) {
        // A scan asks for the records in order, and the block was filled by another core: asking
        // for a later record's bytes now hides most of the wait for them.
        // Its header and the ends of its stretches are what is read first.
        if (index + kPrefetchDistance < block.count) {
            const std::uint8_t* later = bytes + kPrefetchDistance * recordSize_;
            __builtin_prefetch(later);
            for (std::size_t end = kUpdateSequenceStride; end <= recordSize_; end += kUpdateSequenceStride)
                __builtin_prefetch(later + end - 2);
        }
        state = HasFileSignature(bytes, recordSize_) && ApplyUpdateSequence(bytes, recordSize_)
                    ? RecordState::FixedUp
                    : RecordState::Unusable;
    }
    return state == RecordState::FixedUp ? bytes : nullptr;
}

} // namespace Krod
