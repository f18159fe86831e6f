// Fuzzes the -d value's grammar alone ([X:]PATH[#N|@OFFSET]; two input bytes to a UTF-16 code unit):
// parsing a drive and splitting off its volume choice neither fail nor lose the path before it.

#include "platform/Drive.h"
#include "platform/posix/VolumeChoice.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring value;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        value.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    const platform::Drive drive = platform::ParseDrive(value);
    const platform::VolumeChoice choice = platform::SplitVolumeChoice(drive.devicePath);
    if (choice.kind != platform::VolumeChoice::Kind::Whole &&
        drive.devicePath.compare(0, choice.path.size(), choice.path) != 0)
        __builtin_trap();
    return 0;
}
