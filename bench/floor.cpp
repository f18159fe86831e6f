// vesk-floor: the least work a search of the MFT can do, at four levels. It reads the boot sector, finds the
// MFT's extents in the run list of record 0's unnamed $DATA attribute and reads every extent in large chunks,
// on one thread, into memory that lies in large pages where the system offers them (as the search's blocks
// do: in small pages, a pass over a chunk takes a page-table walk every four records). Then:
//   (default) counts the records that carry the "FILE" signature and those of them in use: no fixups beyond
//             record 0, no names, no paths;
//   -txt      also undoes each record's fixups, takes the names of records in use (all but pure DOS names),
//             keeps the names of directories, and prints the path of every name ending in ".txt" (ASCII
//             case-insensitive) once the scan is over;
//   -none     the same work testing for ".qqq", which no name of the generated volumes ends in: the
//             yardstick of a search that matches nothing;
//   -all      the same for every name, each line the record number and the path, as vesk "*" -si prints.
// The path of a name is built from the directory names kept in memory, so no record is read twice. The times
// are the yardsticks of the search's own. An EWF image is read through the search's own reader of it, on this
// thread alone: the default pass then times decompressing the MFT's chunks on one core.

#include "image/Containers.h"
#include "platform/LargePages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: vesk-floor [-chunk MIB] [-txt | -none | -all] IMAGE\n";
constexpr size_t kDefaultChunk = 4u << 20;

// Boot sector (all little-endian).
constexpr size_t kBootSize = 512;
constexpr size_t kOemId = 3;                // "NTFS    "
constexpr size_t kBytesPerSector = 0x0B;    // u16
constexpr size_t kSectorsPerCluster = 0x0D; // u8; above 0x80 it is a negative power of two
constexpr size_t kMftCluster = 0x30;        // u64
constexpr size_t kClustersPerRecord = 0x40; // s8; negative: the record is 2^-n bytes

// MFT record header.
constexpr size_t kUpdateSequenceOffset = 0x04; // u16
constexpr size_t kUpdateSequenceCount = 0x06;  // u16: the check word plus one entry per stride
constexpr size_t kFirstAttribute = 0x14;       // u16
constexpr size_t kRecordFlags = 0x16;          // u16, bit 0: in use, bit 1: directory
constexpr size_t kBytesInUse = 0x18;           // u32
constexpr size_t kBaseRecord = 0x20;           // u64 file reference; 0 in a base record
constexpr uint16_t kInUse = 0x0001;
constexpr uint16_t kDirectory = 0x0002;
// The last two bytes of every 512-byte stride of a record are moved into the update sequence array.
constexpr size_t kFixupStride = 512;

// Attribute header.
constexpr size_t kAttributeType = 0x00;   // u32
constexpr size_t kAttributeLength = 0x04; // u32
constexpr size_t kNonResident = 0x08;     // u8
constexpr size_t kAttrNameLength = 0x09;  // u8, in UTF-16 units
constexpr size_t kLowestVcn = 0x10;       // u64
constexpr size_t kRunListOffset = 0x20;   // u16
constexpr size_t kInitializedSize = 0x38; // u64: bytes of the MFT that hold records
constexpr size_t kNonResidentHeader = 0x40;
constexpr size_t kValueLength = 0x10; // u32, resident attributes
constexpr size_t kValueOffset = 0x14; // u16, resident attributes
constexpr uint32_t kFileNameType = 0x30;
constexpr uint32_t kDataType = 0x80;
constexpr uint32_t kEndMarker = 0xFFFFFFFF;

// FILE_NAME value.
constexpr size_t kParent = 0x00;     // u64 file reference
constexpr size_t kNameLength = 0x40; // u8, in UTF-16 units (beside kNameLength of the attribute header)
constexpr size_t kNamespace = 0x41;  // u8: 2 is a pure DOS name
constexpr size_t kNameText = 0x42;   // UTF-16LE
constexpr uint8_t kDosNamespace = 2;
constexpr uint64_t kReferenceRecord = 0xFFFFFFFFFFFFull; // the low 48 bits of a file reference
constexpr uint64_t kRootRecord = 5;
constexpr int kMaxDepth = 256; // a deeper climb is a cycle

using Bytes = std::vector<unsigned char>;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what);
}

// Reads an unsigned little-endian field of `size` bytes, refusing any that does not lie inside `bytes`.
uint64_t read_le(const unsigned char* bytes, size_t length, size_t offset, size_t size) {
    if (offset > length || size > length - offset)
        fail("field out of range");
    uint64_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = value << 8 | bytes[offset + i];
    return value;
}

template <class T> T read(const Bytes& bytes, size_t offset) {
    return static_cast<T>(read_le(bytes.data(), bytes.size(), offset, sizeof(T)));
}

class Image {
  public:
    explicit Image(const char* path) {
        if (image::IsEwfImage(path)) {
            platform::OpenResult opened = image::OpenEwfImage(path);
            if (!opened.device)
                fail(std::string(path) + ": " +
                     (opened.problem.empty() ? std::strerror(static_cast<int>(opened.error))
                                             : opened.problem));
            ewf_ = std::move(opened.device);
            return;
        }
        fd_ = open(path, O_RDONLY);
        if (fd_ < 0)
            fail(std::string(path) + ": " + std::strerror(errno));
    }
    ~Image() {
        if (fd_ >= 0)
            close(fd_);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Fills `size` bytes at `offset`; a short read past the end of the image is an error (the disk of
    // an EWF image reads as zeros there).
    void read_at(uint64_t offset, unsigned char* buffer, size_t size) const {
        if (ewf_) {
            if (ewf_->Seek(offset) != 0 || ewf_->Read(buffer, size) != 0)
                fail("the EWF image cannot be read inside the MFT");
            return;
        }
        while (size > 0) {
            const ssize_t got = pread(fd_, buffer, size, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                fail(got < 0 ? std::strerror(errno) : "image ends inside the MFT");
            buffer += got;
            size -= static_cast<size_t>(got);
            offset += static_cast<uint64_t>(got);
        }
    }

  private:
    int fd_ = -1;
    std::unique_ptr<platform::Device> ewf_;
};

struct Geometry {
    uint64_t cluster_size;
    uint64_t record_size;
    uint64_t mft_offset;
};

Geometry read_boot_sector(const Image& image) {
    Bytes boot(kBootSize);
    image.read_at(0, boot.data(), boot.size());
    if (std::memcmp(boot.data() + kOemId, "NTFS    ", 8) != 0)
        fail("not an NTFS boot sector");
    const auto sector = read<uint16_t>(boot, kBytesPerSector);
    if (sector < 256 || sector > 4096 || (sector & (sector - 1)))
        fail("bad sector size");
    const auto per_cluster = read<uint8_t>(boot, kSectorsPerCluster);
    const unsigned cluster_shift = per_cluster > 0x80 ? 256u - per_cluster : 0;
    if (per_cluster > 0x80 ? cluster_shift > 12 : (per_cluster == 0 || (per_cluster & (per_cluster - 1))))
        fail("bad cluster size");
    Geometry geometry{};
    geometry.cluster_size =
        per_cluster > 0x80 ? uint64_t{sector} << cluster_shift : uint64_t{sector} * per_cluster;
    const auto per_record = static_cast<int8_t>(read<uint8_t>(boot, kClustersPerRecord));
    if (per_record < 0 && per_record >= -31)
        geometry.record_size = uint64_t{1} << -per_record;
    else if (per_record > 0)
        geometry.record_size = geometry.cluster_size * static_cast<uint64_t>(per_record);
    if (geometry.record_size < 256 || geometry.record_size > (64u << 10) ||
        (geometry.record_size & (geometry.record_size - 1)))
        fail("bad MFT record size");
    const auto mft_cluster = read<uint64_t>(boot, kMftCluster);
    if (mft_cluster > UINT64_MAX / geometry.cluster_size)
        fail("MFT cluster out of range");
    geometry.mft_offset = mft_cluster * geometry.cluster_size;
    return geometry;
}

// Puts back the bytes the update sequence array holds for each stride of the record at bytes, after checking
// each stride's copy; false for a record whose update sequence is malformed or torn.
bool undo_fixups(unsigned char* bytes, size_t length) {
    const auto offset = read_le(bytes, length, kUpdateSequenceOffset, 2);
    const auto count = read_le(bytes, length, kUpdateSequenceCount, 2);
    if (count == 0 || count - 1u != length / kFixupStride || offset > length || 2u * count > length - offset)
        return false;
    for (size_t i = 1; i < count; ++i) {
        const size_t end = i * kFixupStride - 2;
        if (bytes[end] != bytes[offset] || bytes[end + 1] != bytes[offset + 1])
            return false;
        bytes[end] = bytes[offset + 2 * i];
        bytes[end + 1] = bytes[offset + 2 * i + 1];
    }
    return true;
}

struct Extent {
    uint64_t offset; // bytes into the image
    uint64_t length; // bytes
};

// Decodes the run list that starts at `at` and ends before `end`: each run is a header byte (low nibble:
// size of the length, high nibble: size of the signed cluster delta), the length, then the delta.
std::vector<Extent> decode_runs(const Bytes& record, size_t at, size_t end, uint64_t cluster_size) {
    std::vector<Extent> extents;
    int64_t cluster = 0;
    while (at < end && record[at] != 0) {
        const unsigned length_size = record[at] & 0x0F;
        const unsigned delta_size = record[at] >> 4;
        if (length_size == 0 || length_size > 8 || delta_size > 8 || 1 + length_size + delta_size > end - at)
            fail("bad run in the MFT's run list");
        if (delta_size == 0)
            fail("the MFT has a sparse run");
        const uint64_t clusters = read_le(record.data(), end, at + 1, length_size);
        uint64_t delta = read_le(record.data(), end, at + 1 + length_size, delta_size);
        if (delta_size < 8 && (delta >> (8 * delta_size - 1)))
            delta |= ~uint64_t{0} << (8 * delta_size); // sign-extend
        cluster += static_cast<int64_t>(delta);
        if (cluster < 0 || clusters == 0 || clusters > UINT64_MAX / cluster_size ||
            static_cast<uint64_t>(cluster) > UINT64_MAX / cluster_size)
            fail("run out of range in the MFT's run list");
        extents.push_back({static_cast<uint64_t>(cluster) * cluster_size, clusters * cluster_size});
        at += 1 + length_size + delta_size;
    }
    return extents;
}

// The extents of the MFT, cut to its initialized size, from record 0's unnamed $DATA attribute.
std::vector<Extent> find_mft_extents(const Image& image, const Geometry& geometry) {
    Bytes record(geometry.record_size);
    image.read_at(geometry.mft_offset, record.data(), record.size());
    if (std::memcmp(record.data(), "FILE", 4) != 0)
        fail("record 0 has no FILE signature");
    if (!undo_fixups(record.data(), record.size()))
        fail("bad update sequence in record 0");
    size_t at = read<uint16_t>(record, kFirstAttribute);
    for (;;) {
        const auto type = read<uint32_t>(record, at + kAttributeType);
        if (type == kEndMarker)
            fail("record 0 has no $DATA attribute (it may be in an extension record)");
        const auto length = read<uint32_t>(record, at + kAttributeLength);
        if (length == 0 || length > record.size() - at)
            fail("bad attribute length in record 0");
        if (type == kDataType && read<uint8_t>(record, at + kAttrNameLength) == 0) {
            if (read<uint8_t>(record, at + kNonResident) != 1 || length < kNonResidentHeader ||
                read<uint64_t>(record, at + kLowestVcn) != 0)
                fail("record 0's $DATA is not a whole non-resident attribute");
            const auto runs = read<uint16_t>(record, at + kRunListOffset);
            if (runs > length)
                fail("bad run list offset in record 0");
            std::vector<Extent> extents = decode_runs(record, at + runs, at + length, geometry.cluster_size);
            uint64_t left = read<uint64_t>(record, at + kInitializedSize);
            for (Extent& extent : extents) {
                extent.length = std::min(extent.length, left);
                left -= extent.length;
            }
            if (left > 0)
                fail("the MFT's runs are shorter than its initialized size");
            return extents;
        }
        at += length;
    }
}

// Calls visit(number, bytes) for every record of the MFT, reading it in chunks of about chunk bytes.
template <class Visit>
void scan(const Image& image, const std::vector<Extent>& extents, uint64_t record_size, size_t chunk,
          Visit&& visit) {
    chunk = std::max<size_t>(chunk / record_size, 1) * record_size;
    std::vector<unsigned char, platform::LargePageAllocator<unsigned char>> buffer(chunk);
    uint64_t number = 0;
    for (const Extent& extent : extents) {
        for (uint64_t done = 0; done + record_size <= extent.length;) {
            const size_t size = static_cast<size_t>(
                std::min<uint64_t>(chunk, (extent.length - done) / record_size * record_size));
            image.read_at(extent.offset + done, buffer.data(), size);
            for (size_t at = 0; at < size; at += record_size)
                visit(number++, buffer.data() + at);
            done += size;
        }
    }
}

struct Count {
    uint64_t records = 0;
    uint64_t signed_records = 0;
    uint64_t in_use = 0;
};

// UTF-16LE code units to UTF-8; a lone surrogate becomes U+FFFD.
void append_utf8(std::string& out, const unsigned char* units, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = units[2 * i] | units[2 * i + 1] << 8;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
            const uint32_t low = units[2 * i + 2] | units[2 * i + 3] << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

// Whether the name of count UTF-16 units ends in suffix, four lower-case ASCII characters.
bool ends_in(const unsigned char* units, size_t count, const char* suffix) {
    if (count < 4)
        return false;
    for (size_t i = 0; i < 4; ++i) {
        const size_t at = 2 * (count - 4 + i);
        const unsigned c = units[at] | units[at + 1] << 8;
        if ((c < 0x80 ? static_cast<char>(c | (c >= 'A' && c <= 'Z' ? 0x20 : 0)) : 0) != suffix[i])
            return false;
    }
    return true;
}

// The names of the records in use, kept as the scan goes and turned into paths at its end.
class Names {
  public:
    // Keeps the names ending in suffix, every name when it is null.
    explicit Names(const char* suffix) : suffix_(suffix) {}

    void add_record(uint64_t number, unsigned char* record, size_t length) {
        if (std::memcmp(record, "FILE", 4) != 0 || !undo_fixups(record, length))
            return;
        const auto flags = read_le(record, length, kRecordFlags, 2);
        if (!(flags & kInUse))
            return;
        const uint64_t base = read_le(record, length, kBaseRecord, 8) & kReferenceRecord;
        const size_t end = std::min<uint64_t>(read_le(record, length, kBytesInUse, 4), length);
        for (size_t at = read_le(record, length, kFirstAttribute, 2); at < end && end - at >= 8;) {
            const auto type = read_le(record, end, at + kAttributeType, 4);
            const auto size = read_le(record, end, at + kAttributeLength, 4);
            if (type == kEndMarker || size == 0 || size > end - at)
                break;
            if (type == kFileNameType && size >= kValueOffset + 2 && record[at + kNonResident] == 0)
                add_name(number, base, flags, record + at, size);
            at += size;
        }
    }

    // Writes each kept hit's line to out.
    void print(FILE* out) {
        std::string line;
        for (const Hit& hit : hits_) {
            line.clear();
            if (suffix_ == nullptr)
                line += std::to_string(hit.record) + ' ';
            line += directory_path(hit.parent, 0);
            line += text_.substr(hit.text, hit.length);
            if (hit.directory)
                line += '\\';
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), out);
        }
    }

  private:
    struct Hit {
        uint64_t record;
        uint64_t parent;
        size_t text; // offset and length in text_
        size_t length;
        bool directory;
    };
    struct Directory {
        uint64_t parent;
        std::string name;
    };

    void add_name(uint64_t number, uint64_t base, uint64_t flags, const unsigned char* attribute,
                  size_t size) {
        const size_t value = read_le(attribute, size, kValueOffset, 2);
        const size_t value_length = read_le(attribute, size, kValueLength, 4);
        if (value > size || value_length > size - value || value_length < kNameText)
            return;
        const unsigned char* name = attribute + value;
        const size_t units = name[kNameLength];
        if (name[kNamespace] == kDosNamespace || 2 * units > value_length - kNameText)
            return;
        const uint64_t parent = read_le(name, value_length, kParent, 8) & kReferenceRecord;
        const bool directory = flags & kDirectory;
        // A directory's name may sit in an extension record, which has no directory flag.
        if (directory || base != 0) {
            Directory& kept = directories_[base ? base : number];
            if (kept.name.empty()) {
                kept.parent = parent;
                append_utf8(kept.name, name + kNameText, units);
            }
        }
        if (suffix_ == nullptr || ends_in(name + kNameText, units, suffix_)) {
            const size_t at = text_.size();
            append_utf8(text_, name + kNameText, units);
            hits_.push_back({number, parent, at, text_.size() - at, directory});
        }
    }

    // "\dir\sub\" for the directory record, "\" for the root, "?\" for one that cannot be named.
    const std::string& directory_path(uint64_t record, int depth) {
        static const std::string root = "\\", unnamed = "?\\";
        if (record == kRootRecord)
            return root;
        const auto known = paths_.find(record);
        if (known != paths_.end())
            return known->second;
        const auto directory = directories_.find(record);
        if (directory == directories_.end() || depth > kMaxDepth)
            return unnamed;
        std::string path =
            directory_path(directory->second.parent, depth + 1) + directory->second.name + '\\';
        return paths_[record] = std::move(path);
    }

    const char* suffix_;
    std::unordered_map<uint64_t, Directory> directories_;
    std::unordered_map<uint64_t, std::string> paths_;
    std::vector<Hit> hits_;
    std::string text_; // the hits' names, one after the other
};

} // namespace

int main(int argc, char** argv) {
    try {
        size_t chunk = kDefaultChunk;
        std::string mode;
        int arg = 1;
        for (; arg < argc - 1; ++arg) {
            if (std::strcmp(argv[arg], "-chunk") == 0 && arg + 2 < argc) {
                char* end = nullptr;
                const unsigned long mib = std::strtoul(argv[++arg], &end, 10);
                chunk = *end || mib > 1024 ? 0 : static_cast<size_t>(mib) << 20;
            } else if (mode.empty() &&
                       (std::strcmp(argv[arg], "-txt") == 0 || std::strcmp(argv[arg], "-none") == 0 ||
                        std::strcmp(argv[arg], "-all") == 0)) {
                mode = argv[arg];
            } else {
                break;
            }
        }
        if (argc != arg + 1 || chunk == 0) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const auto start = std::chrono::steady_clock::now();
        const Image image(argv[arg]);
        const Geometry geometry = read_boot_sector(image);
        const std::vector<Extent> extents = find_mft_extents(image, geometry);
        if (!mode.empty()) {
            Names names(mode == "-all" ? nullptr : mode == "-txt" ? ".txt" : ".qqq");
            scan(image, extents, geometry.record_size, chunk, [&](uint64_t number, unsigned char* record) {
                names.add_record(number, record, geometry.record_size);
            });
            names.print(stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        Count count;
        scan(image, extents, geometry.record_size, chunk, [&](uint64_t, const unsigned char* record) {
            ++count.records;
            if (std::memcmp(record, "FILE", 4) == 0) {
                ++count.signed_records;
                count.in_use += (record[kRecordFlags] & kInUse) != 0;
            }
        });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("records %llu, FILE records %llu, in use %llu, MFT runs %zu, record size %llu, %.3f s\n",
                    static_cast<unsigned long long>(count.records),
                    static_cast<unsigned long long>(count.signed_records),
                    static_cast<unsigned long long>(count.in_use), extents.size(),
                    static_cast<unsigned long long>(geometry.record_size), seconds);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vesk-floor: %s\n", e.what());
        return 1;
    }
}
