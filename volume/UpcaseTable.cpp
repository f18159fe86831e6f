#include "volume/UpcaseTable.h"

#include "volume/AttributeHeader.h"
#include "volume/LittleEndian.h"
#include "volume/Mft.h"

#include <algorithm>
#include <stdexcept>

namespace Krod {
namespace {

// $UpCase is the unnamed data of this MFT record.
constexpr std::uint32_t kUpcaseRecord = 10;
// One little-endian u16 per UTF-16 code unit.
constexpr std::uint32_t kTableEntries = 65536;
constexpr std::uint64_t kTableBytes = kTableEntries * sizeof(std::uint16_t);

// Throws std::runtime_error unless the clusters of the table's entries all lie inside the device:
// read as zeros, the table would make every name of the same length match.
void CheckHeldWhole(const CAttribute& data) {
    const std::uint64_t bytesPerCluster = data.GetDisk()->GetBytesPerCluster();
    switch (data.PlaceClusters((kTableBytes + bytesPerCluster - 1) / bytesPerCluster)) {
    case CAttribute::Placement::Held:
        return;
    case CAttribute::Placement::Hole:
        throw std::runtime_error("$UpCase has a hole among its entries.");
    case CAttribute::Placement::PastEnd:
        throw std::runtime_error("$UpCase lies past the end of the image.");
    }
}

} // namespace

CUpcaseTable::CUpcaseTable(CMft& mft) {
    const std::vector<CMft::RecordRange> pastEnd = mft.GetRecordsPastImageEnd();
    if (std::any_of(pastEnd.begin(), pastEnd.end(), [](const CMft::RecordRange& range) {
            return range.first <= kUpcaseRecord && kUpcaseRecord <= range.last;
        }))
        throw std::runtime_error("$UpCase lies past the end of the image.");
    const AttributeList streams = mft.ReadFileRecord(kUpcaseRecord).FindAttributes(kAttributeData, L"");
    if (streams.size() != 1)
        throw std::runtime_error("$UpCase does not have exactly one unnamed $DATA stream");
    data_ = streams.front();
    if (!data_.IsNonResident() || data_.GetDataSize() < kTableBytes ||
        data_.GetAllocatedBytes() < kTableBytes)
        throw std::runtime_error("$UpCase does not hold 65536 entries");
    CheckHeldWhole(data_);
    // A page is one cluster, or the whole table when a cluster holds more than the table.
    bytesPerCluster_ = data_.GetDisk()->GetBytesPerCluster();
    entriesPerPage_ = std::min(bytesPerCluster_ / 2, kTableEntries);
    pages_ =
        boost::shared_ptr<PageSlots>(new PageSlots((kTableEntries + entriesPerPage_ - 1) / entriesPerPage_));
}

// The slot is filled only once the cluster has been read, so a failed read leaves it empty.
const CUpcaseTable::Page& CUpcaseTable::LoadPage(std::size_t page) const {
    std::vector<std::uint8_t> cluster(bytesPerCluster_);
    if (data_.ReadClusters(cluster.data(), page, 1) != 1)
        throw std::runtime_error("$UpCase page " + std::to_string(page) + " lies beyond its data runs");
    auto entries = boost::shared_ptr<Page>(new Page(entriesPerPage_));
    for (std::size_t i = 0; i < entries->size(); ++i)
        (*entries)[i] = read_le<std::uint16_t>(cluster.data(), cluster.size(), 2 * i);
    (*pages_)[page] = entries;
    return *entries;
}

wchar_t CUpcaseTable::ToUpper(wchar_t c) const {
    const auto unit = static_cast<std::uint32_t>(c);
    if (unit >= kTableEntries)
        return c;
    const std::size_t page = unit / entriesPerPage_;
    const boost::shared_ptr<const Page>& slot = (*pages_)[page];
    const Page& entries = slot ? *slot : LoadPage(page);
    return static_cast<wchar_t>(entries[unit % entriesPerPage_]);
}

const wchar_t* CUpcaseTable::ToUpper(wchar_t* first, const wchar_t* last) const {
    for (wchar_t* p = first; p != last; ++p)
        *p = ToUpper(*p);
    return last;
}

void CUpcaseTable::ToUpperString(std::wstring& text) const {
    for (wchar_t& c : text)
        c = ToUpper(c);
}

CUpcaseCtype::CUpcaseCtype(const CUpcaseTable& table, std::size_t refs)
    : std::ctype<wchar_t>(refs), table_(table) {}

wchar_t CUpcaseCtype::do_toupper(wchar_t c) const {
    return table_.ToUpper(c);
}

const wchar_t* CUpcaseCtype::do_toupper(wchar_t* first, const wchar_t* last) const {
    return table_.ToUpper(first, last);
}

// Lower-casing gives the upper case too: both directions must fold to the same form.
wchar_t CUpcaseCtype::do_tolower(wchar_t c) const {
    return table_.ToUpper(c);
}

const wchar_t* CUpcaseCtype::do_tolower(wchar_t* first, const wchar_t* last) const {
    return table_.ToUpper(first, last);
}

} // namespace Krod
