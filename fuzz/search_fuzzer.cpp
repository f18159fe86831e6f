// Fuzzes the program's whole search over a volume. The first input byte picks the options
// (RunSearchCase); the rest describes the volume (VolumeFromInput).

#include "platform/MemoryDevice.h"
#include "tools/fuzzsupport/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    vesk_fuzz::RunSearchCase(
        data[0], std::make_unique<platform::MemoryDevice>(vesk_fuzz::VolumeFromInput(data + 1, size - 1)));
    return 0;
}
