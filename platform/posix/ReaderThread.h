#pragma once
// A thread that reads for a device in the background, one read at a time, and passes on hints of
// reads to come.

#include "platform/Device.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// A scan asks for its next block while it tests the one before; a thread started for each block
// would cost a good part of the read.
class ReaderThread {
  public:
    // Reads size bytes at offset into out, as the device's foreground read would; returns 0 or the error.
    using ReadFunction = std::function<ErrorCode(std::uint8_t*, std::uint64_t, std::size_t)>;
    // Passes on the hint that a range will be read soon (Device::Prefetch).
    using AdviseFunction = std::function<void(const ByteRange&)>;

    // Throws std::system_error when no thread can be started. Without advise, hints are dropped.
    explicit ReaderThread(ReadFunction read, AdviseFunction advise = {});
    // Ends the thread once the read it is doing, if any, has ended.
    ~ReaderThread();
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // Starts reading size bytes at offset into out; false while a read is still unclaimed.
    bool Start(std::uint8_t* out, std::uint64_t offset, std::size_t size);

    // Has ranges advised, in order, before the next read starts: they name what the block in hand
    // needs. Hints left when the thread ends are dropped.
    void Advise(const std::vector<ByteRange>& ranges);

    // Waits for the read started last to end, and returns 0 or its error.
    ErrorCode Wait();

  private:
    enum class State { Idle, Pending, Done };
    struct Job {
        std::uint8_t* out;
        std::uint64_t offset;
        std::size_t size;
    };

    void Run();

    const ReadFunction read_;
    const AdviseFunction advise_;
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Idle;
    bool stopping_ = false;
    Job job_{};
    std::vector<ByteRange> advice_; // hints not yet passed on
    ErrorCode error_ = 0;
    std::thread thread_; // last: it starts once everything it uses is there
};

// Starts *reader with read and advise unless it runs; false when no thread can be started.
bool StartReaderThread(std::unique_ptr<ReaderThread>& reader, const ReaderThread::ReadFunction& read,
                       const ReaderThread::AdviseFunction& advise = {});

// Starts a read in the background on *reader, which is started on first use with read; nothing
// when no thread can be started or the reader's last read is not yet claimed, and the caller then
// reads as usual. The read is waited for at the latest when the returned object goes.
std::unique_ptr<BackgroundRead> StartBackgroundRead(std::unique_ptr<ReaderThread>& reader,
                                                    const ReaderThread::ReadFunction& read, void* buffer,
                                                    std::uint64_t offset, std::size_t size);

} // namespace platform
