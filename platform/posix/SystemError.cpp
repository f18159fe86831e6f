// Error codes and texts on POSIX: errno and the C library's descriptions.

#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace platform {

const ErrorCode AccessDenied = EACCES;

ErrorCode LastErrorCode() {
    return static_cast<ErrorCode>(errno);
}

std::wstring SystemErrorText(ErrorCode code) {
    // strerrordesc_np, unlike strerror, tells an unknown code apart by returning null.
    const char* text =
        code > static_cast<ErrorCode>(INT32_MAX) ? nullptr : ::strerrordesc_np(static_cast<int>(code));
    if (text == nullptr)
        return {};
    // The C library's descriptions are ASCII.
    return std::wstring(text, text + std::strlen(text));
}

} // namespace platform
