#include "volume/FileRecordData.h"

#include "volume/AttributeWalk.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace Krod {
namespace {

// A record buffer object sits at the start of its own frame, ahead of the record bytes, so that
// reading a record costs no allocation beyond the frame pool. Rounded to keep the bytes aligned.
constexpr std::uint32_t kObjectSpace = (sizeof(CFileRecordData) + 15) / 16 * 16;

} // namespace

std::uint32_t CFileRecordData::FrameSizeFor(std::uint32_t recordSize) {
    return kObjectSpace + recordSize;
}

CFileRecordData* CFileRecordData::Create(CLogicalDisk* disk) {
    CFrameAllocator& frames = disk->GetFrameAllocator();
    if (frames.GetFrameSize() <= kObjectSpace)
        throw std::logic_error("Frame size does not hold a record buffer");
    std::uint8_t* frame = frames.AllocateFrame();
    return new (frame) CFileRecordData(disk, frame + kObjectSpace, frames.GetFrameSize() - kObjectSpace);
}

CFileRecordData::CFileRecordData(CLogicalDisk* disk, std::uint8_t* buffer, std::uint32_t size)
    : disk_(disk), buffer_(buffer), size_(size) {}

void CFileRecordData::Destroy() {
    // The disk's reference keeps the pool alive until the frame is back.
    boost::intrusive_ptr<CLogicalDisk> disk = std::move(disk_);
    auto* frame = reinterpret_cast<std::uint8_t*>(this);
    this->~CFileRecordData();
    disk->GetFrameAllocator().FreeFrame(frame);
}

const CFileRecordData::AttributeIndex& CFileRecordData::GetAttributeIndex() {
    if (!indexBuilt_) {
        BuildAttributeIndex();
        indexBuilt_ = true;
    }
    return index_;
}

bool CFileRecordData::HasAttributeList() const {
    // A record keeps its attributes sorted by type, so the list, if any, comes within the first few.
    bool found = false;
    WalkAttributes(buffer_, size_, [&found](std::uint32_t type, std::uint32_t, std::uint32_t) {
        found = type == kAttributeList;
        return type < kAttributeList;
    });
    return found;
}

void CFileRecordData::BuildAttributeIndex() {
    index_.damagedAt = WalkAttributes(
        buffer_, size_, [this](std::uint32_t type, std::uint32_t offset, std::uint32_t length) {
            index_.byType.push_back({type, static_cast<std::uint32_t>(index_.spans.size())});
            index_.spans.push_back({offset, length});
            return true;
        });
    const auto byTypeThenIndex = [](const TypedAttribute& a, const TypedAttribute& b) {
        return a.type != b.type ? a.type < b.type : a.index < b.index;
    };
    // NTFS keeps a record's attributes ordered by type, so there is rarely anything to sort.
    if (!std::is_sorted(index_.byType.begin(), index_.byType.end(), byTypeThenIndex))
        std::sort(index_.byType.begin(), index_.byType.end(), byTypeThenIndex);
}

} // namespace Krod
