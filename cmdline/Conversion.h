#pragma once
// The types a subparameter value can be declared with, and the conversions that check and read them.

#include <cstdint>
#include <optional>
#include <string>

namespace cmdarg {

// Declared type of a subparameter value. Values outside the named ones are allowed and accept any text.
enum class subparam_type : std::int32_t {
    text = 0,    // anything
    integer = 1, // a decimal 32-bit signed integer at the start of the text
    real = 2,    // a decimal floating-point number at the start of the text
    size = 3,    // an unsigned 64-bit decimal number, optionally followed by k, K, m, M, g or G
};

// Each conversion reads one number from the start of the text (leading white space skipped, the
// classic "C" number format) and ignores what follows it, so "10k" reads as integer 10.
// They return nothing when no number can be read.

// Fails when the number lies outside the 32-bit signed range.
std::optional<std::int32_t> to_integer(const std::wstring& text);

std::optional<double> to_real(const std::wstring& text);

// A trailing k/K, m/M or g/G multiplies by 2^10, 2^20 or 2^30. A leading minus sign wraps modulo 2^64,
// so "-1" gives all bits set. Fails when the multiplied value does not fit in 64 bits.
std::optional<std::uint64_t> to_size(const std::wstring& text);

// Whether text is acceptable as a value of the given type.
bool accepts(subparam_type type, const std::wstring& text);

} // namespace cmdarg
