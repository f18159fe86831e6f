#pragma once
// An in-memory device for tests and fuzzers: it counts what the code under test asks of it.

#include "platform/Device.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class MemoryDevice : public Device {
  public:
    // One read as it reached the device.
    struct ReadCall {
        std::uint64_t offset;
        std::size_t size;
    };

    // The device holds bytes; sectorSize is what SectorSize() reports (nothing: like an image file).
    explicit MemoryDevice(std::vector<std::uint8_t> bytes, std::optional<std::uint32_t> sectorSize = {});

    std::optional<std::uint32_t> SectorSize() const override;
    std::optional<std::uint64_t> Size() const override { return bytes_.size(); }
    ErrorCode Seek(std::uint64_t offset) override;
    ErrorCode Read(void* buffer, std::size_t size) override;
    // Once background reads are served: a read whose bytes are copied when it is waited for (or
    // let go), as a device that fetches them meanwhile would have them by then. Else nothing.
    std::unique_ptr<BackgroundRead> ReadInBackground(void* buffer, std::uint64_t offset,
                                                     std::size_t size) override;
    // Keeps the ranges asked for, in order; reads nothing. Returns whether it is told to report
    // fetches and was asked for some.
    bool Prefetch(const std::vector<ByteRange>& ranges, std::size_t keepBytes) override;

    // The device contents; tests may change them between reads.
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

    // From now on every read fails with code (0 lets reads succeed again).
    void FailReadsWith(ErrorCode code) { readError_ = code; }
    // A note about damage, as a container's reads raise them, that TakeNotes hands out next.
    void AddNote(std::string note) { notes_.push_back(std::move(note)); }
    std::vector<std::string> TakeNotes() override { return std::exchange(notes_, {}); }

    // From now on reads in the background are served (or not).
    void ServeBackgroundReads(bool serve) { serveBackgroundReads_ = serve; }
    // From now on Prefetch says the device has to fetch what it is asked for, as a cold one does (or not).
    void ReportFetches(bool fetch) { reportFetches_ = fetch; }

    std::size_t SeekCount() const { return seekCount_; }
    const std::vector<ReadCall>& Reads() const { return reads_; }
    const std::vector<ByteRange>& Prefetches() const { return prefetches_; }
    const std::vector<ReadCall>& BackgroundReads() const { return backgroundReads_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::optional<std::uint32_t> sectorSize_;
    std::uint64_t position_ = 0;
    ErrorCode readError_ = 0;
    std::size_t seekCount_ = 0;
    std::vector<ReadCall> reads_;
    std::vector<ByteRange> prefetches_;
    std::vector<ReadCall> backgroundReads_;
    bool serveBackgroundReads_ = false;
    bool reportFetches_ = false;
    std::vector<std::string> notes_;
};

} // namespace platform
