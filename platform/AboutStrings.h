#pragma once
// The texts of the about page, kept where each platform keeps such strings: compiled into the
// program on POSIX, a string table of the program's resources on Windows.

#include <string>

namespace platform {

// String ids of the about page (also the ids of the Windows string table).
enum AboutStringId : unsigned {
    kAboutDisclaimer = 101, // a paragraph on warranty and liability
    kAboutNotice = 102,     // one line: program, version, copyright
    kAboutWebSite = 103,
    kAboutEmail = 104,
    kAboutBeta = 105, // the program is a beta version
};

// The text with that id, without terminator; empty for an id that has no text.
std::wstring LoadAboutString(unsigned id);

} // namespace platform
