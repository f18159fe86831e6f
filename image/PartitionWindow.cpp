#include "image/PartitionWindow.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace image {

PartitionWindow::PartitionWindow(std::unique_ptr<platform::Device> disk, std::uint64_t start,
                                 std::uint64_t length)
    : disk_(std::move(disk)), start_(start),
      length_(std::min(length, std::numeric_limits<std::uint64_t>::max() - start)) {
    // A partition running past the end of an image cut short is as long as what is left of it, so
    // that the volume can tell that it ends early.
    if (const std::optional<std::uint64_t> size = disk_->Size())
        length_ = std::min(length_, *size > start ? *size - start : 0);
}

platform::ErrorCode PartitionWindow::Seek(std::uint64_t offset) {
    position_ = offset;
    return 0;
}

platform::ErrorCode PartitionWindow::Read(void* buffer, std::size_t size) {
    const std::uint64_t position = position_;
    // A position past the largest offset stays there: everything beyond reads as zeros anyway.
    position_ += std::min<std::uint64_t>(size, std::numeric_limits<std::uint64_t>::max() - position_);
    const std::size_t inside = position < length_ ? std::min<std::uint64_t>(size, length_ - position) : 0;
    if (inside > 0) {
        if (platform::ErrorCode error = disk_->Seek(start_ + position))
            return error;
        if (platform::ErrorCode error = disk_->Read(buffer, inside))
            return error;
    }
    std::memset(static_cast<std::uint8_t*>(buffer) + inside, 0, size - inside);
    return 0;
}

std::unique_ptr<platform::BackgroundRead>
PartitionWindow::ReadInBackground(void* buffer, std::uint64_t offset, std::size_t size) {
    if (offset > length_ || size > length_ - offset)
        return nullptr;
    return disk_->ReadInBackground(buffer, start_ + offset, size);
}

bool PartitionWindow::Prefetch(const std::vector<platform::ByteRange>& ranges, std::size_t keepBytes) {
    std::vector<platform::ByteRange> inside;
    for (const platform::ByteRange& range : ranges)
        if (range.offset < length_)
            inside.push_back({start_ + range.offset, static_cast<std::size_t>(std::min<std::uint64_t>(
                                                         range.size, length_ - range.offset))});
    return disk_->Prefetch(inside, keepBytes);
}

} // namespace image
