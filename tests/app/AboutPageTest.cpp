#include "app/AboutPage.h"
#include "platform/AboutStrings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

TEST(AboutPage, Layout) {
    std::ifstream in(std::string(VESK_APP_GOLDEN_DIR) + "/about.txt", std::ios::binary);
    ASSERT_TRUE(in);
    const std::string golden{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::wostringstream out;
    PrintAboutPage(out);
    EXPECT_EQ(out.str(), std::wstring(golden.begin(), golden.end()));
}

TEST(AboutPage, StringsAreSingleLinesById) {
    for (unsigned id = platform::kAboutDisclaimer; id <= platform::kAboutBeta; ++id) {
        const std::wstring text = platform::LoadAboutString(id);
        EXPECT_FALSE(text.empty()) << "string " << id;
        EXPECT_EQ(text.find(L'\n'), std::wstring::npos) << "string " << id;
    }
    EXPECT_EQ(platform::LoadAboutString(100), L"");
    EXPECT_EQ(platform::LoadAboutString(106), L"");
}

} // namespace
