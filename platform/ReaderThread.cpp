#include "platform/ReaderThread.h"

#include <system_error>

namespace platform {
namespace {

// The read a ReaderThread is doing for the caller; it is waited for at the latest when it goes.
class ThreadRead : public BackgroundRead {
  public:
    explicit ThreadRead(ReaderThread& reader) : reader_(reader) {}
    ~ThreadRead() override {
        if (!waited_)
            reader_.Wait();
    }
    ErrorCode Wait() override {
        if (waited_)
            return 0;
        waited_ = true;
        return reader_.Wait();
    }

  private:
    ReaderThread& reader_;
    bool waited_ = false;
};

} // namespace

ReaderThread::ReaderThread(AdviseFunction advise) : advise_(std::move(advise)), thread_([this] { Run(); }) {}

ReaderThread::~ReaderThread() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool ReaderThread::Start(Task task) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (state_ != State::Idle)
            return false;
        task_ = std::move(task);
        state_ = State::Pending;
    }
    changed_.notify_all();
    return true;
}

void ReaderThread::Advise(const std::vector<ByteRange>& ranges) {
    if (!advise_)
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        advice_.insert(advice_.end(), ranges.begin(), ranges.end());
    }
    changed_.notify_all();
}

ErrorCode ReaderThread::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return state_ == State::Done; });
    state_ = State::Idle;
    return error_;
}

void ReaderThread::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !advice_.empty() || state_ == State::Pending; });
        if (stopping_)
            return;
        if (!advice_.empty()) {
            std::vector<ByteRange> advice;
            advice.swap(advice_);
            lock.unlock();
            for (const ByteRange& range : advice)
                advise_(range);
            lock.lock();
            continue;
        }
        const Task task = std::move(task_);
        lock.unlock();
        const ErrorCode error = task();
        lock.lock();
        error_ = error;
        state_ = State::Done;
        changed_.notify_all();
    }
}

bool StartReaderThread(std::unique_ptr<ReaderThread>& reader, const ReaderThread::AdviseFunction& advise) {
    try {
        if (!reader)
            reader = std::make_unique<ReaderThread>(advise);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

std::unique_ptr<BackgroundRead> StartBackgroundRead(std::unique_ptr<ReaderThread>& reader,
                                                    const ReaderThread::ReadFunction& read, void* buffer,
                                                    std::uint64_t offset, std::size_t size) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (!StartReaderThread(reader) ||
        !reader->Start([read, out, offset, size] { return read(out, offset, size); }))
        return nullptr;
    return std::make_unique<ThreadRead>(*reader);
}

} // namespace platform
