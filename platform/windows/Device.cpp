// Devices on Windows: the volume opened unbuffered with CreateFileW and read with SetFilePointer
// and ReadFile in whole, aligned sectors, with read-ahead for sequential scans.

#include "platform/Device.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace platform {
namespace {

// What turns a drive text into the name of its volume: "C:" is opened as "\\.\C:".
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";
constexpr std::size_t kDevicePrefixLength = sizeof kDevicePrefix / sizeof kDevicePrefix[0] - 1;

// Every read of an unbuffered handle starts at a multiple of the device's sector size, covers whole
// sectors and lands in memory aligned to the sector size. Reads are aligned to this at least, a
// multiple of every common sector size, so a device that cannot tell its size is read correctly too.
constexpr std::uint32_t kMinimumAlignment = 4096;
// Sector sizes beyond this are not believed (a boot sector cannot describe them either).
constexpr std::uint32_t kLargestSector = 65536;
// Large enough to amortise a system call, a multiple of every alignment above.
constexpr std::size_t kReadAheadSize = 1 << 20;
// The file pointer's position is unknown (after a failed read).
constexpr std::uint64_t kUnknownPosition = std::numeric_limits<std::uint64_t>::max();
// Offsets SetFilePointer cannot express lie past the end of any device.
constexpr std::uint64_t kLargestOffset = static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max());

bool IsPowerOfTwo(std::uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

// The drive's sector size as GetDiskFreeSpaceW reports it for the drive text, nothing when it
// cannot (an image file named by its path, for instance).
std::optional<std::uint32_t> QuerySectorSize(const std::wstring& path) {
    std::wstring drive = path;
    if (drive.compare(0, kDevicePrefixLength, kDevicePrefix) == 0)
        drive.erase(0, kDevicePrefixLength);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceW(drive.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters) ||
        bytesPerSector == 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(bytesPerSector);
}

// Memory for unbuffered reads: VirtualAlloc aligns it to the allocation granularity (64 KiB).
class AlignedBlock {
  public:
    explicit AlignedBlock(std::size_t size)
        : bytes_(static_cast<std::uint8_t*>(
              VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
    ~AlignedBlock() {
        if (bytes_ != nullptr)
            VirtualFree(bytes_, 0, MEM_RELEASE);
    }
    AlignedBlock(const AlignedBlock&) = delete;
    AlignedBlock& operator=(const AlignedBlock&) = delete;
    std::uint8_t* Bytes() const { return bytes_; }

  private:
    std::uint8_t* bytes_;
};

class WindowsDevice : public Device {
  public:
    WindowsDevice(HANDLE handle, std::optional<std::uint32_t> sectorSize)
        : handle_(handle), sectorSize_(sectorSize), block_(kReadAheadSize) {
        if (sectorSize_ && IsPowerOfTwo(*sectorSize_) && *sectorSize_ <= kLargestSector)
            alignment_ = std::max(kMinimumAlignment, *sectorSize_);
    }
    ~WindowsDevice() override { CloseHandle(handle_); }
    WindowsDevice(const WindowsDevice&) = delete;
    WindowsDevice& operator=(const WindowsDevice&) = delete;

    bool HasMemory() const { return block_.Bytes() != nullptr; }

    std::optional<std::uint32_t> SectorSize() const override { return sectorSize_; }

    // A volume's length as the disk driver reports it, or an image file's length.
    std::optional<std::uint64_t> Size() const override {
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        if (DeviceIoControl(handle_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                            &returned, nullptr) &&
            length.Length.QuadPart >= 0)
            return static_cast<std::uint64_t>(length.Length.QuadPart);
        LARGE_INTEGER fileSize{};
        if (GetFileSizeEx(handle_, &fileSize) && fileSize.QuadPart >= 0)
            return static_cast<std::uint64_t>(fileSize.QuadPart);
        return std::nullopt;
    }

    // The position is ours; the file pointer follows it when a read needs the device.
    ErrorCode Seek(std::uint64_t offset) override {
        position_ = offset;
        return 0;
    }

    // Every read goes through the aligned block: a read that continues the previous one or the block
    // (a scan of records with reads of parent directories between them) fills it whole, any other
    // read only with the aligned sectors it covers. What the block holds serves
    // later reads too: the volume is never written, so it cannot go stale.
    ErrorCode Read(void* buffer, std::size_t size) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::uint64_t position = position_;
        const bool sequential = position == previousEnd_ || position == blockStart_ + blockFilled_;
        position_ += size;
        previousEnd_ = position_;
        while (size > 0) {
            if (position >= blockStart_ && position - blockStart_ < blockFilled_) {
                const std::size_t n = std::min<std::uint64_t>(size, blockFilled_ - (position - blockStart_));
                std::memcpy(out, block_.Bytes() + (position - blockStart_), n);
                out += n;
                position += n;
                size -= n;
                continue;
            }
            const std::uint64_t start = position - position % alignment_;
            const std::size_t needed =
                std::min<std::uint64_t>(kReadAheadSize, RoundUp(position - start + size));
            if (ErrorCode error = Fill(start, sequential ? kReadAheadSize : needed, needed))
                return error;
        }
        return 0;
    }

  private:
    std::uint64_t RoundUp(std::uint64_t n) const { return (n + alignment_ - 1) / alignment_ * alignment_; }

    // Fills the block with size bytes from offset start, or, if the device refuses that many (a
    // read-ahead that would cross the end of a volume), with the needed bytes alone. What lies past
    // the end of the device reads as zeros.
    ErrorCode Fill(std::uint64_t start, std::size_t size, std::size_t needed) {
        blockFilled_ = 0;
        std::size_t filled = size;
        ErrorCode error = ReadBlock(start, size);
        if (error != 0 && needed < size) {
            filled = needed;
            error = ReadBlock(start, needed);
        }
        if (error != 0)
            return error;
        blockStart_ = start;
        blockFilled_ = filled;
        return 0;
    }

    ErrorCode ReadBlock(std::uint64_t start, std::size_t size) {
        std::uint8_t* bytes = block_.Bytes();
        std::size_t done = 0;
        if (start <= kLargestOffset) {
            if (ErrorCode error = MoveFilePointer(start))
                return error;
            while (done < size) {
                DWORD got = 0;
                if (!ReadFile(handle_, bytes + done, static_cast<DWORD>(size - done), &got, nullptr)) {
                    const DWORD error = GetLastError();
                    if (error == ERROR_HANDLE_EOF)
                        break;
                    filePointer_ = kUnknownPosition;
                    return error;
                }
                done += got;
                filePointer_ += got;
                // The end of the device; a file whose size is no multiple of the sector size ends
                // with a part of one, after which no unbuffered read can continue.
                if (got == 0 || got % alignment_ != 0)
                    break;
            }
        }
        std::memset(bytes + done, 0, size - done);
        return 0;
    }

    // Places the file pointer at offset with SetFilePointer, unless it stands there already.
    ErrorCode MoveFilePointer(std::uint64_t offset) {
        if (filePointer_ == offset)
            return 0;
        const LONG requestedHigh = static_cast<LONG>(offset >> 32);
        LONG high = requestedHigh;
        const DWORD low = SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
        if (low != static_cast<DWORD>(offset & 0xFFFFFFFF) || high != requestedHigh) {
            filePointer_ = kUnknownPosition;
            const DWORD error = GetLastError();
            return error != 0 ? error : ERROR_SEEK;
        }
        filePointer_ = offset;
        return 0;
    }

    HANDLE handle_;
    std::optional<std::uint32_t> sectorSize_;
    std::uint32_t alignment_ = kMinimumAlignment;
    AlignedBlock block_; // bytes from blockStart_ on, blockFilled_ of them valid
    std::uint64_t blockStart_ = 0;
    std::uint64_t blockFilled_ = 0;
    std::uint64_t filePointer_ = 0; // where the handle's file pointer stands
    std::uint64_t position_ = 0;    // where the next read starts
    std::uint64_t previousEnd_ = 0; // where the previous read ended
};

} // namespace

std::wstring DevicePathForDrive(const std::wstring& drive) {
    return kDevicePrefix + drive;
}

OpenResult OpenDevice(const std::wstring& path) {
    OpenResult result;
    // Asked before the open, as the drive's figures do not depend on it.
    const std::optional<std::uint32_t> sectorSize = QuerySectorSize(path);
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = GetLastError();
        return result;
    }
    auto device = std::make_unique<WindowsDevice>(handle, sectorSize);
    if (!device->HasMemory()) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    result.device = std::move(device);
    return result;
}

} // namespace platform
