#include "platform/Arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs under a UTF-8 locale from ctest (LC_ALL=C.UTF-8); elsewhere it is skipped.
TEST(Arguments, DecodeUtf8IntoUtf16CodeUnits) {
    const struct {
        std::string bytes;
        std::wstring units;
    } cases[] = {
        {"vesk", L"vesk"},
        {"", L""},
        {"\xc3\xa9", {0xE9}},
        {"\xe2\x82\xac", {0x20AC}},
        {"a\xf0\x9f\x98\x80z", {L'a', 0xD83D, 0xDE00, L'z'}},
        {"\xf4\x8f\xbf\xbf", {0xDBFF, 0xDFFF}},
        {"x\xffy", {L'x', 0xFFFD, L'y'}},
        {"\xe2\x82"
         "A",
         {0xFFFD, 0xFFFD, L'A'}},
        {"\xc3", {0xFFFD}},
        {"\xed\xa0\x80", {0xFFFD, 0xFFFD, 0xFFFD}}, // an encoded surrogate is no character
        {"\xc0\xaf", {0xFFFD, 0xFFFD}},             // nor is an overlong form
    };
    std::vector<std::string> storage;
    for (const auto& c : cases)
        storage.push_back(c.bytes);
    std::vector<char*> argv;
    for (std::string& bytes : storage)
        argv.push_back(bytes.data());
    const std::vector<std::wstring> arguments =
        platform::WideArguments(static_cast<int>(argv.size()), argv.data());
    ASSERT_EQ(arguments.size(), std::size(cases));
    if (arguments[2] != cases[2].units)
        GTEST_SKIP() << "the user's locale is not UTF-8";
    for (std::size_t k = 0; k < arguments.size(); ++k)
        EXPECT_EQ(arguments[k], cases[k].units) << "argument " << k;
}

} // namespace
