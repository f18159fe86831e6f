#pragma once
// What parse throws for a command line it cannot accept, and for a request for help.
// Plain structures, thrown by value and caught by reference; the bases let a handler pick out
// what an error is about (an argument, an option, a group, the free values).

#include "cmdline/Conversion.h"

#include <cstdint>
#include <string>
#include <utility>

namespace cmdarg {

// The help option was given. Not an error: handlers of `error` do not see it.
struct help_required {};

// Base of every error in the user's command line.
struct error {};

struct error_argument_base {
    explicit error_argument_base(std::int32_t index) : argument_index(index) {}
    std::int32_t argument_index; // position in the argument vector; the program name is 0
};

struct error_option_id_base {
    explicit error_option_id_base(std::int32_t id) : option_id(id) {}
    std::int32_t option_id;
};

struct error_group_id_base {
    explicit error_group_id_base(std::int32_t id) : group_id(id) {}
    std::int32_t group_id;
};

struct error_free_value_base {};

struct error_invalid_option_base : error_argument_base {
    error_invalid_option_base(std::int32_t index, std::wstring text)
        : error_argument_base(index), option_text(std::move(text)) {}
    std::wstring option_text; // the argument without its switch character
};

// No declared name fits the option text.
struct error_invalid_option : error, error_invalid_option_base {
    using error_invalid_option_base::error_invalid_option_base;
};

// No declared name fits, but the option with the nearest name (option_id) was probably meant.
struct error_invalid_option_with_supposition : error_invalid_option, error_option_id_base {
    error_invalid_option_with_supposition(std::int32_t index, std::wstring text, std::int32_t id)
        : error_invalid_option(index, std::move(text)), error_option_id_base(id) {}
};

// The option text abbreviates at least two names.
struct error_option_ambiguous : error, error_invalid_option_base {
    error_option_ambiguous(std::int32_t index, std::wstring text, std::wstring first, std::wstring second)
        : error_invalid_option_base(index, std::move(text)), first_name(std::move(first)),
          second_name(std::move(second)) {}
    std::wstring first_name;
    std::wstring second_name;
};

// A free value beyond the maximum.
struct error_unexpected_value : error, error_free_value_base, error_argument_base {
    error_unexpected_value(std::int32_t index, std::wstring surplus)
        : error_argument_base(index), value(std::move(surplus)) {}
    std::wstring value;
};

// Fewer free values than the minimum.
struct error_value_missing : error, error_free_value_base {};

// An option followed by fewer values than it has mandatory subparameters.
struct error_not_enough_subparams : error, error_argument_base, error_option_id_base {
    error_not_enough_subparams(std::int32_t index, std::int32_t id, std::int32_t given)
        : error_argument_base(index), error_option_id_base(id), given_count(given) {}
    std::int32_t given_count;
};

// A mandatory subparameter value that does not convert to its declared type.
struct error_invalid_subparam_type : error, error_argument_base, error_option_id_base {
    error_invalid_subparam_type(std::int32_t index, std::int32_t id, subparam_type type)
        : error_argument_base(index), error_option_id_base(id), expected_type(type) {}
    subparam_type expected_type;
};

// Two options of an only-one group; option_id is the second one in option id order.
struct error_double_exclusive_params : error, error_option_id_base, error_group_id_base {
    error_double_exclusive_params(std::int32_t id, std::int32_t group)
        : error_option_id_base(id), error_group_id_base(group) {}
};

// No option of an at-least-one group was given.
struct error_no_required_param : error, error_group_id_base {
    using error_group_id_base::error_group_id_base;
};

} // namespace cmdarg
