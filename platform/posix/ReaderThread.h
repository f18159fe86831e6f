#pragma once
// A thread that reads for a device in the background, one read at a time.

#include "platform/Device.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// A scan asks for its next block while it tests the one before; a thread started for each block
// would cost a good part of the read.
class ReaderThread {
  public:
    // Reads size bytes at offset into out, as the device's foreground read would; returns 0 or the error.
    using ReadFunction = std::function<ErrorCode(std::uint8_t*, std::uint64_t, std::size_t)>;

    // Throws std::system_error when no thread can be started.
    explicit ReaderThread(ReadFunction read);
    // Ends the thread once the read it is doing, if any, has ended.
    ~ReaderThread();
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // Starts reading size bytes at offset into out; false while a read is still unclaimed.
    bool Start(std::uint8_t* out, std::uint64_t offset, std::size_t size);

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
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Idle;
    bool stopping_ = false;
    Job job_{};
    ErrorCode error_ = 0;
    std::thread thread_; // last: it starts once everything it uses is there
};

// Starts a read in the background on *reader, which is started on first use with read; nothing
// when no thread can be started or the reader's last read is not yet claimed, and the caller then
// reads as usual. The read is waited for at the latest when the returned object goes.
std::unique_ptr<BackgroundRead> StartBackgroundRead(std::unique_ptr<ReaderThread>& reader,
                                                    const ReaderThread::ReadFunction& read, void* buffer,
                                                    std::uint64_t offset, std::size_t size);

} // namespace platform
