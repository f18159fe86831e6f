#include "tools/synthetic/synthetic_tree.h"
#include "volume/IndexAttributes.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <functional>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::IndexBlock;
using vesk_test::IndexEntry;
using vesk_test::LastIndexEntry;
using vesk_test::PutLe;
using vesk_test::RecordBuilder;
using vesk_test::Ref;
using vesk_test::SyntheticTree;

constexpr std::uint64_t kRecord = 20;
const std::uint64_t kBlocksAt = SyntheticTree::kFreeCluster;

// Record numbers of the entries ("30,31"), or the error that listing them threw.
std::string Listed(const std::function<IndexEntryList()>& list) {
    try {
        std::string text;
        for (const CIndexEntry& entry : list())
            text += (text.empty() ? "" : ",") + std::to_string(entry.GetFileReference().GetRecordNumber());
        return text;
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

CFileRecord LoadRecord(SyntheticTree& tree, const RecordBuilder& record) {
    tree.PutRecord(kRecord, record.Build());
    auto opened = tree.Open();
    return CMft(opened.disk.get()).ReadFileRecord(kRecord);
}

TEST(IndexRoot, ListsValidatedEntriesUpToTheLastOne) {
    const Bytes key(12, 0xAB);
    // Value offsets: the node header at 0x10, the first entry at 0x20.
    constexpr std::size_t kIndexLength = 0x14;
    constexpr std::size_t kFirstEntry = 0x20;
    const Bytes plain = vesk_test::IndexRootValue(
        4096, {IndexEntry(Ref(30), key), IndexEntry(Ref(31), key), LastIndexEntry()});
    const auto patched = [&plain](std::size_t offset, std::uint64_t value, std::size_t width) {
        Bytes bytes = plain;
        PutLe(bytes, offset, value, width);
        return bytes;
    };
    struct Case {
        const char* what;
        Bytes value;
        std::string listed;
    };
    const Case cases[] = {
        {"two entries", plain, "30,31"},
        {"sub-node pointers",
         vesk_test::IndexRootValue(4096, {IndexEntry(Ref(30), key, 1), IndexEntry(0, {}, 3)}, true), "30"},
        {"zero entry length ends the walk", patched(kFirstEntry + 32 + 8, 0, 2), "30"},
        {"entry reaching past the node", patched(kFirstEntry + 8, 0x400, 2),
         "Index entry reaches past its node"},
        {"entry header cut by the node end", patched(kIndexLength, 0x10 + 32 + 8, 4),
         "Index entry reaches past its node"},
        {"node reaching past the value", patched(kIndexLength, 0x1000, 4),
         "Index node reaches past its buffer"},
        {"first entry behind the node end", patched(0x10, 0x200, 4), "Index node reaches past its buffer"},
        {"key reaching past its entry", patched(kFirstEntry + 0x0A, 0x20, 2),
         "Index entry key reaches past its entry"},
    };
    for (const Case& c : cases) {
        SyntheticTree tree;
        const CFileRecord record = LoadRecord(tree, RecordBuilder(1024).Resident(0x90, c.value, L"$R"));
        const CIndexRootAttribute root(record.GetAttribute(0));
        EXPECT_EQ(Listed([&] { return root.GetEntries(); }), c.listed) << c.what;
    }

    SyntheticTree tree;
    const CFileRecord record = LoadRecord(
        tree,
        RecordBuilder(1024).Resident(0x90, vesk_test::IndexRootValue(2048, {LastIndexEntry()}, true), L"$R"));
    const CIndexRootAttribute root(record.GetAttribute(0));
    EXPECT_EQ(root.GetBytesPerIndexBlock(), 2048u);
    EXPECT_TRUE(root.HasSubNodes());
}

// Entries of 40 bytes, so that stretch ends fall on their file references.
std::vector<Bytes> Entries(std::uint64_t first, std::size_t count) {
    std::vector<Bytes> entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back(IndexEntry(Ref(first + i), Bytes(0x18, 0x5A)));
    entries.push_back(LastIndexEntry());
    return entries;
}

TEST(IndexAllocation, WalksEveryBlockInUseWithItsUpdateSequenceUndone) {
    SyntheticTree tree;
    const std::uint32_t bytesPerCluster = tree.BytesPerCluster();
    tree.PutBytes(kBlocksAt * bytesPerCluster, IndexBlock(4096, Entries(100, 30)));
    tree.PutBytes((kBlocksAt + 1) * bytesPerCluster, Bytes(4096, 0xEE)); // never written: no signature
    tree.PutBytes((kBlocksAt + 2) * bytesPerCluster, IndexBlock(4096, Entries(200, 1)));
    const CFileRecord record =
        LoadRecord(tree, RecordBuilder(1024).NonResident(0xA0, vesk_test::EncodeRunList({{kBlocksAt, 3}}),
                                                         3 * 4096, 3 * 4096));
    const CIndexAllocationAttribute allocation(record.GetAttribute(0), 4096);
    ASSERT_EQ(allocation.GetBlockCount(), 3u);

    std::string first;
    for (std::uint64_t i = 0; i < 30; ++i)
        first += (i ? "," : "") + std::to_string(100 + i);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> inUse;
        std::string listed;
    };
    const Case cases[] = {
        {"first and third", {0x05}, first + ",200"},
        {"first only", {0x01}, first},
        {"no bitmap", {}, ""},
        {"bits beyond the blocks", {0xF4}, "200"},
        {"unwritten block in use", {0x07}, "Index block in use is damaged"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Listed([&] { return allocation.GetEntries(c.inUse); }), c.listed) << c.what;

    // The update sequence restores the references under the stretch ends.
    for (const CIndexEntry& entry : allocation.GetEntries({0x01}))
        EXPECT_EQ(entry.GetFileReference().GetRaw() >> 48, 1u);
}

TEST(IndexAllocation, RefusesABlockInUseWithATornUpdateSequence) {
    SyntheticTree tree;
    const std::uint64_t blocks = kBlocksAt * tree.BytesPerCluster();
    // 2048-byte blocks: two per cluster, each with its own update sequence.
    tree.PutBytes(blocks, IndexBlock(2048, Entries(10, 1)));
    tree.PutBytes(blocks + 2048, IndexBlock(2048, Entries(11, 1)));
    tree.PutBytes(blocks + 2048 + 1022, {0x00, 0x00}); // second stretch of block 1 torn
    const CFileRecord record = LoadRecord(
        tree, RecordBuilder(1024).NonResident(0xA0, vesk_test::EncodeRunList({{kBlocksAt, 1}}), 4096, 4096));
    const CIndexAllocationAttribute allocation(record.GetAttribute(0), 2048);
    EXPECT_EQ(allocation.GetBlockCount(), 2u);
    EXPECT_EQ(Listed([&] { return allocation.GetEntries({0x01}); }), "10");
    EXPECT_EQ(Listed([&] { return allocation.GetEntries({0x03}); }), "Index block in use is damaged");
}

TEST(IndexAllocation, RefusesAStreamLongerThanItsVolume) {
    // Runs of 65535 clusters on a 256-cluster volume: the whole stream would be read into memory,
    // 256 MiB of zeros past the volume's end.
    SyntheticTree tree;
    const std::uint64_t clusters = 0xFFFF;
    const CFileRecord record = LoadRecord(
        tree, RecordBuilder(1024).NonResident(0xA0, vesk_test::EncodeRunList({{kBlocksAt, clusters}}),
                                              clusters * 4096, clusters * 4096));
    try {
        const CIndexAllocationAttribute allocation(record.GetAttribute(0), 4096);
        ADD_FAILURE() << "read " << allocation.GetBlockCount() << " blocks";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "INDEX_ALLOCATION size too long");
    }
}

TEST(IndexBitmap, ReadsResidentAndNonResidentBitmaps) {
    SyntheticTree tree;
    tree.PutBytes(kBlocksAt * tree.BytesPerCluster(), {0x0F, 0x01, 0x80, 0xFF});
    const CFileRecord record =
        LoadRecord(tree, RecordBuilder(1024)
                             .Resident(0xB0, {0x05, 0x00}, L"$R")
                             .NonResident(0xB0, vesk_test::EncodeRunList({{kBlocksAt, 1}}), 4096, 3, L"$R"));
    EXPECT_EQ(ReadIndexBitmap(record.GetAttribute(0)), (std::vector<std::uint8_t>{0x05, 0x00}));
    EXPECT_EQ(ReadIndexBitmap(record.GetAttribute(1)), (std::vector<std::uint8_t>{0x0F, 0x01, 0x80}));
}

} // namespace
} // namespace Krod
