// Opening a -d path on POSIX: the container (a raw file or block device, EWF, VHD/VHDX, VMDK or
// split raw, told apart by content), then the volume inside it: the whole disk when it is one
// volume, else a partition window chosen from the partition table or by offset; last, if asked
// for, one of that volume's shadow copies.

#include "platform/Device.h"
#include "platform/DriveValue.h"
#include "platform/PartitionWindow.h"
#include "platform/posix/Containers.h"
#include "platform/posix/FileDevice.h"
#include "platform/posix/NativePath.h"
#include "platform/posix/PartitionTable.h"
#include "platform/posix/ShadowCopies.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// An NTFS boot sector's OEM identifier, 8 bytes at offset 3.
constexpr char kNtfsOem[] = "NTFS    ";
constexpr std::size_t kNtfsOemOffset = 3;
constexpr std::size_t kHeadSize = 512; // bytes of a file that tell a container's kind
// Logical sector sizes a disk image's partition table may be written for, tried in this order after
// the one the disk states, if any (a container may state 512 for the image of a 4096-byte disk).
constexpr std::uint32_t kImageSectorSizes[] = {512, 4096};

bool HoldsNtfs(Device& disk, std::uint64_t offset) {
    std::uint8_t head[kNtfsOemOffset + sizeof kNtfsOem - 1];
    return disk.Seek(offset) == 0 && disk.Read(head, sizeof head) == 0 &&
           std::memcmp(head + kNtfsOemOffset, kNtfsOem, sizeof kNtfsOem - 1) == 0;
}

// The disk in the file at path.
struct Container {
    OpenResult opened;
};

Container OpenContainer(const std::string& path) {
    Container container;
    // Opened without waiting, so that a FIFO is refused rather than waited on for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        container.opened.error = static_cast<ErrorCode>(errno);
        return container;
    }
    const std::string kind = UnreadableFileKind(fd);
    if (!kind.empty()) {
        ::close(fd);
        container.opened.problem =
            "The path " + path + " names " + kind + ", not an image file or a block device.";
        return container;
    }
    if (::fcntl(fd, F_SETFL, O_RDONLY) != 0) { // reads of a disk wait as usual
        container.opened.error = static_cast<ErrorCode>(errno);
        ::close(fd);
        return container;
    }
    std::string head(kHeadSize, '\0');
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::string unreadable = UnreadableContainer(head);
    OpenResult (*open)(const std::string&) = nullptr;
    if (IsEwfImage(path))
        open = OpenEwfImage;
    else if (IsVhdImage(path))
        open = OpenVhdImage;
    else if (IsVmdkImage(path))
        open = OpenVmdkImage;
    else if (IsSplitImage(path))
        open = OpenSplitImage;
    if (unreadable.empty() && open == nullptr) {
        container.opened.device = MakeFileDevice(fd);
        return container;
    }
    ::close(fd);
    if (!unreadable.empty())
        container.opened.problem =
            "The image " + path + " is a " + unreadable + " disk image, which cannot be read.";
    else
        container.opened = open(path);
    return container;
}

// The partition table that holds NTFS partitions under the first sector size that finds any, else
// the first table found at all, else the unusable one with the most entries that can be read.
PartitionTable ReadTable(Device& disk, std::vector<bool>& ntfs) {
    std::vector<std::uint32_t> sectorSizes;
    if (const std::optional<std::uint32_t> size = disk.SectorSize())
        sectorSizes.push_back(*size);
    for (std::uint32_t size : kImageSectorSizes)
        if (std::find(sectorSizes.begin(), sectorSizes.end(), size) == sectorSizes.end())
            sectorSizes.push_back(size);
    PartitionTable chosen;
    for (std::uint32_t sectorSize : sectorSizes) {
        PartitionTable table = ReadPartitionTable(disk, sectorSize);
        if (table.error != 0)
            return table;
        std::vector<bool> found;
        for (const Partition& partition : table.partitions)
            found.push_back(HoldsNtfs(disk, partition.start));
        // Of unusable tables, the one whose entries can be read tells the most.
        const bool unusableBetter =
            !table.unusable.empty() &&
            (chosen.unusable.empty() || chosen.salvaged.size() < table.salvaged.size());
        if ((chosen.partitions.empty() && (!table.partitions.empty() || unusableBetter)) ||
            std::find(found.begin(), found.end(), true) != found.end()) {
            chosen = std::move(table);
            ntfs = std::move(found);
        }
        if (std::find(ntfs.begin(), ntfs.end(), true) != ntfs.end())
            break;
    }
    return chosen;
}

OpenResult Window(std::unique_ptr<Device> disk, std::uint64_t start, std::uint64_t length) {
    OpenResult result;
    result.device = std::make_unique<PartitionWindow>(std::move(disk), start, length);
    return result;
}

OpenResult Problem(std::string text) {
    OpenResult result;
    result.problem = std::move(text);
    return result;
}

// Why the disk's table cannot be used, and what can be chosen instead.
std::string UnusableTable(const PartitionTable& table, std::optional<std::uint64_t> size) {
    std::string text = "The image has a partition table that cannot be used: " + table.unusable + ".";
    constexpr std::size_t kListed = 16; // entries named; a crafted table may hold thousands
    std::string list;
    for (std::size_t i = 0; i < table.salvaged.size(); ++i) {
        if (i == kListed) {
            list += " and " + std::to_string(table.salvaged.size() - kListed) + " more";
            break;
        }
        const Partition& partition = table.salvaged[i];
        const bool whole = size && partition.start <= *size && partition.length <= *size - partition.start;
        list += std::string(list.empty() ? "" : ", ") + "#" + std::to_string(partition.number) +
                " at offset " + std::to_string(partition.start) + " (" + std::to_string(partition.length) +
                " bytes" + (whole ? "" : ", past the end of the image") + ")";
    }
    if (list.empty())
        return text + " Add @OFFSET to the -d value to name where a volume starts.";
    return text + " Its entries: " + list +
           "; add #N to the -d value to choose partition N, or @OFFSET to name where a volume starts.";
}

// The volume that choice names on the disk of container.
OpenResult ChooseVolume(Container container, const DriveValue& choice) {
    std::unique_ptr<Device> disk = std::move(container.opened.device);
    if (choice.kind == DriveValue::Kind::Offset) {
        const std::optional<std::uint64_t> size = disk->Size();
        if (size && choice.number >= *size)
            return Problem("The offset " + std::to_string(choice.number) +
                           " lies past the end of the image (" + std::to_string(*size) + " bytes).");
        return Window(std::move(disk), choice.number, size ? *size - choice.number : UINT64_MAX);
    }
    if (choice.kind == DriveValue::Kind::Whole && HoldsNtfs(*disk, 0)) {
        container.opened.device = std::move(disk);
        return std::move(container.opened);
    }
    std::vector<bool> ntfs;
    const PartitionTable table = ReadTable(*disk, ntfs);
    if (table.error != 0) {
        OpenResult result;
        result.error = table.error;
        return result;
    }
    if (table.partitions.empty() && !table.unusable.empty()) {
        for (const Partition& partition : table.salvaged)
            if (choice.kind == DriveValue::Kind::Partition &&
                static_cast<std::uint64_t>(partition.number) == choice.number)
                return Window(std::move(disk), partition.start, partition.length);
        return Problem(UnusableTable(table, disk->Size()));
    }
    const std::vector<Partition>& partitions = table.partitions;
    if (choice.kind == DriveValue::Kind::Partition) {
        std::string numbers;
        for (const Partition& partition : partitions) {
            if (static_cast<std::uint64_t>(partition.number) == choice.number)
                return Window(std::move(disk), partition.start, partition.length);
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(partition.number);
        }
        if (numbers.empty())
            return Problem("The image has no partition table, so no partition " +
                           std::to_string(choice.number) + ".");
        return Problem("The image has no partition " + std::to_string(choice.number) +
                       "; its partitions are " + numbers + ".");
    }
    // A disk without a table is taken for a volume, which the volume library then judges.
    if (partitions.empty()) {
        container.opened.device = std::move(disk);
        return std::move(container.opened);
    }
    const auto count = std::count(ntfs.begin(), ntfs.end(), true);
    if (count == 0)
        return Problem("The image holds no NTFS partition.");
    std::string list;
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        if (!ntfs[i])
            continue;
        if (count == 1)
            return Window(std::move(disk), partitions[i].start, partitions[i].length);
        list += std::string(list.empty() ? "" : ", ") + "#" + std::to_string(partitions[i].number) +
                " at offset " + std::to_string(partitions[i].start) + " (" +
                std::to_string(partitions[i].length) + " bytes)";
    }
    return Problem("The image holds " + std::to_string(count) + " NTFS partitions: " + list +
                   "; add #N to the -d value to choose partition N.");
}

} // namespace

std::wstring DevicePathForDrive(const std::wstring& drive) {
    return drive;
}

bool IsVolumeFile(const std::wstring& name, const std::wstring& path) {
    std::string file;
    std::string image;
    struct stat named;
    if (!ToNativePath(name, file) || !ToNativePath(ParseDriveValue(path, PathExists).value.path, image) ||
        ::stat(file.c_str(), &named) != 0)
        return false;
    std::vector<std::string> files{image};
    if (IsEwfImage(image))
        files = EwfSegmentNames(image);
    else if (IsSplitImage(image))
        files = SplitSegmentNames(image);
    return std::any_of(files.begin(), files.end(), [&named](const std::string& other) {
        struct stat info;
        return ::stat(other.c_str(), &info) == 0 && info.st_dev == named.st_dev &&
               info.st_ino == named.st_ino;
    });
}

OpenResult OpenDevice(const std::wstring& path) {
    const DriveValueParse parsed = ParseDriveValue(path, PathExists);
    const DriveValue& choice = parsed.value;
    std::string native;
    if (!ToNativePath(parsed.problem.empty() ? choice.path : parsed.problem, native)) {
        OpenResult result;
        result.error = EILSEQ;
        return result;
    }
    if (!parsed.problem.empty())
        return Problem(native);
    Container container = OpenContainer(native);
    if (!container.opened.device)
        return std::move(container.opened);
    if (container.opened.device->Size() == std::uint64_t{0})
        return Problem("The image " + native + " is empty (0 bytes).");
    OpenResult volume = ChooseVolume(std::move(container), choice);
    if (!volume.device || !choice.shadowCopy)
        return volume;
    return OpenShadowCopy(std::move(volume.device), *choice.shadowCopy);
}

} // namespace platform
