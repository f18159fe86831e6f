#include "cmdline/CommandLine.h"

#include <algorithm>
#include <stdexcept>

namespace cmdarg {

namespace {

// The state with that id in states sorted by id, or null; const or not as states is.
template <typename States> auto find_in(States& states, std::int32_t id) -> decltype(&states.front()) {
    const auto found = std::lower_bound(states.begin(), states.end(), id,
                                        [](const parameter_state& s, std::int32_t i) { return s.id < i; });
    return found == states.end() || found->id != id ? nullptr : &*found;
}

} // namespace

const parameter& command_line::find(std::int32_t id) const {
    const auto found = std::find_if(declarations_.begin(), declarations_.end(),
                                    [id](const parameter& p) { return p.id() == id; });
    if (found == declarations_.end())
        throw std::invalid_argument("Invalid ID");
    return *found;
}

const parameter_state& command_line::state(std::int32_t id) const {
    if (id <= not_a_parameter_id)
        throw std::invalid_argument("Not-a-parameter ID");
    const parameter_state* found = find_state(id);
    if (found == nullptr)
        throw std::invalid_argument("Invalid ID");
    return *found;
}

parameter_state* command_line::find_state(std::int32_t id) {
    return find_in(states_, id);
}

const parameter_state* command_line::find_state(std::int32_t id) const {
    return find_in(states_, id);
}

} // namespace cmdarg
