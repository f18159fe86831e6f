#include "WildcardMask.h"

#include <string_view>

namespace {

// The characters that stand for themselves in a mask but are operators in an expression.
constexpr const wchar_t* kEscapedInMasks = L".|+(){}[]^$";
constexpr const wchar_t* kWildcards = L"*?";

} // namespace

void InsertBefore(std::wstring& text, const wchar_t* set, wchar_t ch) {
    const std::wstring_view members(set);
    std::wstring result;
    result.reserve(2 * text.size());
    for (const wchar_t c : text) {
        if (members.find(c) != std::wstring_view::npos)
            result += ch;
        result += c;
    }
    text.swap(result);
}

void WildcardToRegex(std::wstring& pattern) {
    InsertBefore(pattern, kEscapedInMasks, L'\\');
    InsertBefore(pattern, kWildcards, L'.');
}
