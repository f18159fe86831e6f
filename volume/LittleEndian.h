#pragma once
// Range-checked reads of little-endian numbers from on-disk structures. Every on-disk field is
// read through these, so a field that would lie outside its buffer throws instead of being read.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace Krod {

// True when n bytes at offset lie inside a buffer of size bytes; cannot wrap.
constexpr bool FitsIn(std::size_t size, std::size_t offset, std::size_t n) {
    return offset <= size && n <= size - offset;
}

// The error of a field that would lie outside its structure.
[[noreturn]] inline void ThrowFieldOutside() {
    throw std::out_of_range("On-disk field lies outside its structure");
}

// The width-byte unsigned little-endian number at offset (width 0 to 8; 0 reads as 0).
// Throws std::out_of_range if the field does not lie inside bytes[0, size) or width exceeds 8.
inline std::uint64_t read_le_width(const std::uint8_t* bytes, std::size_t size, std::size_t offset,
                                   std::size_t width) {
    if (width > sizeof(std::uint64_t) || !FitsIn(size, offset, width))
        ThrowFieldOutside();
    std::uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i)
        value = (value << 8) | bytes[offset + i - 1];
    return value;
}

// The bytes at p[0..sizeof...(I)) as a little-endian number; with the width known at compile time,
// compilers make this one load rather than a loop over the bytes.
template <std::size_t... I>
std::uint64_t AssembleLittleEndian(const std::uint8_t* p, std::index_sequence<I...>) {
    return ((std::uint64_t{p[I]} << (8 * I)) | ...);
}

// The little-endian integer of type T at p, for a field that a check made before has shown to lie
// inside its structure (hot loops check a whole header once rather than each of its fields).
template <typename T> T load_le(const std::uint8_t* p) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= sizeof(std::uint64_t), "integer fields only");
    return static_cast<T>(AssembleLittleEndian(p, std::make_index_sequence<sizeof(T)>()));
}

// The little-endian integer of type T at offset; throws std::out_of_range as read_le_width.
template <typename T> T read_le(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
    if (!FitsIn(size, offset, sizeof(T)))
        ThrowFieldOutside();
    return load_le<T>(bytes + offset);
}

} // namespace Krod
