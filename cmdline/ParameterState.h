#pragma once
// The outcome of parsing for one option: whether it was given and its subparameter values.

#include "cmdline/Conversion.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cmdarg {

class parameter;

struct parameter_state {
    // Not present, holding the declaration's defaults as values.
    explicit parameter_state(const parameter& declaration);

    bool has_value(std::size_t k) const { return k < values.size(); }

    // The getters throw std::out_of_range when there is no value k, and std::ios_base::failure when
    // the value does not convert (rules in Conversion.h).
    const std::wstring& value(std::size_t k) const { return values.at(k); }
    std::int32_t int_value(std::size_t k) const;
    double real_value(std::size_t k) const;
    // Reads any value as a size, so integer subparameters may carry k, m and g suffixes.
    std::uint64_t size_value(std::size_t k) const;

    std::int32_t id;
    bool present = false;
    std::vector<std::wstring> values; // one per subparameter that has a value
    std::vector<subparam_type> types;
    std::int32_t default_subparam;
};

} // namespace cmdarg
