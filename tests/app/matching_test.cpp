// The name matcher and its grammars as rows of matching.txt:
//   $ mask|regex PATTERN NAME   whether NAME matches: folded through a volume's upper-case table (as
//                               the search does), through the platform's classic locale, and with -case
//   $ perl EXPRESSION           the reduced grammar's expression rewritten into Perl's, or why not
//   $ literal MASK EXPRESSION   the names on which a literal mask answers otherwise than its expression

#include "app/MatchingLocale.h"
#include "app/NameMatcher.h"
#include "app/ReducedGrammar.h"
#include "tests/common/transcript.h"
#include "tools/synthetic/synthetic_tree.h"
#include "volume/Mft.h"
#include "volume/UpcaseTable.h"

#include <boost/regex.hpp>

#include <cstdint>
#include <vector>

namespace {

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

// The answer for name, which must be the same for the name as NTFS stores it (UTF-16, little-endian).
std::wstring Answer(const std::wstring& pattern, PatternSyntax syntax, CaseSensitivity sensitivity,
                    const std::locale& locale, const std::wstring& name) {
    try {
        const NameMatcher matcher(pattern, syntax, sensitivity, locale);
        std::vector<std::uint8_t> stored;
        for (const wchar_t unit : name) {
            stored.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            stored.push_back(static_cast<std::uint8_t>(unit >> 8 & 0xFF));
        }
        const bool matches = matcher.Matches(name);
        if (matches != matcher.MatchesStored(stored.data(), name.size()))
            return L"not so when stored";
        return matches ? L"yes" : L"no";
    } catch (const boost::regex_error&) {
        return L"refused";
    }
}

std::wstring Literal(const std::wstring& mask, const std::wstring& expression) {
    static const std::locale odd(std::locale::classic(), new OddFolding);
    static const wchar_t* const names[] = {
        L"",           L"notes.txt",      L"NOTES.TXT",     L"notes\xFF0ETXT",      L"\x212A.txt",
        L"README.txt", L"readme.txt.bak", L"x\xD83D\xDE00", L"x\xD83D\xD83D",       L"\xDE00",
        L"\xD83D",     L"A{2}(X)",        L"aa(x)",         L"\n\r\x2028\x0085.txt"};
    std::wstring differing;
    for (const CaseSensitivity sensitivity : {CaseSensitivity::Insensitive, CaseSensitivity::Sensitive})
        for (const wchar_t* name : names)
            if (Answer(mask, PatternSyntax::Wildcard, sensitivity, odd, name) !=
                Answer(expression, PatternSyntax::Regex, sensitivity, odd, name))
                differing += L" [" + std::wstring(name) + L"]";
    return (differing.empty() ? L"same answers" : L"differs on:" + differing) + L"\n";
}

std::wstring Perl(const std::wstring& expression) {
    try {
        const std::wstring perl = ReducedGrammarToPerl(expression);
        boost::wregex(perl, boost::regex::perl);
        return perl + L"\n";
    } catch (const boost::regex_error& error) {
        return L"refused (" + std::to_wstring(error.code()) + L"): " + vesk_test::Unescape(error.what()) +
               L"\n";
    }
}

TEST(Matching, AsTheTranscriptShows) {
    // The search's folding: the volume's $UpCase, which here folds ASCII but y, Latin-1 and Cyrillic.
    vesk_test::SyntheticTree volume;
    volume.PutBytes(vesk_test::SyntheticTree::kUpcaseCluster * volume.BytesPerCluster() + 2 * L'y', {'y', 0});
    const vesk_test::OpenedVolume opened = volume.Open();
    Krod::CMft mft(opened.disk.get());
    const std::locale byVolume = MakeMatchingLocale(Krod::CUpcaseTable(mft));

    vesk_test::ExpectTranscript(
        VESK_APP_DATA_DIR "/matching.txt", [&](const std::vector<std::wstring>& words) {
            if (words[0] == L"perl")
                return Perl(words.at(1));
            if (words[0] == L"literal")
                return Literal(words.at(1), words.at(2));
            const PatternSyntax syntax = words[0] == L"mask" ? PatternSyntax::Wildcard : PatternSyntax::Regex;
            const std::wstring &pattern = words.at(1), &name = words.at(2);
            return L"volume " + Answer(pattern, syntax, CaseSensitivity::Insensitive, byVolume, name) +
                   L", platform " +
                   Answer(pattern, syntax, CaseSensitivity::Insensitive, std::locale::classic(), name) +
                   L", case " + Answer(pattern, syntax, CaseSensitivity::Sensitive, byVolume, name) + L"\n";
        });
}

} // namespace
