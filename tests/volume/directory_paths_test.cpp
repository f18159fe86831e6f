#include "tests/volume/rows.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/DirectoryPaths.h"
#include "volume/FileNameAttribute.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

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

// Each row of parent_paths.txt climbs from a file of its own, record kFirstFile + its index.
TEST(ParentPath, ClimbsToTheRootNamingEachAncestorInTheSelectedNamespace) {
    constexpr std::uint64_t kFirstFile = 43;
    const std::vector<vesk_test::Row> rows = vesk_test::ReadRows("parent_paths");
    SyntheticTree tree = Tree();
    std::vector<std::vector<std::string>> inputs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        inputs.push_back(vesk_test::Words(rows[i].input));
        const bool ancestors = inputs[i][0] == "ancestors";
        const std::uint64_t parent = std::stoull(inputs[i][ancestors]);
        const auto nameSpace = static_cast<std::uint8_t>(ancestors ? 1 : std::stoi(inputs[i][1]));
        tree.PutRecord(
            kFirstFile + i,
            RecordBuilder(1024).Resident(0x30, FileNameValue(Ref(parent), nameSpace, L"file")).Build());
    }
    auto opened = tree.Open();
    CMft mft(opened.disk.get());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CFileNameAttribute name(
            mft.ReadFileRecord(kFirstFile + i).GetFileNameAttributes(AnyNamespace).front());
        std::string outcome;
        try {
            if (inputs[i][0] == "ancestors") {
                const auto ancestors = GetAncestorRecords(mft, name);
                for (const CFileRecord& record : *ancestors)
                    outcome += (outcome.empty() ? "" : ",") +
                               std::to_string(record.GetReference().GetRecordNumber());
            } else {
                const std::wstring path =
                    GetParentPath(mft, name, inputs[i][2] == "any" ? AnyNamespace : std::stoi(inputs[i][2]));
                outcome = std::string(path.begin(), path.end());
            }
        } catch (const std::exception& e) {
            outcome = std::string("error: ") + e.what();
        }
        EXPECT_EQ(outcome, rows[i].expected) << rows[i].where;
    }
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
    EXPECT_EQ(GetParentPath(mft, deepestName), path);

    const CFileNameAttribute tooDeep(mft.ReadFileRecord(10).GetFileNameAttributes(AnyNamespace).front());
    try {
        GetParentPath(mft, tooDeep);
        ADD_FAILURE() << "no error";
    } catch (const ENoFilenameAttribute& e) {
        EXPECT_STREQ(e.what(), ("MFC record #" + std::to_string(top) +
                                "(1) lies more than 16384 directories below the root.")
                                   .c_str());
    }
    EXPECT_THROW(GetAncestorRecords(mft, tooDeep), EBrokenParentChain);
}

} // namespace
} // namespace Krod
