// Text conversions of the builder: recipe names arrive in UTF-8, the volume stores UTF-16 code
// units, and the manifest prints names in a form that never contains blanks or '='.
#pragma once

#include <string>

namespace mkvol {

// UTF-8 to UTF-16 code units (characters outside the BMP become surrogate pairs).
// Throws std::runtime_error on malformed UTF-8.
std::u16string Utf8ToUtf16(const std::string& text);

// UTF-16 code units to UTF-8; a lone surrogate is encoded as its own three bytes, so every
// sequence of code units has an output (the manifest's hex field stays the exact form).
std::string Utf16ToUtf8(const std::u16string& units);

// Percent-escapes every byte outside '!'..'~' and the bytes '%' and '=': the manifest's value form.
std::string PercentEscape(const std::string& bytes);

// Four lowercase hex digits per code unit, no separator.
std::string Utf16Hex(const std::u16string& units);

} // namespace mkvol
