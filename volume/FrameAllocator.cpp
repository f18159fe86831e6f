#include "volume/FrameAllocator.h"

#include <new>
#include <stdexcept>

namespace Krod {

void CFrameAllocator::SetFrameSize(std::uint32_t size) {
    if (pool_)
        throw std::logic_error("Cannot change frame size after allocation took place");
    if (size == 0)
        throw std::invalid_argument("Frame size must not be 0");
    // boost::pool doubles its next block size each time it grows, starting from this one.
    pool_ = std::make_unique<Pool>(size, kFirstBlockFrames);
    frameSize_ = size;
}

std::uint8_t* CFrameAllocator::AllocateFrame() {
    if (!pool_)
        throw std::logic_error("Frame size is not set");
    void* frame = pool_->malloc();
    if (frame == nullptr)
        throw std::bad_alloc();
    return static_cast<std::uint8_t*>(frame);
}

void CFrameAllocator::FreeFrame(std::uint8_t* frame) {
    pool_->free(frame);
}

} // namespace Krod
