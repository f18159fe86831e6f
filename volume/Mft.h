#pragma once
// The reader of the master file table: validates the volume, then reads any record by number
// through the run list of record 0's $DATA attribute, with its update sequence undone.

#include "platform/LargePages.h"
#include "volume/Attribute.h"
#include "volume/FileRecord.h"
#include "volume/FileReference.h"
#include "volume/LogicalDisk.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Krod {

class CMft {
  public:
    // Largest record size accepted; NTFS uses 1024 or 4096 bytes.
    static constexpr std::uint32_t kMaxRecordSize = 65536;

    // Opens the MFT of disk. The reader keeps its disk reference through the records and
    // attributes it makes, so the caller may release its own reference afterwards.
    // Throws EInvalidPartition when the boot sector is not NTFS; std::runtime_error
    // "Unsupportable sector size", "Unsupportable cluster size", "Unsupportable MFT record size"
    // for absurd geometry; "0th file record fixup check failed"; "Number of data attributes of
    // 0th file record is not 1"; "0th file record has no data runs" when $MFT's $DATA is resident
    // or its run list empty or malformed; "The $MFT lies past the end of the image." when record 0
    // does; "The run list of the $MFT cannot be read in full: ..." when the runs found map fewer
    // clusters than it allocates; ESystemError on device failure. A $DATA that continues in
    // extension records (listed by record 0's $ATTRIBUTE_LIST) is read whole.
    explicit CMft(CLogicalDisk* disk);
    CMft(const CMft&) = delete;
    CMft& operator=(const CMft&) = delete;

    // Reads the record with reference's 48-bit record number (the sequence number is not compared).
    // A record that fails its update sequence comes back with its on-disk bytes and IsFixedUp()
    // false; one that lies beyond the MFT's runs comes back zero-filled (not a FILE record). A base
    // record with an $ATTRIBUTE_LIST comes back with the list followed (FollowAttributeList), so
    // that its lookups see the attributes kept in its extension records.
    // Throws ESystemError on device failure.
    CFileRecord ReadFileRecord(FileReference reference);
    CFileRecord ReadFileRecord(std::uint32_t recordNumber);

    // A scan reads its records a block at a time and looks at each where it lies, making record
    // objects only for those that may matter to it. Reads count consecutive records from record
    // first on (no more than kMaxBlockBytes) into the reader's block, in as few device reads as
    // the runs allow; until the next block, ReadFileRecord serves the block's records from memory
    // (extension records and parent directories often lie close to the records that name them).
    // Records beyond the MFT's runs read as zeros. Throws ESystemError on device failure.
    void ReadBlock(std::uint64_t first, std::uint32_t count);
    // The bytes of a record of the block, with its update sequence undone in place; null when it
    // is not a FILE record or its update sequence fails (ReadFileRecord then gives its bytes as
    // read, not fixed up). Throws std::out_of_range for a record outside the block.
    const std::uint8_t* GetFixedUpBlockRecord(std::uint64_t recordNumber);
    // The bytes of a record of the block as read when it carries the FILE signature and its update
    // sequence fails (GetFixedUpBlockRecord gave null for it): a write torn between its sectors, or
    // damage. Null for every other record. Throws std::out_of_range for a record outside the block.
    const std::uint8_t* GetTornBlockRecord(std::uint64_t recordNumber);
    // Starts reading the block that ReadBlock(first, count) will ask for next in the background,
    // where the device can and one run holds the block; ReadBlock then waits for it.
    void ReadBlockAhead(std::uint64_t first, std::uint32_t count);
    // Waits for the block read ahead and keeps it after the blocks taken ahead before it, no more
    // than kMaxBlocksTakenAhead; ReadBlock then takes each in turn without a read. A scan can look
    // at it (PrefetchFarReads) and read the one after it while it tests the block in hand.
    // ReadFileRecord serves the records of the blocks taken from memory too. False, taking none,
    // when no block is read ahead, its read failed (ReadBlock reads it again and reports the
    // error) or as many blocks as allowed are taken already.
    bool TakeBlockAhead();
    static constexpr std::size_t kMaxBlocksTakenAhead = 2;
    // How many blocks are taken ahead and not yet read by ReadBlock.
    std::size_t BlocksTakenAhead() const { return takenCount_; }
    static constexpr std::size_t kMaxBlockBytes = 8 << 20;
    // Asks the device ahead, ordered by position, for what the base records of the latest block
    // read (the block last taken ahead, else the block) will read outside it: the clusters of each
    // non-resident attribute list and the extension records each resident list names; and, when
    // directories are kept (so that a climb reads only the parents the scan has not reached yet),
    // each parent named by a FILE_NAME that lies beyond that block, once. wanted picks, by its
    // flags, each base record the scan is going to test. Reads nothing itself and changes nothing
    // that a read returns; the reads it names may end sooner. Returns whether the device has to
    // fetch some of them.
    bool PrefetchFarReads(const std::function<bool(std::uint16_t flags)>& wanted);
    // Reads into the directory cache, while directories are kept, the directories that climbs from
    // names whose parents are level will read: a level at a time, each level's records that are not
    // at hand asked for together, in order of position. The names of a file with many hard links
    // lie in directories all over the volume; climbed one after the other, each directory would be
    // a seek of its own. Changes nothing a read returns; a record that cannot be read is left to the
    // climb that reads it.
    void ReadAncestors(std::vector<FileReference> level);

    // Record slots covered by the MFT's runs (allocated, not initialised, size), but no more than
    // the volume's sectors hold: runs that claim a larger MFT are damaged, and the slots past the
    // volume's size would only read as zeros.
    std::uint64_t GetFileRecordCount() const;
    // Records first to last, both included.
    struct RecordRange {
        std::uint64_t first;
        std::uint64_t last;
    };
    // The records, among the slots the MFT's runs cover within the volume's stated size, that lie
    // wholly or in part past the end of the device, when the image ends before the volume does
    // (CLogicalDisk::GetCutShortAt), in ascending order; none otherwise. Such records read as zeros.
    std::vector<RecordRange> GetRecordsPastImageEnd() const;
    // The size of one record in bytes.
    std::uint32_t GetFileRecordSize() const { return recordSize_; }

    // Verifies and undoes record's update sequence and marks it fixed up. Returns false, leaving
    // the buffer and the mark untouched, for a buffer without the "FILE" signature or whose
    // update sequence is damaged.
    bool ApplyFixup(CFileRecord& record) const;

    // When set, valid directory records read are kept and served again without a device read.
    bool EnableDirectoryCache = false;

  private:
    using DirectoryCache = std::vector<std::pair<std::uint64_t, CFileRecord>>; // ascending by record number
    enum class BlockRecordState : std::uint8_t { AsRead, FixedUp, Unusable };
    struct Block {
        std::uint64_t first = 0;
        std::uint32_t count = 0;
        std::vector<std::uint8_t, platform::LargePageAllocator<std::uint8_t>> bytes;
        std::vector<BlockRecordState> states; // one per record
    };

    // The bytes of block's record index, fixed up as GetFixedUpBlockRecord gives them.
    const std::uint8_t* FixedUpRecord(Block& block, std::size_t index);
    // Where record number is kept, or would be, in the directory cache.
    DirectoryCache::const_iterator KeptAt(std::uint64_t number) const;
    // The block in hand, or taken ahead, that holds record number; null when none does.
    Block* BlockHolding(std::uint64_t number);
    // Whether record number is read without the device: kept, or in a block in hand.
    bool IsAtHand(std::uint64_t number);
    // Adds the sectors of record number, when one run holds it, to spans.
    void AddRecordSpan(std::uint64_t number, std::vector<CLogicalDisk::SectorRange>& spans) const;
    void ReadInto(CFileRecord& record, std::uint64_t recordNumber);
    // Follows the $ATTRIBUTE_LIST of record when it is a valid base record that carries one.
    void FollowAttributeListOf(CFileRecord& record);

    CAttribute mftData_;
    std::uint32_t recordSize_ = 0;
    std::uint32_t sectorsPerRecord_ = 0;
    DirectoryCache directoryCache_;
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
