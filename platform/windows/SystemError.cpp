// Error codes and texts on Windows: GetLastError and the system's message table.

#include "platform/SystemError.h"

#include <windows.h>

namespace platform {

const ErrorCode AccessDenied = ERROR_ACCESS_DENIED;

ErrorCode LastErrorCode() {
    return GetLastError();
}

std::wstring SystemErrorText(ErrorCode code) {
    constexpr DWORD kFlags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    constexpr DWORD kUserDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
    wchar_t* buffer = nullptr; // the system allocates it
    const DWORD length = FormatMessageW(kFlags, nullptr, code, kUserDefaultLanguage,
                                        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0) {
        // The table's texts end with a line break. Only trailing ones go, and never the first
        // character: a text of line breaks alone keeps one.
        DWORD end = length;
        while (end > 1 && (buffer[end - 1] == L'\r' || buffer[end - 1] == L'\n'))
            --end;
        text.assign(buffer, end);
    }
    LocalFree(buffer); // still null when the call failed: nothing to free
    return text;
}

} // namespace platform
