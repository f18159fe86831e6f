#include "cmdline/Parameter.h"

#include <ostream>
#include <stdexcept>

namespace cmdarg {

namespace {

// Beyond this many optional subparameters the syntax stops nesting and shows "...".
constexpr std::size_t max_nested_optionals = 8;

const wchar_t* const unnamed_subparam = L"par";

const wchar_t* checked_name(const wchar_t* name) {
    if (name == nullptr)
        throw std::invalid_argument("Parameter name is empty");
    return name;
}

} // namespace

parameter::parameter(std::int32_t id, const wchar_t* name) : id_(id), names_{checked_name(name)} {}

parameter& parameter::add_alias(const wchar_t* name) {
    names_.emplace_back(checked_name(name));
    return *this;
}

parameter& parameter::add_subparam(bool mandatory, const wchar_t* default_value, subparam_type type,
                                   const wchar_t* name, bool is_default) {
    const std::uint32_t n = subparam_count_;
    if (mandatory && mandatory_count_ != n)
        throw std::logic_error("Mandatory subparameter cannot follow optional ones");
    if (is_default && default_subparam_ >= 0)
        throw std::logic_error("Default subparameter is already defined");
    if (default_value != nullptr) {
        defaults_.resize(n);
        defaults_.emplace_back(default_value);
    }
    types_.push_back(type);
    if (name != nullptr) {
        subparam_names_.resize(n, unnamed_subparam);
        subparam_names_.emplace_back(name);
    }
    if (is_default)
        default_subparam_ = static_cast<std::int32_t>(n);
    ++subparam_count_;
    if (mandatory)
        ++mandatory_count_;
    return *this;
}

bound_rule parameter::delta(std::int32_t d) {
    if (d > 0)
        return {bound_change::add, d};
    return {bound_change::subtract, -static_cast<std::int64_t>(d)};
}

std::size_t parameter::print_syntax(std::wostream* out, wchar_t switch_char) const {
    auto name_of = [this](std::uint32_t k) {
        return k < subparam_names_.size() ? subparam_names_[k] : std::wstring(unnamed_subparam);
    };
    std::wstring syntax(1, switch_char);
    syntax += names_.front();
    std::uint32_t k = 0;
    for (; k < mandatory_count_; ++k)
        syntax += L" <" + name_of(k) + L">";
    std::wstring closing;
    for (; k < subparam_count_; ++k) {
        syntax += L" [<" + name_of(k) + L">";
        if (subparam_count_ - k > max_nested_optionals) {
            syntax += L"...";
            closing += L"]";
            break;
        }
        closing += L"]";
    }
    syntax += closing;
    if (out != nullptr)
        *out << syntax;
    return syntax.size();
}

} // namespace cmdarg
