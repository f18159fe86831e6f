#include "platform/linux/BlockDevice.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace platform {
namespace {

bool IsBlockDevice(int fd) {
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISBLK(info.st_mode);
}

} // namespace

std::optional<std::uint32_t> BlockDeviceSectorSize(int fd) {
    int size = 0;
    if (!IsBlockDevice(fd) || ::ioctl(fd, BLKSSZGET, &size) != 0 || size <= 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(size);
}

std::optional<std::uint64_t> BlockDeviceSize(int fd) {
    std::uint64_t size = 0;
    if (!IsBlockDevice(fd) || ::ioctl(fd, BLKGETSIZE64, &size) != 0)
        return std::nullopt;
    return size;
}

int OpenAgain(int fd) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
}

} // namespace platform
