#pragma once
// A group of options that share a help-page header and, optionally, a rule on how many of them
// may or must be given. Options carry a copy of their group and are grouped by its id.

#include <cstdint>
#include <string>

namespace cmdarg {

class group {
  public:
    // Takes the next id of one process-wide counter: 2, 3, 4 ... in construction order (1 is the
    // default group's). Not safe to call from several threads at once.
    group(bool only_one, bool at_least_one, std::wstring title);

    // The group of every option that is given no other: no rule, no title, the smallest id.
    static const group& default_group();

    std::int32_t id;
    bool only_one;     // at most one option of the group may be given
    bool at_least_one; // at least one option of the group must be given
    std::wstring title;

  private:
    explicit group(std::int32_t fixed_id);
};

} // namespace cmdarg
