#pragma once
// A file or block device read as it is: the container of a raw image, and each segment of a split one.

#include "platform/Device.h"

#include <memory>
#include <string>

namespace platform {

// The device reading the open descriptor fd, which it owns and closes.
std::unique_ptr<Device> MakeFileDevice(int fd);

// What the file at path is when it is no regular file, block device or directory ("a FIFO", "a
// socket", "a character device"): opening one may wait for ever for a writer, and reading one may
// never end. Empty otherwise, also when path does not exist (opening it then tells why). Never blocks.
std::string UnreadableFileKind(const std::string& path);

// The same for the file that fd has open.
std::string UnreadableFileKind(int fd);

} // namespace platform
