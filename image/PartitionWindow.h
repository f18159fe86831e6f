#pragma once
// A volume inside a disk: the disk's bytes from a start offset on, for a length.

#include "platform/Device.h"

#include <memory>

namespace image {

// Reads pass straight to the disk, shifted by the start, into the caller's buffer; bytes past the
// window's end read as zeros and are never taken from the disk, whatever lies there.
class PartitionWindow : public platform::Device {
  public:
    // The window [start, start + length) of disk, which it owns; a length reaching past the largest
    // offset, or past the end of a disk of known size, is cut there.
    PartitionWindow(std::unique_ptr<platform::Device> disk, std::uint64_t start, std::uint64_t length);

    std::optional<std::uint32_t> SectorSize() const override { return disk_->SectorSize(); }
    std::optional<std::uint64_t> Size() const override { return length_; }
    platform::ErrorCode Seek(std::uint64_t offset) override;
    platform::ErrorCode Read(void* buffer, std::size_t size) override;
    // In the background when the read lies wholly inside the window; otherwise the caller reads.
    std::unique_ptr<platform::BackgroundRead> ReadInBackground(void* buffer, std::uint64_t offset,
                                                               std::size_t size) override;
    // Passes on the parts of ranges that lie inside the window, shifted by the start.
    bool Prefetch(const std::vector<platform::ByteRange>& ranges, std::size_t keepBytes) override;
    std::vector<std::string> TakeNotes() override { return disk_->TakeNotes(); }

  private:
    std::unique_ptr<platform::Device> disk_;
    std::uint64_t start_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;
};

} // namespace image
