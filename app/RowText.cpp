#include "app/RowText.h"

#include <algorithm>
#include <iterator>

namespace {

// What stands for a character that a field cannot carry as it is.
constexpr char32_t kReplacement = 0xFFFD;

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kSecondsPerDay = 86'400;
// 1601-01-01, where NTFS counts from, lies this many days before 1970-01-01.
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;
// 1970-01-01 in NTFS ticks.
constexpr std::uint64_t kUnixEpochTicks = 116'444'736'000'000'000;

char32_t UnitAt(const std::wstring& text, std::size_t i) {
    return static_cast<char32_t>(text[i]) & 0xFFFF; // each element holds one UTF-16 code unit
}

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

bool IsControl(char32_t point) {
    return point < 0x20 || point == 0x7F;
}

// Calls put(point, lone) for each character of text: the code point of a surrogate pair or of a
// single unit (lone false), or a surrogate without its partner (lone true).
template <typename Put> void ForEachCharacter(const std::wstring& text, Put put) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = UnitAt(text, i);
        if (IsHighSurrogate(unit) && i + 1 < text.size() && UnitAt(text, i + 1) >= 0xDC00 &&
            UnitAt(text, i + 1) <= 0xDFFF) {
            put(0x10000 + ((unit - 0xD800) << 10) + (UnitAt(text, i + 1) - 0xDC00), false);
            ++i;
        } else {
            put(unit, IsSurrogate(unit));
        }
    }
}

void AppendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | point >> 6);
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | point >> 12);
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | point >> 18);
        out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

void AppendHex(std::string& out, std::uint32_t value, int digits, const char* hex) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += hex[value >> shift & 0xF];
}

// Whether every unit of text is printable ASCII other than a and b, so that the text is its own
// UTF-8 and needs no escape.
bool IsPlainAscii(const std::wstring& text, char a, char b) {
    return std::all_of(text.begin(), text.end(), [a, b](wchar_t element) {
        const char32_t unit = static_cast<char32_t>(element) & 0xFFFF;
        return unit >= 0x20 && unit < 0x7F && unit != static_cast<char32_t>(a) &&
               unit != static_cast<char32_t>(b);
    });
}

// Appends text, printable ASCII only, one byte per unit, a piece at a time through a buffer.
void AppendAscii(std::string& out, const std::wstring& text) {
    char bytes[256];
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t count = std::min(text.size() - at, sizeof bytes);
        std::transform(text.begin() + static_cast<std::ptrdiff_t>(at),
                       text.begin() + static_cast<std::ptrdiff_t>(at + count), bytes,
                       [](wchar_t element) { return static_cast<char>(element); });
        out.append(bytes, count);
        at += count;
    }
}

// Writes value as exactly width decimal digits (the low ones) at next; returns the end.
char* PutDigits(char* next, std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
        next[i] = static_cast<char>('0' + value % 10);
    return next + width;
}

// Appends value in decimal with at least width digits.
void AppendPadded(std::string& out, std::uint64_t value, std::size_t width) {
    char digits[20]; // 2^64 - 1 has 20 of them
    char* first = std::end(digits);
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    const auto count = static_cast<std::size_t>(std::end(digits) - first);
    if (count < width)
        out.append(width - count, '0');
    out.append(first, std::end(digits));
}

} // namespace

void AppendCsvField(std::string& out, const std::wstring& text) {
    if (IsPlainAscii(text, ',', '"')) {
        AppendAscii(out, text);
        return;
    }
    const bool quoted = std::any_of(text.begin(), text.end(), [](wchar_t element) {
        const char32_t unit = static_cast<char32_t>(element) & 0xFFFF;
        return unit == U',' || unit == U'"' || IsControl(unit);
    });
    if (quoted)
        out += '"';
    ForEachCharacter(text, [&out](char32_t point, bool lone) {
        if (point == U'"')
            out += '"';
        AppendUtf8(out, lone || point == 0 ? kReplacement : point);
    });
    if (quoted)
        out += '"';
}

void AppendJsonString(std::string& out, const std::wstring& text) {
    out += '"';
    if (IsPlainAscii(text, '"', '\\')) {
        AppendAscii(out, text);
        out += '"';
        return;
    }
    ForEachCharacter(text, [&out](char32_t point, bool lone) {
        if (point == U'"' || point == U'\\') {
            out += '\\';
            out += static_cast<char>(point);
        } else if (lone || point < 0x20) {
            out += "\\u";
            AppendHex(out, point, 4, kLowerHex);
        } else {
            AppendUtf8(out, point);
        }
    });
    out += '"';
}

void AppendBodyfileField(std::string& out, const std::wstring& text) {
    if (IsPlainAscii(text, '%', '|')) {
        AppendAscii(out, text);
        return;
    }
    ForEachCharacter(text, [&out](char32_t point, bool lone) {
        if (lone) {
            AppendUtf8(out, kReplacement);
        } else if (point == U'%' || point == U'|' || IsControl(point)) {
            out += '%';
            AppendHex(out, point, 2, kUpperHex);
        } else {
            AppendUtf8(out, point);
        }
    });
}

bool NeedsCodeUnits(const std::wstring& text) {
    if (IsPlainAscii(text, '\0', '\0'))
        return false;
    bool needs = false;
    ForEachCharacter(text,
                     [&needs](char32_t point, bool lone) { needs = needs || lone || IsControl(point); });
    return needs;
}

void AppendCodeUnits(std::string& out, const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        AppendHex(out, UnitAt(text, i), 4, kLowerHex);
}

void AppendDecimal(std::string& out, std::uint64_t value) {
    AppendPadded(out, value, 1);
}

void AppendFlags(std::string& out, std::uint32_t value) {
    out += "0x";
    AppendHex(out, value, 8, kLowerHex);
}

void AppendIsoTime(std::string& out, std::uint64_t ticks) {
    const std::uint64_t seconds = ticks / kTicksPerSecond;
    const std::uint64_t secondOfDay = seconds % kSecondsPerDay;
    // The civil date of a day count from 1970, proleptic Gregorian (the algorithm of
    // H. Hinnant's "chrono-compatible low-level date algorithms"), over 400-year eras.
    const std::int64_t days = static_cast<std::int64_t>(seconds / kSecondsPerDay) - kDaysFrom1601To1970;
    const std::int64_t shifted = days + 719'468; // days from 0000-03-01
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146'096) / 146'097;
    const std::int64_t dayOfEra = shifted - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    // Every year from 1601 on is positive; the largest tick count falls in year 60056.
    const auto year = static_cast<std::uint64_t>(yearOfEra + era * 400 + (month <= 2));
    char text[32];
    char* next = PutDigits(text, year, year > 9999 ? 5 : 4);
    *next++ = '-';
    next = PutDigits(next, static_cast<std::uint64_t>(month), 2);
    *next++ = '-';
    next = PutDigits(next, static_cast<std::uint64_t>(day), 2);
    *next++ = 'T';
    next = PutDigits(next, secondOfDay / 3600, 2);
    *next++ = ':';
    next = PutDigits(next, secondOfDay / 60 % 60, 2);
    *next++ = ':';
    next = PutDigits(next, secondOfDay % 60, 2);
    *next++ = '.';
    next = PutDigits(next, ticks % kTicksPerSecond, 7);
    *next++ = 'Z';
    out.append(text, next);
}

void AppendUnixTime(std::string& out, std::uint64_t ticks) {
    std::uint64_t distance = ticks - kUnixEpochTicks;
    if (ticks < kUnixEpochTicks) {
        out += '-';
        distance = kUnixEpochTicks - ticks;
    }
    AppendPadded(out, distance / kTicksPerSecond, 1);
    out += '.';
    AppendPadded(out, distance % kTicksPerSecond, 7);
}
