// Fuzzes the shadow copy layer: the input is a volume (tools/fuzzseed/shadow_volume.py writes the
// seed), whose first copy is opened and read through the library.

#include "image/ShadowCopies.h"
#include "platform/MemoryDevice.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::size_t kReadSize = 65536;      // four of the copy's 16 KiB blocks a read
constexpr std::uint64_t kReadLimit = 1 << 20; // the copy may claim any size: reading stops here

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::OpenResult opened = image::OpenShadowCopy(
        std::make_unique<platform::MemoryDevice>(std::vector<std::uint8_t>(data, data + size)), 1,
        "-d value");
    if (!opened.device)
        return 0;
    std::vector<std::uint8_t> buffer(kReadSize);
    const std::uint64_t end = std::min(opened.device->Size().value_or(0), kReadLimit);
    for (std::uint64_t at = 0; at < end; at += kReadSize)
        if (opened.device->Seek(at) != 0 || opened.device->Read(buffer.data(), buffer.size()) != 0)
            break;
    return 0;
}
