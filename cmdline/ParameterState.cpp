#include "cmdline/ParameterState.h"

#include "cmdline/Parameter.h"

#include <ios>
#include <optional>

namespace cmdarg {

namespace {

template <typename T> T converted(const std::optional<T>& number) {
    if (!number)
        throw std::ios_base::failure("Subparameter value does not convert to a number");
    return *number;
}

} // namespace

parameter_state::parameter_state(const parameter& declaration)
    : id(declaration.id()), values(declaration.defaults()), types(declaration.types()),
      default_subparam(declaration.default_subparam()) {}

std::int32_t parameter_state::int_value(std::size_t k) const {
    return converted(to_integer(value(k)));
}

double parameter_state::real_value(std::size_t k) const {
    return converted(to_real(value(k)));
}

std::uint64_t parameter_state::size_value(std::size_t k) const {
    return converted(to_size(value(k)));
}

} // namespace cmdarg
