// Shadow copies through libvshadow, which reads the volume through a libbfio handle over the device
// below, so that a copy inside an EWF image or a partition is read as the volume itself is.

#include "image/ShadowCopies.h"

#include "image/ContainerDevice.h"
#include "image/Containers.h"
#include "image/DeviceBfioHandle.h"
#include "image/ShadowLoopGuard.h"

#include <libvshadow.h>

#include <cctype>
#include <cstring>
#include <ctime>
#include <limits>
#include <set>

namespace image {
namespace {

// libvshadow reads a copy's blocks 16 KiB at a time: a read that fails is tried again in pieces of
// that size, so that only the blocks that cannot be read are lost.
constexpr std::size_t kStoreBlock = 16384;
// Bytes read at the start of a copy when it is opened, so that a copy whose block list cannot be
// read is refused at once rather than losing every block.
constexpr std::size_t kFirstRead = 512;
// FILETIME counts 100 ns from 1601-01-01; the Unix epoch lies this many seconds later.
constexpr std::uint64_t kFiletimePerSecond = 10000000;
constexpr std::uint64_t kEpochSeconds = 11644473600;

// What libvshadow failed to read, as named by the function that reads it, in the order a search
// for the name goes (the more specific first).
struct Structure {
    const char* reader;
    const char* name;
    bool ofCopy; // one copy's: the name is followed by "of shadow copy K"
};
constexpr Structure kStructures[] = {
    {"_read_store_header", "a shadow copy's header", false},
    {"_read_store_block_range_list", "the block range list", true},
    {"_read_store_block_list", "the block list", true},
    {"_read_store_bitmap", "the bitmap", true},
    {"_read_catalog", "the catalog of the shadow copies", false},
};

// "WHAT at offset N cannot be read: REASON." for error, which is freed: WHAT names the structure
// that libvshadow's backtrace shows it failed to read (fallback when none; number is the copy being
// opened), REASON is the innermost message, or a chain of blocks that leads back into itself when
// guard refused a block, and the offset on the volume is there when the backtrace gives one.
std::string Unreadable(libvshadow_error_t*& error, std::uint64_t number, const std::string& fallback,
                       const ShadowLoopGuard& guard) {
    char text[2048] = "";
    if (error != nullptr)
        libvshadow_error_backtrace_sprint(error, text, sizeof text);
    libvshadow_error_free(&error);
    const std::string trace = text;
    std::string what = fallback;
    for (const Structure& structure : kStructures)
        if (trace.find(structure.reader) != std::string::npos) {
            what = std::string(structure.name) +
                   (structure.ofCopy ? " of shadow copy " + std::to_string(number) : "");
            break;
        }
    std::string reason = guard.Looped() ? "its blocks lead back in a circle"
                                        : LibraryErrorText(trace.substr(0, trace.find('\n')).c_str());
    if (!reason.empty() && reason.back() == '.')
        reason.pop_back();
    const std::string offsetMark = "at offset: ";
    const std::size_t at = trace.find(offsetMark);
    const std::string where =
        at == std::string::npos
            ? ""
            : " at offset " + trace.substr(at + offsetMark.size(),
                                           trace.find_first_not_of("0123456789", at + offsetMark.size()) -
                                               (at + offsetMark.size()));
    what[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(what[0])));
    return what + where + " cannot be read: " + (reason.empty() ? "unknown error" : reason) + ".";
}

struct CloseVolume {
    void operator()(libvshadow_volume_t* volume) const {
        libvshadow_error_t* error = nullptr;
        if (libvshadow_volume_close(volume, &error) != 0)
            libvshadow_error_free(&error);
        if (libvshadow_volume_free(&volume, &error) != 1)
            libvshadow_error_free(&error);
    }
};
using Volume = std::unique_ptr<libvshadow_volume_t, CloseVolume>;

struct FreeStore {
    void operator()(libvshadow_store_t* store) const {
        libvshadow_error_t* error = nullptr;
        if (libvshadow_store_free(&store, &error) != 1)
            libvshadow_error_free(&error);
    }
};
using Store = std::unique_ptr<libvshadow_store_t, FreeStore>;

// The store and the volume it belongs to, which reads through the bridge; destroyed in reverse.
struct OpenCopy {
    std::unique_ptr<DeviceBfioHandle> bridge;
    ShadowLoopGuard* guard = nullptr; // the device below the bridge, owned by it
    Volume volume;
    Store store;
};

// "YYYY-MM-DD hh:mm:ss UTC" of a FILETIME.
std::string CreationTime(std::uint64_t filetime) {
    const std::uint64_t seconds = filetime / kFiletimePerSecond;
    if (seconds < kEpochSeconds)
        return "at an unknown time";
    const auto since = static_cast<std::time_t>(seconds - kEpochSeconds); // below 2^60: fits
    std::tm time{};
    char text[32] = "";
    if (::gmtime_r(&since, &time) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &time) == 0)
        return "at an unknown time";
    return text;
}

Store GetStore(libvshadow_volume_t* volume, std::uint64_t index, libvshadow_error_t*& error) {
    libvshadow_store_t* store = nullptr;
    if (libvshadow_volume_get_store(volume, static_cast<int>(index), &store, &error) != 1)
        return nullptr;
    return Store(store);
}

// "/vss1 (created ...), /vss2 (...)".
std::string CopyList(libvshadow_volume_t* volume, int count) {
    std::string list;
    for (int index = 0; index < count; ++index) {
        libvshadow_error_t* error = nullptr;
        const Store store = GetStore(volume, static_cast<std::uint64_t>(index), error);
        std::uint64_t filetime = 0;
        const bool dated = store && libvshadow_store_get_creation_time(store.get(), &filetime, &error) == 1;
        libvshadow_error_free(&error);
        list += (list.empty() ? "/vss" : ", /vss") + std::to_string(index + 1) +
                (dated ? " (created " + CreationTime(filetime) + ")" : " (unreadable)");
    }
    return list;
}

class StoreReader : public DiskReader {
  public:
    StoreReader(OpenCopy copy, std::uint64_t number) : copy_(std::move(copy)), number_(number) {}

    // A piece that cannot be read is noted here, block by block, so every read is done.
    DiskRead ReadAt(std::uint8_t* out, std::uint64_t offset, std::size_t size) override {
        if (Read(out, offset, size))
            return {};
        for (std::size_t done = 0; done < size;) {
            const std::size_t piece = std::min(kStoreBlock - (offset + done) % kStoreBlock, size - done);
            if (!Read(out + done, offset + done, piece))
                Damaged(offset + done, piece);
            done += piece;
        }
        return {};
    }

    // The notes of the volume below, met while reading the copy, come first.
    std::vector<std::string> TakeDamageNotes() override {
        std::vector<std::string> notes = copy_.guard->TakeNotes();
        if (damageSize_ != 0)
            Note();
        notes.insert(notes.end(), std::make_move_iterator(notes_.begin()),
                     std::make_move_iterator(notes_.end()));
        notes_.clear();
        return notes;
    }

  private:
    // Reads into out, zeros after what the copy holds; false, out all zeros, when the read fails.
    bool Read(std::uint8_t* out, std::uint64_t offset, std::size_t size) {
        copy_.guard->BeginPass();
        libvshadow_error_t* error = nullptr;
        const ssize_t got = offset <= static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())
                                ? libvshadow_store_read_buffer_at_offset(copy_.store.get(), out, size,
                                                                         static_cast<off64_t>(offset), &error)
                                : 0;
        libvshadow_error_free(&error);
        const std::size_t kept = got > 0 ? static_cast<std::size_t>(got) : 0;
        std::memset(out + kept, 0, size - kept);
        return got >= 0;
    }

    // Neighbouring damaged pieces make one note.
    void Damaged(std::uint64_t offset, std::size_t size) {
        if (damageSize_ != 0 && damageOffset_ + damageSize_ != offset)
            Note();
        if (damageSize_ == 0)
            damageOffset_ = offset;
        damageSize_ += size;
    }

    // A block read again is not noted again.
    void Note() {
        if (noted_.insert(damageOffset_).second)
            notes_.push_back("The shadow copy " + std::to_string(number_) + " is damaged at offset " +
                             std::to_string(damageOffset_) + ": its " + std::to_string(damageSize_) +
                             " bytes there cannot be read and are read as zeros.");
        damageSize_ = 0;
    }

    OpenCopy copy_;
    const std::uint64_t number_;
    std::vector<std::string> notes_;
    std::uint64_t damageOffset_ = 0;
    std::uint64_t damageSize_ = 0;  // 0: no damage waiting for its note
    std::set<std::uint64_t> noted_; // offsets of the damage noted
};

// The copy is read on the caller's thread only: its reads go down through the layers below, whose
// own notes must not be written from a thread of their own.
class StoreDevice : public ContainerDevice {
  public:
    using ContainerDevice::ContainerDevice;
    std::unique_ptr<platform::BackgroundRead> ReadInBackground(void*, std::uint64_t, std::size_t) override {
        return nullptr;
    }
};

platform::OpenResult Problem(std::string text) {
    platform::OpenResult result;
    result.problem = std::move(text);
    return result;
}

// Copy number of the volume that copy's bridge reads; copy is taken only when the copy opens.
platform::OpenResult OpenStore(OpenCopy& copy, std::uint64_t number, const std::string& valueName,
                               std::optional<std::uint32_t> sectorSize) {
    if (copy.bridge->Handle() == nullptr)
        return Problem("The size of the volume is unknown, so its shadow copies cannot be read.");
    libvshadow_error_t* error = nullptr;
    const int found = libvshadow_check_volume_signature_file_io_handle(copy.bridge->Handle(), &error);
    if (found == -1)
        return Problem(Unreadable(error, number, "the shadow copy header of the volume", *copy.guard));
    if (found != 1)
        return Problem("The volume has no shadow copies.");
    libvshadow_volume_t* created = nullptr;
    if (libvshadow_volume_initialize(&created, &error) != 1)
        return Problem(Unreadable(error, number, "the catalog of the shadow copies", *copy.guard));
    copy.volume.reset(created);
    int count = 0;
    if (libvshadow_volume_open_file_io_handle(copy.volume.get(), copy.bridge->Handle(), LIBVSHADOW_OPEN_READ,
                                              &error) != 1 ||
        libvshadow_volume_get_number_of_stores(copy.volume.get(), &count, &error) != 1)
        return Problem(Unreadable(error, number, "the catalog of the shadow copies", *copy.guard));
    if (count <= 0)
        return Problem("The volume has no shadow copies.");
    const std::string listed = std::to_string(count) + (count == 1 ? " shadow copy: " : " shadow copies: ") +
                               CopyList(copy.volume.get(), count) + "; add /vssK to the " + valueName +
                               " to choose shadow copy K.";
    if (number == 0)
        return Problem("The volume has " + listed);
    if (number > static_cast<std::uint64_t>(count))
        return Problem("The volume has no shadow copy " + std::to_string(number) + "; it has " + listed);
    const std::string named = "the shadow copy " + std::to_string(number);
    copy.store = GetStore(copy.volume.get(), number - 1, error);
    std::uint64_t size = 0;
    if (!copy.store || libvshadow_store_get_volume_size(copy.store.get(), &size, &error) != 1)
        return Problem(Unreadable(error, number, named, *copy.guard));
    const int inVolume = libvshadow_store_has_in_volume_data(copy.store.get(), &error);
    if (inVolume == 0)
        return Problem("The shadow copy " + std::to_string(number) +
                       " keeps its data on another volume, which is not read with it.");
    std::uint8_t first[kFirstRead];
    copy.guard->BeginPass();
    if (inVolume != 1 ||
        libvshadow_store_read_buffer_at_offset(copy.store.get(), first, sizeof first, 0, &error) < 0)
        return Problem(Unreadable(error, number, named, *copy.guard));
    platform::OpenResult result;
    result.device =
        std::make_unique<StoreDevice>(std::make_unique<StoreReader>(std::move(copy), number), size,
                                      sectorSize, "The shadow copy " + std::to_string(number));
    return result;
}

} // namespace

platform::OpenResult OpenShadowCopy(std::unique_ptr<platform::Device> volume, std::uint64_t number,
                                    const std::string& valueName) {
    const std::optional<std::uint32_t> sectorSize = volume->SectorSize();
    OpenCopy copy;
    auto guard = std::make_unique<ShadowLoopGuard>(std::move(volume));
    copy.guard = guard.get();
    copy.bridge = std::make_unique<DeviceBfioHandle>(std::move(guard));
    platform::OpenResult result = OpenStore(copy, number, valueName, sectorSize);
    if (!result.device)
        result.notes = copy.guard->TakeNotes(); // what the reads of the volume below met
    return result;
}

} // namespace image
