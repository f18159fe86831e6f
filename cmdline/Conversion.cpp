#include "cmdline/Conversion.h"

#include <limits>
#include <locale>
#include <sstream>

namespace cmdarg {

namespace {

// Extracts one number of type T from the start of text in the classic number format.
template <typename T> std::optional<T> extract(const std::wstring& text) {
    std::wistringstream in(text);
    in.imbue(std::locale::classic());
    T value{};
    in >> value;
    if (in.fail())
        return std::nullopt;
    return value;
}

std::uint64_t suffix_multiplier(wchar_t suffix) {
    switch (suffix) {
    case L'k':
    case L'K':
        return std::uint64_t{1} << 10;
    case L'm':
    case L'M':
        return std::uint64_t{1} << 20;
    case L'g':
    case L'G':
        return std::uint64_t{1} << 30;
    default:
        return 1;
    }
}

} // namespace

std::optional<std::int32_t> to_integer(const std::wstring& text) {
    return extract<std::int32_t>(text);
}

std::optional<double> to_real(const std::wstring& text) {
    return extract<double>(text);
}

std::optional<std::uint64_t> to_size(const std::wstring& text) {
    const std::uint64_t multiplier = text.empty() ? 1 : suffix_multiplier(text.back());
    const std::optional<unsigned long long> number =
        extract<unsigned long long>(multiplier == 1 ? text : text.substr(0, text.size() - 1));
    // A size that does not fit is refused rather than wrapped into a small, misleading limit.
    if (!number || *number > std::numeric_limits<std::uint64_t>::max() / multiplier)
        return std::nullopt;
    return *number * multiplier;
}

bool accepts(subparam_type type, const std::wstring& text) {
    switch (type) {
    case subparam_type::integer:
        return to_integer(text).has_value();
    case subparam_type::real:
        return to_real(text).has_value();
    case subparam_type::size:
        return to_size(text).has_value();
    default:
        return true;
    }
}

} // namespace cmdarg
