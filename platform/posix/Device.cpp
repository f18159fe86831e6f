// Files and block devices on POSIX: positioned reads with pread(2), with read-ahead for sequential
// scans, reads in the background on a thread of their own, and reads asked for ahead taken from the
// page cache at once or fetched by the kernel in the background.

#include "platform/Device.h"
#include "platform/ReaderThread.h"
#include "platform/linux/BlockDevice.h"
#include "platform/posix/FileDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

class PosixDevice : public Device {
  public:
    explicit PosixDevice(int fd) : fd_(fd) {}
    ~PosixDevice() override {
        reader_.reset(); // its thread ends before the descriptors do
        if (streamFd_ >= 0 && streamFd_ != fd_)
            ::close(streamFd_);
        ::close(fd_);
    }
    PosixDevice(const PosixDevice&) = delete;
    PosixDevice& operator=(const PosixDevice&) = delete;

    std::optional<std::uint32_t> SectorSize() const override { return BlockDeviceSectorSize(fd_); }

    // A regular file's length, or a block device's (a disk or a partition).
    std::optional<std::uint64_t> Size() const override {
        struct stat info;
        if (::fstat(fd_, &info) != 0)
            return std::nullopt;
        if (S_ISREG(info.st_mode))
            return static_cast<std::uint64_t>(info.st_size);
        return BlockDeviceSize(fd_);
    }

    // pread needs no position on the descriptor, so reads on two threads do not disturb each other.
    // The reader thread starts with the first read in the background. Without a thread to spare,
    // or while its read is not yet claimed, the caller simply reads as usual.
    std::unique_ptr<BackgroundRead> ReadInBackground(void* buffer, std::uint64_t offset,
                                                     std::size_t size) override {
        if (!StartReader())
            return nullptr;
        return StartBackgroundRead(reader_, ReadStream(), buffer, offset, size);
    }

    // A scan's far reads are scattered: one at a time, on a cold device, each costs a seek. The
    // ranges the page cache holds are read now, without waiting for the device, and kept until the
    // next call, so that a warm scan makes no more system calls than without the hint (like the
    // read-ahead, a kept range shows the bytes as they were when it was read). From the
    // first range that is not cached on, the reader thread asks the kernel to fetch the rest
    // (posix_fadvise, which may wait for room in the device's queue) while the caller goes on.
    bool Prefetch(const std::vector<ByteRange>& ranges, std::size_t keepBytes) override {
        kept_.clear(); // a scan's earlier ranges have been read, or never will be
        std::size_t used = 0;
        bool cold = false;
        std::vector<ByteRange> rest;
        for (const ByteRange& range : ranges) {
            if (range.size == 0)
                continue;
            if (!cold && range.size <= keepBytes - used) {
                if (KeepIfCached(range, used, keepBytes)) {
                    used += range.size;
                    continue;
                }
                cold = true;
            }
            rest.push_back(range);
        }
        std::sort(kept_.begin(), kept_.end(),
                  [](const Kept& a, const Kept& b) { return a.offset < b.offset; });
        if (rest.empty())
            return false;
        if (StartReader())
            reader_->Advise(rest);
        else
            std::for_each(rest.begin(), rest.end(), [this](const ByteRange& range) { Advise(range); });
        return true;
    }

    // The position is ours: pread needs no seek on the descriptor.
    ErrorCode Seek(std::uint64_t offset) override {
        position_ = offset;
        return 0;
    }

    // A read that continues the previous one, or the block read ahead, is served from one large
    // read ahead, so a scan of consecutive records costs one system call per block rather than per
    // record, also when reads elsewhere (a parent directory) come between its records.
    ErrorCode Read(void* buffer, std::size_t size) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::uint64_t position = position_;
        const bool sequential = position == previousEnd_ || position == aheadStart_ + aheadFilled_;
        position_ += size;
        previousEnd_ = position_;
        if (TakeKept(out, position, size))
            return 0;
        while (size > 0) {
            if (position >= aheadStart_ && position - aheadStart_ < aheadFilled_) {
                const std::size_t n = std::min<std::uint64_t>(size, aheadFilled_ - (position - aheadStart_));
                std::memcpy(out, ahead_.data() + (position - aheadStart_), n);
                out += n;
                position += n;
                size -= n;
                continue;
            }
            if (!sequential || size >= kReadAheadSize)
                return ReadAt(out, position, size);
            ahead_.resize(kReadAheadSize);
            aheadFilled_ = 0;
            if (ErrorCode error = ReadAt(ahead_.data(), position, kReadAheadSize))
                return error;
            aheadStart_ = position;
            aheadFilled_ = kReadAheadSize;
        }
        return 0;
    }

  private:
    static constexpr std::size_t kReadAheadSize = 1 << 20; // large enough to amortise a system call

    // A range read ahead from the page cache: size bytes at offset, at kept bytes[at].
    struct Kept {
        std::uint64_t offset;
        std::size_t size;
        std::size_t at;
    };

    // Starts the reader thread unless it runs; false when no thread can be started. The thread
    // reads the scan's blocks, through the open file of their own, also when a prefetch started it.
    bool StartReader() {
        if (streamFd_ < 0)
            streamFd_ = OpenStream();
        return StartReaderThread(reader_, [this](const ByteRange& range) { Advise(range); });
    }

    // What the reader thread reads with.
    ReaderThread::ReadFunction ReadStream() {
        return [this](std::uint8_t* out, std::uint64_t at, std::size_t n) {
            return ReadAt(out, at, n, streamFd_);
        };
    }

    // Asks the kernel to fetch what range holds of the device into the page cache.
    void Advise(const ByteRange& range) const {
        if (range.size == 0 || PastAddressableEnd(range.offset))
            return;
        const std::uint64_t size =
            std::min<std::uint64_t>(range.size, std::numeric_limits<off_t>::max() - range.offset);
        ::posix_fadvise(fd_, static_cast<off_t>(range.offset), static_cast<off_t>(size), POSIX_FADV_WILLNEED);
    }

    // Reads range into the kept bytes from keptBytes_[at] on if the page cache holds all of it;
    // false, keeping nothing, if the device would have to be waited for or the kernel cannot tell.
    // The kept bytes hold keepBytes.
    bool KeepIfCached(const ByteRange& range, std::size_t at, std::size_t keepBytes) {
        if (!noWaitReads_ || PastAddressableEnd(range.offset))
            return false;
        if (keptSize_ < keepBytes) {                       // first in a call: nothing is kept yet
            keptBytes_.reset(new std::uint8_t[keepBytes]); // its pages are touched as ranges fill them
            keptSize_ = keepBytes;
        }
        iovec vector{keptBytes_.get() + at, range.size};
        const ssize_t got = ::preadv2(fd_, &vector, 1, static_cast<off_t>(range.offset), RWF_NOWAIT);
        if (got < 0 && errno == EOPNOTSUPP)
            noWaitReads_ = false;
        // A short read ends at the end of the device or at a page not yet cached: the read proper
        // will tell which.
        if (got < 0 || static_cast<std::size_t>(got) != range.size)
            return false;
        kept_.push_back({range.offset, range.size, at});
        return true;
    }

    // Serves a read from a kept range that holds all of it.
    bool TakeKept(std::uint8_t* out, std::uint64_t offset, std::size_t size) const {
        auto it =
            std::upper_bound(kept_.begin(), kept_.end(), offset,
                             [](std::uint64_t wanted, const Kept& kept) { return wanted < kept.offset; });
        if (it == kept_.begin())
            return false;
        --it;
        const std::uint64_t into = offset - it->offset;
        if (into > it->size || size > it->size - into)
            return false;
        std::memcpy(out, keptBytes_.get() + it->at + into, size);
        return true;
    }

    // The kernel reads ahead of a run of consecutive reads, as it finds them on one open file. The
    // scan's blocks, read in the background, get an open file of their own, so that the reads
    // elsewhere in between (attribute lists, parents) do not break their run; fd_ when the device
    // cannot be opened again.
    int OpenStream() const {
        const int fd = OpenAgain(fd_);
        return fd >= 0 ? fd : fd_;
    }

    // Reads size bytes at offset through fd (fd_ by default), zero-filling what lies past the end
    // of the device.
    ErrorCode ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size, int fd = -1) const {
        if (fd < 0)
            fd = fd_;
        std::size_t done = 0;
        while (done < size && !PastAddressableEnd(offset + done)) {
            ssize_t got = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return static_cast<ErrorCode>(errno);
            if (got == 0)
                break; // end of the device
            done += static_cast<std::size_t>(got);
        }
        std::memset(out + done, 0, size - done);
        return 0;
    }

    // Offsets that off_t cannot express lie past the end of any device.
    static bool PastAddressableEnd(std::uint64_t offset) {
        return offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    }

    int fd_;
    int streamFd_ = -1; // the scan's blocks are read through it, once opened
    std::uint64_t position_ = 0;
    std::uint64_t previousEnd_ = 0;
    std::vector<std::uint8_t> ahead_; // bytes from aheadStart_ on, aheadFilled_ of them valid
    std::uint64_t aheadStart_ = 0;
    std::size_t aheadFilled_ = 0;
    std::vector<Kept> kept_;                    // ascending by offset
    std::unique_ptr<std::uint8_t[]> keptBytes_; // keptSize_ bytes, once a range is kept
    std::size_t keptSize_ = 0;
    bool noWaitReads_ = true;              // whether reads that never wait for the device are known to work
    std::unique_ptr<ReaderThread> reader_; // reads in the background, once asked to
};

} // namespace

std::wstring DevicePathForDrive(const std::wstring& drive) {
    return drive;
}

std::unique_ptr<Device> MakeFileDevice(int fd) {
    return std::make_unique<PosixDevice>(fd);
}

} // namespace platform
