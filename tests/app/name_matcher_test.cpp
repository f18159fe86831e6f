#include "app/NameMatcher.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>

namespace {

// Folding through a volume's table is the subject of matching_locale_test.cpp; the grammar needs no
// more than the classic locale's ASCII folding.
const std::locale kAscii = std::locale::classic();

struct Row {
    const wchar_t* pattern;
    const wchar_t* name;
    bool insensitive; // whether the name matches without the case option
    bool sensitive;   // and with it
};

void ExpectRows(PatternSyntax syntax, std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        const NameMatcher insensitive(row.pattern, syntax, CaseSensitivity::Insensitive, kAscii);
        const NameMatcher sensitive(row.pattern, syntax, CaseSensitivity::Sensitive, kAscii);
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
                   {L"readme", L"readme", true, true},
                   {L"f(1)[2].doc", L"f(1)[2].doc", true, true},
                   {L"f(1)[2].doc", L"F(1)[2].DOC", true, false},
                   {L"f(1)[2].doc", L"f1.doc", false, false},
                   {L"a{2}", L"a{2}", true, true},
                   {L"a{2}", L"aa", false, false},
                   {L"x|y+^$", L"x|y+^$", true, true},
                   // '?' stands for one code unit: half of a surrogate pair.
                   {L"?", GRINNING_FACE, false, false},
                   {L"??", GRINNING_FACE, true, true},
                   {L"*", GRINNING_FACE, true, true},
                   {L"a??b", L"a" GRINNING_FACE L"b", true, true},
                   // A backslash escapes what follows it once the mask is an expression.
                   {L"\\d*", L"ddd", true, false},
                   {L"\\d*", L"123", false, true},
               });
}

// Folds as no platform does: ASCII letters to upper case, the Kelvin sign to K, both halves of a
// surrogate pair to the high half, and the full stop's full-width form to the full stop.
class OddFolding : public std::ctype<wchar_t> {
  protected:
    wchar_t do_tolower(wchar_t c) const override {
        if (c >= L'a' && c <= L'z')
            return static_cast<wchar_t>(c - 0x20);
        if (c == 0x212A)
            return L'K';
        if (c == 0xDE00)
            return 0xD83D;
        return c == 0xFF0E ? L'.' : c;
    }
    const wchar_t* do_tolower(wchar_t* first, const wchar_t* last) const override {
        for (; first != last; ++first)
            *first = do_tolower(*first);
        return last;
    }
};

// Masks that are a literal text, whole or after one '*', answer as the expressions they stand for.
TEST(NameMatcher, LiteralMasksAnswerAsTheirExpressions) {
    const std::locale odd(std::locale::classic(), new OddFolding);
    const wchar_t* const masks[] = {L"*", L"*.txt",           L"*K.TXT", L"readme.txt", L"*\xFF0Etxt",
                                    L"",  L"*" GRINNING_FACE, L"\xD83D", L"*a{2}(x)"};
    const wchar_t* const expressions[] = {
        L".*", L".*\\.txt",         L".*K\\.TXT", L"readme\\.txt",     L".*\xFF0Etxt",
        L"",   L".*" GRINNING_FACE, L"\xD83D",    L".*a\\{2\\}\\(x\\)"};
    const wchar_t* const names[] = {L"",
                                    L"notes.txt",
                                    L"NOTES.TXT",
                                    L"notes\xFF0ETXT",
                                    L"\x212A.txt",
                                    L"README.txt",
                                    L"readme.txt.bak",
                                    L"x" GRINNING_FACE,
                                    L"x\xD83D\xD83D",
                                    L"\xDE00",
                                    L"\xD83D",
                                    L"\n\r\x2028\x0085.txt",
                                    L"A{2}(X)",
                                    L"aa(x)"};
    for (std::size_t i = 0; i < std::size(masks); ++i) {
        for (const CaseSensitivity sensitivity : {CaseSensitivity::Insensitive, CaseSensitivity::Sensitive}) {
            const NameMatcher mask(masks[i], PatternSyntax::Wildcard, sensitivity, odd);
            const NameMatcher expression(expressions[i], PatternSyntax::Regex, sensitivity, odd);
            for (const wchar_t* name : names)
                EXPECT_EQ(mask.Matches(name), expression.Matches(name))
                    << masks[i] << " / " << name
                    << (sensitivity == CaseSensitivity::Sensitive ? " (case)" : "");
        }
    }
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
    for (const Row& row : rows) {
        const auto compile = [&](CaseSensitivity sensitivity) {
            try {
                NameMatcher(row.pattern, row.syntax, sensitivity, kAscii);
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
    const NameMatcher matcher(L"*.txt", PatternSyntax::Wildcard, CaseSensitivity::Insensitive, kAscii);
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
