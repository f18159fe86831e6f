#include "NameMatcher.h"

#include "ReducedGrammar.h"
#include "WildcardMask.h"

NameMatcher::NameMatcher(std::wstring pattern, PatternSyntax syntax, CaseSensitivity sensitivity,
                         const std::locale& matchingLocale) {
    expression_.imbue(matchingLocale);
    if (syntax == PatternSyntax::Wildcard)
        WildcardToRegex(pattern);
    if (sensitivity == CaseSensitivity::Sensitive)
        expression_.assign(pattern, boost::regex::perl);
    else
        expression_.assign(ReducedGrammarToPerl(pattern), boost::regex::perl | boost::regex::icase);
}

bool NameMatcher::Matches(const wchar_t* first, const wchar_t* last) const {
    return boost::regex_match(first, last, results_, expression_);
}
