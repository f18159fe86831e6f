// Reads asked for ahead: what a block's lists and climbs will read; a device keeping them changes no read.
#include "image/ImageStack.h"
#include "tests/common/scratch_folder.h"
#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/MftScan.h"

#include <gtest/gtest.h>

#include <fstream>

namespace Krod {
namespace {

using vesk_test::Bytes;

// Records 9 (non-resident list at cluster 40) and 10 (resident list) name record 14 and, as parent,
// record 15 beyond the block; 11 is not in use. Asked for in order, neighbours joined: the lists' reads,
// and the parent only while directories are kept, once.
TEST(FarReadPrefetch, AsksForWhatTheBlocksListsAndClimbsRead) {
    Bytes entry(0x20, 0); // $DATA, instance 0, in record 14 (sequence number 1)
    for (auto [at, value] :
         {std::pair<int, int>{0x00, 0x80}, {0x04, 0x20}, {0x07, 0x1A}, {0x10, 14}, {0x16, 1}})
        entry[at] = static_cast<std::uint8_t>(value);
    vesk_test::SyntheticVolume volume;
    volume.PutBytes(40 * 4096, entry);
    const Bytes runs = vesk_test::EncodeRunList({{40, 1}});
    const Bytes underFifteen = vesk_test::FileNameValue(15 | 1ull << 48, 1, L"b");
    volume.PutRecord(9, vesk_test::RecordBuilder(1024)
                            .NonResident(kAttributeList, runs, 4096, 0x20)
                            .Resident(kAttributeFileName, vesk_test::FileNameValue(5 | 5ull << 48, 1, L"a"))
                            .Resident(kAttributeFileName, underFifteen)
                            .Build());
    volume.PutRecord(10, vesk_test::RecordBuilder(1024)
                             .Resident(kAttributeList, entry)
                             .Resident(kAttributeFileName, underFifteen)
                             .Build());
    volume.PutRecord(11,
                     vesk_test::RecordBuilder(1024, 0).NonResident(kAttributeList, runs, 4096, 0x20).Build());
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    CMftScan scan(mft);
    const auto inUse = [](std::uint16_t flags) { return (flags & 1) != 0; };
    std::size_t seen = 0; // ranges asked for before the last call
    const auto asked = [&opened, &seen] {
        std::vector<std::pair<std::uint64_t, std::size_t>> ranges;
        for (const auto& all = opened.device->Prefetches(); seen < all.size(); ++seen)
            ranges.emplace_back(all[seen].offset, all[seen].size);
        return ranges;
    };
    const std::pair<std::uint64_t, std::size_t> extension{volume.RecordOffset(14), 1024},
        list{40 * 4096, 4096}, extensionAndParent{volume.RecordOffset(14), 2048};
    scan.ReadBlock(8, 4); // records 8-11
    scan.PrefetchFarReads(inUse);
    EXPECT_EQ(asked(), (std::vector{extension, list}));
    mft.EnableDirectoryCache = true;
    scan.PrefetchFarReads(inUse);
    EXPECT_EQ(asked(), (std::vector{extensionAndParent, list}));
    scan.PrefetchFarReads(inUse);
    EXPECT_EQ(asked(), (std::vector{extension, list}));
}

// The directories above names in 9 and 12 (13, then the root) are asked for a level at a time, in
// order of position, while directories are kept; once kept, none is asked for again.
TEST(FarReadPrefetch, AncestorsAreAskedForALevelAtATime) {
    vesk_test::SyntheticVolume volume;
    const auto directory = [](std::uint64_t parent) {
        return vesk_test::RecordBuilder(1024, vesk_test::RecordBuilder::kInUse |
                                                  vesk_test::RecordBuilder::kDirectory)
            .Resident(kAttributeFileName, vesk_test::FileNameValue(parent, 1, L"d"))
            .Build();
    };
    for (auto [record, parent] : {std::pair<int, int>{5, 5}, {9, 5}, {12, 13}, {13, 5}})
        volume.PutRecord(record, directory(parent | 1ull << 48));
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    CMftScan scan(mft);
    const std::vector<FileReference> parents{FileReference(12), FileReference(9)};
    scan.ReadAncestors(parents);
    EXPECT_TRUE(opened.device->Prefetches().empty());
    mft.EnableDirectoryCache = true;
    scan.ReadAncestors(parents);
    std::vector<std::uint64_t> asked;
    for (const auto& range : opened.device->Prefetches())
        asked.push_back(range.offset);
    EXPECT_EQ(asked, (std::vector{volume.RecordOffset(9), volume.RecordOffset(12), volume.RecordOffset(5),
                                  volume.RecordOffset(13)}));
    scan.ReadAncestors(parents);
    EXPECT_EQ(opened.device->Prefetches().size(), asked.size());
}

// Ranges asked for, cached or not, across and beyond the end of a file, change no read.
TEST(PosixDevicePrefetch, ChangesNoRead) {
    Bytes file((1 << 20) + 100);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    const vesk_test::ScratchFolder scratch;
    const std::string path = (scratch / "prefetch.img").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    // Taken for a volume as it is, whatever its bytes.
    const image::VolumeReader whole{[](const std::uint8_t*, std::size_t) { return true; }, "", ""};
    platform::OpenResult opened = image::OpenVolume(std::wstring(path.begin(), path.end()), whole);
    ASSERT_TRUE(opened.device);
    const std::vector<platform::ByteRange> ranges = {{0, 4096},
                                                     {100, 50},
                                                     {8192, 12288},
                                                     {16000, 8192},
                                                     {file.size() - 100, 4096},
                                                     {file.size() + 4096, 4096},
                                                     {~0ull - 1000, 512}};
    opened.device->Prefetch(ranges, CMftScan::kBlockBytes);
    for (const auto& [offset, size] : ranges) {
        Bytes buffer(size, 0xEE), expected(size, 0);
        for (std::size_t i = 0; i < size && offset + i < file.size(); ++i)
            expected[i] = file[offset + i];
        ASSERT_EQ(opened.device->Seek(offset), 0u);
        ASSERT_EQ(opened.device->Read(buffer.data(), size), 0u);
        EXPECT_EQ(buffer, expected) << offset;
    }
}

} // namespace
} // namespace Krod
