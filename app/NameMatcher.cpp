#include "NameMatcher.h"

#include "ReducedGrammar.h"
#include "WildcardMask.h"

#include <algorithm>

namespace {

// Characters that make a mask more than a literal text: the wildcards, and the backslash, which
// escapes what follows it once the mask is an expression.
constexpr const wchar_t* kNotLiteral = L"*?\\";

} // namespace

NameMatcher::NameMatcher(std::wstring pattern, PatternSyntax syntax, CaseSensitivity sensitivity,
                         const std::locale& matchingLocale)
    : locale_(matchingLocale) {
    expression_.imbue(matchingLocale);
    if (syntax == PatternSyntax::Wildcard) {
        const bool tail = !pattern.empty() && pattern.front() == L'*';
        literal_ = pattern.substr(tail ? 1 : 0);
        if (literal_.find_first_of(kNotLiteral) == std::wstring::npos)
            shape_ = tail ? Shape::LiteralTail : Shape::WholeLiteral;
        WildcardToRegex(pattern);
    }
    if (sensitivity == CaseSensitivity::Sensitive) {
        expression_.assign(pattern, boost::regex::perl);
    } else {
        expression_.assign(ReducedGrammarToPerl(pattern), boost::regex::perl | boost::regex::icase);
        fold_ = &std::use_facet<std::ctype<wchar_t>>(locale_);
        fold_->tolower(literal_.data(), literal_.data() + literal_.size());
    }
}

bool NameMatcher::Matches(const wchar_t* first, const wchar_t* last) const {
    if (shape_ != Shape::Expression)
        return MatchesLiteral(first, last);
    return boost::regex_match(first, last, results_, expression_);
}

bool NameMatcher::MatchesLiteral(const wchar_t* first, const wchar_t* last) const {
    const auto length = static_cast<std::size_t>(last - first);
    if (length < literal_.size() || (shape_ == Shape::WholeLiteral && length > literal_.size()))
        return false;
    const wchar_t* const tail = last - literal_.size();
    if (fold_ == nullptr)
        return std::equal(literal_.begin(), literal_.end(), tail);
    const auto& fold = *fold_;
    return std::equal(literal_.begin(), literal_.end(), tail,
                      [&fold](wchar_t folded, wchar_t c) { return folded == fold.tolower(c); });
}
