#include "app/MatchingLocale.h"
#include "app/NameMatcher.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/Mft.h"
#include "volume/UpcaseTable.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using vesk_test::Bytes;

// An upper-case table that folds ASCII (except y, which no platform leaves alone), Latin-1, Greek
// (final sigma included) and Cyrillic letters.
Bytes UpcaseTableBytes() {
    std::vector<std::uint16_t> upper(65536);
    for (std::size_t c = 0; c < upper.size(); ++c)
        upper[c] = static_cast<std::uint16_t>(c);
    const auto fold = [&](std::uint16_t first, std::uint16_t last, std::uint16_t distance) {
        for (std::uint16_t c = first; c <= last; ++c)
            upper[c] = static_cast<std::uint16_t>(c - distance);
    };
    fold(u'a', u'z', 0x20);
    upper[u'y'] = u'y';
    fold(0x00E0, 0x00FE, 0x20);
    upper[0x00F7] = 0x00F7; // the division sign stands among the small letters
    fold(0x03B1, 0x03C9, 0x20);
    upper[0x03C2] = 0x03A3; // final sigma
    fold(0x0430, 0x044F, 0x20);
    fold(0x0450, 0x045F, 0x50);
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
        vesk_test::SyntheticTree volume; // its $UpCase given this table
        volume.PutBytes(vesk_test::SyntheticTree::kUpcaseCluster * volume.BytesPerCluster(),
                        UpcaseTableBytes());
        opened_ = volume.Open();
        mft_.emplace(opened_.disk.get());
    }

    // The table and its locale are gone once this returns: the matcher keeps what it needs.
    NameMatcher Matcher(PatternSyntax syntax, const wchar_t* pattern, CaseSensitivity sensitivity) {
        const Krod::CUpcaseTable table(*mft_);
        return NameMatcher(pattern, syntax, sensitivity, MakeMatchingLocale(table));
    }

    vesk_test::OpenedVolume opened_;
    std::optional<Krod::CMft> mft_;
};

TEST_F(MatchingLocaleTest, FoldsCaseAsTheVolumeTableSaysAndOnlySo) {
    struct Row {
        PatternSyntax syntax;
        const wchar_t* pattern;
        const wchar_t* name;
        bool byVolume;   // without the case option, through the volume's table
        bool byPlatform; // the same through the classic locale's folding
        bool withCase;   // with the case option
    };
    const PatternSyntax mask = PatternSyntax::Wildcard;
    const Row rows[] = {
        {mask, L"readme", L"ReadMe", true, true, false},
        {mask, L"\u043f\u0440\u0438\u0432\u0435\u0442*", L"\u041f\u0420\u0418\u0412\u0415\u0422.txt", true,
         false, false},
        {mask, L"\u0451\u043b\u043a\u0430", L"\u0401\u041b\u041a\u0410", true, false, false},
        {mask, L"\u03bb\u03bf\u03b3\u03bf\u03c2", L"\u039b\u039f\u0393\u039f\u03a3", true, false, false},
        {mask, L"\u03bb\u03bf\u03b3\u03bf\u03c2", L"\u03bb\u03bf\u03b3\u03bf\u03c3", true, false, false},
        {mask, L"caf\u00e9*", L"CAF\u00c9.doc", true, false, false},
        {mask, L"\u00f7", L"\u00d7", false, false, false},
        {mask, L"y", L"Y", false, true, false},
        {PatternSyntax::Regex, L"[\u0430-\u044f]+", L"\u0416\u0423\u041a", true, false, false},
        {PatternSyntax::Regex, L"[^\u0434]", L"\u0414", false, true, true},
    };
    for (const Row& row : rows) {
        const NameMatcher platform(row.pattern, row.syntax, CaseSensitivity::Insensitive,
                                   std::locale::classic());
        EXPECT_EQ(Matcher(row.syntax, row.pattern, CaseSensitivity::Insensitive).Matches(row.name),
                  row.byVolume)
            << row.pattern;
        EXPECT_EQ(platform.Matches(row.name), row.byPlatform) << row.pattern;
        EXPECT_EQ(Matcher(row.syntax, row.pattern, CaseSensitivity::Sensitive).Matches(row.name),
                  row.withCase)
            << row.pattern << " (case)";
    }
}

} // namespace
