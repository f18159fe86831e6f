// Little-endian fields of on-disk structures, read and written with a range check.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace mkvol {

template <typename T> T ReadLe(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset > bytes.size() || sizeof(T) > bytes.size() - offset)
        throw std::runtime_error("field at " + std::to_string(offset) + " lies outside the structure");
    uint64_t value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value |= uint64_t{bytes[offset + i]} << (8 * i);
    return static_cast<T>(value);
}

template <typename T> void WriteLe(std::vector<uint8_t>& bytes, size_t offset, T value) {
    if (offset > bytes.size() || sizeof(T) > bytes.size() - offset)
        throw std::runtime_error("field at " + std::to_string(offset) + " lies outside the structure");
    const auto bits = static_cast<uint64_t>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

} // namespace mkvol
