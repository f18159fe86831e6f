#include "image/ContainerDevice.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace image {
namespace {

constexpr std::size_t kFirstSectorSize = 512; // what a disk of any sector size can read first
// Reads the library cannot do that get a note each: a container cut short early would otherwise
// give one for every block a scan reads past the cut.
constexpr unsigned kMaxUnreadableNotes = 100;

} // namespace

ContainerDevice::ContainerDevice(std::unique_ptr<DiskReader> reader, std::uint64_t size,
                                 std::optional<std::uint32_t> sectorSize, std::string image)
    : reader_(std::move(reader)), image_(std::move(image)), size_(size), sectorSize_(sectorSize) {}

ContainerDevice::~ContainerDevice() {
    thread_.reset();
}

platform::ErrorCode ContainerDevice::Seek(std::uint64_t offset) {
    position_ = offset;
    return 0;
}

platform::ErrorCode ContainerDevice::Read(void* buffer, std::size_t size) {
    const std::uint64_t position = position_;
    position_ += std::min<std::uint64_t>(size, std::numeric_limits<std::uint64_t>::max() - position_);
    return ReadAt(static_cast<std::uint8_t*>(buffer), position, size);
}

std::unique_ptr<platform::BackgroundRead>
ContainerDevice::ReadInBackground(void* buffer, std::uint64_t offset, std::size_t size) {
    return platform::StartBackgroundRead(
        thread_, [this](std::uint8_t* out, std::uint64_t at, std::size_t n) { return ReadAt(out, at, n); },
        buffer, offset, size);
}

std::vector<std::string> ContainerDevice::TakeNotes() {
    std::vector<std::string> notes;
    const std::lock_guard<std::mutex> lock(mutex_);
    notes.swap(notes_);
    return notes;
}

platform::ErrorCode ContainerDevice::ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) {
    const std::size_t inside = offset < size_ ? std::min<std::uint64_t>(size, size_ - offset) : 0;
    std::memset(out + inside, 0, size - inside);
    if (inside == 0)
        return 0;
    const std::lock_guard<std::mutex> lock(mutex_);
    const DiskRead read = reader_->ReadAt(out, offset, inside);
    for (std::string& note : reader_->TakeDamageNotes())
        notes_.push_back(std::move(note));
    if (read.error == 0 && !read.failure.empty()) {
        std::memset(out, 0, inside);
        if (unreadableNotes_ < kMaxUnreadableNotes)
            notes_.push_back(image_ + " cannot be read at offset " + std::to_string(offset) + ": " +
                             read.failure + "; its " + std::to_string(inside) +
                             " bytes there are read as zeros.");
        else if (unreadableNotes_ == kMaxUnreadableNotes)
            notes_.push_back(image_ + " cannot be read at more offsets; those bytes are read as zeros too.");
        unreadableNotes_ += unreadableNotes_ <= kMaxUnreadableNotes ? 1 : 0;
    }
    return read.error;
}

platform::OpenResult OpenContainerDevice(std::unique_ptr<DiskReader> reader, std::uint64_t size,
                                         std::optional<std::uint32_t> sectorSize, const std::string& image) {
    platform::OpenResult result;
    std::uint8_t first[kFirstSectorSize];
    const DiskRead read =
        size == 0 ? DiskRead{} : reader->ReadAt(first, 0, std::min<std::uint64_t>(size, sizeof first));
    if (read.error != 0) {
        result.error = read.error;
        return result;
    }
    if (!read.failure.empty()) {
        result.problem = image + " cannot be read at offset 0: " + read.failure + ".";
        return result;
    }
    result.device = std::make_unique<ContainerDevice>(std::move(reader), size, sectorSize, image);
    return result;
}

} // namespace image
