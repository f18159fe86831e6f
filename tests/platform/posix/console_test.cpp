#include "platform/Console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

namespace {

// Installs the console in a child process under the given locale, then writes to the error
// streams, wide and narrow in turn, and ends the child.
void WriteErrorsUnder(const char* locale) {
    setenv("LC_ALL", locale, 1);
    platform::InstallConsoleLocale();
    std::wcerr << L"wide \x00E9\xD83D\xDE00 ";
    std::cerr << "narrow ";
    std::wclog << L"log\xD800|";
    std::cerr << platform::ToOemString(L"\x00E9|");
    std::wcerr << std::endl;
    std::exit(0);
}

// Each child starts from scratch, so the console's character set is chosen in it.
TEST(ConsoleTest, ShowsWhatTheLocalesCharacterSetHoldsAndQuestionMarksForTheRest) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(WriteErrorsUnder("C.UTF-8"), testing::ExitedWithCode(0),
                "^wide \xC3\xA9\xF0\x9F\x98\x80 narrow log[?][|]\xC3\xA9[|]\n$");
    EXPECT_EXIT(WriteErrorsUnder("C"), testing::ExitedWithCode(0), "^wide [?][?] narrow log[?][|][?][|]\n$");
}

} // namespace
