// Drives on Linux: a volume is a block device or an image file, named by its path; the current
// drive is the device that the mount table names for the working directory.

#include "platform/Drive.h"
#include "platform/Arguments.h"
#include "platform/linux/MountInfo.h"

#include <cerrno>
#include <climits>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// Whether a file system of this mount table type may be NTFS: the kernel's drivers ("ntfs",
// "ntfs3"), and FUSE, under which ntfs-3g mounts it ("fuseblk", or "fuse" and a subtype that
// names it).
bool MayBeNtfs(const std::string& type) {
    return type.empty() || type == "fuse" || type == "fuseblk" || type.find("ntfs") != std::string::npos;
}

} // namespace

CurrentDriveResult CurrentDrive() {
    CurrentDriveResult result;
    std::vector<char> directory(PATH_MAX);
    while (::getcwd(directory.data(), directory.size()) == nullptr) {
        if (errno != ERANGE) {
            result.error = static_cast<ErrorCode>(errno);
            return result;
        }
        directory.resize(directory.size() * 2);
    }
    struct stat info;
    if (::stat(directory.data(), &info) != 0) {
        result.error = static_cast<ErrorCode>(errno);
        return result;
    }
    std::ifstream text("/proc/self/mountinfo");
    if (!text) {
        result.error = ENOENT;
        return result;
    }
    const std::vector<MountEntry> table = ParseMountInfo(text);
    const MountEntry* mount = FindMount(table, major(info.st_dev), minor(info.st_dev), directory.data());
    if (mount == nullptr) {
        result.error = ENODEV;
        return result;
    }
    if (!MayBeNtfs(mount->type))
        result.otherFileSystem = mount->type;
    // Decoded as the -d argument naming the same device would be.
    std::string source = mount->source;
    char* arguments[] = {source.data()};
    result.value = WideArguments(1, arguments).front();
    return result;
}

std::wstring DosDeviceTarget(const std::wstring&) {
    return {};
}

} // namespace platform
