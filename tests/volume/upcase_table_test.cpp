#include "tools/synthetic/synthetic_tree.h"
#include "volume/Errors.h"
#include "volume/Mft.h"
#include "volume/UpcaseTable.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <locale>

namespace Krod {
namespace {

using vesk_test::Bytes;
using vesk_test::FileNameValue;
using vesk_test::RecordBuilder;
using vesk_test::SyntheticTree;
using vesk_test::SyntheticVolume;

// The clusters of the table that reached the device since the last call, as VCNs.
class ClusterReads {
  public:
    ClusterReads(const platform::MemoryDevice& device, std::uint64_t firstCluster,
                 std::uint32_t bytesPerCluster)
        : device_(device), firstCluster_(firstCluster), bytesPerCluster_(bytesPerCluster),
          seen_(device.Reads().size()) {}

    std::vector<std::uint64_t> Take() {
        std::vector<std::uint64_t> vcns;
        for (; seen_ < device_.Reads().size(); ++seen_) {
            const auto& read = device_.Reads()[seen_];
            vcns.push_back(read.offset / bytesPerCluster_ - firstCluster_);
            EXPECT_EQ(read.size, bytesPerCluster_);
        }
        return vcns;
    }

  private:
    const platform::MemoryDevice& device_;
    std::uint64_t firstCluster_;
    std::uint32_t bytesPerCluster_;
    std::size_t seen_;
};

using Vcns = std::vector<std::uint64_t>;

TEST(UpcaseTable, LoadsOneClusterPerPageOnFirstUseAndSharesPagesBetweenCopies) {
    SyntheticTree tree; // 4096-byte clusters: 2048 entries per page
    auto opened = tree.Open();
    CMft mft(opened.disk.get());
    const CUpcaseTable table(mft);
    ClusterReads reads(*opened.device, SyntheticTree::kUpcaseCluster, 4096);
    EXPECT_EQ(reads.Take(), Vcns{}) << "construction reads no page";

    EXPECT_EQ(table.ToUpper(L'a'), L'A');
    EXPECT_EQ(reads.Take(), Vcns{0});
    EXPECT_EQ(table.ToUpper(0x0411), 0x0411); // same page, maps to itself
    EXPECT_EQ(table.ToUpper(L'5'), L'5');
    EXPECT_EQ(reads.Take(), Vcns{});
    EXPECT_EQ(table.ToUpper(0x1E01), 0x1E00); // page 3, entry 0x601
    EXPECT_EQ(reads.Take(), Vcns{3});

    const CUpcaseTable copy(table);
    EXPECT_EQ(copy.ToUpper(0x1E01), 0x1E00);
    EXPECT_EQ(copy.ToUpper(0xFFFF), 0xFFFF);
    EXPECT_EQ(reads.Take(), Vcns{31});
    EXPECT_EQ(table.ToUpper(0xFFFF), 0xFFFF);
    EXPECT_EQ(reads.Take(), Vcns{}) << "the copy's page serves the original";

    if constexpr (WCHAR_MAX > 0xFFFF) { // a wchar_t of 16 bits (Windows) holds no such value
        EXPECT_EQ(table.ToUpper(static_cast<wchar_t>(0x10000)), static_cast<wchar_t>(0x10000))
            << "beyond UTF-16: unchanged, nothing read";
    }
    std::wstring text = L"r\x00E9sum\x00E9 \x0444\x0430\x0439\x043B";
    table.ToUpperString(text);
    EXPECT_EQ(text, L"R\x00C9SUM\x00C9 \x0424\x0410\x0419\x041B");
    EXPECT_EQ(reads.Take(), Vcns{});
}

TEST(UpcaseTable, UsesOnePagePerClusterOfSmallClusters) {
    // 512-byte clusters: 256 entries per page, 256 pages.
    SyntheticVolume volume({512, 1, -10}, 512, {{8, 32}});
    vesk_test::PutUpcase(volume, 128);
    auto opened = volume.Open();
    CMft mft(opened.disk.get());
    const CUpcaseTable table(mft);
    ClusterReads reads(*opened.device, 128, 512);
    EXPECT_EQ(table.ToUpper(0x1E01), 0x1E00);
    EXPECT_EQ(table.ToUpper(L'z'), L'Z');
    EXPECT_EQ(reads.Take(), (Vcns{0x1E, 0}));
}

TEST(UpcaseTable, RetriesAPageWhoseReadFailed) {
    SyntheticTree tree;
    auto opened = tree.Open();
    CMft mft(opened.disk.get());
    const CUpcaseTable table(mft);
    opened.device->FailReadsWith(5);
    EXPECT_THROW(table.ToUpper(L'q'), ESystemError);
    opened.device->FailReadsWith(0);
    EXPECT_EQ(table.ToUpper(L'q'), L'Q');
}

TEST(UpcaseTable, NeedsExactlyOneUnnamedDataStreamHoldingTheWholeTable) {
    const Bytes runs = vesk_test::EncodeRunList({{SyntheticTree::kUpcaseCluster, 32}});
    const Bytes shortRuns = vesk_test::EncodeRunList({{SyntheticTree::kUpcaseCluster, 31}});
    const std::string notOne = "$UpCase does not have exactly one unnamed $DATA stream";
    const std::string tooSmall = "$UpCase does not hold 65536 entries";
    struct Case {
        const char* what;
        RecordBuilder record;
        std::string error;
    };
    const auto upcase = [] { return RecordBuilder(1024).Resident(0x30, FileNameValue(5, 3, L"$UpCase")); };
    const Case cases[] = {
        {"named stream first",
         upcase().Resident(0x80, Bytes(8, 0), L"$Info").NonResident(0x80, runs, 131072, 131072), ""},
        {"only a named stream", upcase().Resident(0x80, Bytes(8, 0), L"$Info"), notOne},
        {"two unnamed streams",
         upcase().NonResident(0x80, runs, 131072, 131072).NonResident(0x80, runs, 131072, 131072), notOne},
        {"resident table", upcase().Resident(0x80, Bytes(512, 0)), tooSmall},
        {"data size too small", upcase().NonResident(0x80, runs, 131072, 131070), tooSmall},
        {"runs too short", upcase().NonResident(0x80, shortRuns, 131072, 131072), tooSmall},
    };
    for (const Case& c : cases) {
        SyntheticTree tree;
        tree.PutRecord(10, c.record.Build());
        auto opened = tree.Open();
        CMft mft(opened.disk.get());
        try {
            EXPECT_EQ(CUpcaseTable(mft).ToUpper(L'x'), L'X') << c.what;
            EXPECT_EQ(c.error, "") << c.what;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.error) << c.what;
        }
    }
}

TEST(UpcaseCtype, FoldsBothDirectionsToTheVolumesUpperCase) {
    SyntheticTree tree;
    auto opened = tree.Open();
    CMft mft(opened.disk.get());
    const std::locale locale(std::locale::classic(), new CUpcaseCtype(CUpcaseTable(mft)));
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(locale);

    EXPECT_EQ(ctype.tolower(L'a'), L'A');
    EXPECT_EQ(ctype.tolower(L'A'), L'A');
    EXPECT_EQ(ctype.toupper(static_cast<wchar_t>(0x0430)), static_cast<wchar_t>(0x0410));
    EXPECT_EQ(ctype.tolower(L'7'), L'7');
    std::wstring text = L"ab\x1E01-";
    ctype.tolower(&text[0], &text[0] + text.size());
    EXPECT_EQ(text, L"AB\x1E00-");
    text = L"xyz";
    ctype.toupper(&text[0], &text[0] + text.size());
    EXPECT_EQ(text, L"XYZ");
    EXPECT_TRUE(ctype.is(std::ctype_base::digit, L'7')) << "classification stays the standard one";
}

} // namespace
} // namespace Krod
