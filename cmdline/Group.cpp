#include "cmdline/Group.h"

#include <utility>

namespace cmdarg {

namespace {

// The default group's id; it is reserved so that the default group sorts first on every help page,
// whenever it is first used.
constexpr std::int32_t default_group_id = 1;

std::int32_t last_group_id = default_group_id;

} // namespace

group::group(bool only_one_rule, bool at_least_one_rule, std::wstring group_title)
    : id(++last_group_id), only_one(only_one_rule), at_least_one(at_least_one_rule),
      title(std::move(group_title)) {}

group::group(std::int32_t fixed_id) : id(fixed_id), only_one(false), at_least_one(false) {}

const group& group::default_group() {
    static const group instance(default_group_id);
    return instance;
}

} // namespace cmdarg
