#pragma once
// A thread that reads for a device in the background, one job at a time, and passes on hints of
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
    // One job of the device's: a read with the buffer, offset and size bound; returns 0 or its error.
    using Task = std::function<ErrorCode()>;
    // Passes on the hint that a range will be read soon (Device::Prefetch).
    using AdviseFunction = std::function<void(const ByteRange&)>;

    // Throws std::system_error when no thread can be started. Without advise, hints are dropped.
    explicit ReaderThread(AdviseFunction advise = {});
    // Ends the thread once the read it is doing, if any, has ended.
    ~ReaderThread();
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // Starts task; false while the last one is still unclaimed. Each task brings its own read, so
    // that a thread started for one kind of read never does another with it.
    bool Start(Task task);

    // Has ranges advised, in order, before the next read starts: they name what the block in hand
    // needs. Hints left when the thread ends are dropped.
    void Advise(const std::vector<ByteRange>& ranges);

    // Waits for the task started last to end, and returns 0 or its error.
    ErrorCode Wait();

  private:
    enum class State { Idle, Pending, Done };

    void Run();

    const AdviseFunction advise_;
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Idle;
    bool stopping_ = false;
    Task task_;
    std::vector<ByteRange> advice_; // hints not yet passed on
    ErrorCode error_ = 0;
    std::thread thread_; // last: it starts once everything it uses is there
};

// Starts *reader with advise unless it runs; false when no thread can be started.
bool StartReaderThread(std::unique_ptr<ReaderThread>& reader,
                       const ReaderThread::AdviseFunction& advise = {});

// Starts reading size bytes at offset into buffer with read, in the background on *reader, which is
// started on first use; nothing when no thread can be started or the reader's last read is not yet
// claimed, and the caller then reads as usual. The read is waited for at the latest when the
// returned object goes.
std::unique_ptr<BackgroundRead> StartBackgroundRead(std::unique_ptr<ReaderThread>& reader,
                                                    const ReaderThread::ReadFunction& read, void* buffer,
                                                    std::uint64_t offset, std::size_t size);

} // namespace platform
