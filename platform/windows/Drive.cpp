// Drives on Windows: a drive letter and a colon, the current one from the C runtime, and the DOS
// device table for what a substituted drive stands for.

#include "platform/Drive.h"

#include <windows.h>

#include <algorithm>
#include <direct.h>
#include <vector>

namespace platform {
namespace {

// A DOS device's targets never come near this many characters; a system that keeps asking for a
// larger buffer is not followed further.
constexpr std::size_t kLargestTarget = 1 << 20;

} // namespace

CurrentDriveResult CurrentDrive() {
    CurrentDriveResult result;
    const int number = _getdrive(); // 1 for A, 2 for B, ...; 0 when the directory has no drive
    if (number <= 0) {
        result.error = ERROR_INVALID_DRIVE;
        return result;
    }
    result.value = {static_cast<wchar_t>(L'A' - 1 + number), L':'};
    return result;
}

std::wstring DosDeviceTarget(const std::wstring& name) {
    // The length of the target is unknown beforehand: the buffer grows until the target fits.
    std::vector<wchar_t> buffer;
    DWORD length = 0;
    while (true) {
        SetLastError(0);
        length = QueryDosDeviceW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= kLargestTarget)
            break;
        const std::size_t wanted = static_cast<std::size_t>(length) + 1;
        buffer.resize(wanted > buffer.size() ? wanted : std::max<std::size_t>(1, buffer.size() * 2));
    }
    if (length == 0)
        return {};
    // The first of the targets, without its terminator.
    const wchar_t* first = buffer.data();
    return std::wstring(first, std::find(first, first + length, L'\0'));
}

} // namespace platform
