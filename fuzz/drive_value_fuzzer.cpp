// Fuzzes the -d value's grammar alone ([X:]PATH[#N|@OFFSET][/vssK]; two input bytes to a UTF-16 code
// unit): parsing a value never fails, and a value it accepts keeps the path as typed, after the
// drive letter. Which prefixes exist is fixed by their length, so that every rule is reached.

#include "image/DriveValue.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring value;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        value.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    const image::DriveValueParse parse = image::ParseDriveValue(
        value, [](const std::wstring& path) { return path.size() % 3 == 0; }, L"-d value");
    const std::size_t start = parse.value.letter != 0 ? 2 : 0;
    if (parse.problem.empty() && value.compare(start, parse.value.path.size(), parse.value.path) != 0)
        __builtin_trap();
    return 0;
}
