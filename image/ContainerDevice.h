#pragma once
// A disk held in a container (EWF, VHD/VHDX, VMDK, split raw), read through the reader of its kind.

#include "platform/Device.h"
#include "platform/ReaderThread.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace image {

// What a read of a container's disk came to: done, a system error (a file of the image that the
// system cannot read), or the library's reason why it cannot read those bytes.
struct DiskRead {
    platform::ErrorCode error = 0;
    std::string failure;
};

// What reads a container's disk. Never used by two threads at once, but for Twin.
class DiskReader {
  public:
    virtual ~DiskReader() = default;
    // Reads size bytes at offset, which all lie inside the disk, into out.
    virtual DiskRead ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) = 0;
    // Damage met by the reads since the last call, one line each for the user; the damaged bytes
    // were read as zeros.
    virtual std::vector<std::string> TakeDamageNotes() { return {}; }
    // The size of the units the disk is stored in (compressed chunks, say) when the reader can
    // make twins, else 0: reads cut at multiples of it decode no unit twice.
    virtual std::uint64_t TwinUnit() const { return 0; }
    // Another reader of the same disk with state of its own, so that the two may read at once,
    // sharing what they find damaged: each damaged unit is noted once, by the reader that meets it
    // first. None when it cannot be made. Safe to call while this reader reads.
    virtual std::unique_ptr<DiskReader> Twin() const { return nullptr; }
};

// Bytes the library cannot read (a container cut short, a table pointing past its end) read as
// zeros with a note naming the image, like a damaged chunk: the rest of the disk stays searchable.
class ContainerDevice : public platform::Device {
  public:
    // The disk of size bytes that reader reads; sectorSize as the container states it. image
    // names the container in notes ("The VHD image PATH").
    ContainerDevice(std::unique_ptr<DiskReader> reader, std::uint64_t size,
                    std::optional<std::uint32_t> sectorSize, std::string image);
    ~ContainerDevice() override;
    ContainerDevice(const ContainerDevice&) = delete;
    ContainerDevice& operator=(const ContainerDevice&) = delete;

    std::optional<std::uint32_t> SectorSize() const override { return sectorSize_; }
    std::optional<std::uint64_t> Size() const override { return size_; }
    platform::ErrorCode Seek(std::uint64_t offset) override;
    platform::ErrorCode Read(void* buffer, std::size_t size) override;
    // The container is read on a thread of its own (decompressing, say) while the caller goes on;
    // a large read of a reader that makes twins is cut into parts read at once, one per core,
    // each by a twin of its own.
    std::unique_ptr<platform::BackgroundRead> ReadInBackground(void* buffer, std::uint64_t offset,
                                                               std::size_t size) override;
    // The damage notes of the reads so far, those in the background included.
    std::vector<std::string> TakeNotes() override;

  private:
    // A piece of a background read cut for the part readers, and what reading it came to.
    struct Piece {
        platform::ByteRange range{};
        DiskRead read;
        std::vector<std::string> notes;
    };
    // A reader of pieces on a thread of its own.
    struct PartReader {
        bool twinTried = false;
        bool running = false;             // its thread reads pieces of a read not yet claimed
        std::unique_ptr<DiskReader> twin; // none when it cannot be made: the shared reader reads
        std::unique_ptr<platform::ReaderThread> thread; // last: it ends before the twin goes
    };

    // Reads as Read does, from any thread, the reader taking one caller at a time.
    platform::ErrorCode ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size);
    // Notes what a read of size bytes at offset into out came to, under mutex_: the damage notes,
    // and for bytes the library cannot read, zeros and a note.
    void Record(const DiskRead& read, std::vector<std::string>& notes, std::uint8_t* out,
                std::uint64_t offset, std::size_t size);
    // The pieces that a background read of size bytes at offset, all inside the disk, is cut into:
    // none when it is not worth cutting.
    std::vector<platform::ByteRange> Pieces(std::uint64_t offset, std::size_t size) const;
    // Starts reading ranges, the pieces of a read in order, into out on part readers (one per core
    // at most); nothing while a cut read is unclaimed or when no thread can be started.
    std::unique_ptr<platform::BackgroundRead> ReadPieces(std::uint8_t* out,
                                                         std::vector<platform::ByteRange> ranges);
    // What a part reader does: reads the pieces that no reader has taken yet, one at a time.
    platform::ErrorCode TakePieces(PartReader& reader, std::uint8_t* out);
    // Waits for the first readers part readers, records the pieces in order and returns the first error.
    platform::ErrorCode FinishPieces(std::uint8_t* out, std::size_t readers);

    std::mutex mutex_; // guards reader_ and notes_
    std::unique_ptr<DiskReader> reader_;
    std::vector<std::string> notes_;
    unsigned unreadableNotes_ = 0; // reads noted that the library could not do
    const std::string image_;
    const std::uint64_t size_;
    const std::optional<std::uint32_t> sectorSize_;
    const std::uint64_t twinUnit_;
    const std::size_t cores_; // at least 2: the part readers there are at most
    std::uint64_t position_ = 0;
    bool cutInFlight_ = false;              // a read cut into pieces is unclaimed
    std::vector<Piece> pieces_;             // of that read, each written by the part reader that takes it
    std::atomic<std::size_t> nextPiece_{0}; // the first piece no part reader has taken
    std::vector<PartReader> partReaders_;   // they end before the reader goes
    std::unique_ptr<platform::ReaderThread> thread_; // last: it ends before the reader goes
};

// The device of a container, or when the library cannot read even the disk's first sector, why
// not, in one line (a disk that cannot be read at all is not worth a note per read).
platform::OpenResult OpenContainerDevice(std::unique_ptr<DiskReader> reader, std::uint64_t size,
                                         std::optional<std::uint32_t> sectorSize, const std::string& image);

} // namespace image
