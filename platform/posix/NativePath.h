#pragma once
// File names for POSIX calls: UTF-16 code units to the multibyte encoding of the user's locale.

#include <string>

namespace platform {

// Converts path to the current locale's encoding. Returns false when a character cannot be
// encoded or a surrogate is unpaired; native is then unspecified.
bool ToNativePath(const std::wstring& path, std::string& native);

// Whether a file or device of that name exists (a name that cannot be converted does not).
bool PathExists(const std::wstring& path);

} // namespace platform
