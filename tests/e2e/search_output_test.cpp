// What the program prints for a search on a builder volume: result lines with their columns,
// paths, directory marks and namespaces, every filter, the record range, matching options,
// junction alternates, and the summary. Each row is one command line and its exact output.

#include "tests/e2e/program_run.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

using e2e::MaskTime;
using e2e::Vesk;
using e2e::Volume;

struct Case {
    const char* what;
    std::string volume;            // builder volume; "C:" before it opens it as drive C:
    std::vector<std::string> args; // everything but -d
    std::string out;               // standard output, the elapsed time masked as "T"
    std::string err = "";
};

// The -d value of a case's volume.
std::string DriveValue(const std::string& volume) {
    return volume.rfind("C:", 0) == 0 ? "C:" + Volume(volume.substr(2)) : Volume(volume);
}

// The lines of a run that writes its summary around them.
std::string WithSummary(const char* total, const char* scanned, const char* found, const std::string& lines) {
    return std::string("\tTotal filerecords to scan: ") + total + "\n" + lines + "\tScanned " + scanned +
           " filerecord(s) in T s.\n\tFound " + found + " alternate path(s).\n";
}

const std::string kFiltersAll = "\\System Volume Information\\\n"
                                "\\Sizes\\\n"
                                "\\Sizes\\tiny.txt\n"
                                "\\Sizes\\below-1k.bin\n"
                                "\\Sizes\\exact-1k.bin\n"
                                "\\Sizes\\above-1k.bin\n"
                                "\\Sizes\\exact-1m.bin\n"
                                "\\Sizes\\above-1m.bin\n"
                                "\\Sizes\\empty.txt\n"
                                "\\pagefile.sys\n";
const std::string kFiltersFiles = kFiltersAll.substr(kFiltersAll.find("\\Sizes\\tiny"));

const Case kCases[] = {
    // Columns, paths and marks.
    {"no column: path and name",
     "basic",
     {"leaf.txt", "-silent"},
     "\\Projects\\Alpha\\Src\\Core\\Deep\\leaf.txt\n"},
    {"every column, in their fixed order whatever the options' order",
     "C:basic",
     {"-sd", "-snamespace", "-salloc", "-ssize", "-si", "tool.exe", "-silent"},
     "229 5000 8192 PSX C:\\Program Files\\tool.exe\n"},
    {"resident data: its length, and the record size allocated",
     "basic",
     {"readme.txt", "-si", "-ssize", "-salloc", "-silent"},
     "70 300 1024 \\Projects\\readme.txt\n"},
    {"-sP -sd: the drive directly before the name",
     "C:basic",
     {"tool.exe", "-sP", "-sd", "-silent"},
     "C:tool.exe\n"},
    {"-sP on a directory: name and mark only", "basic", {"Program*", "-sP", "-silent"}, "Program Files\\\n"},
    {"a directory ends with a backslash and counts as a directory",
     "basic",
     {"Alpha"},
     WithSummary("252", "187", "0 file(s), 1 directory(ies), 0", "\\Projects\\Alpha\\\n")},
    {"every hard link is a hit of its own, with the summary",
     "basic",
     {"shared*", "-si", "-ssize"},
     WithSummary("252", "187", "3 file(s), 0 directory(ies), 0",
                 "224 10 \\Projects\\Alpha\\shared.txt\n"
                 "224 10 \\Projects\\Alpha\\shared-again.txt\n"
                 "224 10 \\Docs\\shared-elsewhere.txt\n")},
    {"names outside ASCII, in the console's UTF-8",
     "basic",
     {"*", "-silent", "-fDIRS", "-range", "231", "236"},
     "\\Unicode\\Кириллица.txt\n\\Unicode\\Ελληνικά.txt\n\\Unicode\\Crème "
     "brûlée.txt\n\\Unicode\\漢字テスト.txt\n"
     "\\Unicode\\smile 😀.txt\n"},
    {"-silent: result lines only",
     "basic",
     {"gone*", "-funused", "-silent"},
     "\\Trash\\gone.txt\n\\Trash\\gone-big.bin\n"},

    // Filters by kind and size.
    {"-fsize 0: every name, directories included", "filters", {"*", "-silent", "-fsize", "0"}, kFiltersAll},
    {"-fsize 0 1g: the g multiplier", "filters", {"*", "-silent", "-fsize", "0", "1g"}, kFiltersAll},
    {"-fDIRS: files only", "filters", {"*", "-silent", "-fDIRS"}, kFiltersFiles},
    {"-fFILES: directories only",
     "filters",
     {"*", "-silent", "-fFILES"},
     "\\System Volume Information\\\n\\Sizes\\\n"},
    {"-fDIRS -fFILES: nothing", "filters", {"*", "-silent", "-fDIRS", "-fFILES"}, ""},
    {"-fsize 1k 1k: exactly 1024 bytes",
     "filters",
     {"*", "-silent", "-fsize", "1k", "1k"},
     "\\Sizes\\exact-1k.bin\n"},
    {"-fsize 1: no directory, no empty file",
     "filters",
     {"*", "-silent", "-fsize", "1"},
     "\\Sizes\\tiny.txt\n\\Sizes\\below-1k.bin\n\\Sizes\\exact-1k.bin\n\\Sizes\\above-1k.bin\n"
     "\\Sizes\\exact-1m.bin\n\\Sizes\\above-1m.bin\n\\pagefile.sys\n"},
    {"-fsize with min above max: nothing", "filters", {"*", "-silent", "-fsize", "2k", "1k"}, ""},
    {"-fsize 1m 1m: the m multiplier",
     "filters",
     {"*", "-silent", "-fsize", "1m", "1m"},
     "\\Sizes\\exact-1m.bin\n"},
    {"-falloc 1m: allocated sizes from 1 MiB on",
     "filters",
     {"*", "-silent", "-falloc", "1m"},
     "\\Sizes\\exact-1m.bin\n\\Sizes\\above-1m.bin\n"},
    {"-falloc 1k 1k: resident data is allocated the record size",
     "filters",
     {"*", "-silent", "-falloc", "1k", "1k"},
     "\\Sizes\\tiny.txt\n\\Sizes\\empty.txt\n\\pagefile.sys\n"},
    {"-falloc 4k 4k: one cluster",
     "filters",
     {"*", "-silent", "-falloc", "4k", "4k"},
     "\\Sizes\\below-1k.bin\n\\Sizes\\exact-1k.bin\n\\Sizes\\above-1k.bin\n"},
    {"-falloc 1g: nothing that large", "filters", {"*", "-silent", "-falloc", "1g"}, ""},

    // Filters by use and by NTFS's own files.
    {"-funused: deleted records too",
     "basic",
     {"*", "-si", "-silent", "-funused", "-range", "243"},
     "243 \\Trash\\\n244 \\Trash\\gone.txt\n245 \\Trash\\gone-big.bin\n246 \\Trash\\OldDir\\\n"
     "247 \\Trash\\OldDir\\inner.txt\n"},
    {"-fUSED: deleted records only",
     "basic",
     {"*", "-si", "-silent", "-fUSED"},
     "244 \\Trash\\gone.txt\n245 \\Trash\\gone-big.bin\n246 \\Trash\\OldDir\\\n247 "
     "\\Trash\\OldDir\\inner.txt\n"},
    {"-fUSED wins over -funused",
     "basic",
     {"*", "-si", "-silent", "-fUSED", "-funused"},
     "244 \\Trash\\gone.txt\n245 \\Trash\\gone-big.bin\n246 \\Trash\\OldDir\\\n247 "
     "\\Trash\\OldDir\\inner.txt\n"},
    {"by default: no NTFS file, nothing inside $Extend or System Volume Information",
     "filters",
     {"*", "-silent"},
     kFiltersAll},
    {"-fsystem: inside $Extend and System Volume Information, never the root's own files",
     "filters",
     {"*", "-silent", "-fsystem"},
     "\\$Extend\\$Quota\n\\$Extend\\$ObjId\n\\$Extend\\$Reparse\n\\System Volume Information\\\n"
     "\\System Volume Information\\tracking.log\n" +
         kFiltersAll.substr(kFiltersAll.find("\\Sizes\\\n"))},
    {"-fsystem -sP: the same names without paths",
     "filters",
     {"$*", "-silent", "-fsystem", "-sP"},
     "$Quota\n$ObjId\n$Reparse\n"},
    {"names like NTFS's own: a root file without the system flag, a directory below the root",
     "windows-names",
     {"*", "-silent", "-snamespace"},
     "PSX \\Win32\\\nW32 \\Win32\\Report.docx\nW32 \\Win32\\Folder\\\nW&D \\Win32\\README.TXT\n"
     "PSX \\Win32\\desktop.ini\nPSX \\$MFT\nPSX \\Win32\\$Extend\\\n"},

    // Record range.
    {"-range 10 5: the count wraps, nothing is scanned",
     "basic",
     {"*", "-range", "10", "5"},
     WithSummary("4294967291", "0", "0 file(s), 0 directory(ies), 0", "")},
    {"-range 0 16 -fsystem: none of NTFS's own files",
     "basic",
     {"*", "-range", "0", "16", "-fsystem"},
     WithSummary("16", "4", "0 file(s), 0 directory(ies), 0", "")},
    {"-range 100: from record 100 to the end of the MFT",
     "basic",
     {"*", "-range", "100", "-fFILES"},
     WithSummary("152", "144", "0 file(s), 6 directory(ies), 0",
                 "\\Docs\\\n\\Program Files\\\n\\Unicode\\\n\\Unicode\\𝄞clef\\\n\\Odd\\\n\\Trash\\\n")},
    {"-fsystem -range 1000 2000: from record 24, an end past the MFT",
     "filters",
     {"*", "-range", "1000", "2000", "-fsystem", "-fFILES", "-si"},
     WithSummary("1976", "14", "0 file(s), 2 directory(ies), 0",
                 "64 \\System Volume Information\\\n66 \\Sizes\\\n")},

    {"-range 240 2147483647: an end far past the MFT (a scan that visited every number would be killed)",
     "basic",
     {"*", "-range", "240", "2147483647"},
     WithSummary("2147483407", "4", "3 file(s), 1 directory(ies), 0",
                 "\\Odd\\[x].txt\n\\Odd\\many.dots.in.name.txt\n\\Odd\\.leading-dot\n\\Trash\\\n")},

    // Matching.
    {"case folded by default",
     "basic",
     {"LEAF.TXT", "-silent"},
     "\\Projects\\Alpha\\Src\\Core\\Deep\\leaf.txt\n"},
    {"-case: exact case only", "basic", {"LEAF.TXT", "-silent", "-case"}, ""},
    {"-case: upper-case extension", "basic", {"*.TXT", "-silent", "-case"}, "\\Docs\\SHORT.TXT\n"},
    {"a mask with braces and brackets is literal", "basic", {"*{2}*", "-silent"}, "\\Odd\\a{2}.txt\n"},
    {"a mask with brackets", "basic", {"[x].txt", "-silent"}, "\\Odd\\[x].txt\n"},
    {"-regex: the whole name matches",
     "basic",
     {"-regex", "leaf\\.t.t|a\\{2\\}\\..*", "-silent"},
     "\\Projects\\Alpha\\Src\\Core\\Deep\\leaf.txt\n\\Odd\\a{2}.txt\n"},
    {"-regex: a part of the name is no match", "basic", {"-regex", "eaf", "-silent"}, ""},

    // Namespaces.
    {"Win32 by default: no DOS name",
     "basic",
     {"*LONG*", "-silent", "-snamespace"},
     "W32 \\Docs\\LongFileName.txt\n"},
    {"-nwin32: as the default",
     "basic",
     {"*LONG*", "-silent", "-snamespace", "-nwin32"},
     "W32 \\Docs\\LongFileName.txt\n"},
    {"-nall: the DOS name too, in record order",
     "basic",
     {"*LONG*", "-silent", "-snamespace", "-nall"},
     "DOS \\Docs\\LONGFI~1.TXT\nW32 \\Docs\\LongFileName.txt\n"},
    {"-ndos: the DOS name and Win32&DOS names",
     "basic",
     {"*.TXT", "-silent", "-snamespace", "-ndos", "-case"},
     "DOS \\Docs\\LONGFI~1.TXT\nW&D \\Docs\\SHORT.TXT\n"},
    {"-ndos: a DOS name of a directory",
     "basic",
     {"PROG*", "-silent", "-snamespace", "-ndos"},
     "DOS \\PROGRA~1\\\n"},
    {"-nposix: POSIX names and every name but pure DOS ones",
     "basic",
     {"*LONG*", "-silent", "-snamespace", "-nposix"},
     "W32 \\Docs\\LongFileName.txt\n"},

    // Junctions.
    {"a directory reachable through a junction: one alternate line",
     "C:junctions",
     {"inside-a.txt"},
     WithSummary("492", "428", "1 file(s), 0 directory(ies), 1", "\\A\\inside-a.txt\n\\ToA\\inside-a.txt\n")},
    {"-JP: no alternate", "C:junctions", {"inside-a.txt", "-JP", "-silent"}, "\\A\\inside-a.txt\n"},
    {"-sd with alternates: the drive as given",
     "C:junctions",
     {"inside-a.txt", "-sd", "-silent"},
     "C:\\A\\inside-a.txt\nC:\\ToA\\inside-a.txt\n"},
    {"-sP: one line, no alternate", "C:junctions", {"inside-a.txt", "-sP", "-silent"}, "inside-a.txt\n"},
    {"a volume without a drive letter resolves no junction",
     "junctions",
     {"inside-a.txt", "-silent"},
     "\\A\\inside-a.txt\n"},
    {"junctions to another drive are not followed",
     "C:junctions",
     {"OtherDrive", "-silent"},
     "\\OtherDrive\\\n"},
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.what;
}

class SearchOutput : public testing::TestWithParam<Case> {};

TEST_P(SearchOutput, PrintsExactly) {
    const Case& c = GetParam();
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-d", DriveValue(c.volume)});
    const e2e::Outcome run = Vesk(args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(MaskTime(run.out), c.out);
    EXPECT_EQ(run.err, c.err);
}

// A test name from the row's words: letters and digits, each word capitalised, and the row.
std::string RowName(const testing::TestParamInfo<Case>& info) {
    std::string name;
    bool wordStart = true;
    for (const char* c = info.param.what; *c != '\0'; ++c) {
        const bool alphanumeric = std::isalnum(static_cast<unsigned char>(*c)) != 0;
        if (alphanumeric)
            name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
        wordStart = !alphanumeric;
    }
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Cases, SearchOutput, testing::ValuesIn(kCases), RowName);

// Options that change how the search runs but not what it finds.
TEST(SearchOutput, SameHitsWithoutCacheAndDeferred) {
    for (const char* volume : {"basic", "C:junctions", "attribute-list", "fragmented-mft"}) {
        const std::vector<std::string> base{"*", "-si", "-nall", "-funused", "-d", DriveValue(volume)};
        const e2e::Outcome plain = Vesk(base);
        ASSERT_EQ(plain.exitCode, 0);
        EXPECT_EQ(plain.err, "");
        for (const char* option : {"-nocache", "-deferred"}) {
            std::vector<std::string> args = base;
            args.push_back(option);
            const e2e::Outcome other = Vesk(args);
            EXPECT_EQ(MaskTime(other.out), MaskTime(plain.out)) << volume << " " << option;
            EXPECT_EQ(other.err, "") << volume << " " << option;
        }
    }
}

// The console shows what its character set can: one "?" per character it lacks, a character
// outside the BMP included; the summary and messages go through the same conversion.
TEST(SearchOutput, ConsoleCharacterSet) {
    const e2e::Outcome ascii =
        Vesk({"*", "-silent", "-fDIRS", "-range", "231", "236", "-d", Volume("basic")}, false, "C");
    EXPECT_EQ(ascii.out, "\\Unicode\\?????????.txt\n\\Unicode\\????????.txt\n\\Unicode\\Cr?me br?l?e.txt\n"
                         "\\Unicode\\?????.txt\n\\Unicode\\smile ?.txt\n");
    EXPECT_EQ(ascii.exitCode, 0);
}

} // namespace
