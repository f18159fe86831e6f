#include "image/ContainerDevice.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>

namespace image {
namespace {

constexpr std::size_t kFirstSectorSize = 512; // what a disk of any sector size can read first
// Reads the library cannot do that get a note each: a container cut short early would otherwise
// give one for every block a scan reads past the cut.
constexpr unsigned kMaxUnreadableNotes = 100;
// The least a part of a background read is cut to: a smaller one costs more in handing it to a
// thread than decoding it at once gains.
constexpr std::size_t kMinPartSize = 512 << 10;

// A read cut into parts: ends once every part has ended and been recorded.
class PartsRead : public platform::BackgroundRead {
  public:
    explicit PartsRead(std::function<platform::ErrorCode()> finish) : finish_(std::move(finish)) {}
    ~PartsRead() override { Wait(); }
    PartsRead(const PartsRead&) = delete;
    PartsRead& operator=(const PartsRead&) = delete;

    platform::ErrorCode Wait() override {
        if (!finish_)
            return 0;
        const std::function<platform::ErrorCode()> finish = std::move(finish_);
        finish_ = nullptr;
        return finish();
    }

  private:
    std::function<platform::ErrorCode()> finish_;
};

} // namespace

ContainerDevice::ContainerDevice(std::unique_ptr<DiskReader> reader, std::uint64_t size,
                                 std::optional<std::uint32_t> sectorSize, std::string image)
    : reader_(std::move(reader)), image_(std::move(image)), size_(size), sectorSize_(sectorSize),
      twinUnit_(reader_->TwinUnit()), cores_(std::max(2u, std::thread::hardware_concurrency())) {}

ContainerDevice::~ContainerDevice() {
    thread_.reset();
    partReaders_.clear();
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
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::size_t inside = offset < size_ ? std::min<std::uint64_t>(size, size_ - offset) : 0;
    const std::vector<platform::ByteRange> parts = Parts(offset, inside);
    if (parts.size() >= 2) {
        std::unique_ptr<platform::BackgroundRead> read = ReadParts(out, parts);
        if (read) {
            std::memset(out + inside, 0, size - inside);
            return read;
        }
    }
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
    std::vector<std::string> notes = reader_->TakeDamageNotes();
    Record(read, notes, out, offset, inside);
    return read.error;
}

void ContainerDevice::Record(const DiskRead& read, std::vector<std::string>& notes, std::uint8_t* out,
                             std::uint64_t offset, std::size_t size) {
    for (std::string& note : notes)
        notes_.push_back(std::move(note));
    if (read.error == 0 && !read.failure.empty()) {
        std::memset(out, 0, size);
        if (unreadableNotes_ < kMaxUnreadableNotes)
            notes_.push_back(image_ + " cannot be read at offset " + std::to_string(offset) + ": " +
                             read.failure + "; its " + std::to_string(size) +
                             " bytes there are read as zeros.");
        else if (unreadableNotes_ == kMaxUnreadableNotes)
            notes_.push_back(image_ + " cannot be read at more offsets; those bytes are read as zeros too.");
        unreadableNotes_ += unreadableNotes_ <= kMaxUnreadableNotes ? 1 : 0;
    }
}

std::vector<platform::ByteRange> ContainerDevice::Parts(std::uint64_t offset, std::size_t size) const {
    std::vector<platform::ByteRange> parts;
    if (twinUnit_ == 0 || size < 2 * kMinPartSize)
        return parts;
    const std::size_t count = std::min<std::size_t>(cores_, size / kMinPartSize);
    const std::uint64_t end = offset + size;
    std::uint64_t at = offset;
    for (std::size_t i = 1; i <= count && at < end; ++i) {
        // Each part ends on a unit's edge, so that no unit is decoded by two readers.
        std::uint64_t next = i == count ? end : offset + size / count * i;
        next = std::min(end, next / twinUnit_ * twinUnit_ + (next % twinUnit_ == 0 ? 0 : twinUnit_));
        if (next > at)
            parts.push_back({at, static_cast<std::size_t>(next - at)});
        at = next;
    }
    return parts;
}

std::unique_ptr<platform::BackgroundRead>
ContainerDevice::ReadParts(std::uint8_t* out, const std::vector<platform::ByteRange>& parts) {
    // Made once, each as many as a read is ever cut into: a part's thread holds on to its reader.
    if (partReaders_.empty())
        partReaders_.resize(cores_);
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (!platform::StartReaderThread(partReaders_[i].thread))
            return nullptr;
    const std::uint64_t first = parts.front().offset;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        PartReader& reader = partReaders_[i];
        std::uint8_t* const partOut = out + (parts[i].offset - first);
        const platform::ReaderThread::Task task = [this, &reader, partOut] {
            if (!reader.twinTried) {
                reader.twinTried = true;
                reader.twin = reader_->Twin();
            }
            if (!reader.twin) {
                reader.read = DiskRead{ReadAt(partOut, reader.part.offset, reader.part.size), {}};
                return reader.read.error;
            }
            reader.read = reader.twin->ReadAt(partOut, reader.part.offset, reader.part.size);
            reader.notes = reader.twin->TakeDamageNotes();
            return reader.read.error;
        };
        reader.part = parts[i];
        reader.read = {};
        reader.notes.clear();
        // The part readers are claimed all together, so they are idle together: the first is busy
        // only while a read cut before is unclaimed.
        reader.running = reader.thread->Start(task);
        if (!reader.running) {
            if (i == 0)
                return nullptr;
            task();
        }
    }
    return std::make_unique<PartsRead>([this, out, count = parts.size()] { return FinishParts(out, count); });
}

platform::ErrorCode ContainerDevice::FinishParts(std::uint8_t* out, std::size_t count) {
    platform::ErrorCode error = 0;
    for (std::size_t i = 0; i < count; ++i) {
        PartReader& reader = partReaders_[i];
        const platform::ErrorCode partError = reader.running ? reader.thread->Wait() : reader.read.error;
        reader.running = false;
        error = error != 0 ? error : partError;
    }
    const std::uint64_t first = partReaders_[0].part.offset;
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
        PartReader& reader = partReaders_[i];
        Record(reader.read, reader.notes, out + (reader.part.offset - first), reader.part.offset,
               reader.part.size);
    }
    return error;
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
