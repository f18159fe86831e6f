#include "ReducedGrammar.h"

#include <boost/regex.hpp>
#include <string_view>

namespace {

using boost::regex_constants::error_type;

// Characters that Perl reads as operators outside brackets; with a backslash each is literal.
constexpr std::wstring_view kPerlOperators = L"\\^$.|?*+()[]{}";
constexpr std::wstring_view kRepeats = L"*+?";

bool IsRepeat(wchar_t c) {
    return kRepeats.find(c) != std::wstring_view::npos;
}

void AppendLiteral(std::wstring& perl, wchar_t c) {
    if (kPerlOperators.find(c) != std::wstring_view::npos)
        perl += L'\\';
    perl += c;
}

// The engine's messages are narrow; characters outside ASCII show as '?'.
void AppendNarrow(std::string& message, const wchar_t* first, const wchar_t* last) {
    for (; first != last; ++first)
        message += (*first >= 0x20 && *first < 0x7F) ? static_cast<char>(*first) : '?';
}

// Throws the engine's exception with its own wording and a marker at the offending place.
[[noreturn]] void Fail(const std::wstring& expression, std::size_t position, error_type code) {
    std::string message = boost::regex_error(code).what();
    message += "  The error occurred while parsing the regular expression: '";
    AppendNarrow(message, expression.data(), expression.data() + position);
    message += ">>>HERE>>>";
    AppendNarrow(message, expression.data() + position, expression.data() + expression.size());
    message += "'.";
    throw boost::regex_error(message, code, static_cast<std::ptrdiff_t>(position));
}

// Copies the bracket expression whose '[' stands at begin; returns the position after its ']'.
std::size_t TranslateBracket(const std::wstring& expression, std::size_t begin, std::wstring& perl) {
    std::size_t i = begin + 1;
    perl += L'[';
    if (i < expression.size() && expression[i] == L'^')
        perl += expression[i++];
    // A ']' right after the opening (or its negation) is a member, not the end.
    if (i < expression.size() && expression[i] == L']') {
        perl += L"\\]";
        ++i;
    }
    for (; i < expression.size(); ++i) {
        const wchar_t c = expression[i];
        if (c == L']') {
            perl += c;
            return i + 1;
        }
        if (c == L'\\' || c == L'[')
            perl += L'\\';
        perl += c;
    }
    Fail(expression, begin, boost::regex_constants::error_brack);
}

// Writes the run of repeat operators starting at begin as the one operator it amounts to: only
// '+' on '+' still needs one occurrence and only '?' on '?' still allows at most one; any mix allows
// any number. Returns the position after the run.
std::size_t TranslateRepeats(const std::wstring& expression, std::size_t begin, std::wstring& perl) {
    wchar_t merged = expression[begin];
    std::size_t i = begin + 1;
    for (; i < expression.size() && IsRepeat(expression[i]); ++i)
        if (expression[i] != merged)
            merged = L'*';
    perl += merged;
    return i;
}

} // namespace

std::wstring ReducedGrammarToPerl(const std::wstring& expression) {
    std::wstring perl;
    perl.reserve(2 * expression.size());
    bool repeatable = false; // whether what was written last is something a repeat may apply to
    for (std::size_t i = 0; i < expression.size();) {
        const wchar_t c = expression[i];
        if (c == L'\\') {
            if (i + 1 == expression.size())
                Fail(expression, i, boost::regex_constants::error_escape);
            AppendLiteral(perl, expression[i + 1]);
            i += 2;
            repeatable = true;
        } else if (c == L'[') {
            i = TranslateBracket(expression, i, perl);
            repeatable = true;
        } else if (IsRepeat(c)) {
            if (!repeatable)
                Fail(expression, i, boost::regex_constants::error_badrepeat);
            i = TranslateRepeats(expression, i, perl);
        } else if (c == L'(' || c == L'|' || c == L'^' || c == L'$') {
            perl += c;
            ++i;
            repeatable = false;
        } else if (c == L'.' || c == L')') {
            perl += c;
            ++i;
            repeatable = true;
        } else {
            AppendLiteral(perl, c);
            ++i;
            repeatable = true;
        }
    }
    return perl;
}
