#include "platform/SystemError.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// FormatMessageW ends its texts with a line break, which the message it goes into must not get.
TEST(SystemErrorTest, TextsComeWithoutTrailingLineBreaks) {
    for (platform::ErrorCode code : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER}) {
        const std::wstring text = platform::SystemErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), L'\n') << code;
        EXPECT_NE(text.back(), L'\r') << code;
    }
    EXPECT_EQ(platform::SystemErrorText(0x2000ABCD), L""); // a customer code: no system text
}

} // namespace
