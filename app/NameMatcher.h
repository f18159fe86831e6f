#pragma once

#include <boost/regex.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <locale>
#include <string>
#include <vector>

// Whether the search pattern is a wildcard mask or a regular expression.
enum class PatternSyntax { Wildcard, Regex };

// Case-sensitive patterns use Perl's grammar; case-insensitive ones use the reduced grammar of
// ReducedGrammar.h and fold case through the matching locale.
enum class CaseSensitivity { Insensitive, Sensitive };

// The search pattern, compiled once, and the test of one file name against it. A name is a hit only
// if all of it matches; there is no search for a matching part.
class NameMatcher {
  public:
    // Compiles pattern. matchingLocale decides how case is folded: its wide ctype facet's tolower is
    // what the engine compares through, which for the volume's table (MakeMatchingLocale) gives the
    // upper case of both sides. Throws boost::regex_error if the pattern is not a valid expression.
    NameMatcher(std::wstring pattern, PatternSyntax syntax, CaseSensitivity sensitivity,
                const std::locale& matchingLocale);

    // Whether the whole of [first, last) matches. Allocates nothing once the first call has sized the
    // scratch results; not reentrant.
    bool Matches(const wchar_t* first, const wchar_t* last) const;
    bool Matches(const std::wstring& name) const { return Matches(name.data(), name.data() + name.size()); }
    // The same for a name of units UTF-16 code units stored little-endian at bytes, as NTFS stores
    // names: a literal mask is compared where the name lies, an expression gets the name decoded.
    bool MatchesStored(const std::uint8_t* bytes, std::size_t units) const;

  private:
    // Most masks name one literal text, whole ("readme.txt") or as the end of the name ("*.txt").
    // Since a wildcard's full stop matches every code unit, such a mask matches exactly the names
    // that equal the literal, or end with it, code unit by code unit after folding both sides as the
    // engine folds them; comparing so gives the engine's answer at a fraction of its cost.
    enum class Shape { Expression, WholeLiteral, LiteralTail };

    // Whether the units, read through unit(i) for i in [0, count), match a literal mask. The
    // comparison runs from the end, where names differ most (their extensions).
    template <typename Unit> bool MatchesLiteral(std::size_t count, Unit unit) const;
    // c folded as the engine folds it; the folds of ASCII units are kept once looked up, since the
    // facet's fold is a virtual call into the volume's table.
    wchar_t Fold(wchar_t c) const;

    boost::wregex expression_;
    // Matching needs somewhere to record its results; keeping one saves an allocation per name.
    mutable boost::match_results<const wchar_t*> results_;
    Shape shape_ = Shape::Expression;
    std::wstring literal_;                             // folded when case is folded
    std::locale locale_;                               // keeps the folding facet alive
    const std::ctype<wchar_t>* fold_ = nullptr;        // null when case matters
    mutable std::array<std::int32_t, 128> asciiFolds_; // -1 until looked up
    mutable std::vector<wchar_t> decoded_;             // a stored name, decoded for the engine
};
