#include "mft_image.h"

#include "fixups.h"
#include "le.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace mkvol {

namespace {

// Boot sector fields.
constexpr size_t kBootBytesPerSector = 0x0B;    // u16
constexpr size_t kBootSectorsPerCluster = 0x0D; // u8; above 0x80 it is a negated power of two
constexpr size_t kBootMftLcn = 0x30;            // u64: first cluster of $MFT
constexpr size_t kBootClustersPerRecord = 0x40; // s8; negative: the record is 2^-n bytes
constexpr size_t kBootSectorBytes = 512;        // the fields above all lie in the first 512 bytes

// FILE record and attribute header fields.
constexpr size_t kRecordFirstAttribute = 0x14; // u16
constexpr size_t kRecordBytesInUse = 0x18;     // u32
constexpr size_t kAttrType = 0x00;             // u32
constexpr size_t kAttrLength = 0x04;           // u32
constexpr size_t kAttrNonResident = 0x08;      // u8
constexpr size_t kAttrNameLength = 0x09;       // u8, in UTF-16 code units
constexpr size_t kAttrMappingPairs = 0x20;     // u16: offset of the run list of a non-resident one
constexpr uint32_t kTypeData = 0x80;
constexpr uint32_t kTypeEnd = 0xFFFFFFFF;

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

int64_t SignedField(const std::vector<uint8_t>& bytes, size_t offset, unsigned size) {
    uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i)
        value |= uint64_t{bytes[offset + i]} << (8 * i);
    if (size < 8 && (value >> (8 * size - 1)) & 1)
        value |= ~uint64_t{0} << (8 * size);
    return static_cast<int64_t>(value);
}

// Decodes an attribute's mapping pairs from offset up to end; throws std::runtime_error when they
// are malformed or run past end.
std::vector<Run> DecodeMappingPairs(const std::vector<uint8_t>& bytes, size_t offset, size_t end) {
    std::vector<Run> runs;
    uint64_t vcn = 0;
    int64_t lcn = 0;
    if (end > bytes.size())
        throw std::runtime_error("run list lies outside the record");
    while (offset < end && bytes[offset] != 0) {
        const unsigned lengthSize = bytes[offset] & 0x0F;
        const unsigned lcnSize = bytes[offset] >> 4;
        if (lengthSize == 0 || lengthSize > 8 || lcnSize > 8 || lengthSize + lcnSize > end - offset - 1)
            throw std::runtime_error("malformed run list");
        const auto length = static_cast<uint64_t>(SignedField(bytes, offset + 1, lengthSize));
        Run run{vcn, -1, length};
        if (lcnSize) {
            lcn += SignedField(bytes, offset + 1 + lengthSize, lcnSize);
            run.lcn = lcn;
        }
        runs.push_back(run);
        vcn += length;
        offset += 1 + lengthSize + lcnSize;
    }
    return runs;
}

} // namespace

MftImage::MftImage(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDWR);
    if (fd_ < 0)
        throw std::runtime_error(Errno(path));
    std::vector<uint8_t> boot(kBootSectorBytes);
    ReadAt(0, boot.data(), boot.size());
    const uint32_t sectorSize = ReadLe<uint16_t>(boot, kBootBytesPerSector);
    const auto spc = ReadLe<uint8_t>(boot, kBootSectorsPerCluster);
    const uint32_t sectorsPerCluster = spc > 0x80 ? 1u << (256 - spc) : spc;
    clusterSize_ = sectorSize * sectorsPerCluster;
    const auto cpr = ReadLe<int8_t>(boot, kBootClustersPerRecord);
    recordSize_ = cpr < 0 ? 1u << -cpr : static_cast<uint32_t>(cpr) * clusterSize_;
    if (sectorSize < 256 || clusterSize_ == 0 || recordSize_ < kFixupStride || recordSize_ > 65536)
        throw std::runtime_error(path + ": boot sector geometry is not usable");

    const uint64_t mftLcn = ReadLe<uint64_t>(boot, kBootMftLcn);
    std::vector<uint8_t> record(recordSize_);
    ReadAt(mftLcn * clusterSize_, record.data(), record.size());
    if (!UndoFixups(record, ReadUpdateSequence(record)))
        throw std::runtime_error(path + ": record 0 fails its fixups");
    size_t offset = ReadLe<uint16_t>(record, kRecordFirstAttribute);
    const size_t inUse = std::min<size_t>(ReadLe<uint32_t>(record, kRecordBytesInUse), record.size());
    while (offset < inUse) {
        const auto type = ReadLe<uint32_t>(record, offset + kAttrType);
        const auto length = ReadLe<uint32_t>(record, offset + kAttrLength);
        if (type == kTypeEnd || length == 0 || length > inUse - offset)
            break;
        if (type == kTypeData && ReadLe<uint8_t>(record, offset + kAttrNameLength) == 0 &&
            ReadLe<uint8_t>(record, offset + kAttrNonResident) != 0) {
            mftRuns_ = DecodeMappingPairs(
                record, offset + ReadLe<uint16_t>(record, offset + kAttrMappingPairs), offset + length);
            return;
        }
        offset += length;
    }
    throw std::runtime_error(path + ": record 0 has no non-resident unnamed $DATA");
}

MftImage::~MftImage() {
    ::close(fd_);
}

uint64_t MftImage::MftOffsetToImage(uint64_t offset) const {
    const uint64_t vcn = offset / clusterSize_;
    for (const Run& run : mftRuns_)
        if (vcn >= run.vcn && vcn - run.vcn < run.length && run.lcn >= 0)
            return (static_cast<uint64_t>(run.lcn) + (vcn - run.vcn)) * clusterSize_ + offset % clusterSize_;
    throw std::runtime_error(path_ + ": MFT offset " + std::to_string(offset) + " is not allocated");
}

std::vector<uint8_t> MftImage::ReadRecord(uint64_t n) const {
    std::vector<uint8_t> bytes(recordSize_);
    // A record may straddle two runs when clusters are smaller than records: map each cluster piece.
    for (size_t done = 0; done < bytes.size();) {
        const uint64_t at = n * recordSize_ + done;
        const size_t piece = std::min<uint64_t>(bytes.size() - done, clusterSize_ - at % clusterSize_);
        ReadAt(MftOffsetToImage(at), bytes.data() + done, piece);
        done += piece;
    }
    return bytes;
}

void MftImage::WriteRecord(uint64_t n, const std::vector<uint8_t>& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const uint64_t at = n * recordSize_ + done;
        const size_t piece = std::min<uint64_t>(bytes.size() - done, clusterSize_ - at % clusterSize_);
        WriteAt(MftOffsetToImage(at), bytes.data() + done, piece);
        done += piece;
    }
}

void MftImage::EditRecord(uint64_t n, const std::function<void(std::vector<uint8_t>&)>& edit) {
    std::vector<uint8_t> record = ReadRecord(n);
    const UpdateSequence sequence = ReadUpdateSequence(record);
    if (!UndoFixups(record, sequence))
        throw std::runtime_error(path_ + ": record " + std::to_string(n) + " fails its fixups already");
    edit(record);
    RedoFixups(record, sequence);
    WriteRecord(n, record);
}

void MftImage::WriteRaw(uint64_t offset, const std::vector<uint8_t>& bytes) {
    WriteAt(offset, bytes.data(), bytes.size());
}

void MftImage::ReadAt(uint64_t offset, uint8_t* data, size_t size) const {
    const ssize_t got = ::pread(fd_, data, size, static_cast<off_t>(offset));
    if (got < 0)
        throw std::runtime_error(Errno(path_));
    if (static_cast<size_t>(got) != size)
        throw std::runtime_error(path_ + ": read past the end of the image at " + std::to_string(offset));
}

void MftImage::WriteAt(uint64_t offset, const uint8_t* data, size_t size) {
    const ssize_t put = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
    if (put < 0 || static_cast<size_t>(put) != size)
        throw std::runtime_error(Errno(path_));
}

} // namespace mkvol
