// vesk-floor: the least work a search of the MFT can do. It reads the boot sector, finds the MFT's extents in
// the run list of record 0's unnamed $DATA attribute, reads every extent in large chunks and counts the
// records that carry the "FILE" signature (and those of them in use). Nothing else: no fixups beyond record
// 0, no names, no paths. The time it takes is the yardstick of the search's own.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: vesk-floor [-chunk MIB] IMAGE\n";
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
constexpr size_t kRecordFlags = 0x16;          // u16, bit 0: in use
constexpr uint16_t kInUse = 0x0001;
// The last two bytes of every 512-byte stride of a record are moved into the update sequence array.
constexpr size_t kFixupStride = 512;

// Attribute header.
constexpr size_t kAttributeType = 0x00;   // u32
constexpr size_t kAttributeLength = 0x04; // u32
constexpr size_t kNonResident = 0x08;     // u8
constexpr size_t kNameLength = 0x09;      // u8, in UTF-16 units
constexpr size_t kLowestVcn = 0x10;       // u64
constexpr size_t kRunListOffset = 0x20;   // u16
constexpr size_t kInitializedSize = 0x38; // u64: bytes of the MFT that hold records
constexpr size_t kNonResidentHeader = 0x40;
constexpr uint32_t kDataType = 0x80;
constexpr uint32_t kEndMarker = 0xFFFFFFFF;

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
    explicit Image(const char* path) : fd_(open(path, O_RDONLY)) {
        if (fd_ < 0)
            fail(std::string(path) + ": " + std::strerror(errno));
    }
    ~Image() { close(fd_); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Fills `size` bytes at `offset`; a short read past the end of the image is an error.
    void read_at(uint64_t offset, unsigned char* buffer, size_t size) const {
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
    int fd_;
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

// Puts back the bytes the update sequence array holds for each stride, after checking each stride's copy.
void apply_fixups(Bytes& record) {
    const auto offset = read<uint16_t>(record, kUpdateSequenceOffset);
    const auto count = read<uint16_t>(record, kUpdateSequenceCount);
    if (count == 0 || count - 1u != record.size() / kFixupStride || offset > record.size() ||
        2u * count > record.size() - offset)
        fail("bad update sequence in record 0");
    const auto check = read<uint16_t>(record, offset);
    for (size_t i = 1; i < count; ++i) {
        const size_t end = i * kFixupStride - 2;
        if (read<uint16_t>(record, end) != check)
            fail("torn write in record 0");
        record[end] = record[offset + 2 * i];
        record[end + 1] = record[offset + 2 * i + 1];
    }
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
    apply_fixups(record);
    size_t at = read<uint16_t>(record, kFirstAttribute);
    for (;;) {
        const auto type = read<uint32_t>(record, at + kAttributeType);
        if (type == kEndMarker)
            fail("record 0 has no $DATA attribute (it may be in an extension record)");
        const auto length = read<uint32_t>(record, at + kAttributeLength);
        if (length == 0 || length > record.size() - at)
            fail("bad attribute length in record 0");
        if (type == kDataType && read<uint8_t>(record, at + kNameLength) == 0) {
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

struct Count {
    uint64_t records = 0;
    uint64_t signed_records = 0;
    uint64_t in_use = 0;
};

Count count_records(const Image& image, const std::vector<Extent>& extents, uint64_t record_size,
                    size_t chunk) {
    chunk = std::max<size_t>(chunk / record_size, 1) * record_size;
    Bytes buffer(chunk);
    Count count;
    for (const Extent& extent : extents) {
        for (uint64_t done = 0; done + record_size <= extent.length;) {
            const size_t size = static_cast<size_t>(
                std::min<uint64_t>(chunk, (extent.length - done) / record_size * record_size));
            image.read_at(extent.offset + done, buffer.data(), size);
            for (size_t at = 0; at < size; at += record_size) {
                ++count.records;
                if (std::memcmp(buffer.data() + at, "FILE", 4) == 0) {
                    ++count.signed_records;
                    count.in_use += (buffer[at + kRecordFlags] & kInUse) != 0;
                }
            }
            done += size;
        }
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    try {
        size_t chunk = kDefaultChunk;
        int arg = 1;
        if (argc == 4 && std::strcmp(argv[1], "-chunk") == 0) {
            char* end = nullptr;
            const unsigned long mib = std::strtoul(argv[2], &end, 10);
            chunk = *end || mib > 1024 ? 0 : static_cast<size_t>(mib) << 20;
            arg = 3;
        }
        if (argc != arg + 1 || chunk == 0) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const auto start = std::chrono::steady_clock::now();
        const Image image(argv[arg]);
        const Geometry geometry = read_boot_sector(image);
        const std::vector<Extent> extents = find_mft_extents(image, geometry);
        const Count count = count_records(image, extents, geometry.record_size, chunk);
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
