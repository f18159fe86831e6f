#pragma once
// A volume opened for raw reading: a disk, a partition or an image file.

#include "platform/ErrorCode.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// size bytes of a device from offset on.
struct ByteRange {
    std::uint64_t offset;
    std::size_t size;
};

// A read started in the background (Device::ReadInBackground).
class BackgroundRead {
  public:
    // Waits for the read to end; destroying an unfinished read waits too.
    virtual ~BackgroundRead() = default;
    // Waits for the read to end and returns 0 or its error.
    virtual ErrorCode Wait() = 0;
};

// A read-only device with a read position, so that consecutive reads need no seek.
// Destroying the device closes it. Failures are returned as error codes, never thrown.
class Device {
  public:
    virtual ~Device() = default;

    // Starts reading size bytes at offset into buffer while the caller goes on, as Read would read
    // them (zeros past the end), without using or moving the read position: a scan has the next
    // block read while it looks at the one before. buffer must stay untouched until the read has
    // ended. Returns nothing when the device cannot read in the background; the caller then reads
    // as usual. The device must outlive the read.
    virtual std::unique_ptr<BackgroundRead> ReadInBackground(void* buffer, std::uint64_t offset,
                                                             std::size_t size) {
        (void)buffer;
        (void)offset;
        (void)size;
        return nullptr;
    }

    // Tells the device that ranges are going to be read soon, in about the order given: a scan
    // names the reads far from the block in hand that its records will need, ordered by position,
    // so that the device may fetch them together while the scan goes on. Changes nothing that a
    // read returns, reports no error (the read itself does) and reads nothing outside the device.
    // A device, or a layer that cannot pass the hint on, ignores it. Returns whether the device has
    // to fetch some of the ranges (they were not at hand already): the caller then does well to
    // name its reads earlier. The device may read at once, and keep until the next call, no more
    // than keepBytes of the ranges it has at hand (a scan gives the size of its blocks).
    virtual bool Prefetch(const std::vector<ByteRange>& ranges, std::size_t keepBytes) {
        (void)ranges;
        (void)keepBytes;
        return false;
    }

    // Notes about damage that the reads so far met and read past (bytes of a damaged container
    // read as zeros), one line each for the user, in the order met; each is handed out once. A
    // layer over another device hands out that device's notes too. The caller prints them.
    virtual std::vector<std::string> TakeNotes() { return {}; }

    // The device's logical sector size, or nothing when the platform cannot tell (image files).
    virtual std::optional<std::uint32_t> SectorSize() const = 0;

    // The device's size in bytes, or nothing when the platform cannot tell.
    virtual std::optional<std::uint64_t> Size() const = 0;

    // Moves the read position to a byte offset, which may lie past the end. Returns 0 or the error.
    virtual ErrorCode Seek(std::uint64_t offset) = 0;

    // Reads size bytes at the read position into buffer and advances the position by size.
    // Bytes past the end of the device read as zero. Returns 0 or the error; after an error the
    // position and the buffer contents are unspecified.
    virtual ErrorCode Read(void* buffer, std::size_t size) = 0;
};

// Either an opened device or what prevented the open: a system error, or else a problem with what
// the path names (an image missing a segment, a partition that does not exist), in one line.
struct OpenResult {
    std::unique_ptr<Device> device;
    ErrorCode error = 0;
    std::string problem;
    std::vector<std::string> notes; // when the open failed: the notes of the reads it made
};

// The path to open for a drive text (UTF-16 code units): "\\.\" plus the drive on Windows,
// the drive text itself (a device or image path) on POSIX.
std::wstring DevicePathForDrive(const std::wstring& drive);

// Opens the volume or image file at path (UTF-16 code units) for reading, as it is; never writes
// to it. Windows only: on POSIX the image layer opens files by their native names.
OpenResult OpenDevice(const std::wstring& path);

} // namespace platform
