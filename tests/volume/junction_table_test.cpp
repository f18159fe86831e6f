#include "tests/volume/record_text.h"
#include "tests/volume/rows.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/FileNameAttribute.h"
#include "volume/JunctionTable.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::FileNameValue;
using vesk_test::IndexBlock;
using vesk_test::IndexEntry;
using vesk_test::kJunctionTag;
using vesk_test::LastIndexEntry;
using vesk_test::RecordBuilder;
using vesk_test::Ref;
using vesk_test::ReparseKey;
using vesk_test::SyntheticTree;

constexpr int kWin32 = 1;

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring Joined(const std::list<std::wstring>& paths) {
    std::wstring text;
    for (const std::wstring& path : paths)
        text += (text.empty() ? L"" : L" | ") + path;
    return text;
}

TEST(StripPathPrefix, DropsTheLeadingRunOfBackslashesQuestionMarksAndFullStops) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("path_prefixes"))
        EXPECT_EQ(StripPathPrefix(Wide(row.input)), Wide(row.expected)) << row.where;
}

// Tables built from entries alone, on a volume whose only use is its upper-case table.
class JunctionLookup : public ::testing::Test {
  protected:
    JunctionLookup() : opened_(tree_.Open()), mft_(opened_.disk.get()), upcase_(mft_) {}

    CJunctionTable Table(const std::vector<std::string>& junctions, bool caseSensitive = false,
                         wchar_t letter = L'c') {
        CJunctionTable table(nullptr, upcase_, caseSensitive, kWin32, letter);
        for (std::size_t i = 0; i < junctions.size(); ++i) {
            const std::size_t arrow = junctions[i].find('>');
            EXPECT_TRUE(table.AddEntry(FileReference(30 + i), Wide(junctions[i].substr(0, arrow)),
                                       Wide(junctions[i].substr(arrow + 1))));
        }
        return table;
    }

    SyntheticTree tree_;
    vesk_test::OpenedVolume opened_;
    CMft mft_;
    CUpcaseTable upcase_;
};

TEST_F(JunctionLookup, ListsThePathThenEachAlternateWithItsOwnAlternates) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("junction_lookups")) {
        const std::size_t semicolon = row.input.find(';');
        std::vector<std::string> junctions = vesk_test::Words(row.input.substr(0, semicolon));
        const auto flag = [&junctions](const std::string& word) {
            const bool set = !junctions.empty() && junctions.front() == word;
            junctions.erase(junctions.begin(), junctions.begin() + set);
            return set;
        };
        const bool caseSensitive = flag("case");
        const CJunctionTable table = Table(junctions, caseSensitive, flag("no-letter") ? 0 : L'c');
        EXPECT_EQ(Joined(*table.GetAlternatePaths(Wide(row.input.substr(semicolon + 2)))), Wide(row.expected))
            << row.where;
    }
}

TEST_F(JunctionLookup, StoresDriveTargetsOnlyInKeyOrder) {
    CJunctionTable table(nullptr, upcase_, false, kWin32, L'C');
    EXPECT_TRUE(table.AddEntry(FileReference(1), L"\\a", L"c:\\x\\y"));
    EXPECT_TRUE(table.AddEntry(FileReference(2), L"\\b", L"C:\\X"));
    EXPECT_TRUE(table.AddEntry(FileReference(3), L"\\c", L"B:\\\x00E9"));
    EXPECT_FALSE(table.AddEntry(FileReference(4), L"\\d", L"Volume{6d3f2a}\\"));
    EXPECT_FALSE(table.AddEntry(FileReference(5), L"\\e", L"C"));
    EXPECT_FALSE(table.AddEntry(FileReference(6), L"\\f", L"C:x"));
    std::wstring stored;
    for (const JunctionEntry& entry : table.GetEntries())
        stored += entry.targetDrive + std::wstring(L":") + entry.targetPath + L"<" + entry.sourcePath + L" ";
    EXPECT_EQ(stored, L"B:\\\x00C9<\\c C:\\X<\\b C:\\X\\Y<\\a ");
}

TEST_F(JunctionLookup, StopsJunctionsThatMultiplyPathsWithoutEnd) {
    // Each junction J<i> leads to the directory of J<i+1>: a chain longer than any real path.
    std::vector<std::string> chain;
    for (int i = 0; i < 70; ++i)
        chain.push_back("\\J" + std::to_string(i) + ">C:\\J" + std::to_string(i + 1));
    EXPECT_EQ(Table(chain).GetAlternatePaths(L"\\J70\\")->size(), 1 + CJunctionTable::kMaxJunctionsPerPath);

    // Ten junctions in \D that all lead to \D reach it along millions of paths.
    std::vector<std::string> loops;
    for (int i = 0; i < 10; ++i)
        loops.push_back("\\D\\J" + std::to_string(i) + ">C:\\D");
    EXPECT_THROW(Table(loops).GetAlternatePaths(L"\\D\\"), std::runtime_error);
}

// A volume with junctions listed in $Extend\$Reparse:
//   20 \Docs, 21 \Data
//   30 \Docs\Link -> C:\Data (in the $R root)
//   31 \Data\Deep -> C:\Docs\x and 33 a symbolic link (index block 0)
//   32 \Third -> C:\Data\y, 34 a high-latency mount point, 35 a volume mount point (index block 1)
//   index block 2 is not in use and still lists record 20, which is no junction
// $Extend lists "$Rep" (record 15, no index) before "$Reparse" (record 14).
class JunctionVolume : public SyntheticTree {
  public:
    static constexpr std::uint64_t kReparse = 14;

    JunctionVolume() {
        PutDirectory(20, {FileNameValue(Ref(5), kWin32, L"Docs")});
        PutDirectory(21, {FileNameValue(Ref(5), kWin32, L"Data")});
        PutJunction(30, 20, L"Link", L"\\??\\C:\\Data");
        PutJunction(31, 21, L"Deep", L"\\??\\C:\\Docs\\x");
        PutJunction(32, 5, L"Third", L"\\??\\C:\\Data\\y");
        PutJunction(35, 5, L"Volume", L"\\??\\Volume{6d3f2a}\\");
        PutDirectory(15, {FileNameValue(Ref(11), 3, L"$Rep")});
        PutExtend({ExtendEntry(L"$ObjId", 12), ExtendEntry(L"$Rep", 15), ExtendEntry(L"$Reparse", kReparse)});

        const std::uint64_t blocks = kFreeCluster * BytesPerCluster();
        PutBytes(blocks, IndexBlock(4096, {RKey(kJunctionTag, 31), RKey(0xA000000C, 33), LastIndexEntry()}));
        PutBytes(blocks + 4096, IndexBlock(4096, {RKey(kJunctionTag, 32), RKey(0xE0000003, 34),
                                                  RKey(kJunctionTag, 35), LastIndexEntry()}));
        PutBytes(blocks + 8192, IndexBlock(4096, {RKey(kJunctionTag, 20), LastIndexEntry()}));
        PutRecord(
            kReparse,
            RecordBuilder(1024)
                .Resident(0x30, FileNameValue(Ref(11), 3, L"$Reparse"))
                .Resident(0x90,
                          vesk_test::IndexRootValue(4096, {RKey(kJunctionTag, 30), LastIndexEntry()}, true),
                          L"$R")
                .NonResident(0xA0, vesk_test::EncodeRunList({{kFreeCluster, 3}}), 3 * 4096, 3 * 4096, L"$R")
                .Resident(0xB0, {0x03, 0, 0, 0, 0, 0, 0, 0}, L"$R")
                .Build());
    }

    static Bytes RKey(std::uint32_t tag, std::uint64_t record) {
        return IndexEntry(0, ReparseKey(tag, Ref(record)));
    }
};

// The entries of the table loaded from volume ("\TARGET<\Source ..."), or the error.
std::wstring Loaded(const SyntheticTree& volume) {
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    try {
        const CJunctionTable table(&mft, CUpcaseTable(mft), false, kWin32, L'C');
        std::wstring entries;
        for (const JunctionEntry& entry : table.GetEntries())
            entries += (entries.empty() ? L"" : L" ") + entry.targetPath + L"<" + entry.sourcePath;
        return entries;
    } catch (const std::runtime_error& e) {
        return std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what()));
    }
}

TEST(JunctionTable, LoadsTheJunctionsOfEveryIndexNodeInUseOrReportsWhatKeepsIt) {
    for (const vesk_test::Row& row : vesk_test::ReadRows("junction_tables")) {
        JunctionVolume volume;
        std::vector<std::string> words = vesk_test::Words(row.input);
        if (words[0] != "none") {
            const bool directory = words[1] == "dir";
            std::string record;
            for (std::size_t i = 1 + directory; i < words.size(); ++i)
                record += words[i] + " ";
            volume.PutRecord(std::stoull(words[0]),
                             vesk_test::RecordFromText(record, directory ? RecordBuilder::kInUse |
                                                                               RecordBuilder::kDirectory
                                                                         : RecordBuilder::kInUse));
        }
        EXPECT_EQ(Loaded(volume), Wide(row.expected == "-" ? "" : row.expected)) << row.where;
    }
}

} // namespace
} // namespace Krod
