#pragma once
// The pieces of rows for other programs, as UTF-8 bytes: text in each format's own escapes, and
// NTFS time stamps as ISO 8601 and as seconds since 1970.

#include "app/LongOptions.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Text (UTF-16 code units) as one field of a row format: its UTF-8 bytes in the format's escapes,
// without the double quotes that may enclose them.
struct FieldText {
    std::string bytes;
    bool quoted = false; // CSV: the text holds a comma, a quote or a control character
    // The text holds a character that the CSV and bodyfile fields do not carry as it is, or that
    // tools are apt to mangle: a control character (below U+0020, or U+007F) or a lone surrogate.
    bool needsCodeUnits = false;
};

// Sets field to text as format (not Lines) writes it:
// - CSV (RFC 4180): each quote doubled; a field that holds a comma, a quote or a control character
//   (a line break included) is quoted. NUL, which many CSV readers refuse, and a lone surrogate,
//   which UTF-8 cannot carry, are written as U+FFFD.
// - JSON: a quote, a backslash, a control character and a lone surrogate as escapes (\", \\,
//   \uXXXX), so that every code unit can be read back.
// - Bodyfile: the escapes mactime undoes, "%", "|" and control characters as %XX; a lone
//   surrogate as U+FFFD.
// Each character is written on its own, so two texts joined make their two fields' bytes joined
// (quoted when either is), unless the first ends in the half of a surrogate pair that the second
// begins with the other half of.
void EscapeField(FieldText& field, RowFormat format, const std::wstring& text);

// The functions below write at next and return the end of what they wrote; next must have room
// for the most bytes each one names, which they may fill beyond that end.

// Writes field as format's field: CSV in double quotes when quoted, JSON always in double quotes,
// bodyfile as it is; at most two bytes more than the field's.
char* PutField(char* next, RowFormat format, const FieldText& field);

// Writes text's UTF-16 code units, four lower-case hex digits each, nothing between them.
char* PutCodeUnits(char* next, const std::wstring& text);

// Writes value in plain decimal: at most 20 bytes.
char* PutDecimal(char* next, std::uint64_t value);
// Writes value as "0x" and eight lower-case hex digits, as 0x00000020.
char* PutFlags(char* next, std::uint32_t value);

// Writes times given in ticks (100 ns since 1601-01-01 UTC) as ISO 8601 in UTC with all seven
// fractional digits, for example 2023-05-03T10:00:00.1234567Z: at most kMaxLength bytes. The
// times of a file, and of files written one after another, are mostly the same, or of the same
// second or day, so the text of the last time is kept and only what differs is made again.
class IsoTimeText {
  public:
    static constexpr std::size_t kMaxLength = 29; // a year of five digits from 10000 on

    IsoTimeText() { Make(0); }

    // Inline, as a row has eight times and most are the last one again.
    char* Put(char* next, std::uint64_t ticks) {
        if (ticks != ticks_)
            Make(ticks);
        // All of text_ in one piece of known size, for speed; only the time's bytes count.
        std::memcpy(next, text_, sizeof text_);
        return next + length_;
    }

  private:
    // Sets the text to the time of ticks, making again only what differs from the last time.
    void Make(std::uint64_t ticks);

    std::uint64_t ticks_ = 0;    // the time in text_
    char text_[kMaxLength] = {}; // "YYYY-MM-DDT", then the time of day
    std::size_t dateLength_ = 0; // of the date in text_, "T" included
    std::size_t length_ = 0;     // of the whole time in text_
};

// Writes the time of ticks as seconds since 1970-01-01 UTC with seven fractional digits, negative
// before 1970, for example 1683108000.1234567: at most 22 bytes.
char* PutUnixTime(char* next, std::uint64_t ticks);
