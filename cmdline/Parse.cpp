#include "cmdline/CommandLine.h"

#include "cmdline/Errors.h"
#include "cmdline/NameIndex.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace cmdarg {

namespace {

// Applies one option's change to a free-value bound. A set value is taken as unsigned, so -1 sets
// no limit; adding and subtracting stop at 0 and 2^32-1 instead of wrapping round.
void apply_bound_change(std::uint32_t& bound, bool& changed, const bound_rule& rule) {
    auto clamped = [](std::int64_t v) {
        return static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::uint32_t>::max()));
    };
    switch (rule.kind) {
    case bound_change::none:
        return;
    case bound_change::set: {
        const auto value = static_cast<std::uint32_t>(rule.value);
        if (changed && bound != value)
            throw std::logic_error("Parameter requested to set a free value bound after the bound has been "
                                   "already modified by another parameter.");
        bound = value;
        break;
    }
    case bound_change::add:
        bound = clamped(std::int64_t{bound} + rule.value);
        break;
    case bound_change::subtract:
        bound = clamped(std::int64_t{bound} - rule.value);
        break;
    }
    changed = true;
}

// Stores value k of a state: appended when it is the next one, otherwise it replaces an earlier value
// (a default, or the value of an earlier occurrence of the option).
void store_value(std::vector<std::wstring>& values, std::size_t k, const wchar_t* value) {
    if (values.size() == k)
        values.emplace_back(value);
    else
        values[k] = value;
}

} // namespace

bool command_line::is_option_like(const wchar_t* argument) const {
    return argument[0] != L'\0' && switch_chars.find(argument[0]) != std::wstring::npos &&
           argument[1] != L'\0';
}

bool command_line::parse(int argc, const wchar_t* const* argv) {
    states_.clear();
    for (const parameter& declaration : declarations_)
        if (declaration.id() >= 0)
            states_.emplace_back(declaration);
    std::stable_sort(states_.begin(), states_.end(),
                     [](const parameter_state& a, const parameter_state& b) { return a.id < b.id; });
    free_values.clear();

    const name_index names(declarations_);
    for (int i = 1; i < argc;) {
        if (!is_option_like(argv[i])) {
            if (free_values.size() >= max_free)
                throw error_unexpected_value(i, argv[i]);
            free_values.emplace_back(argv[i]);
            ++i;
            continue;
        }
        const parameter& declaration = names.lookup(argv[i] + 1, i);
        if (declaration.id() == help_id)
            throw help_required();
        i = take_subparams(declaration, i, argc, argv);
    }

    check_groups();
    apply_bound_changes();
    if (free_values.size() < min_free)
        throw error_value_missing();
    declarations_.clear();
    return true;
}

int command_line::take_subparams(const parameter& declaration, int i, int argc, const wchar_t* const* argv) {
    parameter_state* state = find_state(declaration.id());
    if (state != nullptr)
        state->present = true;
    std::uint32_t taken = 0;
    for (; taken < declaration.subparam_count(); ++taken) {
        const int at = i + 1 + static_cast<int>(taken);
        if (at >= argc || is_option_like(argv[at]))
            break;
        const subparam_type type = declaration.types()[taken];
        if (!accepts(type, argv[at])) {
            if (taken < declaration.mandatory_count())
                throw error_invalid_subparam_type(at, declaration.id(), type);
            // An optional value of the wrong type belongs to what follows the option: "-range 100 *.txt"
            // scans from record 100 and searches for *.txt.
            break;
        }
        if (state != nullptr)
            store_value(state->values, taken, argv[at]);
    }
    if (taken < declaration.mandatory_count())
        throw error_not_enough_subparams(i, declaration.id(), static_cast<std::int32_t>(taken));
    return i + 1 + static_cast<int>(taken);
}

void command_line::check_groups() const {
    // Every option with its group id, so that each group is walked in option id order.
    std::vector<std::pair<std::int32_t, const parameter*>> members;
    for (const parameter& declaration : declarations_)
        if (declaration.id() > not_a_parameter_id)
            members.emplace_back(declaration.get_group().id, &declaration);
    std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) {
        return std::make_pair(a.first, a.second->id()) < std::make_pair(b.first, b.second->id());
    });

    // Calls check(group, ids of its given options in ascending order) for each group by ascending id.
    auto for_each_group = [&](auto check) {
        for (auto begin = members.begin(); begin != members.end();) {
            const auto end =
                std::find_if(begin, members.end(), [&](const auto& m) { return m.first != begin->first; });
            std::vector<std::int32_t> given;
            for (auto m = begin; m != end; ++m) {
                const parameter_state* s = find_state(m->second->id());
                if (s != nullptr && s->present)
                    given.push_back(s->id);
            }
            check(begin->second->get_group(), given);
            begin = end;
        }
    };
    for_each_group([](const group& g, const std::vector<std::int32_t>& given) {
        if (g.at_least_one && given.empty())
            throw error_no_required_param(g.id);
    });
    for_each_group([](const group& g, const std::vector<std::int32_t>& given) {
        if (g.only_one && given.size() > 1)
            throw error_double_exclusive_params(given[1], g.id);
    });
}

void command_line::apply_bound_changes() {
    bool min_changed = false;
    bool max_changed = false;
    for (const parameter_state& state : states_) {
        if (!state.present)
            continue;
        const parameter& declaration = find(state.id);
        apply_bound_change(min_free, min_changed, declaration.min_free_change());
        apply_bound_change(max_free, max_changed, declaration.max_free_change());
    }
}

} // namespace cmdarg
