#pragma once
// Conversion of UTF-16 code units (one per wchar_t) into one character set, byte for byte what the
// console shows: whatever the set cannot show, lone surrogates included, becomes "?".

#include <cstddef>
#include <iconv.h>
#include <string>

namespace platform {

class CharsetEncoder {
  public:
    // Most bytes one code unit can produce: a "?" for a surrogate left open by the previous unit,
    // then up to eight bytes for the unit's own character.
    static constexpr std::size_t kMaxBytesPerUnit = 9;

    // codeset names the set as nl_langinfo(CODESET) does ("UTF-8", "ANSI_X3.4-1968", "ISO-8859-1",
    // ...). The set must be a superset of ASCII, as every locale's set is; a set that iconv does
    // not know is treated as ASCII.
    explicit CharsetEncoder(const std::string& codeset);
    ~CharsetEncoder();
    CharsetEncoder(const CharsetEncoder&) = delete;
    CharsetEncoder& operator=(const CharsetEncoder&) = delete;

    // Converts the units [from, fromEnd) into [to, toEnd) and advances from and to past what was
    // converted. pending carries a high surrogate across calls: on entry the one that ended the
    // previous call's input (0 for none), on return the one that ends this input. Returns false
    // when the output ran out of room before the input was used up; from then stands at the first
    // unit not converted. Units are read as their low 16 bits.
    bool Convert(const wchar_t*& from, const wchar_t* fromEnd, char*& to, char* toEnd,
                 char16_t& pending) const;

    // The whole text, a trailing high surrogate included.
    std::string Encode(const std::wstring& text) const;
    // Appends Encode(text) to bytes.
    void AppendTo(const std::wstring& text, std::string& bytes) const;

  private:
    enum class Kind { Utf8, Ascii, Iconv };

    // Writes the bytes of one code point (never a surrogate) to out, which has room for
    // kMaxBytesPerUnit - 1 bytes; returns their count.
    std::size_t EncodePoint(char32_t point, char* out) const;

    Kind kind_ = Kind::Ascii;
    iconv_t iconv_ = reinterpret_cast<iconv_t>(-1);
};

} // namespace platform
