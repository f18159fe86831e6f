// Fuzzes the index views (INDEX_ROOT, INDEX_ALLOCATION blocks, $BITMAP), junction targets and the
// junction table over a whole volume. The input describes the volume (VolumeFromInput).

#include "platform/MemoryDevice.h"
#include "tools/fuzzsupport/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk_fuzz::WalkIndexes(std::make_unique<platform::MemoryDevice>(vesk_fuzz::VolumeFromInput(data, size)));
    return 0;
}
