#pragma once
// Parsing with the reports a user sees: the help page on request, a description of any error.

#include "cmdline/CommandLine.h"

#include <cstdint>
#include <iosfwd>

namespace cmdarg {

// Parses argv into cl and returns 0 on success. On help_required writes header (when not null),
// the help page, the accepted switch characters (when there are several) and footer (when not null)
// to help_out and returns help_result. On an error of the cmdarg family writes its report to
// error_out and returns error_base plus the error's offset (1 ambiguous option, 2 invalid option,
// 3 surplus free value, 4 missing free value, 6 bad subparameter value, 7 exclusive options,
// 8 missing subparameter values, 9 missing required option). Other exceptions pass through.
std::int32_t process_command_line(command_line& cl, int argc, const wchar_t* const* argv,
                                  std::wostream& help_out, std::wostream& error_out, const wchar_t* header,
                                  const wchar_t* footer, std::int32_t error_base, std::int32_t help_result);

} // namespace cmdarg
