// How a search ends when something is wrong: the output file or the volume cannot be opened, the
// volume is not NTFS, the pattern is no expression, the volume is damaged. Every such run reports
// on the error stream, keeps what it printed before, exits with 0 and never crashes or hangs.
// Standard output and standard error share one file here, so the order of their text is checked.

#include "tests/e2e/program_run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using e2e::MaskTime;
using e2e::PatchRecord;
using e2e::ReadFile;
using e2e::Vesk;
using e2e::Volume;

const char kNotFound[] = "System error occured. No such file or directory (2)\n";
const char kNotNtfs[] = "An error occured. The partition specified is not formatted for NTFS.\n";

// The eight bytes of a file reference with sequence 0, as vesk-mkvol patch takes them.
std::string LittleEndianHex(unsigned long long value) {
    std::string hex;
    for (int i = 0; i < 8; ++i, value >>= 8) {
        const char digits[] = "0123456789abcdef";
        hex += digits[(value >> 4) & 0xF];
        hex += digits[value & 0xF];
    }
    return hex;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

TEST(Failure, VolumeOrOutputFileCannotBeOpened) {
    const vesk_test::ScratchFolder folder;
    const std::string notNtfs = Volume("basic") + ".manifest";
    const std::string hits = (folder / "hits.txt").string();
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string output; // standard output and standard error together
    } const cases[] = {
        {"a volume path that does not exist", {"*", "-d", (folder / "none.img").string()}, kNotFound},
        {"a folder as volume",
         {"*", "-d", folder.Path().string()},
         "System error occured. Is a directory (21)\n"},
        // The output file is made before the volume is refused.
        {"a file that is not NTFS", {"*", "-outfile", hits, "-d", notNtfs}, kNotNtfs},
        // Were the volume opened first, the report would be that it is not NTFS.
        {"an output file in a missing folder, before the volume is touched",
         {"*", "-outfile", (folder / "missing/hits.txt").string(), "-d", notNtfs},
         kNotFound},
        {"a pattern that is no regular expression, before the start line",
         {"(", "-regex", "-d", Volume("basic")},
         "An error occured. Unmatched marking parenthesis ( or \\(.  The error occurred while parsing the "
         "regular "
         "expression: '(>>>HERE>>>'.\n"},
    };
    for (const Case& c : cases) {
        const e2e::Outcome run = Vesk(c.args, true);
        EXPECT_EQ(run.exitCode, 0) << c.what;
        EXPECT_EQ(run.out, c.output) << c.what;
    }
    EXPECT_FALSE(Exists((folder / "missing").string()));
    EXPECT_TRUE(Exists(hits));
    EXPECT_EQ(ReadFile(hits), "");
}

// An output file that is the volume itself would truncate the image to be searched: the run is
// refused before either is touched, however the two name it.
TEST(Failure, OutputFileThatIsTheVolume) {
    const vesk_test::ScratchFolder folder;
    const std::string image = e2e::CopyOfVolume(folder, "basic");
    const std::string original = ReadFile(image);
    const std::string link = (folder / "link.img").string();
    ASSERT_EQ(::symlink(image.c_str(), link.c_str()), 0);
    const std::string dotted = (folder / "./basic.img").string();
    for (const auto& [outfile, volume] : {std::pair{image, image}, std::pair{dotted, "C:" + image},
                                          std::pair{link, image}, std::pair{image, "C:" + link}}) {
        const e2e::Outcome run = Vesk({"*", "-outfile", outfile, "-d", volume}, true);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "An error occured. The output file is the volume to be searched.\n") << outfile;
    }
    EXPECT_TRUE(ReadFile(image) == original);
}

// Two names of one record claim the Win32 namespace: listing its names fails. The run stops
// there; hits of earlier records stay printed (and written), later ones are never found, and
// with -deferred nothing had been printed yet.
TEST(Failure, DamagedRecordEndsTheRun) {
    const vesk_test::ScratchFolder folder;
    const std::string image = e2e::CopyOfVolume(folder, "basic");
    const e2e::ManifestName first = e2e::FindName("basic", "\\Projects\\Alpha\\shared.txt");
    const e2e::ManifestName second = e2e::FindName("basic", "\\Projects\\Alpha\\shared-again.txt");
    ASSERT_EQ(first.record, second.record);
    PatchRecord(image, first.record, first.value + 0x41, "03");
    PatchRecord(image, second.record, second.value + 0x41, "03");
    const std::string error = "An error occured. MFC record #" + std::to_string(first.record) +
                              "(0) has several mutual exclusive FILE_NAME attributes.\n";
    const std::string file = (folder / "hits.txt").string();

    const e2e::Outcome run = Vesk({"*.txt", "-outfile", file, "-d", image}, true);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "\tTotal filerecords to scan: 252\n\\Projects\\Alpha\\Src\\Core\\Deep\\leaf.txt\n"
                       "\\Projects\\readme.txt\n" +
                           error);
    EXPECT_EQ(ReadFile(file),
              e2e::Utf16Le(u"\\Projects\\Alpha\\Src\\Core\\Deep\\leaf.txt\n\\Projects\\readme.txt\n"));

    const e2e::Outcome deferred = Vesk({"*.txt", "-deferred", "-d", image}, true);
    EXPECT_EQ(deferred.exitCode, 0);
    EXPECT_EQ(deferred.out, "\tTotal filerecords to scan: 252\n" + error);
}

// A deleted file whose directory's record was reused without a FILE_NAME, and one whose parent
// chain loops: each is reported and printed under the orphan prefix, with or without -fsystem,
// and the search goes on to the hits after it.
TEST(Failure, OrphansAreReportedAndTheRunGoesOn) {
    const vesk_test::ScratchFolder folder;
    const e2e::ManifestName trash = e2e::FindName("basic", "\\Trash");
    const e2e::ManifestName oldDir = e2e::FindName("basic", "\\Trash\\OldDir");
    const std::string trashNumber = std::to_string(trash.record),
                      oldDirNumber = std::to_string(oldDir.record);

    // The FILE_NAME of \Trash becomes another attribute type (0x40): every name below is an orphan.
    const std::string nameless = e2e::CopyOfVolume(folder, "basic");
    PatchRecord(nameless, trash.record, trash.value - 0x18, "40");
    const std::string missing = ". MFC record #" + trashNumber + "(1) does not have FILE_NAME attribute.\n";
    for (const bool system : {false, true}) {
        std::vector<std::string> args{"-regex", "gone.*|OldDir|inner\\.txt", "-si", "-funused", "-d",
                                      nameless};
        if (system)
            args.push_back("-fsystem");
        const e2e::Outcome run = Vesk(args, true);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(MaskTime(run.out), "\tTotal filerecords to scan: 252\n"
                                     "Unable to resolve path of #244" +
                                         missing +
                                         "244 <ORPHANED FILE>\\gone.txt\n"
                                         "Unable to resolve path of #245" +
                                         missing +
                                         "245 <ORPHANED FILE>\\gone-big.bin\n"
                                         "Unable to resolve path of #246" +
                                         missing +
                                         "246 <ORPHANED FILE>\\OldDir\\\n"
                                         "Unable to resolve path of #247" +
                                         missing +
                                         "247 <ORPHANED FILE>\\inner.txt\n"
                                         "\tScanned 236 filerecord(s) in T s.\n"
                                         "\tFound 3 file(s), 1 directory(ies), 0 alternate path(s).\n")
            << system;
    }

    // Without paths nothing is climbed, so nothing is an orphan.
    const e2e::Outcome noPath = Vesk({"gone*", "-sP", "-funused", "-silent", "-d", nameless}, true);
    EXPECT_EQ(noPath.out, "gone.txt\ngone-big.bin\n");

    // \Trash\OldDir becomes its own parent.
    const std::string looped = e2e::CopyOfVolume(folder, "basic");
    PatchRecord(looped, oldDir.record, oldDir.value, LittleEndianHex(oldDir.record));
    const e2e::Outcome run = Vesk({"inner.txt", "-si", "-funused", "-silent", "-d", looped}, true);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Unable to resolve path of #247. MFC record #" + oldDirNumber +
                           "(0) is its own ancestor.\n247 <ORPHANED FILE>\\inner.txt\n");
}

// Bytes of the MFT overwritten in ways a damaged disk shows: whatever the run reports, it ends
// by itself with exit code 0 and nothing the sanitizers object to.
TEST(Failure, DamagedStructuresNeverCrash) {
    const e2e::ManifestName leaf = e2e::FindName("basic", "\\Projects\\Alpha\\Src\\Core\\Deep\\leaf.txt");
    const e2e::ManifestName deep = e2e::FindName("basic", "\\Projects\\Alpha\\Src\\Core\\Deep");
    struct Damage {
        unsigned long long record, offset;
        std::string bytes;
    } const damages[] = {
        {leaf.record, 0x14, "ff03"},                             // first attribute past the record
        {leaf.record, 0x18, "0000"},                             // bytes in use: none
        {leaf.record, leaf.value - 0x18 + 4, "ffffff7f"},        // FILE_NAME longer than the record
        {leaf.record, leaf.value - 0x18 + 0x10, "ffff0000"},     // FILE_NAME value longer than its attribute
        {leaf.record, leaf.value + 0x40, "ff"},                  // name length past the value
        {deep.record, deep.value, LittleEndianHex(leaf.record)}, // parent: the leaf, not a directory
        {deep.record, deep.value, "ffffffffffff0000"},           // parent far beyond the MFT
        {0, 0x14, "ff03"},                                       // $MFT's own record
        {10, 0x14, "ff03"},                                      // $UpCase
    };
    for (const Damage& d : damages) {
        const vesk_test::ScratchFolder folder;
        const std::string image = e2e::CopyOfVolume(folder, "basic");
        PatchRecord(image, d.record, d.offset, d.bytes);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"*", "-nall", "-funused", "-ssize", "-salloc", "-d", image},
              std::vector<std::string>{"*", "-fsystem", "-nocache", "-d", image}}) {
            const e2e::Outcome run = Vesk(args);
            EXPECT_EQ(run.exitCode, 0) << "record " << d.record << " offset " << d.offset << "\n" << run.err;
        }
    }
}

} // namespace
