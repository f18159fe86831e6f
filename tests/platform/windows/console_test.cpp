#include "platform/windows/OemCodecvt.h"
#include "tests/common/scratch_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// Code page 437 (the OEM code page of an English system, and Wine's): é is 0x82.
class Oem437 : public testing::Test {
  protected:
    void SetUp() override {
        if (GetOEMCP() != 437)
            GTEST_SKIP() << "the OEM code page is " << GetOEMCP();
    }
};

// An unbuffered wide stream hands the facet one unit at a time, so a surrogate pair reaches it in
// two calls; a high surrogate left at the end is settled when the stream closes.
TEST_F(Oem437, WideStreamWritesTheConsoleBytes) {
    const vesk_test::ScratchFolder scratch;
    const auto path = scratch / "console.txt";
    for (bool buffered : {true, false}) {
        {
            std::wofstream out;
            if (!buffered)
                out.rdbuf()->pubsetbuf(nullptr, 0);
            out.imbue(std::locale(std::locale::classic(), new platform::OemCodecvt('?')));
            out.open(path, std::ios::binary);
            out << L"a\xD83D\xDE00" << L'b' << 42 << L"\xDC00\x00E9\n\xD800";
        }
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "a?b42?\x82\n?")
            << (buffered ? "buffered" : "unbuffered");
    }
}

} // namespace
