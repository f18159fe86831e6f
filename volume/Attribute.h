#pragma once
// One attribute of an MFT record. A value object: it holds counted references on the record
// buffer and the disk, so it stays valid after the record object that produced it is gone.

#include "volume/FileRecordData.h"
#include "volume/LogicalDisk.h"

#include <boost/container/small_vector.hpp>
#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Krod {

// One run of a non-resident attribute's data: length clusters from vcn on lie at lcn, or, in a
// sparse run (lcn 0), lie nowhere and read as zeros.
struct DataRun {
    std::uint64_t vcn;
    std::uint64_t length;
    std::uint64_t lcn;
    bool sparse = false;

    friend bool operator==(const DataRun& a, const DataRun& b) {
        return a.vcn == b.vcn && a.length == b.length && a.lcn == b.lcn && a.sparse == b.sparse;
    }
};

// The runs of the run list of the non-resident attribute header[0, length), on a volume of
// bytesPerCluster: ascending and contiguous from VCN 0, an entry without an offset a sparse run, each
// validated so that sector and byte arithmetic on them stays inside 64 bits; empty when the list is malformed
// (entries wider than 8 bytes or reaching past the attribute, zero-length or negative runs, sizes beyond 64
// bits).
std::vector<DataRun> DecodeRunList(const std::uint8_t* header, std::uint32_t length,
                                   std::uint32_t bytesPerCluster);

class CAttribute {
  public:
    // The empty attribute: it refers to no record.
    CAttribute() = default;
    // The attribute at offset in data's record buffer, length bytes long, as listed by the
    // record's attribute index. Decodes the run list of a non-resident attribute; a run list
    // that is malformed (entries wider than 8 bytes or reaching past the attribute, zero-length
    // or negative runs, sizes beyond 64 bits) leaves the attribute without runs.
    // Throws std::invalid_argument if the attribute does not lie validly inside the record,
    // std::logic_error "Nonresident attribure requires a logical disk object" if it is
    // non-resident and disk is null.
    CAttribute(CFileRecordData* data, std::uint32_t offset, std::uint32_t length, CLogicalDisk* disk);

    bool IsEmpty() const { return !data_; }

    // Throws std::logic_error "No logical disk referenced" when there is none.
    CLogicalDisk* GetDisk() const;
    // The header inside the record buffer, GetLength() bytes; valid while this attribute lives.
    // Throws std::logic_error "Cannot use empty attibute header" for the empty attribute.
    const std::uint8_t* GetHeader() const;
    std::uint32_t GetLength() const { return length_; }
    // Header fields; each throws as GetHeader() for the empty attribute.
    std::uint32_t GetType() const;
    bool IsNonResident() const;
    std::wstring GetName() const; // empty when unnamed
    // The attribute's number, unique within its record (an $ATTRIBUTE_LIST entry names it).
    std::uint16_t GetInstance() const;

    // The value of a resident attribute and its length in bytes; the value lies inside the header's
    // GetLength() bytes. Throw std::logic_error "not implemented?" for a non-resident attribute.
    const std::uint8_t* GetResidentValue() const;
    std::uint32_t GetResidentValueLength() const;

    // 0 for the empty attribute; the data size field (non-resident) or the value length (resident).
    std::uint64_t GetDataSize() const;
    // 0 for the empty attribute; the allocated size field (non-resident) or the record size (resident).
    std::uint64_t GetAllocatedSize() const;

    // The decoded runs, ascending and contiguous from VCN 0; empty for resident attributes and
    // malformed run lists.
    const std::vector<DataRun>& GetRuns() const { return runs_; }
    // The first VCN a non-resident attribute maps: 0, unless it is a later piece of a stream whose
    // run list did not fit one record. Throws std::logic_error "not implemented" if resident.
    std::uint64_t GetLowestVcn() const;
    // Extends the runs of this non-resident attribute with those of piece, the next piece of the
    // same stream (its lowest VCN is where these runs end). Returns false and changes nothing when
    // piece does not continue the runs exactly, either has no runs, or the whole would exceed 64 bits.
    bool AppendPiece(const CAttribute& piece);
    // Clusters covered by the runs (0 without runs); std::logic_error "not implemented" if resident.
    std::uint64_t GetClusterCount() const;
    std::uint64_t GetSectorCount() const;
    std::uint64_t GetAllocatedBytes() const;

    // Read count sectors (clusters) of the data stream from firstSector (firstVcn) on into buffer,
    // which must hold count sectors (clusters); a sparse run gives zeros. Return how many were read: fewer
    // than count when the runs end first, 0 when the start lies beyond them. Throw std::logic_error "not
    // implemented?" for a resident attribute and ESystemError on device failure.
    std::uint32_t ReadSectors(void* buffer, std::uint64_t firstSector, std::uint32_t count) const;
    std::uint32_t ReadClusters(void* buffer, std::uint64_t firstVcn, std::uint32_t count) const;
    // The volume sector where sectors [firstSector, firstSector + count) of the stream lie, when
    // one run that is not sparse holds them all; nothing otherwise (also for a resident attribute).
    std::optional<std::uint64_t> GetContiguousSectors(std::uint64_t firstSector, std::uint64_t count) const;
    // Where the first clusters of the stream lie, as far as its runs map them: all on the device
    // (Held), or the first that does not lies in a hole (Hole) or past the end of a cut image (PastEnd).
    // Throws std::logic_error "not implemented" if resident.
    enum class Placement { Held, Hole, PastEnd };
    Placement PlaceClusters(std::uint64_t clusters) const;

    // The name of a resident FILE_NAME value (UTF-16 code units from value offset 0x42 to the end
    // of the value); empty for the empty attribute or a value too short to hold a name.
    // Throws std::logic_error "not implemented?" for a non-resident attribute.
    std::wstring GetFileNameText() const;
    // The same into text, whose storage is reused: a scan looks at every name without allocating.
    void GetFileNameText(std::wstring& text) const;

  private:
    std::uint64_t ReadStream(void* buffer, std::uint64_t firstSector, std::uint64_t count) const;

    boost::intrusive_ptr<CFileRecordData> data_;
    boost::intrusive_ptr<CLogicalDisk> disk_;
    std::uint32_t offset_ = 0;
    std::uint32_t length_ = 0;
    std::vector<DataRun> runs_;
};

// Lookups in one record rarely find more attributes than this, which a list holds without a heap
// allocation.
constexpr std::size_t kInlineListSize = 4;
// A list of attributes handed to the caller, who owns it.
using AttributeList = boost::container::small_vector<CAttribute, kInlineListSize>;

} // namespace Krod
