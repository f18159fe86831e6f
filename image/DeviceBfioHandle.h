#pragma once
// A libbfio handle whose reads go to a Device, so that a library reading through libbfio (the
// shadow copy reader) reads a volume through the same container and partition layers as the
// volume library does.

#include "platform/Device.h"

#include <libbfio.h>

#include <memory>

namespace image {

// Owns the device and the handle; the handle must not outlive this object. Reads past the end of
// the device stop there, as a file's do; writing is refused.
class DeviceBfioHandle {
  public:
    // The handle over device, which must know its size; Handle() is null when libbfio could not
    // make one.
    explicit DeviceBfioHandle(std::unique_ptr<platform::Device> device);
    ~DeviceBfioHandle();
    DeviceBfioHandle(const DeviceBfioHandle&) = delete;
    DeviceBfioHandle& operator=(const DeviceBfioHandle&) = delete;

    libbfio_handle_t* Handle() const { return handle_; }

  private:
    struct State {
        std::unique_ptr<platform::Device> device;
        std::uint64_t size = 0;
        std::uint64_t position = 0;
        bool open = false;
    };

    static int Open(intptr_t* io, int flags, libbfio_error_t** error);
    static int Close(intptr_t* io, libbfio_error_t** error);
    static ssize_t Read(intptr_t* io, std::uint8_t* buffer, std::size_t size, libbfio_error_t** error);
    static ssize_t Write(intptr_t* io, const std::uint8_t* buffer, std::size_t size, libbfio_error_t** error);
    static off64_t Seek(intptr_t* io, off64_t offset, int whence, libbfio_error_t** error);
    static int Exists(intptr_t* io, libbfio_error_t** error);
    static int IsOpen(intptr_t* io, libbfio_error_t** error);
    static int GetSize(intptr_t* io, size64_t* size, libbfio_error_t** error);

    State state_;
    libbfio_handle_t* handle_ = nullptr;
};

} // namespace image
