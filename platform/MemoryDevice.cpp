#include "platform/MemoryDevice.h"

#include <algorithm>
#include <cstring>

namespace platform {

MemoryDevice::MemoryDevice(std::vector<std::uint8_t> bytes, std::optional<std::uint32_t> sectorSize)
    : bytes_(std::move(bytes)), sectorSize_(sectorSize) {}

std::optional<std::uint32_t> MemoryDevice::SectorSize() const {
    return sectorSize_;
}

ErrorCode MemoryDevice::Seek(std::uint64_t offset) {
    ++seekCount_;
    position_ = offset;
    return 0;
}

ErrorCode MemoryDevice::Read(void* buffer, std::size_t size) {
    reads_.push_back({position_, size});
    if (readError_ != 0)
        return readError_;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t available = 0;
    if (position_ < bytes_.size())
        available = std::min<std::uint64_t>(size, bytes_.size() - position_);
    if (available > 0)
        std::memcpy(out, bytes_.data() + position_, available);
    std::memset(out + available, 0, size - available);
    position_ += size;
    return 0;
}

bool MemoryDevice::Prefetch(const std::vector<ByteRange>& ranges) {
    prefetches_.insert(prefetches_.end(), ranges.begin(), ranges.end());
    return false; // all of it is in memory
}

} // namespace platform
