#pragma once
// The one decoder of the UTF-16 text NTFS stores (names of files, attributes and junction targets):
// little-endian code units, one per wchar_t element. Surrogates, paired or not, are kept as they
// are; what prints a name decides what a lone one becomes.

#include "volume/LittleEndian.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Krod {

// Writes the units code units at bytes to text, for units that a check made before has shown to
// lie inside their structure (a scan decodes every name it matches).
inline void DecodeUtf16(const std::uint8_t* bytes, std::size_t units, wchar_t* text) {
    for (std::size_t i = 0; i < units; ++i)
        text[i] = static_cast<wchar_t>(load_le<std::uint16_t>(bytes + 2 * i));
}

// Replaces text by the units code units at offset in bytes[0, size), reusing its storage. Throws
// std::out_of_range, text unchanged, when they do not lie inside the buffer.
inline void ReadUtf16(const std::uint8_t* bytes, std::size_t size, std::size_t offset, std::size_t units,
                      std::wstring& text) {
    if (units > size / 2 || !FitsIn(size, offset, 2 * units))
        ThrowFieldOutside();
    text.resize(units);
    DecodeUtf16(bytes + offset, units, text.data());
}

} // namespace Krod
