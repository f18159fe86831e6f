#include "NameMatcher.h"

#include "ReducedGrammar.h"
#include "WildcardMask.h"

#include "volume/Utf16Text.h"

#include <algorithm>

namespace {

// Characters that make a mask more than a literal text: the wildcards, and the backslash, which
// escapes what follows it once the mask is an expression.
constexpr const wchar_t* kNotLiteral = L"*?\\";

} // namespace

NameMatcher::NameMatcher(std::wstring pattern, PatternSyntax syntax, CaseSensitivity sensitivity,
                         const std::locale& matchingLocale)
    : locale_(matchingLocale) {
    asciiFolds_.fill(-1);
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
        return MatchesLiteral(static_cast<std::size_t>(last - first),
                              [first](std::size_t i) { return first[i]; });
    return boost::regex_match(first, last, results_, expression_);
}

bool NameMatcher::MatchesStored(const std::uint8_t* bytes, std::size_t units) const {
    if (shape_ != Shape::Expression)
        return MatchesLiteral(units, [bytes](std::size_t i) {
            return static_cast<wchar_t>(Krod::load_le<std::uint16_t>(bytes + 2 * i));
        });
    decoded_.resize(units);
    Krod::DecodeUtf16(bytes, units, decoded_.data());
    return Matches(decoded_.data(), decoded_.data() + units);
}

template <typename Unit> bool NameMatcher::MatchesLiteral(std::size_t count, Unit unit) const {
    const std::size_t length = literal_.size();
    if (count < length || (shape_ == Shape::WholeLiteral && count > length))
        return false;
    const std::size_t tail = count - length;
    for (std::size_t i = length; i-- > 0;) {
        const wchar_t c = unit(tail + i);
        if (literal_[i] != (fold_ ? Fold(c) : c))
            return false;
    }
    return true;
}

wchar_t NameMatcher::Fold(wchar_t c) const {
    const auto code = static_cast<std::uint32_t>(c);
    if (code >= asciiFolds_.size())
        return fold_->tolower(c);
    std::int32_t& folded = asciiFolds_[code];
    if (folded < 0)
        folded = static_cast<std::int32_t>(fold_->tolower(c));
    return static_cast<wchar_t>(folded);
}
