// The grammar of the value that names a volume, as the rows of drive_values.txt show it: "$ VALUE" and its
// parts, or the line that refuses it. The files that exist are the few named below.

#include "image/DriveValue.h"
#include "tests/common/transcript.h"

#include <algorithm>

namespace {

const wchar_t* const kExisting[] = {L"disk.img",      L"./disk.img", L"/cases/disk.img", L"case#1.img",
                                    L"mail@home.img", L"C:odd.img",  L"/dev/sdb",        L"dir#2",
                                    L"named/vss1",    L"/cases",     L"/cases/vss2.img"};

std::wstring Row(const std::vector<std::wstring>& words) {
    const image::DriveValueParse parsed = image::ParseDriveValue(
        words.at(0),
        [](const std::wstring& path) {
            return std::find(std::begin(kExisting), std::end(kExisting), path) != std::end(kExisting);
        },
        L"-d value");
    if (!parsed.problem.empty())
        return parsed.problem + L"\n";
    const image::DriveValue& value = parsed.value;
    const wchar_t* const kinds[] = {L"whole", L"partition ", L"offset "};
    const auto kind = static_cast<std::size_t>(value.kind);
    return (value.letter != 0 ? std::wstring(1, value.letter) + L": " : L"") + value.path + L" " +
           kinds[kind] + (kind == 0 ? L"" : std::to_wstring(value.number)) +
           (value.shadowCopy ? L" copy " + std::to_wstring(*value.shadowCopy) : L"") + L"\n";
}

TEST(DriveValue, AsTheRowsShow) {
    vesk_test::ExpectTranscript(VESK_DRIVE_VALUE_ROWS, Row);
}

} // namespace
