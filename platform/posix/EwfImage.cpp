// EWF images through libewf. A chunk whose checksum fails reads as zeros with a note naming the
// bytes: one damaged chunk must not hide the rest of a volume from an examiner.

#include "platform/posix/ContainerDevice.h"
#include "platform/posix/Containers.h"

#include <libewf.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <set>

namespace platform {
namespace {

// The text of error, which is freed.
std::string TakeText(libewf_error_t*& error) {
    char text[512] = "";
    if (error != nullptr)
        libewf_error_sprint(error, text, sizeof text);
    libewf_error_free(&error);
    return LibraryErrorText(text);
}

// The segment names libewf_glob finds for the name of the first one.
class SegmentNames {
  public:
    explicit SegmentNames(const std::string& first) {
        libewf_error_t* error = nullptr;
        if (libewf_glob(first.c_str(), first.size(), LIBEWF_FORMAT_UNKNOWN, &names_, &count_, &error) != 1) {
            libewf_error_free(&error);
            names_ = nullptr;
            count_ = 0;
        }
    }
    ~SegmentNames() {
        libewf_error_t* error = nullptr;
        if (names_ != nullptr && libewf_glob_free(names_, count_, &error) != 1)
            libewf_error_free(&error);
    }
    SegmentNames(const SegmentNames&) = delete;
    SegmentNames& operator=(const SegmentNames&) = delete;

    char** Names() const { return names_; }
    int Count() const { return count_; }

  private:
    char** names_ = nullptr;
    int count_ = 0;
};

// "segment NAME.E02" for the path of NAME.E01, in the usual numbering, else the segment after it;
// named without the folder, which is the image's.
std::string NextSegment(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::size_t n = name.size();
    if (n >= 2 && name[n - 1] >= '0' && name[n - 1] <= '9' && name[n - 2] >= '0' && name[n - 2] <= '9' &&
        name.compare(n - 2, 2, "99") != 0) {
        const int next = (name[n - 2] - '0') * 10 + (name[n - 1] - '0') + 1;
        return "segment " + name.substr(0, n - 2) + static_cast<char>('0' + next / 10) +
               static_cast<char>('0' + next % 10);
    }
    return "segment after " + name;
}

// Closes an open handle (closing one that failed to open is harmless) and frees it.
struct CloseHandle {
    void operator()(libewf_handle_t* handle) const {
        libewf_error_t* error = nullptr;
        if (libewf_handle_close(handle, &error) != 0)
            libewf_error_free(&error);
        if (libewf_handle_free(&handle, &error) != 1)
            libewf_error_free(&error);
    }
};
using Handle = std::unique_ptr<libewf_handle_t, CloseHandle>;

class EwfReader : public DiskReader {
  public:
    EwfReader(Handle handle, std::uint32_t bytesPerSector, std::string path)
        : handle_(std::move(handle)), bytesPerSector_(bytesPerSector), path_(std::move(path)) {}

    ErrorCode ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) override {
        libewf_error_t* error = nullptr;
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())) {
            std::memset(out, 0, size);
            return 0;
        }
        const ssize_t got =
            libewf_handle_read_random(handle_.get(), out, size, static_cast<off64_t>(offset), &error);
        if (got < 0) {
            libewf_error_free(&error);
            return EIO;
        }
        std::memset(out + got, 0, size - static_cast<std::size_t>(got));
        return 0;
    }

    // libewf lists each chunk whose checksum failed, as sectors; a chunk read again is listed again.
    std::vector<std::string> TakeDamageNotes() override {
        std::vector<std::string> notes;
        libewf_error_t* error = nullptr;
        std::uint32_t count = 0;
        if (libewf_handle_get_number_of_checksum_errors(handle_.get(), &count, &error) != 1) {
            libewf_error_free(&error);
            return notes;
        }
        for (; listed_ < count; ++listed_) {
            std::uint64_t sector = 0;
            std::uint64_t sectors = 0;
            if (libewf_handle_get_checksum_error(handle_.get(), listed_, &sector, &sectors, &error) != 1) {
                libewf_error_free(&error);
                continue;
            }
            if (!noted_.insert(sector).second ||
                sector > std::numeric_limits<std::uint64_t>::max() / bytesPerSector_ ||
                sectors > std::numeric_limits<std::uint64_t>::max() / bytesPerSector_)
                continue;
            notes.push_back("The EWF image " + path_ + " is damaged at offset " +
                            std::to_string(sector * bytesPerSector_) + ": its " +
                            std::to_string(sectors * bytesPerSector_) +
                            " bytes there (a chunk whose checksum fails) are read as zeros.");
        }
        return notes;
    }

  private:
    Handle handle_;
    const std::uint32_t bytesPerSector_;
    const std::string path_;
    std::uint32_t listed_ = 0;      // checksum errors of the library's list seen so far
    std::set<std::uint64_t> noted_; // first sectors of the chunks noted
};

} // namespace

bool IsEwfImage(const std::string& path) {
    libewf_error_t* error = nullptr;
    const int found = libewf_check_file_signature(path.c_str(), &error);
    libewf_error_free(&error);
    return found == 1;
}

std::vector<std::string> EwfSegmentNames(const std::string& path) {
    const SegmentNames segments(path);
    return std::vector<std::string>(segments.Names(), segments.Names() + segments.Count());
}

OpenResult OpenEwfImage(const std::string& path) {
    OpenResult result;
    const SegmentNames segments(path);
    char* single[] = {const_cast<char*>(path.c_str())};
    char* const* names = segments.Count() > 0 ? segments.Names() : single;
    const int count = segments.Count() > 0 ? segments.Count() : 1;

    libewf_error_t* error = nullptr;
    libewf_handle_t* created = nullptr;
    if (libewf_handle_initialize(&created, &error) != 1) {
        result.problem = "The EWF image " + path + " cannot be opened: " + TakeText(error);
        return result;
    }
    Handle handle(created);
    std::uint32_t bytesPerSector = 0;
    std::uint64_t size = 0;
    if (libewf_handle_open(handle.get(), names, count, LIBEWF_OPEN_READ, &error) != 1 ||
        libewf_handle_set_read_zero_chunk_on_error(handle.get(), 1, &error) != 1 ||
        libewf_handle_get_bytes_per_sector(handle.get(), &bytesPerSector, &error) != 1 ||
        libewf_handle_get_media_size(handle.get(), &size, &error) != 1) {
        result.problem = "The EWF image " + path + " cannot be opened: " + TakeText(error);
        return result;
    }
    // Without its last segment the image does not end where its segments say it does.
    const int corrupted = libewf_handle_segment_files_corrupted(handle.get(), &error);
    libewf_error_free(&error);
    if (corrupted != 0) {
        result.problem = "The EWF image " + path + " is incomplete: its " + NextSegment(names[count - 1]) +
                         " is missing or damaged.";
        return result;
    }
    if (bytesPerSector == 0) {
        result.problem = "The EWF image " + path + " states no sector size.";
        return result;
    }
    result.device = std::make_unique<ContainerDevice>(
        std::make_unique<EwfReader>(std::move(handle), bytesPerSector, path), size, bytesPerSector);
    return result;
}

} // namespace platform
