// Fuzzes the way from a disk image to a volume: the input, after two bytes, describes a disk image
// (VolumeFromInput), written to a file and opened as a -d value opens one: container and partition
// table told by content (libblkid reads the file), a partition or offset chosen by the value's
// suffix, the partition window; the volume found is searched. The first byte picks the suffix, by
// its two low bits none, "#N", "@OFFSET" in KiB or in sectors (N, OFFSET from the other six bits);
// the second the search's options (RunSearchCase).

#include "image/ImageStack.h"
#include "tools/fuzzsupport/fuzz_support.h"
#include "volume/BootSector.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

// The file the disk is written to, one per process, removed when the process ends.
struct ImageFile {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("vesk-disk-fuzzer-" + std::to_string(std::random_device{}()) + ".img");
    ~ImageFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    static const ImageFile image;
    const std::vector<std::uint8_t> disk = vesk_fuzz::VolumeFromInput(data + 2, size - 2);
    std::ofstream(image.path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(disk.data()), static_cast<std::streamsize>(disk.size()));
    const std::string path = image.path.string(); // ASCII
    const std::wstring number = std::to_wstring((data[0] >> 2) * (data[0] & 2 ? 64u << (data[0] & 1) : 1u));
    const wchar_t* const suffixes[] = {L"", L"#", L"@", L"@"};
    const wchar_t* const units[] = {L"", L"", L"k", L"s"};
    const std::wstring value = std::wstring(path.begin(), path.end()) +
                               (data[0] & 3 ? suffixes[data[0] & 3] + number + units[data[0] & 3] : L"");
    const image::VolumeReader ntfs{Krod::LooksLikeNtfsBootSector, "NTFS", "-d value"};
    if (platform::OpenResult opened = image::OpenVolume(value, ntfs); opened.device)
        vesk_fuzz::RunSearchCase(data[1], std::move(opened.device));
    return 0;
}
