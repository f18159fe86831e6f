// The output file: UTF-16LE code units without a byte-order mark, bare line feeds, truncated at
// the start of every run, and the console switched off or on beside it.

#include "tests/e2e/program_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using e2e::MaskTime;
using e2e::ReadFile;
using e2e::Utf16Le;
using e2e::Vesk;
using e2e::Volume;

// Five Unicode names, one of them with a character outside the BMP (a surrogate pair in the file).
const std::vector<std::string> kUnicodeSearch = {"*", "-si", "-fDIRS", "-range", "231", "236"};
const std::string kUnicodeConsole = "231 \\Unicode\\Кириллица.txt\n232 \\Unicode\\Ελληνικά.txt\n"
                                    "233 \\Unicode\\Crème brûlée.txt\n234 \\Unicode\\漢字テスト.txt\n"
                                    "235 \\Unicode\\smile 😀.txt\n";
const std::u16string kUnicodeFile = u"231 \\Unicode\\Кириллица.txt\n232 \\Unicode\\Ελληνικά.txt\n"
                                    u"233 \\Unicode\\Crème brûlée.txt\n234 \\Unicode\\漢字テスト.txt\n"
                                    u"235 \\Unicode\\smile \U0001F600.txt\n";
const std::string kUnicodeSummary = "\tTotal filerecords to scan: 5\n\tScanned 5 filerecord(s) in T s.\n"
                                    "\tFound 5 file(s), 0 directory(ies), 0 alternate path(s).\n";

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(OutputFile, HoldsExactUtf16BesideTheConsole) {
    const e2e::ScratchFolder folder;
    const std::string file = folder.Path() + "/hits.txt";
    // A longer file from before: the run truncates it.
    std::ofstream(file) << std::string(4096, 'x');
    const e2e::Outcome run = Vesk(With(kUnicodeSearch, {"-silent", "-outfile", file, "-d", Volume("basic")}));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, kUnicodeConsole);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFile(file), Utf16Le(kUnicodeFile));
}

TEST(OutputFile, ConsoleSuppressed) {
    const e2e::ScratchFolder folder;
    const std::string file = folder.Path() + "/hits.txt";
    const e2e::Outcome run = Vesk(With(kUnicodeSearch, {"-outCON", "-outfile", file, "-d", Volume("basic")}));
    EXPECT_EQ(MaskTime(run.out), kUnicodeSummary);
    EXPECT_EQ(ReadFile(file), Utf16Le(kUnicodeFile));

    const e2e::Outcome withoutFile = Vesk(With(kUnicodeSearch, {"-outCON", "-d", Volume("basic")}));
    EXPECT_EQ(MaskTime(withoutFile.out), kUnicodeSummary);
    EXPECT_EQ(withoutFile.err, "");
}

TEST(OutputFile, AlternatePathsAndDirectoriesAsOnTheConsole) {
    const e2e::ScratchFolder folder;
    const std::string file = folder.Path() + "/hits.txt";
    const e2e::Outcome run = Vesk(
        {"inside-a.txt", "-silent", "-sd", "-ssize", "-outfile", file, "-d", "C:" + Volume("junctions")});
    EXPECT_EQ(run.out, "10 C:\\A\\inside-a.txt\n10 C:\\ToA\\inside-a.txt\n");
    EXPECT_EQ(ReadFile(file), Utf16Le(u"10 C:\\A\\inside-a.txt\n10 C:\\ToA\\inside-a.txt\n"));

    const e2e::Outcome directory =
        Vesk({"Alpha", "-silent", "-outCON", "-outfile", file, "-d", Volume("basic")});
    EXPECT_EQ(directory.out, "");
    EXPECT_EQ(ReadFile(file), Utf16Le(u"\\Projects\\Alpha\\\n"));
}

TEST(OutputFile, EmptyWhenNothingIsFound) {
    const e2e::ScratchFolder folder;
    const std::string file = folder.Path() + "/hits.txt";
    std::ofstream(file) << "old";
    const e2e::Outcome run = Vesk({"no-such-name", "-silent", "-outfile", file, "-d", Volume("basic")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(file), "");
}

} // namespace
