#include "platform/posix/OemCodecvt.h"
#include "tests/common/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using platform::CharsetEncoder;
using platform::OemCodecvt;

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An unbuffered wide file stream hands the facet one unit at a time, so a surrogate pair reaches it
// in two calls, and a high surrogate left at the end is settled when the stream closes; a buffered
// one hands it more text than its buffer holds, in pieces that end where the room does.
TEST(OemCodecvtTest, WideStreamWritesTheConsoleBytes) {
    const CharsetEncoder encoder("UTF-8");
    const vesk_test::ScratchFolder scratch;
    const auto path = scratch / "console.txt";
    for (bool buffered : {true, false}) {
        {
            std::wofstream out;
            if (!buffered)
                out.rdbuf()->pubsetbuf(nullptr, 0);
            out.imbue(std::locale(std::locale::classic(), new OemCodecvt(encoder)));
            out.open(path);
            out << std::wstring(9999, L'x') << std::wstring(9999, L'\x00E9') << L"a\xD83D\xDE00" << L'b' << 42
                << L"\xDC00\x00E9\n\xD800";
        }
        std::string long_text = std::string(9999, 'x');
        for (int k = 0; k < 9999; ++k)
            long_text += "\xC3\xA9";
        EXPECT_EQ(ReadBytes(path), long_text + "a\xF0\x9F\x98\x80"
                                               "b42?\xC3\xA9\n?")
            << (buffered ? "buffered" : "unbuffered");
    }
}

} // namespace
