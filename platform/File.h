#pragma once
// Files and block devices by name, for the layer that reads disk images out of files. POSIX builds
// only: a native name is in the encoding of the user's locale, as the system calls take it.

#include "platform/Device.h"

#include <string>

namespace platform {

// Converts path (UTF-16 code units) to the current locale's encoding. Returns false when a
// character cannot be encoded or a surrogate is unpaired; native is then unspecified.
bool ToNativePath(const std::wstring& path, std::string& native);

// Whether a file or device of that name exists (a name that cannot be converted does not).
bool PathExists(const std::wstring& path);

// Whether a file or device of that native name exists.
bool FileExists(const std::string& path);

// What the file at path is when it is no regular file, block device or directory ("a FIFO", "a
// socket", "a character device"): opening one may wait for ever for a writer, and reading one may
// never end. Empty otherwise, also when path does not exist (opening it then tells why). Never blocks.
std::string UnreadableFileKind(const std::string& path);

// The file or block device at path, read as it is. Opening never waits: what UnreadableFileKind
// names is refused with a problem ("The path PATH names a FIFO, not an image file or a block
// device."), anything else that cannot be opened with its system error.
OpenResult OpenFile(const std::string& path);

// Whether the two names are one file (a link, another spelling of the path); false when either
// does not exist.
bool SameFile(const std::string& one, const std::string& other);

} // namespace platform
