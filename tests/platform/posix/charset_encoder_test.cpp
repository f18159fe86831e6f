#include "platform/posix/CharsetEncoder.h"

#include <gtest/gtest.h>

namespace {

using platform::CharsetEncoder;

struct EncodeCase {
    const char* codeset;
    std::wstring text;
    std::string bytes;
};

class EncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, GivesTheSetsBytesAndQuestionMarksForTheRest) {
    const EncodeCase& c = GetParam();
    const CharsetEncoder encoder(c.codeset);
    EXPECT_EQ(encoder.Encode(c.text), c.bytes);
    std::string line = "C:\\";
    encoder.AppendTo(c.text, line); // after what a line already holds
    EXPECT_EQ(line, "C:\\" + c.bytes);
}

// U+1F600 is the pair D83D DE00.
INSTANTIATE_TEST_SUITE_P(
    Sets, EncodeTest,
    testing::Values(EncodeCase{"UTF-8", L"", ""}, EncodeCase{"UTF-8", L"a\\b.txt\n", "a\\b.txt\n"},
                    EncodeCase{"UTF-8", L"\x00E9\x20AC\x0416", "\xC3\xA9\xE2\x82\xAC\xD0\x96"},
                    EncodeCase{"UTF-8", L"<\xD83D\xDE00>", "<\xF0\x9F\x98\x80>"},
                    EncodeCase{"UTF-8",
                               L"\xD800"
                               L"a",
                               "?a"},
                    EncodeCase{"UTF-8",
                               L"a\xDC00"
                               L"b",
                               "a?b"},
                    EncodeCase{"UTF-8", L"a\xD83D", "a?"}, EncodeCase{"UTF-8", L"\xDE00\xD83D", "??"},
                    EncodeCase{"UTF-8", L"\xD800\xD83D\xDE00", "?\xF0\x9F\x98\x80"},
                    EncodeCase{"UTF-8", L"\xD800\x00E9", "?\xC3\xA9"},
                    EncodeCase{"utf8", L"\x00E9", "\xC3\xA9"},
                    EncodeCase{"ANSI_X3.4-1968", L"n\x00E9\xD83D\xDE00.", "n??."},
                    EncodeCase{"ISO-8859-1", L"caf\x00E9 \x20AC\xD83D\xDE00", "caf\xE9 ??"},
                    EncodeCase{"IBM437", L"\x00E9\x2591\x20AC", "\x82\xB0?"},
                    EncodeCase{"NO-SUCH-SET", L"ab\x00E9", "ab?"}));

// Feeding the text in pieces, with little room each time, gives the same bytes as one call.
TEST(CharsetEncoderTest, ConvertsPieceByPieceAsAWhole) {
    const std::wstring text = L"x\x00E9\xD83D\xDE00y\xD800z\xDC00\xD83D";
    for (const char* codeset : {"UTF-8", "ISO-8859-1"}) {
        CharsetEncoder encoder(codeset);
        for (std::size_t room = 4; room <= CharsetEncoder::kMaxBytesPerUnit; ++room) {
            std::string bytes;
            char16_t pending = 0;
            const wchar_t* from = text.data();
            for (std::size_t unit = 0; unit < text.size(); ++unit) {
                const wchar_t* end = text.data() + unit + 1;
                while (true) {
                    char buffer[CharsetEncoder::kMaxBytesPerUnit];
                    char* to = buffer;
                    const bool done = encoder.Convert(from, end, to, buffer + room, pending);
                    bytes.append(buffer, to);
                    if (done)
                        break;
                    ASSERT_NE(to, buffer) << "room for the longest character here must be enough";
                }
            }
            if (pending != 0)
                bytes += '?';
            EXPECT_EQ(bytes, encoder.Encode(text)) << codeset << ", room " << room;
        }
    }
}

} // namespace
