// Opening a volume's path on Linux: the container (a raw file or block device, EWF, VHD/VHDX, VMDK or
// split raw, told apart by content), then the volume inside it: the whole disk when it is one
// volume, else a partition window chosen from the partition table or by offset; last, if asked
// for, one of that volume's shadow copies.

#include "image/ImageStack.h"

#include "image/Containers.h"
#include "image/DriveValue.h"
#include "image/PartitionTable.h"
#include "image/PartitionWindow.h"
#include "image/ShadowCopies.h"
#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace image {
namespace {

// Bytes at a volume's start that the caller's test looks at: a boot sector.
constexpr std::size_t kVolumeHeadSize = 512;
constexpr std::size_t kHeadSize = 512; // bytes of a file that tell a container's kind
// Logical sector sizes a disk image's partition table may be written for, tried in this order after
// the one the disk states, if any (a container may state 512 for the image of a 4096-byte disk).
constexpr std::uint32_t kImageSectorSizes[] = {512, 4096};

// Whether the bytes of disk at offset begin a volume the reader reads.
bool HoldsVolume(platform::Device& disk, std::uint64_t offset, const VolumeReader& reader) {
    std::uint8_t head[kVolumeHeadSize];
    return disk.Seek(offset) == 0 && disk.Read(head, sizeof head) == 0 && reader.isVolume(head, sizeof head);
}

// The disk in the file at path.
struct Container {
    platform::OpenResult opened;
};

Container OpenContainer(const std::string& path) {
    Container container;
    container.opened = platform::OpenFile(path);
    if (!container.opened.device)
        return container;
    const std::string head = DeviceHead(*container.opened.device, kHeadSize);
    const std::string unreadable = UnreadableContainer(head);
    platform::OpenResult (*open)(const std::string&) = nullptr;
    if (IsEwfImage(path))
        open = OpenEwfImage;
    else if (IsVhdImage(path))
        open = OpenVhdImage;
    else if (IsVmdkImage(path))
        open = OpenVmdkImage;
    else if (IsSplitImage(path))
        open = OpenSplitImage;
    if (unreadable.empty() && open == nullptr)
        return container;
    container.opened.device.reset();
    if (!unreadable.empty())
        container.opened.problem =
            "The image " + path + " is a " + unreadable + " disk image, which cannot be read.";
    else
        container.opened = open(path);
    return container;
}

// The partition table that holds the reader's volumes under the first sector size that finds any,
// else the first table found at all, else the unusable one with the most entries that can be read.
// held tells which partitions hold one.
PartitionTable ReadTable(platform::Device& disk, const VolumeReader& reader, std::vector<bool>& held) {
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
            found.push_back(HoldsVolume(disk, partition.start, reader));
        // Of unusable tables, the one whose entries can be read tells the most.
        const bool unusableBetter =
            !table.unusable.empty() &&
            (chosen.unusable.empty() || chosen.salvaged.size() < table.salvaged.size());
        if ((chosen.partitions.empty() && (!table.partitions.empty() || unusableBetter)) ||
            std::find(found.begin(), found.end(), true) != found.end()) {
            chosen = std::move(table);
            held = std::move(found);
        }
        if (std::find(held.begin(), held.end(), true) != held.end())
            break;
    }
    return chosen;
}

platform::OpenResult Window(std::unique_ptr<platform::Device> disk, std::uint64_t start,
                            std::uint64_t length) {
    platform::OpenResult result;
    result.device = std::make_unique<PartitionWindow>(std::move(disk), start, length);
    return result;
}

platform::OpenResult Whole(std::unique_ptr<platform::Device> disk) {
    platform::OpenResult result;
    result.device = std::move(disk);
    return result;
}

platform::OpenResult Problem(std::string text) {
    platform::OpenResult result;
    result.problem = std::move(text);
    return result;
}

// Why the disk's table cannot be used, and what can be chosen instead.
std::string UnusableTable(const PartitionTable& table, std::optional<std::uint64_t> size,
                          const std::string& valueName) {
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
        return text + " Add @OFFSET to the " + valueName + " to name where a volume starts.";
    return text + " Its entries: " + list + "; add #N to the " + valueName +
           " to choose partition N, or @OFFSET to name where a volume starts.";
}

// The volume that choice names on disk, which it takes only when it finds one, so that the notes of
// the reads made stay with the caller; notes receives what the partition tables call for saying.
platform::OpenResult ChooseVolume(std::unique_ptr<platform::Device>& disk, const DriveValue& choice,
                                  const VolumeReader& reader, std::vector<std::string>& notes) {
    if (choice.kind == DriveValue::Kind::Offset) {
        const std::optional<std::uint64_t> size = disk->Size();
        if (size && choice.number >= *size)
            return Problem("The offset " + std::to_string(choice.number) +
                           " lies past the end of the image (" + std::to_string(*size) + " bytes).");
        return Window(std::move(disk), choice.number, size ? *size - choice.number : UINT64_MAX);
    }
    if (choice.kind == DriveValue::Kind::Whole && HoldsVolume(*disk, 0, reader)) {
        return Whole(std::move(disk));
    }
    std::vector<bool> held;
    const PartitionTable table = ReadTable(*disk, reader, held);
    if (!table.note.empty())
        notes.push_back(table.note);
    if (table.error != 0) {
        platform::OpenResult result;
        result.error = table.error;
        return result;
    }
    if (table.partitions.empty() && !table.unusable.empty()) {
        for (const Partition& partition : table.salvaged)
            if (choice.kind == DriveValue::Kind::Partition &&
                static_cast<std::uint64_t>(partition.number) == choice.number)
                return Window(std::move(disk), partition.start, partition.length);
        return Problem(UnusableTable(table, disk->Size(), reader.valueName));
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
        return Whole(std::move(disk));
    }
    const auto count = std::count(held.begin(), held.end(), true);
    if (count == 0)
        return Problem("The image holds no " + reader.kind + " partition.");
    std::string list;
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        if (!held[i])
            continue;
        if (count == 1)
            return Window(std::move(disk), partitions[i].start, partitions[i].length);
        list += std::string(list.empty() ? "" : ", ") + "#" + std::to_string(partitions[i].number) +
                " at offset " + std::to_string(partitions[i].start) + " (" +
                std::to_string(partitions[i].length) + " bytes)";
    }
    return Problem("The image holds " + std::to_string(count) + " " + reader.kind + " partitions: " + list +
                   "; add #N to the " + reader.valueName + " to choose partition N.");
}

} // namespace

bool IsVolumeFile(const std::wstring& name, const std::wstring& path) {
    std::string file;
    std::string image;
    if (!platform::ToNativePath(name, file) ||
        !platform::ToNativePath(ParseDriveValue(path, platform::PathExists, {}).value.path, image) ||
        !platform::FileExists(file))
        return false;
    std::vector<std::string> files{image};
    if (IsEwfImage(image))
        files = EwfSegmentNames(image);
    else if (IsSplitImage(image))
        files = SplitSegmentNames(image);
    return std::any_of(files.begin(), files.end(),
                       [&file](const std::string& other) { return platform::SameFile(file, other); });
}

platform::Drive ParseDrive(const std::wstring& value) {
    // OpenVolume reads the whole value again, and says what is wrong with it.
    const DriveValue parts = ParseDriveValue(value, platform::PathExists, {}).value;
    if (parts.letter != 0)
        return platform::Drive{value.substr(0, 2), value, parts.letter};
    // A disk image's "#N" or "@OFFSET" chooses the volume; the drive is the image.
    return platform::Drive{parts.path, value, 0};
}

platform::OpenResult OpenVolume(const std::wstring& path, const VolumeReader& reader) {
    const DriveValueParse parsed = ParseDriveValue(
        path, platform::PathExists, std::wstring(reader.valueName.begin(), reader.valueName.end()));
    const DriveValue& choice = parsed.value;
    std::string native;
    if (!platform::ToNativePath(parsed.problem.empty() ? choice.path : parsed.problem, native)) {
        platform::OpenResult result;
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
    std::vector<std::string> tableNotes;
    platform::OpenResult volume = ChooseVolume(container.opened.device, choice, reader, tableNotes);
    if (!volume.device && container.opened.device)
        volume.notes = container.opened.device->TakeNotes();
    if (volume.device && choice.shadowCopy)
        volume = OpenShadowCopy(std::move(volume.device), *choice.shadowCopy, reader.valueName);
    volume.notes.insert(volume.notes.begin(), tableNotes.begin(), tableNotes.end());
    return volume;
}

} // namespace image
