#include "platform/posix/CharsetEncoder.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace platform {
namespace {

constexpr char kReplacement = '?';
const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

char32_t JoinSurrogates(char32_t high, char32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// "UTF-8", "utf8" and "UTF_8" are one set; so are the spellings of ASCII.
std::string CanonicalName(const std::string& codeset) {
    std::string name;
    for (char c : codeset)
        if (c != '-' && c != '_')
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

std::size_t EncodeUtf8(char32_t point, char* out) {
    if (point < 0x80) {
        out[0] = static_cast<char>(point);
        return 1;
    }
    if (point < 0x800) {
        out[0] = static_cast<char>(0xC0 | (point >> 6));
        out[1] = static_cast<char>(0x80 | (point & 0x3F));
        return 2;
    }
    if (point < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (point >> 12));
        out[1] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (point & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (point >> 18));
    out[1] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (point & 0x3F));
    return 4;
}

} // namespace

CharsetEncoder::CharsetEncoder(const std::string& codeset) {
    const std::string name = CanonicalName(codeset);
    if (name == "UTF8") {
        kind_ = Kind::Utf8;
    } else if (name != "ANSIX3.41968" && name != "ASCII" && name != "USASCII") {
        iconv_ = iconv_open(codeset.c_str(), "UTF-32LE");
        if (iconv_ != kNoIconv)
            kind_ = Kind::Iconv;
    }
}

CharsetEncoder::~CharsetEncoder() {
    if (iconv_ != kNoIconv)
        iconv_close(iconv_);
}

std::size_t CharsetEncoder::EncodePoint(char32_t point, char* out) const {
    if (kind_ == Kind::Utf8)
        return EncodeUtf8(point, out);
    if (point < 0x80 || kind_ == Kind::Ascii) {
        out[0] = point < 0x80 ? static_cast<char>(point) : kReplacement;
        return 1;
    }
    // One point per call, each ending in the set's initial shift state, so no state leaks from
    // one character into the next.
    char input[4] = {static_cast<char>(point), static_cast<char>(point >> 8), static_cast<char>(point >> 16),
                     0};
    char* in = input;
    std::size_t inLeft = sizeof input;
    char* next = out;
    std::size_t outLeft = kMaxBytesPerUnit - 1;
    iconv(iconv_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(iconv_, &in, &inLeft, &next, &outLeft) == static_cast<std::size_t>(-1) ||
        iconv(iconv_, nullptr, nullptr, &next, &outLeft) == static_cast<std::size_t>(-1)) {
        out[0] = kReplacement;
        return 1;
    }
    return static_cast<std::size_t>(next - out);
}

bool CharsetEncoder::Convert(const wchar_t*& from, const wchar_t* fromEnd, char*& to, char* toEnd,
                             char16_t& pending) const {
    char bytes[kMaxBytesPerUnit];
    for (; from != fromEnd; ++from) {
        const char32_t unit = static_cast<char32_t>(*from) & 0xFFFF;
        if (unit < 0x80 && pending == 0) {
            if (to == toEnd)
                return false;
            *to++ = static_cast<char>(unit);
            continue;
        }
        std::size_t count = 0;
        char16_t left = 0;
        if (pending != 0 && IsLowSurrogate(unit)) {
            count = EncodePoint(JoinSurrogates(pending, unit), bytes);
        } else {
            if (pending != 0)
                bytes[count++] = kReplacement;
            if (IsHighSurrogate(unit))
                left = static_cast<char16_t>(unit);
            else if (IsLowSurrogate(unit))
                bytes[count++] = kReplacement;
            else
                count += EncodePoint(unit, bytes + count);
        }
        if (static_cast<std::size_t>(toEnd - to) < count)
            return false;
        to = std::copy(bytes, bytes + count, to);
        pending = left;
    }
    return true;
}

std::string CharsetEncoder::Encode(const std::wstring& text) const {
    std::string bytes;
    AppendTo(text, bytes);
    return bytes;
}

void CharsetEncoder::AppendTo(const std::wstring& text, std::string& bytes) const {
    // Every set writes ASCII as itself, and most texts hold nothing else. Both loops run without
    // an early exit, which lets the compiler work on many units at a time.
    const wchar_t* const units = text.data();
    const std::size_t count = text.size();
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < count; ++i)
        bits |= static_cast<std::uint32_t>(units[i]);
    const std::size_t start = bytes.size();
    if (bits < 0x80) {
        bytes.resize(start + count);
        char* const out = bytes.data() + start;
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<char>(units[i]);
        return;
    }
    bytes.resize(start + text.size() * kMaxBytesPerUnit + 1);
    const wchar_t* from = text.data();
    char* to = bytes.data() + start;
    char16_t pending = 0;
    Convert(from, from + text.size(), to, bytes.data() + bytes.size(), pending);
    if (pending != 0)
        *to++ = kReplacement;
    bytes.resize(static_cast<std::size_t>(to - bytes.data()));
}

} // namespace platform
