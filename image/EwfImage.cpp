// EWF images through libewf. A chunk whose checksum fails reads as zeros with a note naming the
// bytes: one damaged chunk must not hide the rest of a volume from an examiner.

#include "image/ContainerDevice.h"
#include "image/Containers.h"
#include "platform/File.h"

#include <libewf.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace image {
namespace {

// The text of error, which is freed.
std::string TakeText(libewf_error_t*& error) {
    char text[4096] = "";
    if (error != nullptr)
        libewf_error_backtrace_sprint(error, text, sizeof text);
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

// How a segment's chain of sections ends; Unknown for a segment of another format.
enum class SegmentEnd { Done, Next, Cut, Unknown };

// Follows the chain of sections of an EWF segment (EVF signature, the format ewfacquire writes) to
// its "done" (the last segment) or "next" (more follow) section; Cut when the chain runs past the
// end of the file or back on itself.
SegmentEnd FollowSections(const std::string& name) {
    constexpr char kSignature[] = "EVF\x09\x0d\x0a\xff\x00";
    constexpr std::uint64_t kFileHeaderSize = 13; // signature, fields start, segment number, end
    constexpr std::uint64_t kDescriptorSize = 76; // type, next offset, size, padding, checksum
    constexpr std::size_t kTypeSize = 16;
    constexpr std::size_t kNextOffset = 16; // u64: where the next section's descriptor is
    const platform::OpenResult opened = platform::OpenFile(name);
    const std::optional<std::uint64_t> size = opened.device ? opened.device->Size() : std::nullopt;
    if (!size)
        return SegmentEnd::Unknown;
    platform::Device& segment = *opened.device;
    SegmentEnd end = SegmentEnd::Unknown;
    std::uint8_t bytes[kDescriptorSize];
    if (*size >= kFileHeaderSize &&
        DeviceHead(segment, kFileHeaderSize)
                .compare(0, sizeof kSignature - 1, kSignature, sizeof kSignature - 1) == 0) {
        end = SegmentEnd::Cut;
        for (std::uint64_t at = kFileHeaderSize; at <= *size && kDescriptorSize <= *size - at;) {
            if (segment.Seek(at) != 0 || segment.Read(bytes, kDescriptorSize) != 0)
                break;
            const std::string type(reinterpret_cast<const char*>(bytes),
                                   strnlen(reinterpret_cast<const char*>(bytes), kTypeSize));
            if (type == "done" || type == "next") {
                end = type == "done" ? SegmentEnd::Done : SegmentEnd::Next;
                break;
            }
            std::uint64_t next = 0;
            for (std::size_t i = 8; i-- > 0;)
                next = next << 8 | bytes[kNextOffset + i];
            if (next <= at) // each section lies after the one before
                break;
            at = next;
        }
    }
    return end;
}

// Why the segments found, names[0..count), do not make a whole image: the first one cut short, or
// else the one missing after the last.
std::string WhatIsMissing(char* const* names, int count) {
    for (int i = 0; i < count; ++i) {
        const SegmentEnd end = FollowSections(names[i]);
        if (end == SegmentEnd::Cut)
            return "its segment " +
                   std::string(names[i]).substr(std::string(names[i]).find_last_of('/') + 1) +
                   " is cut short.";
        if (end == SegmentEnd::Unknown || (end == SegmentEnd::Done && i + 1 < count))
            break;
    }
    return "its " + NextSegment(names[count - 1]) + " is missing or damaged.";
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

// Opens the image of the segments names[0..count) into handle, damaged chunks to read as zeros;
// false with libewf's error otherwise.
bool OpenHandle(char* const* names, int count, Handle& handle, libewf_error_t*& error) {
    libewf_handle_t* created = nullptr;
    if (libewf_handle_initialize(&created, &error) != 1)
        return false;
    handle.reset(created);
    return libewf_handle_open(handle.get(), names, count, LIBEWF_OPEN_READ, &error) == 1 &&
           libewf_handle_set_read_zero_chunk_on_error(handle.get(), 1, &error) == 1;
}

// What the readers of one image share: how to open it again, and the chunks found damaged.
struct EwfShared {
    std::vector<std::string> segments;
    std::string path;
    std::uint32_t bytesPerSector;
    std::uint64_t chunkSize;         // bytes; 0 when the image states none
    std::mutex mutex;                // guards damaged
    std::set<std::uint64_t> damaged; // chunk numbers, each noted once by one reader
};

// Reads the image's disk a run of chunks at a time. A damaged chunk is asked of libewf once: libewf
// keeps a buffer for each damaged chunk it reads and fails some re-reads ("missing chunk data"), so
// a chunk found damaged reads as zeros from then on without the library, by every twin.
class EwfReader : public DiskReader {
  public:
    EwfReader(Handle handle, std::shared_ptr<EwfShared> shared)
        : handle_(std::move(handle)), shared_(std::move(shared)), bytesPerSector_(shared_->bytesPerSector),
          chunkSize_(shared_->chunkSize), path_(shared_->path) {}

    DiskRead ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) override {
        DiskRead result;
        while (size > 0) {
            bool damaged = false;
            const std::size_t n = UntilDamageChanges(offset, size, damaged);
            if (damaged)
                std::memset(out, 0, n);
            else if (!ReadChunks(out, offset, n, result.failure))
                return result;
            out += n;
            offset += n;
            size -= n;
        }
        return result;
    }

    std::vector<std::string> TakeDamageNotes() override {
        std::vector<std::string> notes;
        notes.swap(notes_);
        return notes;
    }

    std::uint64_t TwinUnit() const override { return chunkSize_; }

    std::unique_ptr<DiskReader> Twin() const override {
        std::vector<char*> names;
        for (const std::string& segment : shared_->segments)
            names.push_back(const_cast<char*>(segment.c_str()));
        Handle handle;
        libewf_error_t* error = nullptr;
        if (!OpenHandle(names.data(), static_cast<int>(names.size()), handle, error)) {
            libewf_error_free(&error);
            return nullptr;
        }
        return std::make_unique<EwfReader>(std::move(handle), shared_);
    }

  private:
    std::uint64_t ChunkOf(std::uint64_t offset) const { return chunkSize_ == 0 ? 0 : offset / chunkSize_; }

    // Bytes from offset on, at most size, that lie all in damaged chunks or all in chunks not known
    // to be damaged; damaged tells which.
    std::size_t UntilDamageChanges(std::uint64_t offset, std::size_t size, bool& damaged) const {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        const std::set<std::uint64_t>& known = shared_->damaged;
        damaged = known.count(ChunkOf(offset)) != 0;
        if (chunkSize_ == 0 || known.empty())
            return size;
        const std::uint64_t chunk = ChunkOf(offset);
        std::uint64_t end = chunk + 1;
        if (damaged)
            while (known.count(end) != 0)
                ++end;
        else {
            const auto next = known.upper_bound(chunk);
            end = next == known.end() ? std::numeric_limits<std::uint64_t>::max() : *next;
        }
        if (end > std::numeric_limits<std::uint64_t>::max() / chunkSize_)
            return size;
        return static_cast<std::size_t>(std::min<std::uint64_t>(size, end * chunkSize_ - offset));
    }

    // Reads size bytes at offset through libewf; a read that fails is read again a chunk at a time,
    // each chunk that fails alone being damaged. False, with the library's reason, when a read fails
    // that cannot be cut into chunks.
    bool ReadChunks(std::uint8_t* out, std::uint64_t offset, std::size_t size, std::string& failure) {
        std::string reason;
        if (ReadLibrary(out, offset, size, reason))
            return true;
        if (chunkSize_ == 0 || size <= chunkSize_ - offset % chunkSize_) {
            if (chunkSize_ == 0) {
                failure = reason;
                return false;
            }
            std::memset(out, 0, size);
            MarkUnreadable(ChunkOf(offset), reason);
            return true;
        }
        while (size > 0) {
            const std::size_t n = std::min<std::uint64_t>(size, chunkSize_ - offset % chunkSize_);
            if (!ReadLibrary(out, offset, n, reason)) {
                std::memset(out, 0, n);
                MarkUnreadable(ChunkOf(offset), reason);
            }
            out += n;
            offset += n;
            size -= n;
        }
        return true;
    }

    // One read through libewf; false with the library's reason when it fails. Chunks whose checksum
    // failed become damaged.
    bool ReadLibrary(std::uint8_t* out, std::uint64_t offset, std::size_t size, std::string& reason) {
        libewf_error_t* error = nullptr;
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())) {
            std::memset(out, 0, size);
            return true;
        }
        const ssize_t got =
            libewf_handle_read_random(handle_.get(), out, size, static_cast<off64_t>(offset), &error);
        CollectChecksumErrors(offset, size);
        if (got < 0) {
            reason = TakeText(error);
            return false;
        }
        std::memset(out + got, 0, size - static_cast<std::size_t>(got));
        return true;
    }

    void MarkUnreadable(std::uint64_t chunk, const std::string& reason) {
        if (MarkDamaged(chunk))
            notes_.push_back(DamageNote(chunk, 1, "a chunk that cannot be read: " + reason));
    }

    // libewf lists the chunks whose checksum failed as sector ranges, kept in order of offset and merged
    // where they touch: a chunk found damaged may widen a range already listed instead of adding one.
    // So after each read, the ranges that meet the chunks it read are looked up (found by halving)
    // and their chunks not yet noted are noted, each run of them once.
    void CollectChecksumErrors(std::uint64_t offset, std::size_t size) {
        libewf_error_t* error = nullptr;
        std::uint32_t count = 0;
        if (libewf_handle_get_number_of_checksum_errors(handle_.get(), &count, &error) != 1) {
            libewf_error_free(&error);
            return;
        }
        if (count == 0 || chunkSize_ == 0 || size == 0)
            return;
        const std::uint64_t readFirst = ChunkOf(offset);
        const std::uint64_t readEnd = ChunkOf(offset + size - 1) + 1;
        std::uint32_t low = 0;
        std::uint32_t high = count;
        while (low < high) {
            const std::uint32_t middle = low + (high - low) / 2;
            const std::optional<ChunkRange> range = ListedRange(middle);
            if (range && range->end <= readFirst)
                low = middle + 1;
            else
                high = middle;
        }
        for (std::uint32_t i = low; i < count; ++i) {
            const std::optional<ChunkRange> range = ListedRange(i);
            if (!range)
                continue;
            if (range->first >= readEnd)
                break;
            NoteChecksumErrors(std::max(range->first, readFirst), std::min(range->end, readEnd));
        }
    }

    struct ChunkRange {
        std::uint64_t first;
        std::uint64_t end; // the chunk after the last
    };

    // The chunks of entry i of libewf's checksum error list; none when it cannot be read or overflows.
    std::optional<ChunkRange> ListedRange(std::uint32_t i) {
        libewf_error_t* error = nullptr;
        std::uint64_t sector = 0;
        std::uint64_t sectors = 0;
        if (libewf_handle_get_checksum_error(handle_.get(), i, &sector, &sectors, &error) != 1) {
            libewf_error_free(&error);
            return std::nullopt;
        }
        const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() - chunkSize_;
        if (sector > limit / bytesPerSector_ || sectors > limit / bytesPerSector_ - sector)
            return std::nullopt;
        return ChunkRange{sector * bytesPerSector_ / chunkSize_,
                          ((sector + sectors) * bytesPerSector_ + chunkSize_ - 1) / chunkSize_};
    }

    // Notes the chunks from first to end not noted before, each run of them in one note.
    void NoteChecksumErrors(std::uint64_t first, std::uint64_t end) {
        for (std::uint64_t chunk = first; chunk < end;) {
            std::uint64_t run = 0;
            while (chunk + run < end && MarkDamaged(chunk + run))
                ++run;
            if (run > 0)
                notes_.push_back(DamageNote(chunk, run, "a chunk whose checksum fails"));
            chunk += run + (chunk + run < end ? 1 : 0);
        }
    }

    // Whether chunk was not known to be damaged yet, by any twin; it is now.
    bool MarkDamaged(std::uint64_t chunk) {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->damaged.insert(chunk).second;
    }

    std::string DamageNote(std::uint64_t chunk, std::uint64_t chunks, const std::string& what) const {
        return "The EWF image " + path_ + " is damaged at offset " + std::to_string(chunk * chunkSize_) +
               ": its " + std::to_string(chunks * chunkSize_) + " bytes there (" + what +
               ") are read as zeros.";
    }

    Handle handle_;
    const std::shared_ptr<EwfShared> shared_;
    const std::uint32_t bytesPerSector_;
    const std::uint64_t chunkSize_; // bytes; 0 when the image states none
    const std::string& path_;
    std::vector<std::string> notes_; // not yet taken
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

platform::OpenResult OpenEwfImage(const std::string& path) {
    platform::OpenResult result;
    const SegmentNames segments(path);
    char* single[] = {const_cast<char*>(path.c_str())};
    char* const* names = segments.Count() > 0 ? segments.Names() : single;
    const int count = segments.Count() > 0 ? segments.Count() : 1;
    for (int i = 0; i < count; ++i) {
        const std::string kind = platform::UnreadableFileKind(names[i]);
        if (!kind.empty()) {
            result.problem = "The EWF image " + path + " cannot be read: its segment " + names[i] + " is " +
                             kind + ", not a file or a block device.";
            return result;
        }
    }

    libewf_error_t* error = nullptr;
    Handle handle;
    std::uint32_t bytesPerSector = 0;
    std::uint64_t size = 0;
    size32_t chunkSize = 0;
    if (!OpenHandle(names, count, handle, error) ||
        libewf_handle_get_bytes_per_sector(handle.get(), &bytesPerSector, &error) != 1 ||
        libewf_handle_get_chunk_size(handle.get(), &chunkSize, &error) != 1 ||
        libewf_handle_get_media_size(handle.get(), &size, &error) != 1) {
        result.problem = "The EWF image " + path + " cannot be opened: " + TakeText(error) + ".";
        return result;
    }
    // Without its last segment the image does not end where its segments say it does.
    const int corrupted = libewf_handle_segment_files_corrupted(handle.get(), &error);
    libewf_error_free(&error);
    if (corrupted != 0) {
        result.problem = "The EWF image " + path + " is incomplete: " + WhatIsMissing(names, count);
        return result;
    }
    if (bytesPerSector == 0) {
        result.problem = "The EWF image " + path + " states no sector size.";
        return result;
    }
    auto shared = std::make_shared<EwfShared>();
    shared->segments.assign(names, names + count);
    shared->path = path;
    shared->bytesPerSector = bytesPerSector;
    shared->chunkSize = chunkSize;
    return OpenContainerDevice(std::make_unique<EwfReader>(std::move(handle), std::move(shared)), size,
                               bytesPerSector, "The EWF image " + path);
}

} // namespace image
