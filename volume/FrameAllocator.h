#pragma once
// A pool of equally sized record frames. Frames are recycled most recently freed first; memory
// goes back to the system only when the allocator dies, whether or not frames are still out.

#include <boost/pool/pool.hpp>

#include <cstdint>
#include <memory>

namespace Krod {

class CFrameAllocator {
  public:
    CFrameAllocator() = default;
    CFrameAllocator(const CFrameAllocator&) = delete;
    CFrameAllocator& operator=(const CFrameAllocator&) = delete;

    // Creates the pool for frames of size bytes. Allowed once; a second call throws
    // std::logic_error "Cannot change frame size after allocation took place". A size of 0
    // throws std::invalid_argument.
    void SetFrameSize(std::uint32_t size);
    // The frame size, 0 until SetFrameSize.
    std::uint32_t GetFrameSize() const { return frameSize_; }

    // One uninitialised frame of GetFrameSize() bytes, 8-byte aligned, owned by the pool until
    // FreeFrame. Throws std::bad_alloc when memory is exhausted and std::logic_error before SetFrameSize.
    std::uint8_t* AllocateFrame();
    // Returns a frame of this allocator for reuse.
    void FreeFrame(std::uint8_t* frame);

    // Frames in the pool's first block; each later block, obtained only when every frame is out,
    // holds twice as many as the one before (32, 64, 128, ...).
    static constexpr std::uint32_t kFirstBlockFrames = 32;

  private:
    using Pool = boost::pool<boost::default_user_allocator_new_delete>;
    std::unique_ptr<Pool> pool_;
    std::uint32_t frameSize_ = 0;
};

} // namespace Krod
