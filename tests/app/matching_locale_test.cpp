#include "app/MatchingLocale.h"
#include "app/NameMatcher.h"
#include "tests/volume/synthetic_volume.h"
#include "volume/Mft.h"
#include "volume/UpcaseTable.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using vesk_test::Bytes;

constexpr std::uint64_t kUpcaseRecord = 10;
constexpr std::uint32_t kDataAttribute = 0x80;
constexpr std::uint64_t kTableBytes = 65536 * 2;
constexpr std::uint64_t kTableCluster = 24; // free on the default synthetic volume, 32 clusters long

// An upper-case table that folds ASCII (except y, which no platform leaves alone), Cyrillic and
// Greek, final sigma included.
Bytes UpcaseTableBytes() {
    std::vector<std::uint16_t> upper(65536);
    for (std::size_t c = 0; c < upper.size(); ++c)
        upper[c] = static_cast<std::uint16_t>(c);
    for (std::uint16_t c = u'a'; c <= u'z'; ++c)
        upper[c] = static_cast<std::uint16_t>(c - 0x20);
    upper[u'y'] = u'y';
    for (std::uint16_t c = 0x0430; c <= 0x044F; ++c)
        upper[c] = static_cast<std::uint16_t>(c - 0x20);
    for (std::uint16_t c = 0x03B1; c <= 0x03C9; ++c)
        upper[c] = static_cast<std::uint16_t>(c - 0x20);
    upper[0x03C2] = 0x03A3;
    Bytes bytes;
    for (const std::uint16_t entry : upper) {
        bytes.push_back(static_cast<std::uint8_t>(entry));
        bytes.push_back(static_cast<std::uint8_t>(entry >> 8));
    }
    return bytes;
}

// The matcher as the search builds it: from the volume's $UpCase through the table's facet.
class MatchingLocaleTest : public ::testing::Test {
  protected:
    MatchingLocaleTest() {
        vesk_test::SyntheticVolume volume;
        volume.PutRecord(kUpcaseRecord,
                         vesk_test::RecordBuilder(volume.RecordSize())
                             .NonResident(kDataAttribute, vesk_test::EncodeRunList({{kTableCluster, 32}}),
                                          kTableBytes, kTableBytes)
                             .Build());
        volume.PutBytes(kTableCluster * volume.BytesPerCluster(), UpcaseTableBytes());
        opened_ = volume.Open();
        mft_.emplace(opened_.disk.get());
    }

    // The table and its locale are gone once this returns: the matcher keeps what it needs.
    NameMatcher Matcher(const wchar_t* pattern, CaseSensitivity sensitivity) {
        const Krod::CUpcaseTable table(*mft_);
        return NameMatcher(pattern, PatternSyntax::Wildcard, sensitivity, MakeMatchingLocale(table));
    }

    vesk_test::OpenedVolume opened_;
    std::optional<Krod::CMft> mft_;
};

TEST_F(MatchingLocaleTest, FoldsCaseAsTheVolumeTableSays) {
    struct Row {
        const wchar_t* pattern;
        const wchar_t* name;
        bool insensitive;
    };
    const Row rows[] = {
        {L"readme", L"ReadMe", true},
        {L"\u0434*", L"\u0414.txt", true},
        {L"\u03bb\u03bf\u03b3\u03bf\u03c2", L"\u039b\u039f\u0393\u039f\u03a3", true},
        {L"y", L"Y", false},
        {L"\u00e9", L"\u00c9", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Matcher(row.pattern, CaseSensitivity::Insensitive).Matches(row.name), row.insensitive)
            << row.pattern;
        EXPECT_FALSE(Matcher(row.pattern, CaseSensitivity::Sensitive).Matches(row.name)) << row.pattern;
    }
}

} // namespace
