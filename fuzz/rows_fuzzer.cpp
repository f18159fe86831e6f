// Fuzzes the program's whole search over a volume with its hits written as rows for other
// programs, which read the times and flags of $STANDARD_INFORMATION and of every FILE_NAME hit.
// The input is the search fuzzer's: the first byte picks the options (RunSearchCase), the rest
// describes the volume (VolumeFromInput). Rows always carry their paths, so the -sP bit picks the
// format instead: --bodyfile when set, else --csv (--jsonl differs from it in its escapes only).

#include "platform/MemoryDevice.h"
#include "tools/fuzzsupport/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    constexpr std::uint8_t kNoPathBit = 1u << 6;
    vesk_fuzz::RunSearchCase(
        data[0], std::make_unique<platform::MemoryDevice>(vesk_fuzz::VolumeFromInput(data + 1, size - 1)),
        (data[0] & kNoPathBit) != 0 ? RowFormat::Bodyfile : RowFormat::Csv);
    return 0;
}
