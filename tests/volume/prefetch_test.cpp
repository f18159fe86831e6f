// Reads asked for ahead: the scan asks for what its block's attribute lists lead to, and a device that
// keeps or fetches those ranges still delivers exactly the file's bytes.
#include "tests/common/scratch_folder.h"
#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/Mft.h"

#include <gtest/gtest.h>

#include <fstream>

namespace Krod {
namespace {

using vesk_test::Bytes;

// Record 9's non-resident list (at cluster 40) and record 10's resident one name record 14; record
// 11, not in use, is left out by the filter. What following the lists reads outside the block is
// asked for, in order of position.
TEST(ListPrefetch, AsksForWhatFollowingTheBlocksListsReads) {
    Bytes entry(0x20, 0); // $DATA, instance 0, in record 14 (sequence number 1)
    for (auto [at, value] :
         {std::pair<int, int>{0x00, 0x80}, {0x04, 0x20}, {0x07, 0x1A}, {0x10, 14}, {0x16, 1}})
        entry[at] = static_cast<std::uint8_t>(value);
    vesk_test::SyntheticVolume volume;
    volume.PutBytes(40 * 4096, entry);
    const Bytes runs = vesk_test::EncodeRunList({{40, 1}});
    volume.PutRecord(9, vesk_test::RecordBuilder(1024).NonResident(kAttributeList, runs, 4096, 0x20).Build());
    volume.PutRecord(10, vesk_test::RecordBuilder(1024).Resident(kAttributeList, entry).Build());
    volume.PutRecord(11,
                     vesk_test::RecordBuilder(1024, 0).NonResident(kAttributeList, runs, 4096, 0x20).Build());
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    mft.ReadBlock(8, 4);
    mft.PrefetchListReads([](std::uint16_t flags) { return (flags & 1) != 0; });
    const std::vector<platform::ByteRange>& asked = opened.device->Prefetches();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(std::make_pair(asked[0].offset, asked[0].size),
              std::make_pair(volume.RecordOffset(14), std::size_t{1024}));
    EXPECT_EQ(std::make_pair(asked[1].offset, asked[1].size),
              std::make_pair(std::uint64_t{40 * 4096}, std::size_t{4096}));
}

// Ranges asked for, cached or not, across and beyond the end of a file, change no read.
TEST(PosixDevicePrefetch, ChangesNoRead) {
    Bytes file((1 << 20) + 100);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    const vesk_test::ScratchFolder scratch;
    const std::string path = (scratch / "prefetch.img").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    platform::OpenResult opened = platform::OpenDevice(std::wstring(path.begin(), path.end()));
    ASSERT_TRUE(opened.device);
    const std::vector<platform::ByteRange> ranges = {{0, 4096},
                                                     {100, 50},
                                                     {8192, 12288},
                                                     {16000, 8192},
                                                     {file.size() - 100, 4096},
                                                     {file.size() + 4096, 4096},
                                                     {~0ull - 1000, 512}};
    opened.device->Prefetch(ranges);
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
