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
// What a background read is cut into pieces of, for the part readers to take one at a time: a
// reader that ends early takes more, but a smaller piece costs more than decoding it gains.
constexpr std::size_t kPieceSize = 512 << 10;

// A read cut into pieces: ends once every piece has been read and recorded.
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
    std::vector<platform::ByteRange> pieces = Pieces(offset, inside);
    if (!pieces.empty()) {
        std::unique_ptr<platform::BackgroundRead> read = ReadPieces(out, std::move(pieces));
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

std::vector<platform::ByteRange> ContainerDevice::Pieces(std::uint64_t offset, std::size_t size) const {
    std::vector<platform::ByteRange> pieces;
    if (twinUnit_ == 0 || size < 2 * kPieceSize)
        return pieces;
    // Each piece but the first begins on a unit's edge, so that no unit is decoded by two readers.
    const std::uint64_t piece = std::max<std::uint64_t>(twinUnit_, kPieceSize / twinUnit_ * twinUnit_);
    const std::uint64_t end = offset + size;
    for (std::uint64_t at = offset; at < end;) {
        const std::uint64_t next = std::min(end, (at / piece + 1) * piece);
        pieces.push_back({at, static_cast<std::size_t>(next - at)});
        at = next;
    }
    return pieces;
}

std::unique_ptr<platform::BackgroundRead>
ContainerDevice::ReadPieces(std::uint8_t* out, std::vector<platform::ByteRange> ranges) {
    if (cutInFlight_)
        return nullptr;
    // Made once: a part reader's thread holds on to its twin. The twins are made here, on the
    // caller's thread: opening an image may use the C library's time zone, which is not for two
    // threads at once.
    if (partReaders_.empty())
        partReaders_.resize(cores_);
    const std::size_t readers = std::min(cores_, ranges.size());
    for (std::size_t i = 0; i < readers; ++i) {
        PartReader& reader = partReaders_[i];
        if (!platform::StartReaderThread(reader.thread))
            return nullptr;
        if (!reader.twinTried) {
            reader.twinTried = true;
            reader.twin = reader_->Twin();
        }
    }
    cutInFlight_ = true;
    pieces_.assign(ranges.size(), Piece{});
    for (std::size_t i = 0; i < ranges.size(); ++i)
        pieces_[i].range = ranges[i];
    nextPiece_ = 0;
    for (std::size_t i = 0; i < readers; ++i) {
        PartReader& reader = partReaders_[i];
        const platform::ReaderThread::Task task = [this, &reader, out] { return TakePieces(reader, out); };
        reader.running = reader.thread->Start(task);
        if (!reader.running)
            task();
    }
    return std::make_unique<PartsRead>([this, out, readers] { return FinishPieces(out, readers); });
}

platform::ErrorCode ContainerDevice::TakePieces(PartReader& reader, std::uint8_t* out) {
    const std::uint64_t first = pieces_.front().range.offset;
    for (std::size_t i = nextPiece_++; i < pieces_.size(); i = nextPiece_++) {
        Piece& piece = pieces_[i];
        std::uint8_t* const at = out + (piece.range.offset - first);
        if (reader.twin) {
            piece.read = reader.twin->ReadAt(at, piece.range.offset, piece.range.size);
            piece.notes = reader.twin->TakeDamageNotes();
        } else
            piece.read.error = ReadAt(at, piece.range.offset, piece.range.size);
    }
    return 0;
}

platform::ErrorCode ContainerDevice::FinishPieces(std::uint8_t* out, std::size_t readers) {
    for (std::size_t i = 0; i < readers; ++i) {
        PartReader& reader = partReaders_[i];
        if (reader.running)
            reader.thread->Wait();
        reader.running = false;
    }
    platform::ErrorCode error = 0;
    const std::uint64_t first = pieces_.front().range.offset;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (Piece& piece : pieces_) {
            Record(piece.read, piece.notes, out + (piece.range.offset - first), piece.range.offset,
                   piece.range.size);
            error = error != 0 ? error : piece.read.error;
        }
    }
    pieces_.clear();
    cutInFlight_ = false;
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
