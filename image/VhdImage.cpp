// VHD and VHDX images through libvhdi.

#include "image/ContainerDevice.h"
#include "image/Containers.h"

#include <libvhdi.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace image {
namespace {

std::string TakeText(libvhdi_error_t*& error) {
    char text[4096] = "";
    if (error != nullptr)
        libvhdi_error_backtrace_sprint(error, text, sizeof text);
    libvhdi_error_free(&error);
    return LibraryErrorText(text);
}

struct CloseFile {
    void operator()(libvhdi_file_t* file) const {
        libvhdi_error_t* error = nullptr;
        if (libvhdi_file_close(file, &error) != 0)
            libvhdi_error_free(&error);
        if (libvhdi_file_free(&file, &error) != 1)
            libvhdi_error_free(&error);
    }
};
using File = std::unique_ptr<libvhdi_file_t, CloseFile>;

class VhdReader : public DiskReader {
  public:
    explicit VhdReader(File file) : file_(std::move(file)) {}

    DiskRead ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) override {
        DiskRead result;
        libvhdi_error_t* error = nullptr;
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())) {
            std::memset(out, 0, size);
            return result;
        }
        const ssize_t got =
            libvhdi_file_read_buffer_at_offset(file_.get(), out, size, static_cast<off64_t>(offset), &error);
        if (got < 0) {
            result.failure = TakeText(error);
            return result;
        }
        std::memset(out + got, 0, size - static_cast<std::size_t>(got));
        return result;
    }

  private:
    File file_;
};

// A VHDX file begins with its signature; a VHD's is in its footer.
bool IsVhdxImage(const std::string& path) {
    constexpr char kSignature[] = "vhdxfile";
    return FileHead(path, sizeof kSignature - 1) == kSignature;
}

} // namespace

bool IsVhdImage(const std::string& path) {
    libvhdi_error_t* error = nullptr;
    const int found = libvhdi_check_file_signature(path.c_str(), &error);
    libvhdi_error_free(&error);
    return found == 1;
}

platform::OpenResult OpenVhdImage(const std::string& path) {
    platform::OpenResult result;
    libvhdi_error_t* error = nullptr;
    libvhdi_file_t* created = nullptr;
    // Named by its first bytes until the library tells its kind.
    std::string image = "The " + std::string(IsVhdxImage(path) ? "VHDX" : "VHD") + " image " + path;
    if (libvhdi_file_initialize(&created, &error) != 1) {
        result.problem = image + " cannot be opened: " + TakeText(error) + ".";
        return result;
    }
    File file(created);
    int fileType = LIBVHDI_FILE_TYPE_UNKNOWN;
    std::uint32_t diskType = 0;
    std::uint32_t bytesPerSector = 0;
    size64_t size = 0;
    if (libvhdi_file_open(file.get(), path.c_str(), LIBVHDI_OPEN_READ, &error) != 1 ||
        libvhdi_file_get_file_type(file.get(), &fileType, &error) != 1 ||
        libvhdi_file_get_disk_type(file.get(), &diskType, &error) != 1 ||
        libvhdi_file_get_media_size(file.get(), &size, &error) != 1 ||
        libvhdi_file_get_bytes_per_sector(file.get(), &bytesPerSector, &error) != 1) {
        result.problem = image + " cannot be opened: " + TakeText(error) + ".";
        return result;
    }
    image = "The " + std::string(fileType == LIBVHDI_FILE_TYPE_VHDX ? "VHDX" : "VHD") + " image " + path;
    // A differencing disk holds only what changed since its parent, which is not looked for.
    if (diskType == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
        result.problem = image + " is a differencing disk, which cannot be read without its parent.";
        return result;
    }
    // Offsets reach the library as signed 64-bit numbers.
    if (size > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())) {
        result.problem =
            image + " states a disk size of " + std::to_string(size) + " bytes, which cannot be.";
        return result;
    }
    std::optional<std::uint32_t> sectorSize;
    if (bytesPerSector != 0)
        sectorSize = bytesPerSector;
    return OpenContainerDevice(std::make_unique<VhdReader>(std::move(file)), size, sectorSize, image);
}

} // namespace image
