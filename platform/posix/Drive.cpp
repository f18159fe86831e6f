// Drives on POSIX: a volume is a block device or an image file, named by its path.

#include "platform/Drive.h"
#include "platform/Device.h"
#include "platform/posix/MountInfo.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// A path from the system, in the locale's encoding, as UTF-16 code units; a byte that does not
// decode becomes U+FFFD.
std::wstring FromNative(const std::string& native) {
    std::wstring text;
    std::mbstate_t state{};
    for (std::size_t i = 0; i < native.size();) {
        wchar_t point = 0;
        std::size_t used = std::mbrtowc(&point, native.data() + i, native.size() - i, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            point = 0xFFFD;
            used = 1;
            state = std::mbstate_t{};
        }
        const auto value = static_cast<std::uint32_t>(point);
        if (value > 0xFFFF) {
            text += static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
        } else {
            text += point;
        }
        i += used == 0 ? 1 : used; // mbrtowc reports a NUL byte as 0 bytes
    }
    return text;
}

} // namespace

Drive ParseDrive(const std::wstring& value) {
    const bool lettered = value.size() > 2 && IsAsciiLetter(value[0]) && value[1] == L':' &&
                          (value[2] == L'/' || value[2] == L'.');
    if (lettered)
        return Drive{value.substr(0, 2), DevicePathForDrive(value.substr(2)), value[0]};
    return Drive{value, DevicePathForDrive(value), 0};
}

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
    result.value = FromNative(mount->source);
    return result;
}

} // namespace platform
