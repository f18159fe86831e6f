#pragma once
// A file or block device read as it is: the container of a raw image, and each segment of a split one.

#include "platform/Device.h"

#include <memory>

namespace platform {

// The device reading the open descriptor fd, which it owns and closes.
std::unique_ptr<Device> MakeFileDevice(int fd);

} // namespace platform
