#include "image/PartitionTable.h"

#include "platform/MemoryFile.h"

#include <blkid/blkid.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <set>

namespace image {
namespace {

constexpr std::uint64_t kBlkidSector = 512; // libblkid states starts and sizes in 512-byte units
// The disk's first bytes: the MBR, a GPT header of 512- or 4096-byte sectors and the labels of the
// other kinds libblkid knows all lie there.
constexpr std::uint64_t kHeadSize = 64 << 10;
// Bytes at a partition's start where a label of its own may lie (BSD, Solaris, UnixWare, Minix).
constexpr std::uint64_t kNestedLabelSize = 16 << 10;
// Memory the copy may take: far more than the tables of any partitioning tool, and few enough MiB that a
// crafted chain of boot records cannot take the memory of the machine.
constexpr std::uint64_t kCopyBudget = 32 << 20;
constexpr std::uint64_t kPageSize = 4096; // what memory is taken in

// MBR: four 16-byte entries at 446, the signature 0x55 0xAA at 510.
constexpr std::size_t kMbrEntries = 446;
constexpr std::size_t kMbrEntrySize = 16;
constexpr std::size_t kMbrSignature = 510;
constexpr std::size_t kMbrTypeOffset = 4;      // u8
constexpr std::size_t kMbrStartOffset = 8;     // u32, sectors (relative to the record's base)
constexpr std::size_t kMbrLengthOffset = 12;   // u32, sectors
constexpr std::uint8_t kProtectiveType = 0xEE; // the one entry of a GPT disk's protective MBR
// Partition types that hold a label of their own inside.
constexpr std::uint8_t kNestedTypes[] = {0xA5, 0xA6, 0xA9, 0x82, 0xBF, 0x63, 0x81};

// GPT header fields (all little-endian).
constexpr char kGptSignature[] = "EFI PART";
constexpr std::size_t kGptHeaderSizeOffset = 12;  // u32
constexpr std::size_t kGptHeaderCrcOffset = 16;   // u32, over the header with this field zero
constexpr std::size_t kGptMyLbaOffset = 24;       // u64
constexpr std::size_t kGptFirstUsableOffset = 40; // u64
constexpr std::size_t kGptLastUsableOffset = 48;  // u64
constexpr std::size_t kGptEntriesLbaOffset = 72;  // u64
constexpr std::size_t kGptEntryCountOffset = 80;  // u32
constexpr std::size_t kGptEntrySizeOffset = 84;   // u32
constexpr std::size_t kGptEntriesCrcOffset = 88;  // u32, over count x size bytes of entries
constexpr std::uint32_t kGptMinHeaderSize = 92;
constexpr std::uint32_t kGptEntrySize = 128; // the only size libblkid reads
// A GPT entry: type GUID (all zero when unused), then first and last LBA, inclusive.
constexpr std::size_t kGptEntryFirstOffset = 32;
constexpr std::size_t kGptEntryLastOffset = 40;

// The little-endian T at offset of bytes; 0 where bytes end first.
template <typename T> T read_le(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
    if (offset > size || sizeof(T) > size - offset)
        return 0;
    std::uint64_t value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
        value = value << 8 | bytes[offset + i];
    return static_cast<T>(value);
}

bool IsExtended(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// The CRC-32 that GPT uses (the reflected polynomial of IEEE 802.3), going on from the CRC of the
// bytes before.
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t before = 0) {
    std::uint32_t crc = ~before;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

struct FreeProbe {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};

// The partitions libblkid finds on the disk that fd reads; entries whose numbers or bytes do not
// fit are left out. empty tells whether libblkid found a table that lists no partition.
std::vector<Partition> Probe(int fd, std::uint64_t size, std::uint32_t sectorSize, bool& empty) {
    std::vector<Partition> partitions;
    empty = false;
    const std::unique_ptr<blkid_struct_probe, FreeProbe> probe(blkid_new_probe());
    if (!probe || blkid_probe_set_device(probe.get(), fd, 0, static_cast<blkid_loff_t>(size)) != 0)
        return partitions;
    blkid_probe_set_sectorsize(probe.get(), sectorSize);
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    if (blkid_do_safeprobe(probe.get()) != 0)
        return partitions;
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    const int count = list != nullptr ? blkid_partlist_numof_partitions(list) : 0;
    empty = list != nullptr && blkid_partlist_get_table(list) != nullptr && count == 0;
    for (int i = 0; i < count; ++i) {
        blkid_partition entry = blkid_partlist_get_partition(list, i);
        const int number = blkid_partition_get_partno(entry);
        const blkid_loff_t start = blkid_partition_get_start(entry);
        const blkid_loff_t length = blkid_partition_get_size(entry);
        constexpr auto kLimit = std::numeric_limits<std::uint64_t>::max() / kBlkidSector;
        if (number <= 0 || start < 0 || length < 0 || static_cast<std::uint64_t>(start) > kLimit ||
            static_cast<std::uint64_t>(length) > kLimit)
            continue;
        partitions.push_back({number, static_cast<std::uint64_t>(start) * kBlkidSector,
                              static_cast<std::uint64_t>(length) * kBlkidSector});
    }
    return partitions;
}

// A file in memory as large as the disk, holding the disk's bytes where they were copied and zeros
// elsewhere (it takes memory only where copied).
class DiskCopy {
  public:
    DiskCopy(platform::Device& disk, std::uint64_t size)
        : disk_(disk), size_(size), file_(size), error_(file_.Error()) {}

    int Fd() const { return file_.Descriptor(); }
    // Whether a copy was refused because the budget ran out.
    bool Spent() const { return spent_; }
    platform::ErrorCode Error() const { return error_; }
    std::uint64_t Size() const { return size_; }

    // Reads size bytes at offset of the disk into out (zeros past its end); false after an error.
    bool Read(std::uint64_t offset, std::size_t size, std::vector<std::uint8_t>& out) {
        out.assign(size, 0);
        if (error_ != 0)
            return false;
        if ((error_ = disk_.Seek(offset)) == 0)
            error_ = disk_.Read(out.data(), size);
        return error_ == 0;
    }

    // Copies size bytes at offset, as far as the disk holds them and the budget allows; false when
    // nothing more may be copied.
    bool Copy(std::uint64_t offset, std::uint64_t size) {
        if (error_ != 0 || offset >= size_)
            return error_ == 0;
        size = std::min(size, size_ - offset);
        // The copy takes a page of memory for each page it touches.
        const std::uint64_t pages = (offset % kPageSize + size + kPageSize - 1) / kPageSize * kPageSize;
        if (pages > kCopyBudget - copied_) {
            spent_ = true;
            return false;
        }
        std::vector<std::uint8_t> bytes;
        if (!Read(offset, static_cast<std::size_t>(size), bytes))
            return false;
        if (!file_.Write(offset, bytes.data(), bytes.size())) {
            error_ = file_.Error();
            return false;
        }
        copied_ += pages;
        return true;
    }

    // The CRC-32 of size bytes of the copy at offset.
    std::uint32_t CopiedCrc(std::uint64_t offset, std::uint64_t size) const {
        constexpr std::size_t kBlock = 64 << 10;
        std::vector<std::uint8_t> bytes(kBlock);
        std::uint32_t crc = 0;
        while (size > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kBlock));
            if (!file_.Read(offset, bytes.data(), n))
                std::fill_n(bytes.begin(), n, 0); // past what was copied: zeros, as libblkid reads them
            crc = Crc32(bytes.data(), n, crc);
            offset += n;
            size -= n;
        }
        return crc;
    }

    // Zeros size bytes of the copy at offset again.
    void Blank(std::uint64_t offset, std::size_t size) {
        const std::vector<std::uint8_t> zeros(size, 0);
        if (error_ == 0 && offset < size_ &&
            !file_.Write(offset, zeros.data(),
                         static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset))))
            error_ = file_.Error();
    }

  private:
    platform::Device& disk_;
    const std::uint64_t size_;
    platform::MemoryFile file_; // the copy
    platform::ErrorCode error_ = 0;
    std::uint64_t copied_ = 0;
    bool spent_ = false;
};

// Follows the chain of extended boot records from the extended partition that starts at sector
// first, as libblkid does (each link relative to the extended partition's start), copying each
// record once. The chain ends at a record without a signature or a link, at a link outside the disk,
// or at a record already copied (a loop); so it is bound by what the disk holds.
void CopyChain(DiskCopy& copy, std::uint64_t first, std::uint32_t sectorSize) {
    const std::uint64_t sectors = copy.Size() / sectorSize;
    std::set<std::uint64_t> visited;
    std::vector<std::uint8_t> record;
    for (std::uint64_t at = first; at < sectors && visited.insert(at).second;) {
        if (!copy.Copy(at * sectorSize, sectorSize) || !copy.Read(at * sectorSize, sectorSize, record) ||
            record[kMbrSignature] != 0x55 || record[kMbrSignature + 1] != 0xAA)
            return;
        std::optional<std::uint64_t> next; // the first extended entry is the link, the others junk
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t entry = kMbrEntries + i * kMbrEntrySize;
            const auto type = read_le<std::uint8_t>(record.data(), record.size(), entry + kMbrTypeOffset);
            const auto start = read_le<std::uint32_t>(record.data(), record.size(), entry + kMbrStartOffset);
            const auto length =
                read_le<std::uint32_t>(record.data(), record.size(), entry + kMbrLengthOffset);
            if (length == 0)
                continue;
            if (IsExtended(type) && !next)
                next = first + start;
            else if (std::count(std::begin(kNestedTypes), std::end(kNestedTypes), type) != 0 &&
                     !copy.Copy((at + start) * sectorSize, kNestedLabelSize))
                return;
        }
        if (!next || *next == first) // no link, or one of offset 0, ends the chain
            return;
        at = *next;
    }
}

// Copies the MBR's logical partitions' records and nested labels. Returns whether the MBR is a GPT
// disk's protective one.
bool CopyMbrTables(DiskCopy& copy, const std::vector<std::uint8_t>& mbr, std::uint32_t sectorSize) {
    if (mbr.size() < kMbrSignature + 2 || mbr[kMbrSignature] != 0x55 || mbr[kMbrSignature + 1] != 0xAA)
        return false;
    bool protective = false;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t entry = kMbrEntries + i * kMbrEntrySize;
        const auto type = read_le<std::uint8_t>(mbr.data(), mbr.size(), entry + kMbrTypeOffset);
        const auto start = read_le<std::uint32_t>(mbr.data(), mbr.size(), entry + kMbrStartOffset);
        const auto length = read_le<std::uint32_t>(mbr.data(), mbr.size(), entry + kMbrLengthOffset);
        protective = protective || type == kProtectiveType;
        if (length == 0 || start == 0)
            continue;
        if (IsExtended(type))
            CopyChain(copy, start, sectorSize);
        else if (std::count(std::begin(kNestedTypes), std::end(kNestedTypes), type) != 0)
            copy.Copy(std::uint64_t{start} * sectorSize, kNestedLabelSize);
    }
    return protective;
}

// One GPT header as read: whether it is sound and where its entries lie.
struct GptHeader {
    bool present = false;        // the signature is there
    bool readable = false;       // its checksum holds and its entries lie inside the disk
    std::string fault;           // why it cannot be used, when present
    std::uint64_t entriesAt = 0; // bytes
    std::uint64_t entryCount = 0;
};

// Reads and judges the GPT header at sector lba against what the disk holds; a sound one is copied
// with its entries.
GptHeader CheckGptHeader(DiskCopy& copy, std::uint64_t lba, std::uint32_t sectorSize) {
    GptHeader header;
    std::vector<std::uint8_t> bytes;
    const std::uint64_t sectors = copy.Size() / sectorSize;
    if (lba >= sectors || !copy.Read(lba * sectorSize, sectorSize, bytes) ||
        std::memcmp(bytes.data(), kGptSignature, sizeof kGptSignature - 1) != 0)
        return header;
    header.present = true;
    const auto size = read_le<std::uint32_t>(bytes.data(), bytes.size(), kGptHeaderSizeOffset);
    const auto crc = read_le<std::uint32_t>(bytes.data(), bytes.size(), kGptHeaderCrcOffset);
    if (size < kGptMinHeaderSize || size > sectorSize) {
        header.fault = "its size is " + std::to_string(size) + " bytes";
        return header;
    }
    std::fill_n(bytes.begin() + kGptHeaderCrcOffset, 4, 0);
    if (Crc32(bytes.data(), size) != crc) {
        header.fault = "its checksum fails";
        return header;
    }
    const auto myLba = read_le<std::uint64_t>(bytes.data(), bytes.size(), kGptMyLbaOffset);
    const auto firstUsable = read_le<std::uint64_t>(bytes.data(), bytes.size(), kGptFirstUsableOffset);
    const auto lastUsable = read_le<std::uint64_t>(bytes.data(), bytes.size(), kGptLastUsableOffset);
    const auto entriesLba = read_le<std::uint64_t>(bytes.data(), bytes.size(), kGptEntriesLbaOffset);
    const auto count = read_le<std::uint32_t>(bytes.data(), bytes.size(), kGptEntryCountOffset);
    const auto entrySize = read_le<std::uint32_t>(bytes.data(), bytes.size(), kGptEntrySizeOffset);
    if (myLba != lba) {
        header.fault = "it says it lies at sector " + std::to_string(myLba);
        return header;
    }
    if (entrySize != kGptEntrySize || count == 0) {
        header.fault =
            "its " + std::to_string(count) + " entries are of " + std::to_string(entrySize) + " bytes";
        return header;
    }
    const std::uint64_t entrySectors = (std::uint64_t{count} * entrySize + sectorSize - 1) / sectorSize;
    if (entriesLba >= sectors || entrySectors > sectors - entriesLba) {
        header.fault = "its " + std::to_string(count) + " entries at sector " + std::to_string(entriesLba) +
                       " run past the end of the disk";
        return header;
    }
    // The entries lie outside the partitions' area and apart from the header, and the area ends
    // inside the disk: a header claiming more than the disk can hold is not handed to libblkid.
    const bool entriesApart = entriesLba + entrySectors <= firstUsable || entriesLba > lastUsable;
    const bool headerApart = lba < entriesLba || lba >= entriesLba + entrySectors;
    if (firstUsable > lastUsable || !entriesApart || !headerApart) {
        header.fault = "its entries overlap the area of its partitions or the header";
        return header;
    }
    header.readable = true;
    header.entriesAt = entriesLba * sectorSize;
    header.entryCount = count;
    if (lastUsable >= sectors) {
        header.fault = "it says the disk holds " + std::to_string((lastUsable + 1) * sectorSize) +
                       " bytes or more, but the image ends after " + std::to_string(copy.Size());
        return header;
    }
    // The header goes to libblkid only with its entries, which it reads in one piece.
    if (!copy.Copy(header.entriesAt, entrySectors * sectorSize)) {
        header.fault = "its " + std::to_string(count) + " entries are more than can be read";
        return header;
    }
    const auto entriesCrc = read_le<std::uint32_t>(bytes.data(), bytes.size(), kGptEntriesCrcOffset);
    if (copy.CopiedCrc(header.entriesAt, std::uint64_t{count} * entrySize) != entriesCrc) {
        header.fault = "the checksum of its entries fails";
        return header;
    }
    copy.Copy(lba * sectorSize, sectorSize);
    return header;
}

// The entries of the GPT whose readable header is header that start inside the disk.
std::vector<Partition> SalvageGpt(DiskCopy& copy, const GptHeader& header, std::uint32_t sectorSize) {
    constexpr std::uint64_t kEntriesAtOnce = 512; // 64 KiB of entries read at a time
    std::vector<Partition> partitions;
    std::vector<std::uint8_t> entries;
    const std::uint64_t sectors = copy.Size() / sectorSize;
    const std::uint64_t count = std::min(header.entryCount, kCopyBudget / kGptEntrySize);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t inBlock = i % kEntriesAtOnce;
        if (inBlock == 0 && !copy.Read(header.entriesAt + i * kGptEntrySize,
                                       static_cast<std::size_t>(kEntriesAtOnce * kGptEntrySize), entries))
            break;
        const std::uint8_t* entry = entries.data() + inBlock * kGptEntrySize;
        if (std::all_of(entry, entry + 16, [](std::uint8_t b) { return b == 0; }))
            continue; // unused
        const auto first = read_le<std::uint64_t>(entry, kGptEntrySize, kGptEntryFirstOffset);
        const auto last = read_le<std::uint64_t>(entry, kGptEntrySize, kGptEntryLastOffset);
        if (first == 0 || first >= sectors || last < first ||
            last - first >= std::numeric_limits<std::uint64_t>::max() / sectorSize ||
            i >= static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
            continue;
        partitions.push_back({static_cast<int>(i + 1), first * sectorSize, (last - first + 1) * sectorSize});
    }
    return partitions;
}

} // namespace

PartitionTable ReadPartitionTable(platform::Device& disk, std::uint32_t sectorSize) {
    PartitionTable table;
    const std::optional<std::uint64_t> size = disk.Size();
    if (!size || *size < std::uint64_t{2} * sectorSize)
        return table;
    DiskCopy copy(disk, *size);
    std::vector<std::uint8_t> mbr;
    copy.Copy(0, kHeadSize);
    copy.Blank(sectorSize, sectorSize); // the primary GPT header, put back below once found sound
    copy.Read(0, sectorSize, mbr);
    const bool protective = CopyMbrTables(copy, mbr, sectorSize);
    // A GPT header whose entries exceed the budget says so in its own fault; the MBR's chain and
    // labels are cut without one.
    const bool mbrTablesCut = copy.Spent();
    const GptHeader primary = CheckGptHeader(copy, 1, sectorSize);
    const GptHeader backup = CheckGptHeader(copy, *size / sectorSize - 1, sectorSize);
    if ((table.error = copy.Error()) != 0)
        return table;
    if (mbrTablesCut)
        table.note = "The partition tables of the image go on past the " + std::to_string(kCopyBudget >> 20) +
                     " MiB of them that are read: the partitions they list further on are left out.";
    bool empty = false;
    table.partitions = Probe(copy.Fd(), *size, sectorSize, empty);
    if (empty && !protective)
        table.unusable = "its MBR lists no partition of any size";
    if (!table.partitions.empty() || (!protective && !primary.present && !backup.present))
        return table;
    if ((primary.present && primary.fault.empty()) || (backup.present && backup.fault.empty()))
        table.unusable = "its GPT lists no partition";
    else if (!primary.present && !backup.present)
        table.unusable = "its protective MBR stands for a GPT, but neither GPT header is there";
    else if (!primary.present || !backup.present)
        table.unusable = "its " + std::string(primary.present ? "primary" : "backup") +
                         " GPT header cannot be used (" + (primary.present ? primary : backup).fault +
                         ") and the other is not there";
    else
        table.unusable = "neither GPT header can be used (the primary: " + primary.fault +
                         "; the backup: " + backup.fault + ")";
    if (primary.readable || backup.readable)
        table.salvaged = SalvageGpt(copy, primary.readable ? primary : backup, sectorSize);
    return table;
}

} // namespace image
