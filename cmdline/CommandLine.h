#pragma once
// The options a program understands and, after parsing, what its command line said.
//
// Three stages: declare (construct, add every option), parse once, read the results by option id.
// A successful parse empties the declarations, so find and print_help work only before it, or
// after a failed one.

#include "cmdline/Parameter.h"
#include "cmdline/ParameterState.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace cmdarg {

// Ids at or below this are not option ids.
constexpr std::int32_t not_a_parameter_id = -1024;

class command_line {
  public:
    // Between min_free and max_free free values (arguments that are not options) are accepted.
    command_line(std::uint32_t min_free_values, std::uint32_t max_free_values)
        : min_free(min_free_values), max_free(max_free_values) {}

    // Appends a copy; declaration order is help page order.
    void add(const parameter& declaration) { declarations_.push_back(declaration); }

    // In declaration order; empty after a successful parse.
    const std::vector<parameter>& declarations() const { return declarations_; }

    // Throws std::invalid_argument "Invalid ID" when no declaration has that id.
    const parameter& find(std::int32_t id) const;

    // Fills the states and free values from argv[1 .. argc-1] and returns true. Every failure is an
    // exception: help_required, one of the error family of Errors.h, or std::logic_error when two
    // given options set a free-value bound to different values. After a throw the declarations are
    // intact and the results must not be used.
    bool parse(int argc, const wchar_t* const* argv);

    // Writes the help page: options by group, one line each, with syntax, help, defaults, aliases.
    // switch_chars must not be empty.
    void print_help(std::wostream& out) const;

    // The parse result of an ordinary option. Throws std::invalid_argument "Not-a-parameter ID" for
    // an id at or below not_a_parameter_id and "Invalid ID" for an id without a state (help_id too).
    const parameter_state& state(std::int32_t id) const;

    std::wstring switch_chars = L"-/"; // start an option; the first one is shown in texts
    std::uint32_t min_free;            // after a parse: as changed by the given options
    std::uint32_t max_free;
    std::vector<std::wstring> free_values; // in command-line order
    // Where each argument given to the parse stood on the command line as typed (element i for
    // argv[i]), when the caller took some out before the parse; error reports number arguments by
    // it. Empty: where they stand in argv.
    std::vector<int> argument_positions;

    // Help page layout: spaces before each line, space added after the longest syntax, and the
    // limits of the syntax column's width.
    std::uint32_t help_indent = 2;
    std::uint32_t help_gap = 2;
    std::uint32_t help_min_column = 2;
    std::uint32_t help_max_column = 18;

  private:
    parameter_state* find_state(std::int32_t id);
    const parameter_state* find_state(std::int32_t id) const;
    // Takes the values that follow the option at argv[i]; returns the index of the next argument.
    int take_subparams(const parameter& declaration, int i, int argc, const wchar_t* const* argv);
    void check_groups() const;
    void apply_bound_changes();
    bool is_option_like(const wchar_t* argument) const;

    std::vector<parameter> declarations_;
    std::vector<parameter_state> states_; // sorted by id
};

} // namespace cmdarg
