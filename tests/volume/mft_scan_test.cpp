// The MFT scan on a cold device: it takes blocks ahead while the device fetches, and gives the
// same records in the same order as on a warm one.
#include "tools/synthetic/synthetic_volume.h"
#include "volume/AttributeHeader.h"
#include "volume/MftScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace Krod {
namespace {

using vesk_test::Bytes;

// One record as the scan gave it: its number and its bytes, fixed up (empty when it gave none).
using Given = std::pair<std::uint64_t, Bytes>;

// Blocks of two records over the two runs of sixteen; records 0 and 2 name the root, 5, as their
// parent, 1 names 12 and 5 names 13. A warm device (nothing to fetch) gets the next block read in the
// background, and the far reads of one block in kWarmLookEvery; a cold one (it fetches the parent) gets two
// blocks taken ahead and a third read meanwhile, the far reads of all three asked for before the search tests
// the first. Either way the scan gives every record, in order, as the reader reads it alone.
TEST(MftScan, TakesBlocksAheadWhileTheDeviceFetches) {
    vesk_test::SyntheticVolume volume;
    const auto file = [](std::uint64_t parent) {
        return vesk_test::RecordBuilder(1024)
            .Resident(kAttributeFileName, vesk_test::FileNameValue(parent | 1ull << 48, 1, L"f"))
            .Build();
    };
    for (auto [record, parent] : {std::pair<int, int>{1, 12}, {2, 5}, {5, 13}, {9, 5}, {15, 5}})
        volume.PutRecord(record, file(parent));
    std::vector<Given> warm;
    for (const bool cold : {false, true}) {
        auto opened = volume.Open();
        opened.device->ServeBackgroundReads(true);
        opened.device->ReportFetches(cold);
        CMft mft(opened.disk.get());
        mft.EnableDirectoryCache = true;
        CMftScan scan(mft, 2 * mft.GetFileRecordSize());
        scan.Walk(0, mft.GetFileRecordCount(), [](std::uint16_t flags) { return (flags & 1) != 0; });
        ASSERT_TRUE(scan.NextBlock());
        std::vector<std::uint64_t> readAhead, asked;
        for (const auto& read : opened.device->BackgroundReads())
            readAhead.push_back(read.offset);
        for (const auto& range : opened.device->Prefetches())
            asked.push_back(range.offset);
        if (cold) {
            EXPECT_EQ(readAhead,
                      (std::vector{volume.RecordOffset(2), volume.RecordOffset(4), volume.RecordOffset(6)}));
            EXPECT_EQ(asked, (std::vector{volume.RecordOffset(5), volume.RecordOffset(12),
                                          volume.RecordOffset(13)}));
        } else {
            EXPECT_EQ(readAhead, std::vector{volume.RecordOffset(2)});
            EXPECT_EQ(asked, (std::vector{volume.RecordOffset(5), volume.RecordOffset(12)}));
        }
        std::vector<Given> given;
        do {
            for (std::uint64_t n = scan.GetFirst(); n < scan.GetEnd(); ++n) {
                const std::uint8_t* bytes = scan.Record(n);
                given.emplace_back(n, bytes ? Bytes(bytes, bytes + mft.GetFileRecordSize()) : Bytes());
            }
        } while (scan.NextBlock());
        if (!cold) {
            warm = given;
            CMft alone(volume.Open().disk.get());
            ASSERT_EQ(given.size(), alone.GetFileRecordCount());
            for (const auto& [n, bytes] : given) {
                const CFileRecord record = alone.ReadFileRecord(static_cast<std::uint32_t>(n));
                EXPECT_EQ(bytes.empty(), !record.IsFixedUp()) << n;
                EXPECT_TRUE(bytes.empty() || std::equal(bytes.begin(), bytes.end(), record.GetBuffer())) << n;
            }
        }
        EXPECT_EQ(given, warm);
        EXPECT_EQ(opened.device->BackgroundReads().size(), 7u) << "every block after the first";
    }
}

} // namespace
} // namespace Krod
