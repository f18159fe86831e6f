#include "image/DriveValue.h"

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <limits>
#include <optional>

namespace image {
namespace {

constexpr std::uint64_t kSectorBytes = 512; // the unit of "s", whatever the disk's sector size
constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
constexpr wchar_t kShadowCopyMark[] = L"/vss";

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Decimal digits only; nothing when text is empty, holds anything else or exceeds limit.
std::optional<std::uint64_t> Decimal(const std::wstring& text, std::uint64_t limit) {
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (limit - digit) / 10)
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

bool AllDigits(const std::wstring& text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// Reads choice ("#N" or "@OFFSET") into parsed, or says in parsed.problem what is wrong with it.
void ReadChoice(const std::wstring& value, const std::wstring& valueName, const std::wstring& image,
                const std::wstring& choice, DriveValueParse& parsed) {
    const std::wstring where = L"In the " + valueName + L" " + value + L", \"" + choice + L"\" ";
    const std::wstring body = choice.substr(1);
    if (body.find_first_of(L"#@") != std::wstring::npos) {
        parsed.problem = where + L"chooses twice: write either #N (partition N) or @OFFSET (the volume "
                                 L"OFFSET bytes into the disk), once.";
        return;
    }
    if (choice[0] == L'#') {
        const std::optional<std::uint64_t> number = Decimal(body, kUnlimited);
        if (number && *number > 0) {
            parsed.value.kind = DriveValue::Kind::Partition;
            parsed.value.number = *number;
            return;
        }
        parsed.problem =
            where + L"is no partition: write #N with N a partition number from 1, such as " + image + L"#1.";
        return;
    }
    const std::uint64_t multiplier = body.empty() ? 1 : Multiplier(body.back());
    const std::wstring digits = multiplier == 1 ? body : body.substr(0, body.size() - 1);
    if (const std::optional<std::uint64_t> number = Decimal(digits, kUnlimited / multiplier)) {
        parsed.value.kind = DriveValue::Kind::Offset;
        parsed.value.number = *number * multiplier;
        return;
    }
    parsed.problem =
        where + (AllDigits(digits) ? std::wstring(L"is no offset: it is more bytes than any disk holds.")
                                   : L"is no offset: write @OFFSET with OFFSET a number of bytes, or of KiB, "
                                     L"MiB, GiB or 512-byte sectors followed by k, m, g or s, such as " +
                                         image + L"@1m or " + image + L"@2048s.");
}

// The longest part of path that exists and ends before a "#" or "@" after its last "/", or npos.
std::size_t ExistingImageEnd(const std::wstring& path, const ExistsFunction& exists) {
    const std::size_t slash = path.rfind(L'/');
    const std::size_t first = slash == std::wstring::npos ? 0 : slash + 1;
    for (std::size_t at = path.find_last_of(L"#@"); at != std::wstring::npos && at > first;
         at = path.find_last_of(L"#@", at - 1))
        if (exists(path.substr(0, at)))
            return at;
    return std::wstring::npos;
}

} // namespace

DriveValueParse ParseDriveValue(const std::wstring& value, const ExistsFunction& exists,
                                const std::wstring& valueName) {
    DriveValueParse parsed;
    const bool letterLike = value.size() >= 2 && IsAsciiLetter(value[0]) && value[1] == L':';
    std::wstring path = value;
    if (letterLike && value.size() > 2 && (value[2] == L'/' || value[2] == L'.')) {
        parsed.value.letter = value[0];
        path = value.substr(2);
    }
    parsed.value.path = path;
    if (value.empty()) {
        parsed.problem = L"The " + valueName +
                         L" is empty: name a block device or an image file, such as "
                         L"/dev/sdb1 or ./disk.img.";
        return parsed;
    }
    if (exists(path))
        return parsed;
    const std::size_t prefix = value.size() - path.size(); // "X:", or nothing
    // A last part of letters and digits that begins with "vss", in any case, after what names a
    // volume is meant as the choice of a shadow copy, and is read as one or said to be wrong.
    const std::size_t mark = path.rfind(L'/');
    const std::size_t markLength = std::size(kShadowCopyMark) - 1;
    if (mark != std::wstring::npos && mark > 0 && path.size() - mark >= markLength &&
        std::equal(path.begin() + mark, path.begin() + mark + markLength, kShadowCopyMark,
                   [](wchar_t a, wchar_t b) { return static_cast<wchar_t>(std::towlower(a)) == b; }) &&
        std::all_of(path.begin() + mark + 1, path.end(),
                    [](wchar_t c) { return IsAsciiLetter(c) || (c >= L'0' && c <= L'9'); })) {
        const std::wstring volume = path.substr(0, mark);
        if (exists(volume) || ExistingImageEnd(volume, exists) != std::wstring::npos) {
            const std::wstring digits = path.substr(mark + markLength);
            const std::optional<std::uint64_t> copy = digits.empty() ? 0 : Decimal(digits, kUnlimited);
            if (!copy || path.compare(mark, markLength, kShadowCopyMark) != 0) {
                parsed.problem =
                    L"In the " + valueName + L" " + value + L", \"" + path.substr(mark) +
                    L"\" is no shadow copy: write /vssK with K a shadow copy's number from 1, or "
                    L"/vss for the list, such as " +
                    value.substr(0, prefix + mark) + L"/vss1.";
                return parsed;
            }
            parsed.value.shadowCopy = copy;
            parsed.value.path = path = volume;
            if (exists(path))
                return parsed;
        }
    }
    const std::size_t end = ExistingImageEnd(path, exists);
    if (end != std::wstring::npos) {
        parsed.value.path = path.substr(0, end);
        ReadChoice(value, valueName, value.substr(0, prefix + end), path.substr(end), parsed);
        return parsed;
    }
    if (letterLike && parsed.value.letter == 0) {
        const std::wstring drive = value.substr(0, 2);
        parsed.problem =
            L"In the " + valueName + L" " + value + L", " +
            (value.size() == 2
                 ? L"the drive letter is followed by no path: write the image or device after it, such as " +
                       drive + L"/cases/disk.img, or " + drive + L"./disk.img for a relative path."
                 : L"the path after " + drive + L" begins with neither / nor .: a relative path is written " +
                       drive + L"./" + value.substr(2) + L".");
    }
    return parsed;
}

} // namespace image
