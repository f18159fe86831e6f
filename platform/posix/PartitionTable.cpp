#include "platform/posix/PartitionTable.h"

#include <blkid/blkid.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <set>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::uint64_t kBlkidSector = 512; // libblkid states starts and sizes in 512-byte units
constexpr std::uint64_t kBlock = 1 << 20;   // the copy's unit: partitioning tools align to 1 MiB
constexpr int kMaxRounds = 64;              // each round may follow one more link between logical partitions

struct FreeProbe {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};

// The partitions libblkid finds on the disk that fd reads; entries whose numbers or bytes do not
// fit are left out.
std::vector<Partition> Probe(int fd, std::uint32_t sectorSize) {
    std::vector<Partition> partitions;
    const std::unique_ptr<blkid_struct_probe, FreeProbe> probe(blkid_new_probe());
    if (!probe || blkid_probe_set_device(probe.get(), fd, 0, 0) != 0)
        return partitions;
    blkid_probe_set_sectorsize(probe.get(), sectorSize);
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    if (blkid_do_safeprobe(probe.get()) != 0)
        return partitions;
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    const int count = list != nullptr ? blkid_partlist_numof_partitions(list) : 0;
    for (int i = 0; i < count; ++i) {
        blkid_partition entry = blkid_partlist_get_partition(list, i);
        const int number = blkid_partition_get_partno(entry);
        const blkid_loff_t start = blkid_partition_get_start(entry);
        const blkid_loff_t size = blkid_partition_get_size(entry);
        constexpr auto kLimit = std::numeric_limits<std::uint64_t>::max() / kBlkidSector;
        if (number <= 0 || start < 0 || size < 0 || static_cast<std::uint64_t>(start) > kLimit ||
            static_cast<std::uint64_t>(size) > kLimit)
            continue;
        partitions.push_back({number, static_cast<std::uint64_t>(start) * kBlkidSector,
                              static_cast<std::uint64_t>(size) * kBlkidSector});
    }
    return partitions;
}

// A file in memory as large as the disk, holding the disk's bytes where they were copied and
// zeros elsewhere (it takes memory only where copied).
class DiskCopy {
  public:
    DiskCopy(Device& disk, std::uint64_t size) : disk_(disk), size_(size) {
        fd_ = ::memfd_create("partition-table", MFD_CLOEXEC);
        if (fd_ < 0 || size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
            ::ftruncate(fd_, static_cast<off_t>(size)) != 0)
            error_ = static_cast<ErrorCode>(errno != 0 ? errno : EFBIG);
    }
    ~DiskCopy() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DiskCopy(const DiskCopy&) = delete;
    DiskCopy& operator=(const DiskCopy&) = delete;

    int Fd() const { return fd_; }
    ErrorCode Error() const { return error_; }

    // Copies the blocks that hold the first MiB from offset on, where the disk has them and they
    // were not copied before; true when there were any.
    bool Copy(std::uint64_t offset) {
        bool copied = false;
        for (std::uint64_t block = offset / kBlock; block <= (offset / kBlock) + 1; ++block) {
            if (error_ != 0 || block >= (size_ + kBlock - 1) / kBlock || !copied_.insert(block).second)
                continue;
            const std::uint64_t at = block * kBlock;
            buffer_.resize(std::min(kBlock, size_ - at));
            if ((error_ = disk_.Seek(at)) != 0 || (error_ = disk_.Read(buffer_.data(), buffer_.size())) != 0)
                return false;
            if (::pwrite(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(at)) !=
                static_cast<ssize_t>(buffer_.size())) {
                error_ = static_cast<ErrorCode>(errno != 0 ? errno : EIO);
                return false;
            }
            copied = true;
        }
        return copied;
    }

  private:
    Device& disk_;
    const std::uint64_t size_;
    int fd_ = -1;
    ErrorCode error_ = 0;
    std::set<std::uint64_t> copied_; // block numbers
    std::vector<std::uint8_t> buffer_;
};

} // namespace

PartitionTable ReadPartitionTable(Device& disk, int fd, std::uint32_t sectorSize) {
    PartitionTable table;
    if (fd >= 0) {
        table.partitions = Probe(fd, sectorSize);
        return table;
    }
    const std::optional<std::uint64_t> size = disk.Size();
    if (!size || *size == 0)
        return table;
    DiskCopy copy(disk, *size);
    copy.Copy(0);
    copy.Copy(*size - std::min(*size, kBlock));
    for (int round = 0; round < kMaxRounds && copy.Error() == 0; ++round) {
        table.partitions = Probe(copy.Fd(), sectorSize);
        bool grew = false;
        for (const Partition& partition : table.partitions) {
            grew = copy.Copy(partition.start) || grew;
            if (partition.length <= std::numeric_limits<std::uint64_t>::max() - partition.start)
                grew = copy.Copy(partition.start + partition.length) || grew;
        }
        if (!grew)
            break;
    }
    table.error = copy.Error();
    return table;
}

} // namespace platform
