#include "platform/MemoryFile.h"

#include <cerrno>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

MemoryFile::MemoryFile(std::uint64_t size) {
    fd_ = ::memfd_create("vesk-memory-file", MFD_CLOEXEC);
    if (fd_ < 0 || size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
        ::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        error_ = static_cast<ErrorCode>(errno != 0 ? errno : EFBIG);
}

MemoryFile::~MemoryFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool MemoryFile::Write(std::uint64_t offset, const void* bytes, std::size_t size) {
    if (::pwrite(fd_, bytes, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size))
        return true;
    error_ = static_cast<ErrorCode>(errno != 0 ? errno : EIO);
    return false;
}

bool MemoryFile::Read(std::uint64_t offset, void* bytes, std::size_t size) const {
    return ::pread(fd_, bytes, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

} // namespace platform
