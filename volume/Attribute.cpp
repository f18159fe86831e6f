#include "volume/Attribute.h"

#include "volume/AttributeHeader.h"
#include "volume/FileNameValue.h"
#include "volume/LittleEndian.h"
#include "volume/Utf16Text.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace Krod {
namespace {

// The largest sector count one device read takes.
constexpr std::uint64_t kMaxSectorsPerRead = std::numeric_limits<std::uint32_t>::max();

} // namespace

CAttribute::CAttribute(CFileRecordData* data, std::uint32_t offset, std::uint32_t length, CLogicalDisk* disk)
    : data_(data), disk_(disk), offset_(offset), length_(length) {
    if (!data || ValidatedAttributeLength(data->GetBuffer(), data->GetSize(), offset) != length)
        throw std::invalid_argument("Attribute does not lie inside its record");
    if (IsNonResident()) {
        if (!disk)
            throw std::logic_error("Nonresident attribure requires a logical disk object");
        runs_ = DecodeRunList(GetHeader(), length_, disk->GetBytesPerCluster());
    }
}

CLogicalDisk* CAttribute::GetDisk() const {
    if (!disk_)
        throw std::logic_error("No logical disk referenced");
    return disk_.get();
}

const std::uint8_t* CAttribute::GetHeader() const {
    if (!data_)
        throw std::logic_error("Cannot use empty attibute header");
    return data_->GetBuffer() + offset_;
}

std::uint32_t CAttribute::GetType() const {
    return read_le<std::uint32_t>(GetHeader(), length_, AttributeField::kType);
}

bool CAttribute::IsNonResident() const {
    return read_le<std::uint8_t>(GetHeader(), length_, AttributeField::kNonResident) != 0;
}

std::uint16_t CAttribute::GetInstance() const {
    return read_le<std::uint16_t>(GetHeader(), length_, AttributeField::kInstance);
}

std::wstring CAttribute::GetName() const {
    const std::uint8_t* header = GetHeader();
    const std::size_t units = read_le<std::uint8_t>(header, length_, AttributeField::kNameLength);
    if (units == 0)
        return {};
    std::wstring name;
    ReadUtf16(header, length_, read_le<std::uint16_t>(header, length_, AttributeField::kNameOffset), units,
              name);
    return name;
}

const std::uint8_t* CAttribute::GetResidentValue() const {
    if (IsNonResident())
        throw std::logic_error("not implemented?");
    return GetHeader() + read_le<std::uint16_t>(GetHeader(), length_, AttributeField::kValueOffset);
}

std::uint32_t CAttribute::GetResidentValueLength() const {
    if (IsNonResident())
        throw std::logic_error("not implemented?");
    return read_le<std::uint32_t>(GetHeader(), length_, AttributeField::kValueLength);
}

std::uint64_t CAttribute::GetDataSize() const {
    if (IsEmpty())
        return 0;
    if (IsNonResident())
        return read_le<std::uint64_t>(GetHeader(), length_, AttributeField::kDataSize);
    return GetResidentValueLength();
}

std::uint64_t CAttribute::GetAllocatedSize() const {
    if (IsEmpty())
        return 0;
    if (IsNonResident())
        return read_le<std::uint64_t>(GetHeader(), length_, AttributeField::kAllocatedSize);
    return data_->GetSize();
}

// Runs are validated as they are decoded, so every later sector and byte computation on them
// stays inside 64 bits. Any malformed entry discards the whole list: a partial map of the data
// would be taken for the whole.
std::vector<DataRun> DecodeRunList(const std::uint8_t* header, std::uint32_t length,
                                   std::uint32_t bytesPerCluster) {
    const std::uint64_t maxClusters =
        std::numeric_limits<std::uint64_t>::max() / std::max<std::uint64_t>(bytesPerCluster, 1);
    // The field is 16 bits; the compression unit above it is set in the first piece of a sparse or
    // compressed stream, whose runs are as real as any other's.
    std::uint64_t pos = read_le<std::uint16_t>(header, length, AttributeField::kRunListOffset);
    std::vector<DataRun> runs;
    std::uint64_t vcn = 0;
    std::int64_t lcn = 0;
    while (pos < length) {
        const std::uint8_t entry = header[pos];
        if (entry == 0)
            break;
        const std::size_t lengthWidth = entry & 0x0F;
        const std::size_t offsetWidth = entry >> 4;
        if (lengthWidth == 0 || lengthWidth > 8 || offsetWidth > 8 ||
            !FitsIn(length, pos + 1, lengthWidth + offsetWidth))
            return {};
        const std::uint64_t clusters = read_le_width(header, length, pos + 1, lengthWidth);
        std::uint64_t delta = read_le_width(header, length, pos + 1 + lengthWidth, offsetWidth);
        if (offsetWidth > 0 && offsetWidth < 8 && (delta >> (8 * offsetWidth - 1)) != 0)
            delta |= ~std::uint64_t{0} << (8 * offsetWidth); // sign-extend
        std::int64_t next = 0;
        if (clusters == 0 || __builtin_add_overflow(lcn, static_cast<std::int64_t>(delta), &next) ||
            next < 0 || clusters > maxClusters - vcn || static_cast<std::uint64_t>(next) > maxClusters ||
            clusters > maxClusters - static_cast<std::uint64_t>(next))
            return {};
        lcn = next;
        if (offsetWidth == 0)
            runs.push_back({vcn, clusters, 0, true});
        else
            runs.push_back({vcn, clusters, static_cast<std::uint64_t>(lcn)});
        vcn += clusters;
        pos += 1 + lengthWidth + offsetWidth;
    }
    return runs;
}

std::uint64_t CAttribute::GetLowestVcn() const {
    if (!IsNonResident())
        throw std::logic_error("not implemented");
    return read_le<std::uint64_t>(GetHeader(), length_, AttributeField::kLowestVcn);
}

// A piece's run list is decoded from VCN 0 like any other, so its runs move up by its lowest VCN.
bool CAttribute::AppendPiece(const CAttribute& piece) {
    if (!IsNonResident() || !piece.IsNonResident() || runs_.empty() || piece.runs_.empty())
        return false;
    const std::uint64_t start = GetClusterCount();
    const std::uint64_t maxClusters = std::numeric_limits<std::uint64_t>::max() /
                                      std::max<std::uint64_t>(GetDisk()->GetBytesPerCluster(), 1);
    if (piece.GetLowestVcn() != start || piece.GetClusterCount() > maxClusters - start)
        return false;
    for (DataRun run : piece.runs_) {
        run.vcn += start;
        runs_.push_back(run);
    }
    return true;
}

std::uint64_t CAttribute::GetClusterCount() const {
    if (!IsNonResident())
        throw std::logic_error("not implemented");
    return runs_.empty() ? 0 : runs_.back().vcn + runs_.back().length;
}

std::uint64_t CAttribute::GetSectorCount() const {
    return GetClusterCount() * GetDisk()->GetSectorsPerCluster();
}

std::uint64_t CAttribute::GetAllocatedBytes() const {
    return GetClusterCount() * GetDisk()->GetBytesPerCluster();
}

std::uint32_t CAttribute::ReadSectors(void* buffer, std::uint64_t firstSector, std::uint32_t count) const {
    return static_cast<std::uint32_t>(ReadStream(buffer, firstSector, count));
}

std::uint32_t CAttribute::ReadClusters(void* buffer, std::uint64_t firstVcn, std::uint32_t count) const {
    if (!IsNonResident())
        throw std::logic_error("not implemented?");
    const std::uint64_t sectorsPerCluster = GetDisk()->GetSectorsPerCluster();
    if (sectorsPerCluster == 0 || firstVcn >= GetClusterCount())
        return 0;
    return static_cast<std::uint32_t>(
        ReadStream(buffer, firstVcn * sectorsPerCluster, count * sectorsPerCluster) / sectorsPerCluster);
}

std::optional<std::uint64_t> CAttribute::GetContiguousSectors(std::uint64_t firstSector,
                                                              std::uint64_t count) const {
    // Only a non-resident attribute has runs, and it has a disk.
    if (runs_.empty() || count == 0 || GetDisk()->GetSectorsPerCluster() == 0)
        return std::nullopt;
    const std::uint64_t sectorsPerCluster = GetDisk()->GetSectorsPerCluster();
    auto run = std::upper_bound(runs_.begin(), runs_.end(), firstSector / sectorsPerCluster,
                                [](std::uint64_t vcn, const DataRun& r) { return vcn < r.vcn; });
    --run; // the first run starts at VCN 0
    // The run list's validation keeps these products inside 64 bits.
    const std::uint64_t runStart = run->vcn * sectorsPerCluster;
    const std::uint64_t runEnd = (run->vcn + run->length) * sectorsPerCluster;
    if (run->sparse || firstSector >= runEnd || count > runEnd - firstSector)
        return std::nullopt;
    return run->lcn * sectorsPerCluster + (firstSector - runStart);
}

CAttribute::Placement CAttribute::PlaceClusters(std::uint64_t clusters) const {
    if (!IsNonResident())
        throw std::logic_error("not implemented");
    const CLogicalDisk& disk = *GetDisk();
    const std::uint64_t sectorsPerCluster = disk.GetSectorsPerCluster();
    for (const DataRun& run : runs_) {
        if (clusters == 0)
            break;
        const std::uint64_t taken = std::min(clusters, run.length);
        if (run.sparse)
            return Placement::Hole;
        // The run list's validation keeps these products inside 64 bits.
        if (!disk.HoldsSectors(run.lcn * sectorsPerCluster, taken * sectorsPerCluster))
            return Placement::PastEnd;
        clusters -= taken;
    }
    return Placement::Held;
}

std::uint64_t CAttribute::ReadStream(void* buffer, std::uint64_t firstSector, std::uint64_t count) const {
    if (!IsNonResident())
        throw std::logic_error("not implemented?");
    CLogicalDisk* disk = GetDisk();
    const std::uint64_t sectorsPerCluster = disk->GetSectorsPerCluster();
    const std::size_t bytesPerSector = disk->GetBytesPerSector();
    if (count == 0 || runs_.empty() || sectorsPerCluster == 0)
        return 0;
    auto run = std::upper_bound(runs_.begin(), runs_.end(), firstSector / sectorsPerCluster,
                                [](std::uint64_t vcn, const DataRun& r) { return vcn < r.vcn; });
    --run; // the first run starts at VCN 0, so some run starts at or before the wanted one
    if (firstSector / sectorsPerCluster >= run->vcn + run->length)
        return 0; // beyond the last run

    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint64_t position = firstSector;
    std::uint64_t done = 0;
    for (; run != runs_.end() && done < count; ++run) {
        const std::uint64_t intoRun = position - run->vcn * sectorsPerCluster;
        const std::uint64_t n = std::min(run->length * sectorsPerCluster - intoRun, count - done);
        if (run->sparse) { // a hole: nothing of it lies on the volume
            std::memset(out, 0, static_cast<std::size_t>(n) * bytesPerSector);
            out += static_cast<std::size_t>(n) * bytesPerSector;
        }
        std::uint64_t sector = run->lcn * sectorsPerCluster + intoRun;
        for (std::uint64_t left = run->sparse ? 0 : n; left > 0;) {
            const auto chunk = static_cast<std::uint32_t>(std::min(left, kMaxSectorsPerRead));
            disk->ReadSectorsAt(out, sector, chunk);
            out += std::size_t{chunk} * bytesPerSector;
            sector += chunk;
            left -= chunk;
        }
        position += n;
        done += n;
    }
    return done;
}

std::wstring CAttribute::GetFileNameText() const {
    std::wstring text;
    GetFileNameText(text);
    return text;
}

void CAttribute::GetFileNameText(std::wstring& text) const {
    if (IsEmpty()) {
        text.clear();
        return;
    }
    CFileNameInPlace(GetResidentValue(), GetResidentValueLength()).GetFileNameText(text);
}

} // namespace Krod
