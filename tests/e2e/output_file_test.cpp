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

// Each row runs once on a file that held longer text before: the run truncates it.
TEST(OutputFile, ExactUtf16BesideOrInsteadOfTheConsole) {
    const std::string basic = Volume("basic"), junctions = "C:" + Volume("junctions");
    const struct {
        std::vector<std::string> args; // "FILE" stands for the output file; no "FILE": no -outfile
        std::string console;           // the elapsed time masked
        std::u16string file;
    } cases[] = {
        {{"-silent", "-outfile", "FILE", "-d", basic}, kUnicodeConsole, kUnicodeFile},
        {{"-outCON", "-outfile", "FILE", "-d", basic}, kUnicodeSummary, kUnicodeFile},
        {{"-outCON", "-d", basic}, kUnicodeSummary, u"untouched"},
        // Alternate paths and directory marks as on the console.
        {{"inside-a.txt", "-silent", "-sd", "-ssize", "-outfile", "FILE", "-d", junctions},
         "10 C:\\A\\inside-a.txt\n10 C:\\ToA\\inside-a.txt\n",
         u"10 C:\\A\\inside-a.txt\n10 C:\\ToA\\inside-a.txt\n"},
        {{"Alpha", "-silent", "-outCON", "-outfile", "FILE", "-d", basic}, "", u"\\Projects\\Alpha\\\n"},
        {{"no-such-name", "-silent", "-outfile", "FILE", "-d", basic}, "", u""},
    };
    for (const auto& c : cases) {
        const vesk_test::ScratchFolder folder;
        const std::string file = (folder / "hits.txt").string();
        std::ofstream(file, std::ios::binary) << Utf16Le(u"untouched") << std::string(4096, 'x');
        std::vector<std::string> args = c.args[0][0] == '-' ? kUnicodeSearch : std::vector<std::string>{};
        for (const std::string& arg : c.args)
            args.push_back(arg == "FILE" ? file : arg);
        const e2e::Outcome run = Vesk(args);
        EXPECT_EQ(run.exitCode, 0) << c.args[0];
        EXPECT_EQ(MaskTime(run.out), c.console) << c.args[0];
        EXPECT_EQ(run.err, "") << c.args[0];
        const std::string expected = Utf16Le(c.file) + (c.file == u"untouched" ? std::string(4096, 'x') : "");
        EXPECT_EQ(ReadFile(file), expected) << c.args[0];
    }
}

} // namespace
