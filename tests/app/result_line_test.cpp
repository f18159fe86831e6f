#include "app/ResultLine.h"

#include <gtest/gtest.h>

namespace {

// The printer's tests show the columns on real hits; these are the values a volume hardly yields.
TEST(ResultLineTest, ShowsExtremeValuesPlainly) {
    struct Case {
        ResultColumns columns;
        std::wstring drive;
        std::wstring path;
        ResultFields fields;
        std::wstring line;
    };
    const Case cases[] = {
        {{true, true, true, false, false},
         L"",
         L"\\",
         {4294967295u, 18446744073709551615u, 0, 1, L"x", false},
         L"4294967295 18446744073709551615 0 \\x\n"},
        {{false, false, false, true, false}, L"", L"\\", {1, 0, 0, 4, L"a", false}, L"??? \\a\n"},
        {{false, false, false, true, false}, L"", L"\\", {1, 0, 0, 255, L"a", true}, L"??? \\a\\\n"},
        {{true, false, false, false, true},
         L"/dev/sdb1",
         L"<ORPHANED FILE>\\",
         {7, 0, 0, 1, L"n.exe", false},
         L"7 /dev/sdb1<ORPHANED FILE>\\n.exe\n"},
        {{}, L"", L"\\", {1, 0, 0, 1, L"\xD83D\xDE00\xD800", false}, L"\\\xD83D\xDE00\xD800\n"},
    };
    for (const Case& c : cases) {
        std::wstring text = L"before\n";
        AppendResultLine(text, c.columns, c.drive, c.path, c.fields);
        EXPECT_EQ(text, L"before\n" + c.line);
    }
}

} // namespace
