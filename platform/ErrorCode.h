#pragma once
// The error code of a failed operating-system call.

#include <cstdint>

namespace platform {

// errno on POSIX, GetLastError() on Windows; 0 means success.
using ErrorCode = std::uint32_t;

// The code of an access the system refused: ERROR_ACCESS_DENIED on Windows, EACCES on POSIX.
extern const ErrorCode AccessDenied;

} // namespace platform
