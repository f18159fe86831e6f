#pragma once
// The pieces of rows for other programs, as UTF-8 bytes: text in each format's own escapes, and
// NTFS time stamps as ISO 8601 and as seconds since 1970.

#include <cstdint>
#include <string>

// Appends text (UTF-16 code units) as one CSV field (RFC 4180): in double quotes, each quote
// doubled, when it holds a comma, a quote or a control character (a line break included); as it
// is otherwise. NUL, which many CSV readers refuse, and a lone surrogate, which UTF-8 cannot
// carry, are written as U+FFFD.
void AppendCsvField(std::string& out, const std::wstring& text);

// Appends text as a JSON string in double quotes: a quote, a backslash, a control character and a
// lone surrogate as escapes (\", \\, \uXXXX), so that every code unit can be read back.
void AppendJsonString(std::string& out, const std::wstring& text);

// Appends text as one field of a bodyfile, in the escapes mactime undoes: "%", "|" and control
// characters as %XX. A lone surrogate is written as U+FFFD.
void AppendBodyfileField(std::string& out, const std::wstring& text);

// Whether text holds a character that the CSV and bodyfile fields do not carry as it is, or that
// tools are apt to mangle: a control character (below U+0020, or U+007F) or a lone surrogate.
bool NeedsCodeUnits(const std::wstring& text);
// Appends text's UTF-16 code units, four lower-case hex digits each, nothing between them.
void AppendCodeUnits(std::string& out, const std::wstring& text);

// Appends value in plain decimal.
void AppendDecimal(std::string& out, std::uint64_t value);
// Appends value as "0x" and eight lower-case hex digits, as 0x00000020.
void AppendFlags(std::string& out, std::uint32_t value);

// Appends the time of ticks (100 ns since 1601-01-01 UTC) as ISO 8601 in UTC with all seven
// fractional digits, for example 2023-05-03T10:00:00.1234567Z.
void AppendIsoTime(std::string& out, std::uint64_t ticks);
// Appends the same time as seconds since 1970-01-01 UTC with seven fractional digits, negative
// before 1970, for example 1683108000.1234567.
void AppendUnixTime(std::string& out, std::uint64_t ticks);
