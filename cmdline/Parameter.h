#pragma once
// The declaration of one option: its id, names, help text, subparameters, group and what it does
// to the number of free values the command line accepts.

#include "cmdline/Conversion.h"
#include "cmdline/Group.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace cmdarg {

// The id of the help option: giving it ends the parse with help_required; it has no state.
constexpr std::int32_t help_id = -2;

// What an option, when given, does to a bound on the number of free values.
enum class bound_change : std::int32_t { none = 0, set = 1, add = 2, subtract = 3 };

struct bound_rule {
    bound_change kind = bound_change::none;
    std::int64_t value = 0;
};

class parameter {
  public:
    // Throws std::invalid_argument "Parameter name is empty" when name is null.
    // The option starts with no alias, help text or subparameter, in the default group.
    parameter(std::int32_t id, const wchar_t* name);

    // A null name throws std::invalid_argument "Parameter name is empty" as well.
    parameter& add_alias(const wchar_t* name);

    // Declares the next subparameter. Mandatory ones must come before optional ones, otherwise
    // std::logic_error "Mandatory subparameter cannot follow optional ones"; a second is_default
    // throws std::logic_error "Default subparameter is already defined". default_value and name may
    // be null (no default; shown as "par"). On a throw the parameter is unchanged.
    parameter& add_subparam(bool mandatory, const wchar_t* default_value, subparam_type type,
                            const wchar_t* name, bool is_default);

    void set_group(const group& g) { group_ = g; }
    void set_group(const parameter& member) { group_ = member.group_; }

    // When the option is given, the bound becomes v.
    void set_min_free(std::int32_t v) { min_free_change_ = {bound_change::set, v}; }
    void set_max_free(std::int32_t v) { max_free_change_ = {bound_change::set, v}; }
    // When the option is given, d is added to the bound (subtracted when negative).
    void change_min_free(std::int32_t d) { min_free_change_ = delta(d); }
    void change_max_free(std::int32_t d) { max_free_change_ = delta(d); }

    // Writes the syntax, for instance "-range <begin> [<end>]", to out when it is not null and
    // returns its length in characters.
    std::size_t print_syntax(std::wostream* out, wchar_t switch_char) const;

    std::int32_t id() const { return id_; }
    // The primary name first, then the aliases.
    const std::vector<std::wstring>& names() const { return names_; }
    std::uint32_t mandatory_count() const { return mandatory_count_; }
    std::uint32_t subparam_count() const { return subparam_count_; }
    // Default of subparameter k at position k; may be shorter than the subparameter count, and holds
    // an empty string for a subparameter without default that precedes one with a default.
    const std::vector<std::wstring>& defaults() const { return defaults_; }
    // Name of subparameter k at position k; may be shorter than the count.
    const std::vector<std::wstring>& subparam_names() const { return subparam_names_; }
    // One entry per subparameter.
    const std::vector<subparam_type>& types() const { return types_; }
    // Index of the subparameter marked as the default one, -1 when none is.
    std::int32_t default_subparam() const { return default_subparam_; }
    const group& get_group() const { return group_; }
    const bound_rule& min_free_change() const { return min_free_change_; }
    const bound_rule& max_free_change() const { return max_free_change_; }

    std::wstring help; // one-line description for the help page

  private:
    static bound_rule delta(std::int32_t d);

    std::int32_t id_;
    std::vector<std::wstring> names_;
    std::uint32_t mandatory_count_ = 0;
    std::uint32_t subparam_count_ = 0;
    std::vector<std::wstring> defaults_;
    std::vector<std::wstring> subparam_names_;
    std::vector<subparam_type> types_;
    std::int32_t default_subparam_ = -1;
    group group_ = group::default_group();
    bound_rule min_free_change_;
    bound_rule max_free_change_;
};

} // namespace cmdarg
