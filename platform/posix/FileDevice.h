#pragma once
// A file or block device read as it is, from an open descriptor.

#include "platform/Device.h"

#include <memory>

namespace platform {

// The device reading the open descriptor fd, which it owns and closes.
std::unique_ptr<Device> MakeFileDevice(int fd);

} // namespace platform
