#include "volume/IndexAttributes.h"

#include "volume/AttributeHeader.h"
#include "volume/LittleEndian.h"
#include "volume/RecordHeader.h"

#include <stdexcept>

namespace Krod {
namespace {

// Index entry fields, offsets from the start of the entry.
constexpr std::size_t kEntryLengthField = 0x08;    // u16, whole entry in bytes
constexpr std::size_t kEntryKeyLengthField = 0x0A; // u16
constexpr std::size_t kEntryFlagsField = 0x0C;     // u16
constexpr std::size_t kEntryKeyOffset = 0x10;      // the key follows the fixed part
constexpr std::uint16_t kLastEntryFlag = 0x0002;   // ends the node; carries no key

// Index node header fields, offsets from the start of the node header.
constexpr std::size_t kFirstEntryField = 0x00;  // u32
constexpr std::size_t kIndexLengthField = 0x04; // u32, end of the last entry

// INDEX_ROOT value fields.
constexpr std::size_t kBytesPerBlockField = 0x08; // u32
constexpr std::size_t kRootNodeHeader = 0x10;     // the root node's header
constexpr std::size_t kRootFlagsField = 0x1C;     // u8, the root node's flags
constexpr std::size_t kIndexRootMinSize = 0x20;   // both headers
constexpr std::uint8_t kHasSubNodesFlag = 0x01;

// INDX block fields.
constexpr std::uint32_t kIndxSignature = 0x58444E49; // "INDX" read as a little-endian u32
constexpr std::size_t kBlockNodeHeader = 0x18;

// The bitmap of the largest index accepted: one bit per block of the smallest size.
constexpr std::uint64_t kMaxBitmapBytes =
    CIndexAllocationAttribute::kMaxStreamBytes / kUpdateSequenceStride / 8;

// The entries of the node whose header lies at header in node[0, size): each entry is checked
// before it is taken, the walk advances only by a validated length and ends at the entry marked
// last or at an entry too short to carry a key.
IndexEntryList ReadIndexNode(const std::uint8_t* node, std::size_t size, std::size_t header) {
    const std::size_t first = header + read_le<std::uint32_t>(node, size, header + kFirstEntryField);
    const std::size_t end = header + read_le<std::uint32_t>(node, size, header + kIndexLengthField);
    if (end > size || first > end)
        throw std::runtime_error("Index node reaches past its buffer");
    IndexEntryList entries;
    for (std::size_t pos = first; pos < end;) {
        if (!FitsIn(end, pos, kEntryKeyOffset))
            throw std::runtime_error("Index entry reaches past its node");
        const std::size_t length = read_le<std::uint16_t>(node, end, pos + kEntryLengthField);
        const auto flags = read_le<std::uint16_t>(node, end, pos + kEntryFlagsField);
        if ((flags & kLastEntryFlag) != 0 || length <= kEntryKeyOffset)
            break;
        if (!FitsIn(end, pos, length))
            throw std::runtime_error("Index entry reaches past its node");
        entries.emplace_back(node + pos, length);
        pos += length;
    }
    return entries;
}

// The first clusters clusters of attribute's stream (a bounded count), or nothing when the runs
// do not cover them all.
std::vector<std::uint8_t> ReadClustersWhole(const CAttribute& attribute, std::uint32_t clusters) {
    std::vector<std::uint8_t> bytes(std::uint64_t{clusters} * attribute.GetDisk()->GetBytesPerCluster());
    if (clusters > 0 && attribute.ReadClusters(bytes.data(), 0, clusters) != clusters)
        bytes.clear();
    return bytes;
}

} // namespace

CIndexEntry::CIndexEntry(const std::uint8_t* bytes, std::size_t length)
    : bytes_(bytes), length_(length),
      keyLength_(read_le<std::uint16_t>(bytes, length, kEntryKeyLengthField)) {
    if (!FitsIn(length, kEntryKeyOffset, keyLength_))
        throw std::runtime_error("Index entry key reaches past its entry");
}

FileReference CIndexEntry::GetFileReference() const {
    return FileReference::FromRaw(read_le<std::uint64_t>(bytes_, length_, 0));
}

const std::uint8_t* CIndexEntry::GetKey() const {
    return bytes_ + kEntryKeyOffset;
}

CIndexRootAttribute::CIndexRootAttribute(const CAttribute& attribute) : CAttribute(attribute) {
    if (IsEmpty())
        return;
    if (GetType() != kAttributeIndexRoot)
        throw std::invalid_argument("Not an indexroot attribute");
    if (IsNonResident())
        throw std::logic_error("Nonresident indexroot attribute not supported");
    if (GetResidentValueLength() < kIndexRootMinSize)
        throw std::runtime_error("INDEX_ROOT value is shorter than its headers");
}

// Checked first, so that the empty view reports itself before any header field is read.
const std::uint8_t* CIndexRootAttribute::Value() const {
    if (IsEmpty())
        throw std::logic_error("Attribute is empty");
    return GetResidentValue();
}

IndexEntryList CIndexRootAttribute::GetEntries() const {
    const std::uint8_t* value = Value();
    return ReadIndexNode(value, GetResidentValueLength(), kRootNodeHeader);
}

std::uint32_t CIndexRootAttribute::GetBytesPerIndexBlock() const {
    const std::uint8_t* value = Value();
    return read_le<std::uint32_t>(value, GetResidentValueLength(), kBytesPerBlockField);
}

bool CIndexRootAttribute::HasSubNodes() const {
    const std::uint8_t* value = Value();
    return read_le<std::uint8_t>(value, GetResidentValueLength(), kRootFlagsField) == kHasSubNodesFlag;
}

CIndexAllocationAttribute::CIndexAllocationAttribute(const CAttribute& attribute,
                                                     std::uint32_t bytesPerIndexBlock)
    : CAttribute(attribute) {
    if (IsEmpty())
        return;
    if (GetType() != kAttributeIndexAllocation)
        throw std::invalid_argument("Not an index allocation attribute");
    if (!IsNonResident())
        throw std::logic_error("Resident index allocations not supported");
    if (bytesPerIndexBlock == 0 || bytesPerIndexBlock % kUpdateSequenceStride != 0 ||
        bytesPerIndexBlock > kMaxBlockSize)
        throw std::runtime_error("Unsupportable index block size");
    const std::uint64_t clusters = GetClusterCount();
    const std::uint64_t bytesPerCluster = GetDisk()->GetBytesPerCluster();
    // A stream longer than its volume is damaged, whatever its runs say.
    if (bytesPerCluster == 0 || clusters > kMaxStreamBytes / bytesPerCluster ||
        GetSectorCount() > GetDisk()->GetTotalSectors())
        throw std::runtime_error("INDEX_ALLOCATION size too long");

    auto stream = boost::shared_ptr<Stream>(new Stream);
    stream->bytes = ReadClustersWhole(*this, static_cast<std::uint32_t>(clusters));
    if (stream->bytes.size() != GetAllocatedBytes())
        throw std::runtime_error("Not all clusters of INDEX_ALLOCATION are read");
    stream->blockSize = bytesPerIndexBlock;
    for (std::size_t block = 0; block < stream->bytes.size() / bytesPerIndexBlock; ++block) {
        std::uint8_t* bytes = stream->bytes.data() + block * bytesPerIndexBlock;
        stream->blockIsSound.push_back(read_le<std::uint32_t>(bytes, bytesPerIndexBlock, 0) ==
                                           kIndxSignature &&
                                       ApplyUpdateSequence(bytes, bytesPerIndexBlock));
    }
    stream_ = stream;
}

std::size_t CIndexAllocationAttribute::GetBlockCount() const {
    return stream_ ? stream_->blockIsSound.size() : 0;
}

IndexEntryList CIndexAllocationAttribute::GetEntries(const std::vector<std::uint8_t>& inUse) const {
    if (IsEmpty())
        throw std::logic_error("Attribute is empty");
    IndexEntryList entries;
    for (std::size_t block = 0; block < GetBlockCount() && block / 8 < inUse.size(); ++block) {
        if ((inUse[block / 8] >> (block % 8) & 1) == 0)
            continue;
        if (!stream_->blockIsSound[block])
            throw std::runtime_error("Index block in use is damaged");
        const IndexEntryList blockEntries = ReadIndexNode(stream_->bytes.data() + block * stream_->blockSize,
                                                          stream_->blockSize, kBlockNodeHeader);
        entries.insert(entries.end(), blockEntries.begin(), blockEntries.end());
    }
    return entries;
}

std::vector<std::uint8_t> ReadIndexBitmap(const CAttribute& bitmap) {
    if (!bitmap.IsNonResident()) {
        const std::uint8_t* value = bitmap.GetResidentValue();
        return std::vector<std::uint8_t>(value, value + bitmap.GetResidentValueLength());
    }
    const std::uint64_t size = bitmap.GetDataSize();
    const std::uint64_t bytesPerCluster = bitmap.GetDisk()->GetBytesPerCluster();
    if (size > kMaxBitmapBytes || bytesPerCluster == 0)
        throw std::runtime_error("Index bitmap is damaged");
    std::vector<std::uint8_t> bytes =
        ReadClustersWhole(bitmap, static_cast<std::uint32_t>((size + bytesPerCluster - 1) / bytesPerCluster));
    if (bytes.size() < size)
        throw std::runtime_error("Index bitmap is damaged");
    bytes.resize(size);
    return bytes;
}

} // namespace Krod
