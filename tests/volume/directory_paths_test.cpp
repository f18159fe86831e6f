#include "tools/synthetic/synthetic_tree.h"
#include "volume/DirectoryPaths.h"
#include "volume/FileNameAttribute.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::FileNameValue;
using vesk_test::RecordBuilder;
using vesk_test::Ref;
using vesk_test::SyntheticTree;

// The tree the climbs run over (record: names, parent):
//   20 Apps (Win32&DOS) in the root
//   21 "Long name" (Win32) and LONGNA~1 (DOS) in 20
//   22 "posix dir" (POSIX) in 21
//   23 x and y (two Win32 names: a hard-linked directory) in 20
//   24 not a FILE record
//   25 DOSONLY (DOS only) in the root
//   26 "win" (Win32) and "posix" (POSIX) in the root
//   27 A~1 and B~1 (two DOS names) in the root
//   40 and 41 each other's parent; 42 its own parent
SyntheticTree Tree() {
    SyntheticTree tree;
    tree.PutDirectory(20, {FileNameValue(Ref(5), 3, L"Apps")});
    tree.PutDirectory(21, {FileNameValue(Ref(20), 1, L"Long name"), FileNameValue(Ref(20), 2, L"LONGNA~1")});
    tree.PutDirectory(22, {FileNameValue(Ref(21), 0, L"posix dir")});
    tree.PutDirectory(23, {FileNameValue(Ref(20), 1, L"x"), FileNameValue(Ref(20), 1, L"y")});
    tree.PutDirectory(25, {FileNameValue(Ref(5), 2, L"DOSONLY")});
    tree.PutDirectory(26, {FileNameValue(Ref(5), 1, L"win"), FileNameValue(Ref(5), 0, L"posix")});
    tree.PutDirectory(27, {FileNameValue(Ref(5), 2, L"A~1"), FileNameValue(Ref(5), 2, L"B~1")});
    tree.PutDirectory(40, {FileNameValue(Ref(41), 1, L"loop")});
    tree.PutDirectory(41, {FileNameValue(Ref(40), 1, L"back")});
    tree.PutDirectory(42, {FileNameValue(Ref(42), 1, L"self")});
    return tree;
}

// The records of the names under test follow the tree's directories.
constexpr std::uint64_t kFirstFile = 43;

struct FileName {
    std::uint64_t parent;
    std::uint8_t nameSpace;
};

// Opens tree with one file record per name (from kFirstFile on) and runs check on each name's view.
void ForEachName(SyntheticTree tree, const std::vector<FileName>& names,
                 const std::function<void(std::size_t, const CFileNameAttribute&, CMft&)>& check) {
    for (std::size_t i = 0; i < names.size(); ++i)
        tree.PutRecord(kFirstFile + i,
                       RecordBuilder(1024)
                           .Resident(0x30, FileNameValue(Ref(names[i].parent), names[i].nameSpace, L"file"))
                           .Build());
    auto opened = tree.Open();
    CMft mft(opened.disk.get());
    for (std::size_t i = 0; i < names.size(); ++i)
        check(i,
              CFileNameAttribute(
                  mft.ReadFileRecord(kFirstFile + i).GetFileNameAttributes(AnyNamespace).front()),
              mft);
}

std::string Failure(const std::exception& e) {
    return std::string(typeid(e).name()) + " " + e.what();
}

template <typename E> std::string Thrown(const char* what) {
    return std::string(typeid(E).name()) + " " + what;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(ParentPath, ClimbsToTheRootNamingEachAncestorInTheSelectedNamespace) {
    struct Case {
        const char* what;
        FileName name;
        int selector;
        std::string path;
    };
    const Case cases[] = {
        {"file in the root", {5, 1}, AnyNamespace, "\\"},
        {"Win32&DOS ancestor", {20, 1}, 1, "\\Apps\\"},
        {"Win32 name: Win32 ancestors", {21, 1}, AnyNamespace, "\\Apps\\Long name\\"},
        {"DOS name: DOS ancestors", {21, 2}, AnyNamespace, "\\Apps\\LONGNA~1\\"},
        {"DOS selector", {21, 1}, 2, "\\Apps\\LONGNA~1\\"},
        {"Win32&DOS name: DOS names pruned", {21, 3}, AnyNamespace, "\\Apps\\Long name\\"},
        {"POSIX name below a POSIX ancestor", {22, 0}, AnyNamespace, "\\Apps\\Long name\\posix dir\\"},
        {"POSIX name kept over Win32", {26, 1}, 1, "\\posix\\"},
        {"hard-linked directory", {23, 1}, 1, Thrown<std::logic_error>("Hardlink on directory occured")},
        {"two DOS names", {27, 2}, 2, Thrown<std::logic_error>("Hardlink on directory occured")},
        {"ancestor not a FILE record",
         {24, 1},
         1,
         Thrown<ENoFilenameAttribute>("MFC record #24(1) does not have FILE_NAME attribute.")},
        {"ancestor without a name of the namespace",
         {25, 1},
         1,
         Thrown<ENoFilenameAttribute>("MFC record #25(1) does not have FILE_NAME attribute.")},
        {"ancestor with a DOS name only, DOS selector", {25, 2}, 2, "\\DOSONLY\\"},
        {"parents in a loop",
         {40, 1},
         1,
         Thrown<EBrokenParentChain>("MFC record #40(1) is its own ancestor.")},
        {"its own parent", {42, 1}, 1, Thrown<EBrokenParentChain>("MFC record #42(1) is its own ancestor.")},
    };
    std::vector<FileName> names;
    for (const Case& c : cases)
        names.push_back(c.name);
    ForEachName(Tree(), names, [&cases](std::size_t i, const CFileNameAttribute& name, CMft& mft) {
        try {
            EXPECT_EQ(Narrow(name.GetParentPath(mft, cases[i].selector)), cases[i].path) << cases[i].what;
        } catch (const std::exception& e) {
            EXPECT_EQ(Failure(e), cases[i].path) << cases[i].what;
        }
    });
}

TEST(AncestorRecords, ListsTheAncestorsRootFirst) {
    struct Case {
        const char* what;
        std::uint64_t parent;
        std::string records;
    };
    const Case cases[] = {
        {"file in the root", 5, "5"},
        {"three levels down", 22, "5,20,21,22"},
        {"hard-linked directory: its first name", 23, "5,20,23"},
        {"ancestor not a FILE record", 24,
         Thrown<ENoFilenameAttribute>("MFC record #24(1) does not have FILE_NAME attribute.")},
        {"parents in a loop", 41, Thrown<EBrokenParentChain>("MFC record #41(1) is its own ancestor.")},
    };
    std::vector<FileName> names;
    for (const Case& c : cases)
        names.push_back({c.parent, 1});
    ForEachName(Tree(), names, [&cases](std::size_t i, const CFileNameAttribute& name, CMft& mft) {
        try {
            std::string records;
            const auto ancestors = name.GetAncestorRecords(mft);
            for (const CFileRecord& record : *ancestors)
                records +=
                    (records.empty() ? "" : ",") + std::to_string(record.GetReference().GetRecordNumber());
            EXPECT_EQ(records, cases[i].records) << cases[i].what;
        } catch (const std::exception& e) {
            EXPECT_EQ(Failure(e), cases[i].records) << cases[i].what;
        }
    });
}

TEST(ParentPath, GivesUpBelowTheDeepestPossibleDirectory) {
    // Directories 20 .. 20 + kMaxDirectoryDepth, each the parent of the one before; the last in the root.
    const std::uint64_t deepest = 20;
    const std::uint64_t top = deepest + kMaxDirectoryDepth;
    const std::uint64_t clusters = (top + 1) / 4 + 1;
    vesk_test::SyntheticVolume volume(vesk_test::Geometry{}, 4 + clusters, {{4, clusters}});
    volume.PutRecord(5, SyntheticTree::DirectoryRecord({FileNameValue(Ref(5), 3, L".")}).Build());
    for (std::uint64_t n = deepest; n <= top; ++n)
        volume.PutRecord(
            n, SyntheticTree::DirectoryRecord({FileNameValue(Ref(n == top ? 5 : n + 1), 1, L"d")}).Build());
    volume.PutRecord(10,
                     RecordBuilder(1024).Resident(0x30, FileNameValue(Ref(deepest), 1, L"too deep")).Build());
    volume.PutRecord(
        11, RecordBuilder(1024).Resident(0x30, FileNameValue(Ref(deepest + 1), 1, L"deepest")).Build());
    auto opened = volume.Open();
    CMft mft(opened.disk.get());

    const CFileNameAttribute deepestName(mft.ReadFileRecord(11).GetFileNameAttributes(AnyNamespace).front());
    std::wstring path = L"\\";
    for (std::size_t i = 0; i < kMaxDirectoryDepth; ++i)
        path += L"d\\";
    EXPECT_EQ(deepestName.GetParentPath(mft), path);

    const CFileNameAttribute tooDeep(mft.ReadFileRecord(10).GetFileNameAttributes(AnyNamespace).front());
    try {
        tooDeep.GetParentPath(mft);
        ADD_FAILURE() << "no error";
    } catch (const ENoFilenameAttribute& e) {
        EXPECT_STREQ(e.what(), ("MFC record #" + std::to_string(top) +
                                "(1) lies more than 16384 directories below the root.")
                                   .c_str());
    }
    EXPECT_THROW(tooDeep.GetAncestorRecords(mft), EBrokenParentChain);
}

} // namespace
} // namespace Krod
