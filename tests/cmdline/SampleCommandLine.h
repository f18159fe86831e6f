#pragma once
// A small declared command line shared by the parser and report tests.

#include "cmdline/CommandLine.h"

#include <cstdint>

namespace cmdarg {

enum sample_id : std::int32_t { alpha = 0, beta = 1, bet = 2, name = 3, x = 4, one = 5, two = 6, ratio = 7 };

// A help option "?" with alias "h"; "alpha <n> [<m>]" with integers (defaults 0 and -1); "beta" and
// "bet"; "name <text>"; "x" with aliases "xa" and "xb"; "one" and "two" in an only-one group;
// "ratio [<r>]" with a real (default 0.5). Up to one free value, at least min_free.
inline command_line sample_command_line(std::uint32_t min_free = 0) {
    command_line cl(min_free, 1);
    cl.add(parameter(help_id, L"?").add_alias(L"h"));
    cl.add(parameter(alpha, L"alpha")
               .add_subparam(true, L"0", subparam_type::integer, L"n", false)
               .add_subparam(false, L"-1", subparam_type::integer, L"m", false));
    cl.add(parameter(beta, L"beta"));
    cl.add(parameter(bet, L"bet"));
    cl.add(parameter(name, L"name").add_subparam(true, nullptr, subparam_type::text, L"text", false));
    cl.add(parameter(x, L"x").add_alias(L"xa").add_alias(L"xb"));
    parameter first(one, L"one");
    first.set_group(group(true, false, L"Pick"));
    cl.add(first);
    parameter second(two, L"two");
    second.set_group(cl.find(one));
    cl.add(second);
    cl.add(parameter(ratio, L"ratio").add_subparam(false, L"0.5", subparam_type::real, L"r", false));
    return cl;
}

} // namespace cmdarg
