// VMDK images through libvmdk: the descriptor (a file of its own or inside a sparse extent) and
// the extent files it names, beside it.

#include "platform/posix/ContainerDevice.h"
#include "platform/posix/Containers.h"

#include <libvmdk.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace platform {
namespace {

std::string TakeText(libvmdk_error_t*& error) {
    char text[512] = "";
    if (error != nullptr)
        libvmdk_error_sprint(error, text, sizeof text);
    libvmdk_error_free(&error);
    return LibraryErrorText(text);
}

struct CloseHandle {
    void operator()(libvmdk_handle_t* handle) const {
        libvmdk_error_t* error = nullptr;
        if (libvmdk_handle_close(handle, &error) != 0)
            libvmdk_error_free(&error);
        if (libvmdk_handle_free(&handle, &error) != 1)
            libvmdk_error_free(&error);
    }
};
using Handle = std::unique_ptr<libvmdk_handle_t, CloseHandle>;

class VmdkReader : public DiskReader {
  public:
    explicit VmdkReader(Handle handle) : handle_(std::move(handle)) {}

    ErrorCode ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) override {
        libvmdk_error_t* error = nullptr;
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())) {
            std::memset(out, 0, size);
            return 0;
        }
        const ssize_t got = libvmdk_handle_read_buffer_at_offset(handle_.get(), out, size,
                                                                 static_cast<off64_t>(offset), &error);
        if (got < 0) {
            libvmdk_error_free(&error);
            return EIO;
        }
        std::memset(out + got, 0, size - static_cast<std::size_t>(got));
        return 0;
    }

  private:
    Handle handle_;
};

} // namespace

bool IsVmdkImage(const std::string& path) {
    libvmdk_error_t* error = nullptr;
    const int found = libvmdk_check_file_signature(path.c_str(), &error);
    libvmdk_error_free(&error);
    return found == 1;
}

OpenResult OpenVmdkImage(const std::string& path) {
    OpenResult result;
    libvmdk_error_t* error = nullptr;
    libvmdk_handle_t* created = nullptr;
    if (libvmdk_handle_initialize(&created, &error) != 1) {
        result.problem = "The VMDK image " + path + " cannot be opened: " + TakeText(error);
        return result;
    }
    Handle handle(created);
    size64_t size = 0;
    if (libvmdk_handle_open(handle.get(), path.c_str(), LIBVMDK_OPEN_READ, &error) != 1 ||
        libvmdk_handle_open_extent_data_files(handle.get(), &error) != 1 ||
        libvmdk_handle_get_media_size(handle.get(), &size, &error) != 1) {
        result.problem = "The VMDK image " + path + " cannot be opened: " + TakeText(error);
        return result;
    }
    result.device = std::make_unique<ContainerDevice>(std::make_unique<VmdkReader>(std::move(handle)), size,
                                                      std::nullopt);
    return result;
}

} // namespace platform
