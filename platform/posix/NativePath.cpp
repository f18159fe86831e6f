#include "platform/File.h"

#include <climits>
#include <cwchar>
#include <sys/stat.h>

namespace platform {
namespace {

bool IsHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

bool ToNativePath(const std::wstring& path, std::string& native) {
    native.clear();
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (std::size_t i = 0; i < path.size(); ++i) {
        char32_t point = static_cast<char32_t>(path[i]) & 0xFFFF;
        if (IsHighSurrogate(path[i]) && i + 1 < path.size() && IsLowSurrogate(path[i + 1])) {
            point =
                0x10000 + ((point - 0xD800) << 10) + ((static_cast<char32_t>(path[i + 1]) & 0xFFFF) - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(path[i]) || IsLowSurrogate(path[i])) {
            return false;
        }
        std::size_t n = std::wcrtomb(bytes, static_cast<wchar_t>(point), &state);
        if (n == static_cast<std::size_t>(-1))
            return false;
        native.append(bytes, n);
    }
    return true;
}

bool PathExists(const std::wstring& path) {
    std::string native;
    struct stat info;
    return ToNativePath(path, native) && ::stat(native.c_str(), &info) == 0;
}

} // namespace platform
