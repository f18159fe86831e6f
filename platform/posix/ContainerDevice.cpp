#include "platform/posix/ContainerDevice.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>

namespace platform {
namespace {

// A read in the background whose damage is reported once it has been waited for.
class ReportingRead : public BackgroundRead {
  public:
    ReportingRead(std::unique_ptr<BackgroundRead> read, ContainerDevice& device)
        : read_(std::move(read)), device_(device) {}
    ErrorCode Wait() override {
        const ErrorCode error = read_->Wait();
        device_.ReportDamage();
        return error;
    }

  private:
    std::unique_ptr<BackgroundRead> read_;
    ContainerDevice& device_;
};

} // namespace

ContainerDevice::ContainerDevice(std::unique_ptr<DiskReader> reader, std::uint64_t size,
                                 std::optional<std::uint32_t> sectorSize)
    : reader_(std::move(reader)), size_(size), sectorSize_(sectorSize) {}

ContainerDevice::~ContainerDevice() {
    thread_.reset();
    ReportDamage();
}

ErrorCode ContainerDevice::Seek(std::uint64_t offset) {
    position_ = offset;
    return 0;
}

ErrorCode ContainerDevice::Read(void* buffer, std::size_t size) {
    const std::uint64_t position = position_;
    position_ += std::min<std::uint64_t>(size, std::numeric_limits<std::uint64_t>::max() - position_);
    const ErrorCode error = ReadAt(static_cast<std::uint8_t*>(buffer), position, size);
    ReportDamage();
    return error;
}

std::unique_ptr<BackgroundRead> ContainerDevice::ReadInBackground(void* buffer, std::uint64_t offset,
                                                                  std::size_t size) {
    std::unique_ptr<BackgroundRead> read = StartBackgroundRead(
        thread_, [this](std::uint8_t* out, std::uint64_t at, std::size_t n) { return ReadAt(out, at, n); },
        buffer, offset, size);
    if (!read)
        return nullptr;
    return std::make_unique<ReportingRead>(std::move(read), *this);
}

void ContainerDevice::ReportDamage() {
    std::vector<std::string> notes;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        notes.swap(notes_);
    }
    for (const std::string& note : notes)
        std::cerr << note << std::endl;
}

ErrorCode ContainerDevice::ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) {
    const std::size_t inside = offset < size_ ? std::min<std::uint64_t>(size, size_ - offset) : 0;
    std::memset(out + inside, 0, size - inside);
    if (inside == 0)
        return 0;
    const std::lock_guard<std::mutex> lock(mutex_);
    const ErrorCode error = reader_->ReadAt(out, offset, inside);
    for (std::string& note : reader_->TakeDamageNotes())
        notes_.push_back(std::move(note));
    return error;
}

} // namespace platform
