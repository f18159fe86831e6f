#pragma once
// The reader of the master file table: validates the volume, then reads any record by number
// through the run list of record 0's $DATA attribute, with its update sequence undone.

#include "platform/Device.h"
#include "volume/Attribute.h"
#include "volume/FileRecord.h"
#include "volume/FileReference.h"
#include "volume/LogicalDisk.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace Krod {

// Records held in memory by a scan of the MFT, which CMft::ReadFileRecord copies instead of reading.
class RecordsAtHand {
  public:
    // The bytes of record number, fixed up when fixedUp is set on return; null when not held.
    virtual const std::uint8_t* HeldRecord(std::uint64_t number, bool& fixedUp) = 0;

  protected:
    ~RecordsAtHand() = default;
};

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

    // Reads count consecutive records from record first on into bytes (count x the record size),
    // as they lie on the volume, in as few device reads as the runs allow. Records beyond the MFT's
    // runs, also one the runs cover only in part, read as zeros, as ReadFileRecord gives them.
    // Throws std::length_error when they span more than 2^32 sectors, ESystemError on device failure.
    void ReadRecords(std::uint8_t* bytes, std::uint64_t first, std::uint32_t count);
    // Starts reading what ReadRecords would into bytes in the background, where the device can and
    // one run holds the records; nothing otherwise. bytes must stay until the read has ended.
    std::unique_ptr<platform::BackgroundRead>
    ReadRecordsInBackground(std::uint8_t* bytes, std::uint64_t first, std::uint32_t count);
    // The sectors of record number, when one run holds it.
    std::optional<CLogicalDisk::SectorRange> GetRecordSectors(std::uint64_t number) const;
    // Whether record number is kept in the directory cache.
    bool IsKept(std::uint64_t number) const;
    // From now on, until called again, ReadFileRecord copies a record that held gives instead of
    // reading it (null: every record is read). held must stay until then.
    void ServeRecordsFrom(RecordsAtHand* held) { held_ = held; }
    CLogicalDisk& GetDisk() const { return *mftData_.GetDisk(); }

    // Passes to parent the parents that the FILE_NAMEs of the valid record at bytes name.
    void FindParents(const std::uint8_t* bytes, const std::function<void(FileReference)>& parent) const;
    // What ReadFileRecord reads outside the valid base record at bytes: the sectors of its
    // non-resident attribute list, added to listSectors, and the records its resident list names,
    // passed to extension; and the parents its FILE_NAMEs name, which a climb reads, passed to
    // parent.
    void FindFarReads(const std::uint8_t* bytes, const std::function<void(FileReference)>& parent,
                      const std::function<void(FileReference)>& extension,
                      std::vector<CLogicalDisk::SectorRange>& listSectors) const;

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
    // By record number: keeping one costs the same however many directories a volume has.
    using DirectoryCache = std::unordered_map<std::uint64_t, CFileRecord>;

    void ReadInto(CFileRecord& record, std::uint64_t recordNumber);
    // Follows the $ATTRIBUTE_LIST of record when it is a valid base record that carries one.
    void FollowAttributeListOf(CFileRecord& record);

    CAttribute mftData_;
    std::uint32_t recordSize_ = 0;
    std::uint32_t sectorsPerRecord_ = 0;
    DirectoryCache directoryCache_;
    // Which record numbers below kMaxKeptBits directoryCache_ holds, up to the highest it holds. A
    // scan asks for every record it serves, in order, directory or not: a bit read in order answers
    // most at once.
    std::vector<bool> kept_;
    RecordsAtHand* held_ = nullptr;
};

} // namespace Krod
