#include "app/RowText.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// What stands for a character that a field cannot carry as it is.
constexpr char32_t kReplacement = 0xFFFD;
// The most bytes a field gives one code unit: a JSON \uXXXX escape.
constexpr std::size_t kMaxBytesPerUnit = 6;

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

bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool IsSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

bool IsControl(char32_t point) {
    return point < 0x20 || point == 0x7F;
}

// Calls put(point, lone) for each character of text from unit first on: the code point of a
// surrogate pair or of a single unit (lone false), or a surrogate without its partner (lone true).
template <typename Put> void ForEachCharacter(const std::wstring& text, std::size_t first, Put put) {
    for (std::size_t i = first; i < text.size(); ++i) {
        const char32_t unit = UnitAt(text, i);
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(UnitAt(text, i + 1))) {
            put(0x10000 + ((unit - 0xD800) << 10) + (UnitAt(text, i + 1) - 0xDC00), false);
            ++i;
        } else {
            put(unit, IsSurrogate(unit));
        }
    }
}

// Writes point as UTF-8 at next; returns the end.
char* PutUtf8(char* next, char32_t point) {
    if (point < 0x80) {
        *next++ = static_cast<char>(point);
    } else if (point < 0x800) {
        *next++ = static_cast<char>(0xC0 | point >> 6);
        *next++ = static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *next++ = static_cast<char>(0xE0 | point >> 12);
        *next++ = static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *next++ = static_cast<char>(0x80 | (point & 0x3F));
    } else {
        *next++ = static_cast<char>(0xF0 | point >> 18);
        *next++ = static_cast<char>(0x80 | (point >> 12 & 0x3F));
        *next++ = static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *next++ = static_cast<char>(0x80 | (point & 0x3F));
    }
    return next;
}

// Writes the digits low of value in hex at next; returns the end.
char* PutHex(char* next, std::uint32_t value, int digits, const char* hex) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *next++ = hex[value >> shift & 0xF];
    return next;
}

// Writes one character of a CSV field at next, returns the end; sets quoted when the field must
// be quoted for it.
char* PutCsvCharacter(char* next, char32_t point, bool lone, bool& quoted) {
    if (point == U',' || point == U'"' || IsControl(point))
        quoted = true;
    if (point == U'"')
        *next++ = '"';
    return PutUtf8(next, lone || point == 0 ? kReplacement : point);
}

char* PutJsonCharacter(char* next, char32_t point, bool lone) {
    if (point == U'"' || point == U'\\') {
        *next++ = '\\';
        *next++ = static_cast<char>(point);
        return next;
    }
    if (lone || point < 0x20) {
        *next++ = '\\';
        *next++ = 'u';
        return PutHex(next, point, 4, kLowerHex);
    }
    return PutUtf8(next, point);
}

char* PutBodyfileCharacter(char* next, char32_t point, bool lone) {
    if (lone)
        return PutUtf8(next, kReplacement);
    if (point == U'%' || point == U'|' || IsControl(point)) {
        *next++ = '%';
        return PutHex(next, point, 2, kUpperHex);
    }
    return PutUtf8(next, point);
}

// The two printable ASCII characters that format escapes (or, in CSV, quotes the field for).
std::pair<char32_t, char32_t> SpecialCharacters(RowFormat format) {
    switch (format) {
    case RowFormat::Csv:
        return {U',', U'"'};
    case RowFormat::JsonLines:
        return {U'"', U'\\'};
    default:
        return {U'%', U'|'};
    }
}

// "00" to "99", two characters each: digits made two at a time take half the divisions.
struct DigitPairs {
    char text[200];
    constexpr DigitPairs() : text() {
        for (int i = 0; i < 100; ++i) {
            text[2 * i] = static_cast<char>('0' + i / 10);
            text[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
    }
};
constexpr DigitPairs kDigitPairs;

// The eight decimal digits of value, below 10^8, leading zeros included, as the bytes (0 to 9) of
// a number whose lowest byte is the first digit. The halves, then their hundreds and then their
// tens are split off in every lane at once by multiplying with reciprocals, which are exact for
// these ranges: no loop and no branch.
std::uint64_t EightDigits(std::uint64_t value) {
    const std::uint64_t halves = value / 10'000 | value % 10'000 << 32;
    const std::uint64_t hundreds = halves * 10'486 >> 20 & 0x0000'007F'0000'007F;
    const std::uint64_t quarters = hundreds | (halves - 100 * hundreds) << 16;
    const std::uint64_t tens = quarters * 103 >> 10 & 0x000F'000F'000F'000F;
    return tens | (quarters - 10 * tens) << 8;
}

// The ASCII digit of each byte of EightDigits.
constexpr std::uint64_t kZeroDigits = 0x3030'3030'3030'3030;

// Writes the eight bytes of value at next, the lowest first; compilers make this one store.
void PutEightBytes(char* next, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        next[i] = static_cast<char>(value >> (8 * i));
}

// Writes value, below 10^8, as eight decimal digits at next, leading zeros included; returns the
// end. Fills eight bytes.
char* PutEightDigits(char* next, std::uint64_t value) {
    PutEightBytes(next, EightDigits(value) + kZeroDigits);
    return next + 8;
}

// Writes value, below 10^8, in plain decimal at next; returns the end. Fills eight bytes.
char* PutShortDecimal(char* next, std::uint64_t value) {
    // The first digit that is not a leading zero; 0 keeps its last one.
    const std::uint64_t digits = EightDigits(value);
    const int zeros = __builtin_ctzll(digits | std::uint64_t{1} << 56) / 8;
    PutEightBytes(next, (digits + kZeroDigits) >> 8 * zeros);
    return next + 8 - zeros;
}

// Writes value as exactly width decimal digits (the low ones) at next; returns the end.
char* PutDigits(char* next, std::uint64_t value, int width) {
    char* const end = next + width;
    char* at = end;
    for (; at - next >= 2; value /= 100) {
        at -= 2;
        const char* pair = kDigitPairs.text + 2 * (value % 100);
        at[0] = pair[0];
        at[1] = pair[1];
    }
    if (at != next)
        *--at = static_cast<char>('0' + value % 10);
    return end;
}

// Writes the civil date of day (days since 1601-01-01) as "YYYY-MM-DDT" at next; returns the end.
char* PutDate(char* next, std::uint64_t day) {
    // The civil date of a day count from 1970, proleptic Gregorian (the algorithm of
    // H. Hinnant's "chrono-compatible low-level date algorithms"), over 400-year eras.
    const std::int64_t days = static_cast<std::int64_t>(day) - kDaysFrom1601To1970;
    const std::int64_t shifted = days + 719'468; // days from 0000-03-01
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146'096) / 146'097;
    const std::int64_t dayOfEra = shifted - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t dayOfMonth = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    // Every year from 1601 on is positive; the largest tick count falls in year 60056.
    const auto year = static_cast<std::uint64_t>(yearOfEra + era * 400 + (month <= 2));
    next = PutDigits(next, year, year > 9999 ? 5 : 4);
    *next++ = '-';
    next = PutDigits(next, static_cast<std::uint64_t>(month), 2);
    *next++ = '-';
    next = PutDigits(next, static_cast<std::uint64_t>(dayOfMonth), 2);
    *next++ = 'T';
    return next;
}

} // namespace

void EscapeField(FieldText& field, RowFormat format, const std::wstring& text) {
    const auto special = SpecialCharacters(format);
    std::string& bytes = field.bytes;
    field.quoted = false;
    field.needsCodeUnits = false;
    // Most names are printable ASCII, which is its own UTF-8 and needs no escape: all of the text
    // is narrowed and tested at once, without a branch per character, which the compiler turns
    // into vector instructions.
    const auto isOther = [special](wchar_t element) {
        const char32_t unit = static_cast<char32_t>(element) & 0xFFFF;
        return (unit - 0x20 >= 0x7F - 0x20) | (unit == special.first) | (unit == special.second);
    };
    const std::size_t size = text.size();
    bytes.resize(size);
    const wchar_t* const units = text.data();
    char* const narrowed = &bytes[0];
    std::uint32_t others = 0; // counted, not flagged: compilers vectorize a count
    for (std::size_t i = 0; i < size; ++i) {
        narrowed[i] = static_cast<char>(units[i]);
        others += isOther(units[i]);
    }
    if (others == 0)
        return;
    const auto firstOther = std::find_if(text.begin(), text.end(), isOther);
    const auto plain = static_cast<std::size_t>(firstOther - text.begin());
    // The rest goes character by character.
    bytes.resize(plain + (text.size() - plain) * kMaxBytesPerUnit);
    char* const begin = &bytes[0];
    char* next = begin + plain;
    ForEachCharacter(text, plain, [format, &next, &field](char32_t point, bool lone) {
        field.needsCodeUnits = field.needsCodeUnits || lone || IsControl(point);
        if (format == RowFormat::Csv)
            next = PutCsvCharacter(next, point, lone, field.quoted);
        else if (format == RowFormat::JsonLines)
            next = PutJsonCharacter(next, point, lone);
        else
            next = PutBodyfileCharacter(next, point, lone);
    });
    bytes.resize(static_cast<std::size_t>(next - begin));
}

char* PutField(char* next, RowFormat format, const FieldText& field) {
    const bool quote = format == RowFormat::JsonLines || (format == RowFormat::Csv && field.quoted);
    if (quote)
        *next++ = '"';
    next = std::copy(field.bytes.begin(), field.bytes.end(), next);
    if (quote)
        *next++ = '"';
    return next;
}

char* PutCodeUnits(char* next, const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        next = PutHex(next, UnitAt(text, i), 4, kLowerHex);
    return next;
}

char* PutDecimal(char* next, std::uint64_t value) {
    constexpr std::uint64_t kEightDigits = 100'000'000;
    // Most sequence numbers, of records and of their parents, have one digit.
    if (value < 10) {
        *next = static_cast<char>('0' + value);
        return next + 1;
    }
    if (value < kEightDigits)
        return PutShortDecimal(next, value);
    // Twenty digits at most: the first four, or fewer, and eight and eight.
    const std::uint64_t high = value / kEightDigits;
    next = high < kEightDigits
               ? PutShortDecimal(next, high)
               : PutEightDigits(PutShortDecimal(next, high / kEightDigits), high % kEightDigits);
    return PutEightDigits(next, value % kEightDigits);
}

char* PutFlags(char* next, std::uint32_t value) {
    *next++ = '0';
    *next++ = 'x';
    return PutHex(next, value, 8, kLowerHex);
}

void IsoTimeText::Make(std::uint64_t ticks) {
    // "HH:MM:SS." after the date, then seven digits and "Z".
    constexpr std::size_t kTimeOfDayLength = 9;
    constexpr std::size_t kFractionLength = 8;
    const std::uint64_t seconds = ticks / kTicksPerSecond;
    if (dateLength_ == 0 || seconds != ticks_ / kTicksPerSecond) {
        const std::uint64_t day = seconds / kSecondsPerDay;
        if (dateLength_ == 0 || day != ticks_ / kTicksPerSecond / kSecondsPerDay)
            dateLength_ = static_cast<std::size_t>(PutDate(text_, day) - text_);
        const std::uint64_t secondOfDay = seconds % kSecondsPerDay;
        char* end = PutDigits(text_ + dateLength_, secondOfDay / 3600, 2);
        *end++ = ':';
        end = PutDigits(end, secondOfDay / 60 % 60, 2);
        *end++ = ':';
        end = PutDigits(end, secondOfDay % 60, 2);
        *end = '.';
    }
    char* const fraction = text_ + dateLength_ + kTimeOfDayLength;
    *PutDigits(fraction, ticks % kTicksPerSecond, 7) = 'Z';
    ticks_ = ticks;
    length_ = dateLength_ + kTimeOfDayLength + kFractionLength;
}

char* PutUnixTime(char* next, std::uint64_t ticks) {
    std::uint64_t distance = ticks - kUnixEpochTicks;
    if (ticks < kUnixEpochTicks) {
        *next++ = '-';
        distance = kUnixEpochTicks - ticks;
    }
    next = PutDecimal(next, distance / kTicksPerSecond);
    *next++ = '.';
    return PutDigits(next, distance % kTicksPerSecond, 7);
}
