#pragma once
// The volume as libvshadow reads it. The library follows each chain of its 16 KiB structure blocks
// (the catalog, a copy's block lists and bitmaps) by the next offset each block holds, and never
// stops on a chain that leads back into itself: a damaged copy would hang the search. Reading a
// structure block a second time in one pass of the library (one call into it) is therefore refused,
// and the pass fails instead.

#include "platform/Device.h"

#include <memory>
#include <set>

namespace image {

class ShadowLoopGuard : public platform::Device {
  public:
    explicit ShadowLoopGuard(std::unique_ptr<platform::Device> volume) : volume_(std::move(volume)) {}

    // Starts a pass: the blocks read before may be read again.
    void BeginPass();
    // The offset of the block whose second reading in this pass was refused, if one was.
    std::optional<std::uint64_t> Looped() const { return looped_; }

    std::optional<std::uint32_t> SectorSize() const override { return volume_->SectorSize(); }
    std::optional<std::uint64_t> Size() const override { return volume_->Size(); }
    platform::ErrorCode Seek(std::uint64_t offset) override;
    // Fails with ELOOP on a structure block read before in this pass.
    platform::ErrorCode Read(void* buffer, std::size_t size) override;
    std::vector<std::string> TakeNotes() override { return volume_->TakeNotes(); }

  private:
    std::unique_ptr<platform::Device> volume_;
    std::uint64_t position_ = 0;
    std::set<std::uint64_t> seen_; // offsets of the structure blocks read in this pass
    std::optional<std::uint64_t> looped_;
};

} // namespace image
