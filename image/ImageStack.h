#pragma once
// From the value that names a volume to the volume: the device, or the disk image's container, then the
// partition or offset chosen in it, then the shadow copy asked for. The face of the image layer.

#include "platform/Device.h"
#include "platform/Drive.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace image {

// What the caller reads out of the image, and the names its texts use for what this layer does not
// know of.
struct VolumeReader {
    // Whether the first sector of a device (size bytes of it, zeros past the device's end) begins
    // a volume the caller reads: how a disk holding one volume is told from a disk with a
    // partition table, and which of its partitions are candidates.
    std::function<bool(const std::uint8_t* sector, std::size_t size)> isVolume;
    std::string kind;      // the volumes' file system, as texts name it ("NTFS")
    std::string valueName; // what the user names a volume with, as texts name it
};

// Opens the volume at path (UTF-16 code units) for reading; never writes to it.
// Linux: path is a block device or an image file, of a volume or of a whole disk, raw or in a
// container (EWF, VHD/VHDX, VMDK, split raw NAME.001...), written as image/DriveValue.h reads it:
// a drive letter before, "#N" (partition N) or "@OFFSET" (the volume OFFSET bytes into the disk)
// after, then "/vssK" (the volume's shadow copy K). A value that breaks that grammar is a problem
// that says why. A disk with a partition table and no choice opens its one partition that
// reader.isVolume accepts.
// Windows: the volume or image file itself, at platform::DevicePathForDrive of the drive.
platform::OpenResult OpenVolume(const std::wstring& path, const VolumeReader& reader);

// Whether the file name (UTF-16 code units) is one that the volume at path (as OpenVolume takes
// it) is read from, which an output file must not overwrite: the device or image file itself, and
// on Linux the other segments of a split or EWF image. False when it cannot be told (name does not
// exist, say).
bool IsVolumeFile(const std::wstring& name, const std::wstring& path);

// The drive a value (UTF-16 code units) names.
// Linux: the value is opened as it is (OpenVolume reads it as image/DriveValue.h says). With
// "X:PATH" it shows as "X:" and has the letter X (as given; the junction table upper-cases it);
// any other value shows as the image or device path, without a "#N" or "@OFFSET", and has no
// letter.
// Windows: the drive text ("C:") is opened and shown, and its first character is the letter.
platform::Drive ParseDrive(const std::wstring& value);

} // namespace image
