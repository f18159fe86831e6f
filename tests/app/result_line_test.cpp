#include "app/ResultLine.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

struct LineCase {
    const char* what;
    ResultColumns columns;
    std::wstring drive;
    std::wstring path;
    ResultFields fields;
    std::wstring line;
};

class ResultLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ResultLineTest, ShowsTheChosenColumnsInTheirFixedOrder) {
    const LineCase& c = GetParam();
    std::wstring text = L"before\n";
    AppendResultLine(text, c.columns, c.drive, c.path, c.fields);
    EXPECT_EQ(text, L"before\n" + c.line);
}

const ResultColumns kNone{};
const ResultColumns kAll{true, true, true, true, true};
const ResultFields kBootIni{36, 1500, 4096, 3, L"boot.ini", false};
const ResultFields kNotepad{7, 0, 0, 1, L"notepad.exe", false};

INSTANTIATE_TEST_SUITE_P(
    Lines, ResultLineTest,
    testing::Values(
        LineCase{"no column", kNone, L"C:", L"\\Windows\\", kNotepad, L"\\Windows\\notepad.exe\n"},
        LineCase{"every column", kAll, L"C:", L"\\", kBootIni, L"36 1500 4096 W&D C:\\boot.ini\n"},
        LineCase{
            "drive without path", {false, false, false, false, true}, L"C:", L"", kBootIni, L"C:boot.ini\n"},
        LineCase{
            "size alone", {false, true, false, false, false}, L"C:", L"\\", kBootIni, L"1500 \\boot.ini\n"},
        LineCase{"allocated size alone",
                 {false, false, true, false, false},
                 L"C:",
                 L"\\",
                 kBootIni,
                 L"4096 \\boot.ini\n"},
        LineCase{"largest numbers",
                 {true, true, true, false, false},
                 L"",
                 L"\\",
                 {4294967295u, 18446744073709551615u, 0, 1, L"x", false},
                 L"4294967295 18446744073709551615 0 \\x\n"},
        LineCase{"directory name", kNone, L"", L"\\A\\", {40, 0, 0, 1, L"B", true}, L"\\A\\B\\\n"},
        LineCase{"orphan",
                 {true, false, false, false, true},
                 L"/dev/sdb1",
                 L"<ORPHANED FILE>\\",
                 kNotepad,
                 L"7 /dev/sdb1<ORPHANED FILE>\\notepad.exe\n"},
        LineCase{"POSIX tag",
                 {false, false, false, true, false},
                 L"",
                 L"\\",
                 {1, 0, 0, 0, L"a", false},
                 L"PSX \\a\n"},
        LineCase{"Win32 tag",
                 {false, false, false, true, false},
                 L"",
                 L"\\",
                 {1, 0, 0, 1, L"a", false},
                 L"W32 \\a\n"},
        LineCase{"DOS tag",
                 {false, false, false, true, false},
                 L"",
                 L"\\",
                 {1, 0, 0, 2, L"A~1", false},
                 L"DOS \\A~1\n"},
        LineCase{"unknown namespace",
                 {false, false, false, true, false},
                 L"",
                 L"\\",
                 {1, 0, 0, 4, L"a", false},
                 L"??? \\a\n"},
        LineCase{"name outside the BMP",
                 kNone,
                 L"",
                 L"\\",
                 {1, 0, 0, 1, L"\xD83D\xDE00", false},
                 L"\\\xD83D\xDE00\n"}),
    [](const testing::TestParamInfo<LineCase>& info) {
        std::string name;
        for (const char* c = info.param.what; *c != 0; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

} // namespace
