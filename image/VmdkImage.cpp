// VMDK images through libvmdk: the descriptor (a file of its own or inside a sparse extent) and
// the extent files it names, beside it.

#include "image/ContainerDevice.h"
#include "image/Containers.h"
#include "platform/File.h"

#include <libbfio.h>
#define LIBVMDK_HAVE_BFIO // the extents of a monolithic image come from a pool of our own
#include <libvmdk.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace image {
namespace {

std::string TakeText(libvmdk_error_t*& error) {
    char text[4096] = "";
    if (error != nullptr)
        libvmdk_error_backtrace_sprint(error, text, sizeof text);
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

struct FreePool {
    void operator()(libbfio_pool_t* pool) const {
        libbfio_error_t* error = nullptr;
        if (libbfio_pool_free(&pool, &error) != 1)
            libbfio_error_free(&error);
    }
};
using Pool = std::unique_ptr<libbfio_pool_t, FreePool>;

// A pool whose one file is path: a monolithic image is its own extent, whatever its name now.
Pool PoolOfItself(const std::string& path) {
    libbfio_error_t* error = nullptr;
    libbfio_pool_t* pool = nullptr;
    libbfio_handle_t* file = nullptr;
    int entry = 0;
    if (libbfio_pool_initialize(&pool, 0, LIBBFIO_POOL_UNLIMITED_NUMBER_OF_OPEN_HANDLES, &error) != 1) {
        libbfio_error_free(&error);
        return nullptr;
    }
    Pool owned(pool);
    if (libbfio_file_initialize(&file, &error) != 1 ||
        libbfio_file_set_name(file, path.c_str(), path.size() + 1, &error) != 1 ||
        libbfio_pool_append_handle(pool, &entry, file, LIBBFIO_OPEN_READ, &error) != 1) {
        libbfio_error_free(&error);
        if (file != nullptr && libbfio_handle_free(&file, &error) != 1)
            libbfio_error_free(&error);
        return nullptr;
    }
    return owned;
}

// Whether path begins with a sparse extent's header, which holds the descriptor of a monolithic
// image (a descriptor of its own is text).
bool IsSparseExtent(const std::string& path) {
    constexpr char kMagic[] = "KDMV";
    return FileHead(path, sizeof kMagic - 1) == kMagic;
}

// The folder of path, "." for a bare name.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Why an extent the descriptor names cannot be read beside it (missing, a FIFO, ...), in one line
// naming it, or empty.
std::string ExtentProblem(libvmdk_handle_t* handle, const std::string& path) {
    libvmdk_error_t* error = nullptr;
    int count = 0;
    if (libvmdk_handle_get_number_of_extents(handle, &count, &error) != 1) {
        libvmdk_error_free(&error);
        return {};
    }
    for (int i = 0; i < count; ++i) {
        libvmdk_extent_descriptor_t* extent = nullptr;
        char name[4096] = "";
        if (libvmdk_handle_get_extent_descriptor(handle, i, &extent, &error) != 1) {
            libvmdk_error_free(&error);
            continue;
        }
        const int named = libvmdk_extent_descriptor_get_utf8_filename(
            extent, reinterpret_cast<std::uint8_t*>(name), sizeof name, &error);
        libvmdk_error_free(&error);
        if (libvmdk_extent_descriptor_free(&extent, &error) != 1)
            libvmdk_error_free(&error);
        if (named != 1)
            continue;
        // The library looks for each extent by its bare name beside the descriptor.
        std::string file = name;
        file = path.substr(0, path.find_last_of('/') + 1) + file.substr(file.find_last_of('/') + 1);
        if (!platform::FileExists(file))
            return "The VMDK image " + path + " is incomplete: its extent " + file + " is missing.";
        const std::string kind = platform::UnreadableFileKind(file);
        if (!kind.empty())
            return "The VMDK image " + path + " cannot be read: its extent " + file + " is " + kind +
                   ", not a file or a block device.";
    }
    return {};
}

class VmdkReader : public DiskReader {
  public:
    VmdkReader(Handle handle, Pool extents) : extents_(std::move(extents)), handle_(std::move(handle)) {}

    DiskRead ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) override {
        DiskRead result;
        libvmdk_error_t* error = nullptr;
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())) {
            std::memset(out, 0, size);
            return result;
        }
        const ssize_t got = libvmdk_handle_read_buffer_at_offset(handle_.get(), out, size,
                                                                 static_cast<off64_t>(offset), &error);
        if (got < 0) {
            result.failure = TakeText(error);
            return result;
        }
        std::memset(out + got, 0, size - static_cast<std::size_t>(got));
        return result;
    }

  private:
    Pool extents_;  // null when the library opened the extents itself
    Handle handle_; // closed before the pool it reads goes
};

} // namespace

bool IsVmdkImage(const std::string& path) {
    libvmdk_error_t* error = nullptr;
    const int found = libvmdk_check_file_signature(path.c_str(), &error);
    libvmdk_error_free(&error);
    return found == 1;
}

platform::OpenResult OpenVmdkImage(const std::string& path) {
    platform::OpenResult result;
    libvmdk_error_t* error = nullptr;
    libvmdk_handle_t* created = nullptr;
    if (libvmdk_handle_initialize(&created, &error) != 1) {
        result.problem = "The VMDK image " + path + " cannot be opened: " + TakeText(error) + ".";
        return result;
    }
    Pool extents; // before the handle, which is closed first
    Handle handle(created);
    if (libvmdk_handle_open(handle.get(), path.c_str(), LIBVMDK_OPEN_READ, &error) != 1) {
        result.problem = "The VMDK image " + path + " cannot be opened: " + TakeText(error) + ".";
        return result;
    }
    // A monolithic image's embedded descriptor names the file as it was called when it was made;
    // the extents of a descriptor file lie beside it.
    if (IsSparseExtent(path)) {
        extents = PoolOfItself(path);
        if (!extents) {
            result.error = ENOMEM;
            return result;
        }
    } else {
        result.problem = ExtentProblem(handle.get(), path);
        if (!result.problem.empty())
            return result;
    }
    const std::string folder = FolderOf(path);
    size64_t size = 0;
    if ((extents ? libvmdk_handle_open_extent_data_files_file_io_pool(handle.get(), extents.get(), &error)
         : libvmdk_handle_set_extent_data_files_path(handle.get(), folder.c_str(), folder.size(), &error) != 1
             ? -1
             : libvmdk_handle_open_extent_data_files(handle.get(), &error)) != 1 ||
        libvmdk_handle_get_media_size(handle.get(), &size, &error) != 1) {
        result.problem = "The VMDK image " + path + " cannot be opened: " + TakeText(error) + ".";
        return result;
    }
    return OpenContainerDevice(std::make_unique<VmdkReader>(std::move(handle), std::move(extents)), size,
                               std::nullopt, "The VMDK image " + path);
}

} // namespace image
