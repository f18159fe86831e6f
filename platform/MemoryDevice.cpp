#include "platform/MemoryDevice.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// A read in the background that copies its bytes when it is waited for, or let go.
class DeferredRead : public BackgroundRead {
  public:
    DeferredRead(const std::vector<std::uint8_t>& bytes, void* buffer, std::uint64_t offset, std::size_t size)
        : bytes_(bytes), buffer_(static_cast<std::uint8_t*>(buffer)), offset_(offset), size_(size) {}
    ~DeferredRead() override { Wait(); }

    ErrorCode Wait() override {
        if (!done_) {
            done_ = true;
            const std::size_t available =
                offset_ < bytes_.size() ? std::min<std::uint64_t>(size_, bytes_.size() - offset_) : 0;
            if (available > 0)
                std::memcpy(buffer_, bytes_.data() + offset_, available);
            std::memset(buffer_ + available, 0, size_ - available);
        }
        return 0;
    }

  private:
    const std::vector<std::uint8_t>& bytes_;
    std::uint8_t* buffer_;
    std::uint64_t offset_;
    std::size_t size_;
    bool done_ = false;
};

} // namespace

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

std::unique_ptr<BackgroundRead> MemoryDevice::ReadInBackground(void* buffer, std::uint64_t offset,
                                                               std::size_t size) {
    if (!serveBackgroundReads_)
        return nullptr;
    backgroundReads_.push_back({offset, size});
    return std::make_unique<DeferredRead>(bytes_, buffer, offset, size);
}

bool MemoryDevice::Prefetch(const std::vector<ByteRange>& ranges, std::size_t keepBytes) {
    (void)keepBytes; // all of it is in memory
    prefetches_.insert(prefetches_.end(), ranges.begin(), ranges.end());
    return reportFetches_ && !ranges.empty();
}

} // namespace platform
