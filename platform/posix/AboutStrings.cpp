// The about page's texts on POSIX: compiled into the program.

#include "platform/AboutStrings.h"
#include "platform/Version.h"

namespace platform {

std::wstring LoadAboutString(unsigned id) {
    switch (id) {
#define ABOUT_STRING(string_id, text)                                                                        \
    case string_id:                                                                                          \
        return text;
#include "platform/AboutStrings.inc"
#undef ABOUT_STRING
    default:
        return {};
    }
}

} // namespace platform
