#include "platform/Console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

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

// A pipe of the default size given as standard output grows; a wider one is left as it is.
TEST(ConsoleTest, WidensThePipeOfStandardOutput) {
    const int saved = ::dup(STDOUT_FILENO);
    for (const int size : {64 << 10, 2 << 20}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        const int before = ::fcntl(ends[1], F_SETPIPE_SZ, size);
        ASSERT_EQ(::dup2(ends[1], STDOUT_FILENO), STDOUT_FILENO);
        platform::WidenStandardOutputPipe();
        const int after = ::fcntl(ends[1], F_GETPIPE_SZ);
        ::dup2(saved, STDOUT_FILENO);
        ::close(ends[0]);
        ::close(ends[1]);
        EXPECT_EQ(after, std::max(before, 1 << 20)) << size;
    }
    ::close(saved);
}

} // namespace
