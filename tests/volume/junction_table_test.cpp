#include "tools/synthetic/synthetic_tree.h"
#include "volume/FileNameAttribute.h"
#include "volume/JunctionTable.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <functional>

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

std::wstring Joined(const std::list<std::wstring>& paths) {
    std::wstring text;
    for (const std::wstring& path : paths)
        text += (text.empty() ? L"" : L" | ") + path;
    return text;
}

TEST(StripPathPrefix, DropsTheLeadingRunOfBackslashesQuestionMarksAndFullStops) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"\\??\\C:\\T", L"C:\\T"},
        {L"\\\\.\\C:", L"C:"},
        {L"C:\\a\\.b", L"C:\\a\\.b"},
        {L"\\\\\\", L"\\\\\\"},
        {L"", L""},
        {L"..\\x", L"x"},
    };
    for (const auto& [text, stripped] : cases)
        EXPECT_EQ(StripPathPrefix(text), stripped) << std::string(text.begin(), text.end());
}

// Tables built from entries alone, on a volume whose only use is its upper-case table.
class JunctionLookup : public ::testing::Test {
  protected:
    JunctionLookup() : opened_(tree_.Open()), mft_(opened_.disk.get()), upcase_(mft_) {}

    CJunctionTable Table(const std::vector<std::pair<std::wstring, std::wstring>>& junctions,
                         bool caseSensitive = false) {
        CJunctionTable table(nullptr, upcase_, caseSensitive, kWin32, L'c');
        for (std::size_t i = 0; i < junctions.size(); ++i)
            EXPECT_TRUE(table.AddEntry(FileReference(30 + i), junctions[i].first, junctions[i].second));
        return table;
    }

    SyntheticTree tree_;
    vesk_test::OpenedVolume opened_;
    CMft mft_;
    CUpcaseTable upcase_;
};

TEST_F(JunctionLookup, ListsThePathThenEachAlternateWithItsOwnAlternates) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::wstring, std::wstring>> junctions; // source, target
        std::wstring path;
        std::wstring paths;
    };
    const Case cases[] = {
        {"below the target", {{L"\\D\\J", L"C:\\T"}}, L"\\T\\S\\", L"\\T\\S\\ | \\D\\J\\S\\"},
        {"the target itself", {{L"\\D\\J", L"C:\\T"}}, L"\\T\\", L"\\T\\ | \\D\\J\\"},
        {"no trailing backslash", {{L"\\D\\J", L"C:\\T"}}, L"\\T\\S", L"\\T\\S | \\D\\J\\S"},
        {"target ends inside a name", {{L"\\D\\J", L"C:\\A"}}, L"\\AB\\", L"\\AB\\"},
        {"target ends at a backslash", {{L"\\D\\J", L"C:\\A"}}, L"\\A\\B\\", L"\\A\\B\\ | \\D\\J\\B\\"},
        {"caller's case kept", {{L"\\D\\J", L"C:\\T"}}, L"\\t\\sUb\\", L"\\t\\sUb\\ | \\D\\J\\sUb\\"},
        {"other drive", {{L"\\D\\J", L"D:\\T"}}, L"\\T\\", L"\\T\\"},
        {"path with its drive", {{L"\\D\\J", L"D:\\T"}}, L"d:\\T\\x\\", L"d:\\T\\x\\ | \\D\\J\\x\\"},
        {"target with trailing backslash", {{L"\\D\\J", L"C:\\T\\"}}, L"\\T\\", L"\\T\\ | \\D\\J\\"},
        {"drive root target", {{L"\\R\\J", L"C:\\"}}, L"\\X\\Y\\", L"\\X\\Y\\ | \\R\\J\\X\\Y\\"},
        {"drive root itself", {{L"\\R\\J", L"C:"}}, L"\\", L"\\ | \\R\\J\\"},
        {"most specific target first",
         {{L"\\P\\J1", L"C:\\T"}, {L"\\Q\\J2", L"C:\\T\\S"}},
         L"\\T\\S\\X\\",
         L"\\T\\S\\X\\ | \\Q\\J2\\X\\ | \\P\\J1\\S\\X\\"},
        {"equal targets: latest first",
         {{L"\\A\\J1", L"C:\\T"}, {L"\\B\\J2", L"C:\\t"}},
         L"\\T\\",
         L"\\T\\ | \\B\\J2\\ | \\A\\J1\\"},
        {"alternate of an alternate",
         {{L"\\A\\J1", L"C:\\B"}, {L"\\C\\J2", L"C:\\A"}},
         L"\\B\\X\\",
         L"\\B\\X\\ | \\A\\J1\\X\\ | \\C\\J2\\J1\\X\\"},
        {"junction inside its own target", {{L"\\D\\J", L"C:\\D"}}, L"\\D\\X\\", L"\\D\\X\\ | \\D\\J\\X\\"},
        {"junctions inside each other's targets",
         {{L"\\A\\J1", L"C:\\B"}, {L"\\B\\J2", L"C:\\A"}},
         L"\\A\\X\\",
         L"\\A\\X\\ | \\B\\J2\\X\\ | \\A\\J1\\J2\\X\\"},
    };
    for (const Case& c : cases) {
        const CJunctionTable table = Table(c.junctions);
        EXPECT_EQ(Joined(*table.GetAlternatePaths(c.path)), c.paths) << c.what;
    }

    const CJunctionTable caseSensitive = Table({{L"\\D\\J", L"C:\\T"}}, true);
    EXPECT_EQ(Joined(*caseSensitive.GetAlternatePaths(L"\\t\\s\\")), L"\\t\\s\\");
    EXPECT_EQ(Joined(*caseSensitive.GetAlternatePaths(L"\\T\\s\\")), L"\\T\\s\\ | \\D\\J\\s\\");
    EXPECT_EQ(Joined(*caseSensitive.GetAlternatePaths(L"c:\\T\\s\\")), L"c:\\T\\s\\ | \\D\\J\\s\\")
        << "drive letters match in either case";
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
    std::vector<std::pair<std::wstring, std::wstring>> chain;
    for (int i = 0; i < 70; ++i)
        chain.push_back({L"\\J" + std::to_wstring(i), L"C:\\J" + std::to_wstring(i + 1)});
    EXPECT_EQ(Table(chain).GetAlternatePaths(L"\\J70\\")->size(), 1 + CJunctionTable::kMaxJunctionsPerPath);

    // Ten junctions in \D that all lead to \D reach it along millions of paths.
    std::vector<std::pair<std::wstring, std::wstring>> loops;
    for (int i = 0; i < 10; ++i)
        loops.push_back({L"\\D\\J" + std::to_wstring(i), L"C:\\D"});
    const CJunctionTable table = Table(loops);
    EXPECT_THROW(table.GetAlternatePaths(L"\\D\\"), std::runtime_error);
}

TEST_F(JunctionLookup, WithoutAVolumeOrItsDriveLetterNothingResolves) {
    CJunctionTable empty(nullptr, upcase_, false, kWin32, L'C');
    EXPECT_TRUE(empty.GetEntries().empty());
    EXPECT_EQ(Joined(*empty.GetAlternatePaths(L"\\T\\")), L"\\T\\");

    CJunctionTable noLetter(nullptr, upcase_, false, kWin32, 0);
    noLetter.AddEntry(FileReference(1), L"\\D\\J", L"C:\\T");
    EXPECT_EQ(Joined(*noLetter.GetAlternatePaths(L"\\T\\")), L"\\T\\");
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
        PutReparse(Reparse());
    }

    static Bytes RKey(std::uint32_t tag, std::uint64_t record) {
        return IndexEntry(0, ReparseKey(tag, Ref(record)));
    }

    // $Reparse with its $R index: root, allocation and bitmap.
    static RecordBuilder Reparse() {
        return RecordBuilder(1024)
            .Resident(0x30, FileNameValue(Ref(11), 3, L"$Reparse"))
            .Resident(0x90, vesk_test::IndexRootValue(4096, {RKey(kJunctionTag, 30), LastIndexEntry()}, true),
                      L"$R")
            .NonResident(0xA0, vesk_test::EncodeRunList({{kFreeCluster, 3}}), 3 * 4096, 3 * 4096, L"$R")
            .Resident(0xB0, {0x03, 0, 0, 0, 0, 0, 0, 0}, L"$R");
    }
    void PutReparse(const RecordBuilder& reparse) { PutRecord(kReparse, reparse.Build()); }
};

// The entries of the table loaded from volume ("\TARGET<\Source ..."), or the error.
std::wstring Loaded(const SyntheticTree& volume,
                    const std::function<void(const CJunctionTable&)>& use = nullptr) {
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    try {
        const CJunctionTable table(&mft, CUpcaseTable(mft), false, kWin32, L'C');
        if (use)
            use(table);
        std::wstring entries;
        for (const JunctionEntry& entry : table.GetEntries())
            entries += (entries.empty() ? L"" : L" ") + entry.targetPath + L"<" + entry.sourcePath;
        return entries;
    } catch (const std::runtime_error& e) {
        return std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what()));
    }
}

TEST(JunctionTable, LoadsTheJunctionsOfEveryIndexNodeInUse) {
    const JunctionVolume volume;
    EXPECT_EQ(Loaded(volume,
                     [](const CJunctionTable& table) {
                         EXPECT_EQ(Joined(*table.GetAlternatePaths(L"\\Data\\y\\z\\")),
                                   L"\\Data\\y\\z\\ | \\Third\\z\\ | \\Docs\\Link\\y\\z\\");
                         EXPECT_EQ(Joined(*table.GetAlternatePaths(L"\\Docs\\x\\")),
                                   L"\\Docs\\x\\ | \\Data\\Deep\\ | \\Docs\\Link\\Deep\\");
                     }),
              L"\\DATA<\\Docs\\Link \\DATA\\Y<\\Third \\DOCS\\X<\\Data\\Deep");
}

TEST(JunctionTable, ReportsWhatKeepsItFromLoading) {
    struct Case {
        const char* what;
        std::function<void(JunctionVolume&)> damage;
        std::wstring loaded;
    };
    const Case cases[] = {
        {"no $Reparse in $Extend",
         [](JunctionVolume& v) { v.PutExtend({SyntheticTree::ExtendEntry(L"$ObjId", 12)}); }, L""},
        {"$Extend not a directory",
         [](JunctionVolume& v) {
             v.PutRecord(11, RecordBuilder(1024).Resident(0x30, FileNameValue(5, 3, L"$Extend")).Build());
         },
         L"$Extend is not a directory"},
        {"$Extend without index",
         [](JunctionVolume& v) { v.PutDirectory(11, {FileNameValue(Ref(5), 3, L"$Extend")}); },
         L"$Extend does not have INDEX_ROOT $I30"},
        {"$Reparse without $R root",
         [](JunctionVolume& v) {
             v.PutDirectory(JunctionVolume::kReparse, {FileNameValue(Ref(11), 3, L"$Reparse")});
         },
         L"$Reparse does not have INDEX_ROOT $R"},
        {"$R root with two copies",
         [](JunctionVolume& v) {
             v.PutReparse(JunctionVolume::Reparse().Resident(
                 0x90, vesk_test::IndexRootValue(4096, {LastIndexEntry()}), L"$R"));
         },
         L"$Reparse has several INDEX_ROOT $R"},
        {"sub-nodes without allocation",
         [](JunctionVolume& v) {
             v.PutReparse(RecordBuilder(1024).Resident(
                 0x90, vesk_test::IndexRootValue(4096, {LastIndexEntry()}, true), L"$R"));
         },
         L"$Reparse does not have INDEX_ALLOCATION $R"},
        {"junction without reparse point",
         [](JunctionVolume& v) { v.PutDirectory(30, {FileNameValue(Ref(20), kWin32, L"Link")}); },
         L"Junction point source has no SYMBOLIC_LINK"},
        {"junction without a name of the namespace",
         [](JunctionVolume& v) {
             v.PutRecord(30, SyntheticTree::DirectoryRecord({FileNameValue(Ref(20), 2, L"LINK~1")})
                                 .Resident(0xC0, vesk_test::MountPointValue(L"\\??\\C:\\Data"))
                                 .Build());
         },
         L"Junction point source has no FILE_NAME"},
        {"damaged $R key",
         [](JunctionVolume& v) {
             v.PutReparse(RecordBuilder(1024).Resident(
                 0x90, vesk_test::IndexRootValue(4096, {IndexEntry(0, Bytes(8, 3)), LastIndexEntry()}),
                 L"$R"));
         },
         L"$R index entry is shorter than its key"},
    };
    for (const Case& c : cases) {
        JunctionVolume volume;
        c.damage(volume);
        EXPECT_EQ(Loaded(volume), c.loaded) << c.what;
    }
}

} // namespace
} // namespace Krod
