// Files and block devices on POSIX: positioned reads with pread(2), with read-ahead for sequential
// scans and reads in the background on a thread of their own.

#include "platform/Device.h"
#include "platform/posix/FileDevice.h"
#include "platform/posix/ReaderThread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

class PosixDevice : public Device {
  public:
    explicit PosixDevice(int fd) : fd_(fd) {}
    ~PosixDevice() override {
        reader_.reset(); // its thread ends before the descriptor does
        ::close(fd_);
    }
    PosixDevice(const PosixDevice&) = delete;
    PosixDevice& operator=(const PosixDevice&) = delete;

    std::optional<std::uint32_t> SectorSize() const override {
        struct stat info;
        if (::fstat(fd_, &info) != 0 || !S_ISBLK(info.st_mode))
            return std::nullopt;
        int size = 0;
        if (::ioctl(fd_, BLKSSZGET, &size) != 0 || size <= 0)
            return std::nullopt;
        return static_cast<std::uint32_t>(size);
    }

    // A regular file's length, or a block device's (a disk or a partition).
    std::optional<std::uint64_t> Size() const override {
        struct stat info;
        if (::fstat(fd_, &info) != 0)
            return std::nullopt;
        if (S_ISREG(info.st_mode))
            return static_cast<std::uint64_t>(info.st_size);
        std::uint64_t size = 0;
        if (S_ISBLK(info.st_mode) && ::ioctl(fd_, BLKGETSIZE64, &size) == 0)
            return size;
        return std::nullopt;
    }

    // pread needs no position on the descriptor, so reads on two threads do not disturb each other.
    // The reader thread starts with the first read in the background. Without a thread to spare,
    // or while its read is not yet claimed, the caller simply reads as usual.
    std::unique_ptr<BackgroundRead> ReadInBackground(void* buffer, std::uint64_t offset,
                                                     std::size_t size) override {
        return StartBackgroundRead(
            reader_,
            [this](std::uint8_t* out, std::uint64_t at, std::size_t n) { return ReadAt(out, at, n); }, buffer,
            offset, size);
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

    // Reads size bytes at offset, zero-filling what lies past the end of the device.
    ErrorCode ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) const {
        std::size_t done = 0;
        while (done < size && !PastAddressableEnd(offset + done)) {
            ssize_t got = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
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
    std::uint64_t position_ = 0;
    std::uint64_t previousEnd_ = 0;
    std::vector<std::uint8_t> ahead_; // bytes from aheadStart_ on, aheadFilled_ of them valid
    std::uint64_t aheadStart_ = 0;
    std::size_t aheadFilled_ = 0;
    std::unique_ptr<ReaderThread> reader_; // reads in the background, once asked to
};

} // namespace

std::unique_ptr<Device> MakeFileDevice(int fd) {
    return std::make_unique<PosixDevice>(fd);
}

} // namespace platform
