#pragma once

#include <boost/regex.hpp>
#include <locale>
#include <string>

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

  private:
    // Most masks name one literal text, whole ("readme.txt") or as the end of the name ("*.txt").
    // Since a wildcard's full stop matches every code unit, such a mask matches exactly the names
    // that equal the literal, or end with it, code unit by code unit after folding both sides as the
    // engine folds them; comparing so gives the engine's answer at a fraction of its cost.
    enum class Shape { Expression, WholeLiteral, LiteralTail };

    bool MatchesLiteral(const wchar_t* first, const wchar_t* last) const;

    boost::wregex expression_;
    // Matching needs somewhere to record its results; keeping one saves an allocation per name.
    mutable boost::match_results<const wchar_t*> results_;
    Shape shape_ = Shape::Expression;
    std::wstring literal_;                      // folded when case is folded
    std::locale locale_;                        // keeps the folding facet alive
    const std::ctype<wchar_t>* fold_ = nullptr; // null when case matters
};
