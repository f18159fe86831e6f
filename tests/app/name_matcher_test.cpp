#include "app/NameMatcher.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <utility>

namespace {

// A ctype facet that folds both directions to the upper case of a table, as the volume's facet
// does: ASCII, Latin-1, Greek and Cyrillic letters by default, with rows of the table overridable.
class TableCtype : public std::ctype<wchar_t> {
  public:
    explicit TableCtype(std::initializer_list<std::pair<wchar_t, wchar_t>> overrides)
        : std::ctype<wchar_t>(std::size_t{0}) {
        for (std::size_t c = 0; c < upper_.size(); ++c)
            upper_[c] = static_cast<wchar_t>(c);
        MapRange(L'a', L'z', L'A');
        MapRange(0x00E0, 0x00FE, 0x00C0);
        upper_[0x00F7] = 0x00F7; // the division sign sits among the Latin-1 small letters
        MapRange(0x03B1, 0x03C9, 0x0391);
        upper_[0x03C2] = 0x03A3; // final sigma
        MapRange(0x0430, 0x044F, 0x0410);
        MapRange(0x0450, 0x045F, 0x0400);
        for (const auto& [from, to] : overrides)
            upper_[from] = to;
    }

  protected:
    wchar_t do_toupper(wchar_t c) const override { return Upper(c); }
    const wchar_t* do_toupper(wchar_t* first, const wchar_t* last) const override {
        for (; first != last; ++first)
            *first = Upper(*first);
        return last;
    }
    wchar_t do_tolower(wchar_t c) const override { return Upper(c); }
    const wchar_t* do_tolower(wchar_t* first, const wchar_t* last) const override {
        return do_toupper(first, last);
    }

  private:
    void MapRange(wchar_t first, wchar_t last, wchar_t upperFirst) {
        for (wchar_t c = first; c <= last; ++c)
            upper_[c] = static_cast<wchar_t>(upperFirst + (c - first));
    }
    wchar_t Upper(wchar_t c) const { return static_cast<std::size_t>(c) < upper_.size() ? upper_[c] : c; }

    std::array<wchar_t, 0x10000> upper_;
};

std::locale TableLocale(std::initializer_list<std::pair<wchar_t, wchar_t>> overrides = {}) {
    return std::locale(std::locale::classic(), new TableCtype(overrides));
}

struct Row {
    const wchar_t* pattern;
    const wchar_t* name;
    bool insensitive; // whether the name matches without the case option
    bool sensitive;   // and with it
};

void ExpectRows(PatternSyntax syntax, std::initializer_list<Row> rows) {
    const std::locale table = TableLocale();
    for (const Row& row : rows) {
        const NameMatcher insensitive(row.pattern, syntax, CaseSensitivity::Insensitive, table);
        const NameMatcher sensitive(row.pattern, syntax, CaseSensitivity::Sensitive, table);
        EXPECT_EQ(insensitive.Matches(row.name), row.insensitive) << row.pattern << " / " << row.name;
        EXPECT_EQ(sensitive.Matches(row.name), row.sensitive)
            << row.pattern << " / " << row.name << " (case)";
    }
}

// A character outside the BMP, as the two UTF-16 code units a name holds it in.
#define GRINNING_FACE L"\xD83D\xDE00"

TEST(NameMatcher, WildcardMasksMatchWholeNames) {
    ExpectRows(PatternSyntax::Wildcard,
               {
                   {L"*", L"x", true, true},
                   {L"*", L"file.txt", true, true},
                   {L"*.txt", L"notes.txt", true, true},
                   {L"*.txt", L"notes.TXT", true, false},
                   {L"*.txt", L"notes.txt.bak", false, false},
                   {L"*.txt", L"notesXtxt", false, false},
                   {L"*.", L"name.", true, true},
                   {L"*.", L"name", false, false},
                   {L"*.*", L"noext", false, false},
                   {L"a?", L"a", true, true},
                   {L"a?", L"ab", true, true},
                   {L"a?", L"abc", false, false},
                   {L"a?c", L"ac", true, true},
                   {L"a?c", L"aXc", true, true},
                   {L"a?c", L"abbc", false, false},
                   {L"readme", L"README", true, false},
                   {L"readme", L"ReadMe", true, false},
                   {L"readme", L"readme", true, true},
                   {L"f(1)[2].doc", L"f(1)[2].doc", true, true},
                   {L"f(1)[2].doc", L"F(1)[2].DOC", true, false},
                   {L"f(1)[2].doc", L"f1.doc", false, false},
                   {L"a{2}", L"a{2}", true, true},
                   {L"a{2}", L"aa", false, false},
                   {L"x|y+^$", L"x|y+^$", true, true},
                   {L"x|y+^$", L"x", false, false},
                   // '?' stands for one code unit: half of a surrogate pair.
                   {L"?", GRINNING_FACE, false, false},
                   {L"??", GRINNING_FACE, true, true},
                   {L"*", GRINNING_FACE, true, true},
                   {L"a?b", L"a" GRINNING_FACE L"b", false, false},
                   {L"a??b", L"a" GRINNING_FACE L"b", true, true},
                   // A backslash escapes what follows it once the mask is an expression.
                   {L"\\d*", L"ddd", true, false},
                   {L"\\d*", L"123", false, true},
               });
}

TEST(NameMatcher, RegularExpressionsFollowTheGrammarOfTheirMode) {
    ExpectRows(PatternSyntax::Regex, {
                                         {L"log[0-9]+\\.txt", L"log12.txt", true, true},
                                         {L"log[0-9]+\\.txt", L"LOG12.TXT", true, false},
                                         {L"log[0-9]+\\.txt", L"mylog12.txt", false, false},
                                         {L"a{2}", L"a{2}", true, false},
                                         {L"a{2}", L"aa", false, true},
                                         {L"\\d+", L"ddd", true, false},
                                         {L"\\d+", L"123", false, true},
                                         {L"[\\d]", L"\\", true, false},
                                         {L"[\\d]", L"5", false, true},
                                         {L"[[:digit:]]x", L":]x", true, false},
                                         {L"[[:digit:]]x", L"5x", false, true},
                                         {L"(a)\\1", L"a1", true, false},
                                         {L"(a)\\1", L"aa", false, true},
                                         {L"\\Qa.b\\E", L"QaxbE", true, false},
                                         {L"\\Qa.b\\E", L"a.b", false, true},
                                         // Possessive in Perl; a repeated repeat in the reduced grammar.
                                         {L"a*+a", L"aaa", true, false},
                                         {L"a|b", L"B", true, false},
                                         {L"[^a]", L"A", false, true},
                                         {L"[a-c]x", L"Bx", true, false},
                                         {L"(ab)+c", L"ABabc", true, false},
                                         {L"^a.c$", L"abc", true, true},
                                     });
}

TEST(NameMatcher, FoldsNonAsciiLettersThroughTheTable) {
    ExpectRows(PatternSyntax::Wildcard,
               {
                   {L"\u043f\u0440\u0438\u0432\u0435\u0442*", L"\u041f\u0420\u0418\u0412\u0415\u0422.txt",
                    true, false},
                   {L"\u0451\u043b\u043a\u0430", L"\u0401\u041b\u041a\u0410", true, false},
                   {L"\u03c3\u03bf\u03c6\u03b9\u03b1", L"\u03a3\u039f\u03a6\u0399\u0391", true, false},
                   // Final and medial sigma share one upper case.
                   {L"\u03bb\u03bf\u03b3\u03bf\u03c2", L"\u039b\u039f\u0393\u039f\u03a3", true, false},
                   {L"\u03bb\u03bf\u03b3\u03bf\u03c2", L"\u03bb\u03bf\u03b3\u03bf\u03c3", true, false},
                   {L"caf\u00e9*", L"CAF\u00c9.doc", true, false},
                   {L"\u00c7a", L"\u00e7A", true, false},
                   {L"\u00f7", L"\u00d7", false, false},
               });
    ExpectRows(PatternSyntax::Regex, {
                                         {L"[\u0430-\u044f]+", L"\u0416\u0423\u041a", true, false},
                                         {L"[^\u0434]", L"\u0414", false, true},
                                     });
}

TEST(NameMatcher, CaseFoldsOnlyAsTheLocaleFacetSays) {
    struct Row {
        const wchar_t* pattern;
        const wchar_t* name;
        bool byTable;    // through the table facet
        bool byPlatform; // through the standard facet of the classic locale
    };
    // This table leaves y alone, as no platform does.
    const std::locale table = TableLocale({{L'y', L'y'}});
    const Row rows[] = {
        {L"\u0434.*", L"\u0414.txt", true, false},
        {L"\u03c2", L"\u03a3", true, false},
        {L"y", L"Y", false, true},
        {L"[y]", L"Y", false, true},
    };
    for (const Row& row : rows) {
        const NameMatcher byTable(row.pattern, PatternSyntax::Regex, CaseSensitivity::Insensitive, table);
        const NameMatcher byPlatform(row.pattern, PatternSyntax::Regex, CaseSensitivity::Insensitive,
                                     std::locale::classic());
        EXPECT_EQ(byTable.Matches(row.name), row.byTable) << row.pattern;
        EXPECT_EQ(byPlatform.Matches(row.name), row.byPlatform) << row.pattern;
    }
}

TEST(NameMatcher, InvalidPatternsThrow) {
    struct Row {
        const wchar_t* pattern;
        PatternSyntax syntax;
        bool throwsInsensitive;
        bool throwsSensitive;
    };
    const Row rows[] = {
        {L"abc\\", PatternSyntax::Wildcard, true, true},    {L"[abc", PatternSyntax::Regex, true, true},
        {L"(a", PatternSyntax::Regex, true, true},          {L"*a", PatternSyntax::Regex, true, true},
        {L"(?:ab)", PatternSyntax::Regex, true, false},     {L"a{2,1}", PatternSyntax::Regex, false, true},
        {L"[[:nope:]]", PatternSyntax::Regex, false, true},
    };
    const std::locale table = TableLocale();
    for (const Row& row : rows) {
        const auto compile = [&](CaseSensitivity sensitivity) {
            try {
                NameMatcher(row.pattern, row.syntax, sensitivity, table);
                return false;
            } catch (const boost::regex_error&) {
                return true;
            }
        };
        EXPECT_EQ(compile(CaseSensitivity::Insensitive), row.throwsInsensitive) << row.pattern;
        EXPECT_EQ(compile(CaseSensitivity::Sensitive), row.throwsSensitive) << row.pattern << " (case)";
    }
}

TEST(NameMatcher, MatchesARangeOfABufferAgainAndAgain) {
    const NameMatcher matcher(L"*.txt", PatternSyntax::Wildcard, CaseSensitivity::Insensitive, TableLocale());
    const std::wstring buffer = L"..NOTES.txt|notes.doc";
    const wchar_t* const text = buffer.data();
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(matcher.Matches(text + 2, text + 11));
        EXPECT_FALSE(matcher.Matches(text + 2, text + 12));
        EXPECT_FALSE(matcher.Matches(text + 12, text + buffer.size()));
        EXPECT_TRUE(matcher.Matches(text, text + 11));
    }
}

} // namespace
