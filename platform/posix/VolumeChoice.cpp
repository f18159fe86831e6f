#include "platform/posix/VolumeChoice.h"

#include "platform/posix/NativePath.h"

#include <cwchar>
#include <limits>
#include <optional>
#include <sys/stat.h>

namespace platform {
namespace {

constexpr std::uint64_t kSectorBytes = 512; // the unit of "s", whatever the disk's sector size

bool Exists(const std::wstring& path) {
    std::string native;
    struct stat info;
    return ToNativePath(path, native) && ::stat(native.c_str(), &info) == 0;
}

// Decimal digits only; nothing when text is empty, holds anything else or does not fit.
std::optional<std::uint64_t> Decimal(const std::wstring& text) {
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::uint64_t Multiplier(wchar_t suffix) {
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
    case L's':
    case L'S':
        return kSectorBytes;
    default:
        return 1;
    }
}

std::optional<std::uint64_t> Offset(const std::wstring& text) {
    const std::uint64_t multiplier = text.empty() ? 1 : Multiplier(text.back());
    const std::optional<std::uint64_t> number =
        Decimal(multiplier == 1 ? text : text.substr(0, text.size() - 1));
    if (!number || *number > std::numeric_limits<std::uint64_t>::max() / multiplier)
        return std::nullopt;
    return *number * multiplier;
}

constexpr wchar_t kShadowCopyMark[] = L"/vss";

// The volume value chooses, without a shadow copy.
VolumeChoice SplitPartitionChoice(const std::wstring& value) {
    VolumeChoice whole{value, VolumeChoice::Kind::Whole, 0, {}};
    const std::size_t at = value.find_last_of(L"#@");
    if (at == std::wstring::npos || at == 0 || Exists(value))
        return whole;
    const std::wstring suffix = value.substr(at + 1);
    const std::optional<std::uint64_t> number = value[at] == L'#' ? Decimal(suffix) : Offset(suffix);
    if (!number)
        return whole;
    return {value.substr(0, at),
            value[at] == L'#' ? VolumeChoice::Kind::Partition : VolumeChoice::Kind::Offset,
            *number,
            {}};
}

} // namespace

VolumeChoice SplitVolumeChoice(const std::wstring& value) {
    const std::size_t at = value.rfind(kShadowCopyMark);
    if (at == std::wstring::npos || at == 0 || Exists(value))
        return SplitPartitionChoice(value);
    const std::wstring digits = value.substr(at + std::wcslen(kShadowCopyMark));
    const std::optional<std::uint64_t> number = digits.empty() ? 0 : Decimal(digits);
    if (!number)
        return SplitPartitionChoice(value);
    VolumeChoice choice = SplitPartitionChoice(value.substr(0, at));
    choice.shadowCopy = number;
    return choice;
}

} // namespace platform
