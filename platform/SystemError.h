#pragma once
// Access to the operating system's error codes and their texts.

#include "platform/ErrorCode.h"

#include <string>

namespace platform {

// The error code of the last failed system call of this thread (errno / GetLastError).
ErrorCode LastErrorCode();

// The system's text for code in UTF-16 code units, without trailing line breaks;
// empty when the system has no text for it.
std::wstring SystemErrorText(ErrorCode code);

} // namespace platform
