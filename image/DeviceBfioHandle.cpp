#include "image/DeviceBfioHandle.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace image {
namespace {

// The libbfio errors of the callbacks are left unset: the library reading through the handle
// reports the failure in its own words, and the user learns which structure could not be read.
constexpr int kFailed = -1;

} // namespace

DeviceBfioHandle::DeviceBfioHandle(std::unique_ptr<platform::Device> device) {
    const std::optional<std::uint64_t> size = device->Size();
    if (!size || *size > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max()))
        return;
    state_.device = std::move(device);
    state_.size = *size;
    libbfio_error_t* error = nullptr;
    // Not managed: the state lives in this object, which frees it.
    if (libbfio_handle_initialize(&handle_, reinterpret_cast<intptr_t*>(&state_), nullptr, nullptr, Open,
                                  Close, Read, Write, Seek, Exists, IsOpen, GetSize,
                                  LIBBFIO_FLAG_IO_HANDLE_NON_MANAGED, &error) != 1) {
        libbfio_error_free(&error);
        handle_ = nullptr;
    }
}

DeviceBfioHandle::~DeviceBfioHandle() {
    libbfio_error_t* error = nullptr;
    if (handle_ != nullptr && libbfio_handle_free(&handle_, &error) != 1)
        libbfio_error_free(&error);
}

int DeviceBfioHandle::Open(intptr_t* io, int flags, libbfio_error_t**) {
    if ((flags & LIBBFIO_ACCESS_FLAG_WRITE) != 0)
        return kFailed;
    reinterpret_cast<State*>(io)->open = true;
    return 1;
}

int DeviceBfioHandle::Close(intptr_t* io, libbfio_error_t**) {
    reinterpret_cast<State*>(io)->open = false;
    return 0;
}

ssize_t DeviceBfioHandle::Read(intptr_t* io, std::uint8_t* buffer, std::size_t size, libbfio_error_t**) {
    State& state = *reinterpret_cast<State*>(io);
    const std::uint64_t left = state.position < state.size ? state.size - state.position : 0;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
        {size, left, static_cast<std::uint64_t>(std::numeric_limits<ssize_t>::max())}));
    if (wanted == 0)
        return 0;
    if (state.device->Seek(state.position) != 0 || state.device->Read(buffer, wanted) != 0)
        return kFailed;
    state.position += wanted;
    return static_cast<ssize_t>(wanted);
}

ssize_t DeviceBfioHandle::Write(intptr_t*, const std::uint8_t*, std::size_t, libbfio_error_t**) {
    return kFailed;
}

off64_t DeviceBfioHandle::Seek(intptr_t* io, off64_t offset, int whence, libbfio_error_t**) {
    State& state = *reinterpret_cast<State*>(io);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(state.position)
                         : whence == SEEK_END ? static_cast<off64_t>(state.size)
                                              : kFailed;
    // Both lie in [0, the largest off64_t], so only a positive offset can overflow.
    if (base < 0 || (offset < 0 && offset < -base) ||
        (offset > 0 && offset > std::numeric_limits<off64_t>::max() - base))
        return kFailed;
    state.position = static_cast<std::uint64_t>(base + offset);
    return static_cast<off64_t>(state.position);
}

int DeviceBfioHandle::Exists(intptr_t*, libbfio_error_t**) {
    return 1;
}

int DeviceBfioHandle::IsOpen(intptr_t* io, libbfio_error_t**) {
    return reinterpret_cast<State*>(io)->open ? 1 : 0;
}

int DeviceBfioHandle::GetSize(intptr_t* io, size64_t* size, libbfio_error_t**) {
    *size = reinterpret_cast<State*>(io)->size;
    return 1;
}

} // namespace image
