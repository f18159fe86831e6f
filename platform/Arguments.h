#pragma once
// The command line as this platform hands it to the program.

#include <string>
#include <vector>

namespace platform {

// The characters that start an option: "-" on POSIX, where "/" begins every absolute path;
// "-/" on Windows.
extern const wchar_t* const OptionSwitchChars;

// The program's arguments, argv[0] included, in UTF-16 code units (one unit per wchar_t).
// POSIX: argv is decoded from the character set of the user's locale (LC_ALL, LC_CTYPE, LANG)
// without changing the program's locale; characters beyond U+FFFF become surrogate pairs and
// every byte that does not decode becomes U+FFFD. Windows: argv is in the ANSI code page (the
// program itself starts at wmain, which receives its arguments in UTF-16).
std::vector<std::wstring> WideArguments(int argc, char** argv);

} // namespace platform
