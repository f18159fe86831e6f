#pragma once
// A scan of the master file table: it reads the records a block at a time and gives each where it
// lies, fixed up in place, so that a search makes record objects only for the records that matter
// to it. It owns the block pipeline: the block in hand, the blocks taken ahead, the block read in
// the background, the far reads asked for ahead and the ancestors read ahead, and the policy that
// tells a warm device from a cold one.

#include "platform/Device.h"
#include "platform/LargePages.h"
#include "volume/FileReference.h"
#include "volume/LogicalDisk.h"
#include "volume/Mft.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <unordered_set>
#include <vector>

namespace Krod {

class CMftScan : private RecordsAtHand {
  public:
    // Records are read this many bytes at a time: enough to keep a cold device streaming (the
    // kernel reads ahead of the blocks), few enough that the blocks in hand and the one read
    // meanwhile stay in the processor's cache until the search gets to them.
    static constexpr std::size_t kBlockBytes = 4 << 20;
    // Blocks taken ahead of the one in hand at most, while the device fetches.
    static constexpr std::size_t kMaxBlocksTakenAhead = 2;
    // Picks, by its flags, a base record the search is going to look at closely.
    using Wanted = std::function<bool(std::uint16_t flags)>;

    // A scan of mft's records, blockBytes at a time (rounded down to whole records, one at least;
    // tests choose small blocks). Until it ends, mft serves the records the scan holds from memory
    // (extension records and parent directories often lie close to the records that name them).
    explicit CMftScan(CMft& mft, std::size_t blockBytes = kBlockBytes);
    ~CMftScan();
    CMftScan(const CMftScan&) = delete;
    CMftScan& operator=(const CMftScan&) = delete;

    // Records per block.
    std::uint32_t GetBlockRecords() const { return perBlock_; }

    // Makes NextBlock walk records [begin, end). What the records that wanted picks will read
    // elsewhere (attribute lists, parents ahead) is asked for before the search gets there: just
    // before, while the device has it at hand; once the device has to fetch it, two blocks earlier,
    // by taking the blocks after the one in hand as they arrive and looking at each, the block
    // after them being read meanwhile. A warm scan so keeps each block in the processor's cache
    // from its look to its test, and a cold one gives the device the time of two blocks' tests for
    // the far reads, which wait behind the blocks' own reads in its queue.
    void Walk(std::uint64_t begin, std::uint64_t end, Wanted wanted);
    // Reads the next block of the walk into hand, the block after it being read meanwhile; false,
    // holding nothing new, once the walk is over. Throws ESystemError on device failure.
    bool NextBlock();
    // Reads records [first, first + count), no more than GetBlockRecords(), into hand, in as few
    // device reads as the runs allow, outside any walk: what is read or taken ahead is let go.
    // Records beyond the MFT's runs read as zeros. Throws std::length_error for too many records,
    // ESystemError on device failure.
    void ReadBlock(std::uint64_t first, std::uint32_t count);

    // The records in hand: [GetFirst(), GetEnd()).
    std::uint64_t GetFirst() const { return block_.first; }
    std::uint64_t GetEnd() const { return block_.first + block_.count; }
    // The bytes of record n in hand, with its update sequence undone in place; null when it is not
    // a FILE record or its update sequence fails (CMft::ReadFileRecord then gives its bytes as
    // read, not fixed up). Throws std::out_of_range for a record not in hand.
    const std::uint8_t* Record(std::uint64_t n);
    // The bytes of record n in hand as read when it carries the FILE signature and its update
    // sequence fails (Record gave null for it): a write torn between its sectors, or damage; or when
    // it carries the BAAD signature NTFS gives a record it found torn. Null for every other record.
    // Throws std::out_of_range for a record not in hand.
    const std::uint8_t* TornRecord(std::uint64_t n);

    // Reads into mft's directory cache, while directories are kept, the directories that climbs
    // from names whose parents are level will read: a level at a time, each level's records that
    // are not at hand asked for together, in order of position. The names of a file with many hard
    // links lie in directories all over the volume; climbed one after the other, each directory
    // would be a seek of its own. Changes nothing a read returns; a record that cannot be read is
    // left to the climb that reads it.
    void ReadAncestors(std::vector<FileReference> level);

    // Asks the device ahead, ordered by position, for what the base records of the latest block
    // read (the block last taken ahead, else the one in hand) that wanted picks will read outside
    // it: their attribute lists' clusters and extension records and, when directories are kept (so
    // that a climb reads only the parents the scan has not reached yet), each parent beyond that
    // block, once. Reads nothing itself and changes nothing that a read returns. Returns whether
    // the device has to fetch some of them. The walk calls it; it is public for its tests.
    bool PrefetchFarReads(const Wanted& wanted);

  private:
    enum class RecordState : std::uint8_t { AsRead, FixedUp, Unusable };
    struct Block {
        std::uint64_t first = 0;
        std::uint32_t count = 0;
        std::vector<std::uint8_t, platform::LargePageAllocator<std::uint8_t>> bytes;
        std::vector<RecordState> states; // one per record
    };

    const std::uint8_t* HeldRecord(std::uint64_t number, bool& fixedUp) override;
    // Moves the next block of the walk into hand: the first taken ahead, else one read now.
    void ReadNextBlock(std::uint64_t first, std::uint32_t count);
    // Starts reading the block [first, first + count) in the background, where the device can and
    // one run holds it.
    void ReadBlockAhead(std::uint64_t first, std::uint32_t count);
    // Waits for the block read ahead and keeps it after the blocks taken before it; false, taking
    // none, when none is read ahead, its read failed (it is read again in hand, which reports the
    // error) or as many blocks as allowed are taken already.
    bool TakeBlockAhead();
    // The records of the walk's block at first.
    std::uint32_t CountAt(std::uint64_t first) const;
    // The bytes of block's record index, fixed up as Record gives them.
    const std::uint8_t* FixedUpRecord(Block& block, std::size_t index);
    // The block in hand, or taken ahead, that holds record number; null when none does.
    Block* BlockHolding(std::uint64_t number);
    // Asks the device for spans in order of position, neighbours and repeats joined; returns
    // whether the device has to fetch some of them.
    bool PrefetchInOrder(std::vector<CLogicalDisk::SectorRange>& spans);
    // Adds the sectors of record number, when one run holds it, to spans.
    void AddRecordSpan(std::uint64_t number, std::vector<CLogicalDisk::SectorRange>& spans) const;

    CMft& mft_;
    const std::uint32_t recordSize_;
    const std::uint32_t perBlock_;
    // The walk: its end, the next block's first record, how many blocks it has read, whether the
    // device had to fetch what a block asked for, and the block read ahead, if any (end if none).
    std::uint64_t end_ = 0;
    std::uint64_t next_ = 0;
    std::uint64_t blocksRead_ = 0;
    bool fetching_ = false;
    std::uint64_t aheadAt_ = 0;
    Wanted wanted_;
    std::set<std::uint64_t> parentsAsked_;            // parents beyond the block asked for ahead
    std::unordered_set<std::uint64_t> ancestorsRead_; // directories ReadAncestors has read
    Block block_;
    std::array<Block, kMaxBlocksTakenAhead> taken_; // blocks taken ahead, in order; the first takenCount_
    std::size_t takenCount_ = 0;
    // The block read ahead: its records and bytes, and the read while it runs (declared last, so
    // that it ends before the bytes it fills go away).
    std::uint64_t aheadFirst_ = 0;
    std::uint32_t aheadCount_ = 0;
    std::vector<std::uint8_t, platform::LargePageAllocator<std::uint8_t>> aheadBytes_;
    std::unique_ptr<platform::BackgroundRead> ahead_;
};

} // namespace Krod
