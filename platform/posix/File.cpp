// Files and block devices by name on POSIX.

#include "platform/File.h"

#include "platform/posix/FileDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string KindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode) || S_ISDIR(info.st_mode))
        return {};
    if (S_ISFIFO(info.st_mode))
        return "a FIFO";
    if (S_ISSOCK(info.st_mode))
        return "a socket";
    if (S_ISCHR(info.st_mode))
        return "a character device";
    return "no regular file";
}

} // namespace

bool FileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::string UnreadableFileKind(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? KindOf(info) : std::string();
}

OpenResult OpenFile(const std::string& path) {
    OpenResult result;
    // Opened without waiting, so that a FIFO is refused rather than waited on for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.error = static_cast<ErrorCode>(errno);
        return result;
    }
    struct stat info;
    const std::string kind = ::fstat(fd, &info) == 0 ? KindOf(info) : std::string();
    if (!kind.empty()) {
        ::close(fd);
        result.problem = "The path " + path + " names " + kind + ", not an image file or a block device.";
        return result;
    }
    if (::fcntl(fd, F_SETFL, O_RDONLY) != 0) { // reads of a disk wait as usual
        result.error = static_cast<ErrorCode>(errno);
        ::close(fd);
        return result;
    }
    result.device = MakeFileDevice(fd);
    return result;
}

bool SameFile(const std::string& one, const std::string& other) {
    struct stat first;
    struct stat second;
    return ::stat(one.c_str(), &first) == 0 && ::stat(other.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace platform
