// The console on POSIX: the character set of the user's locale, and C++ streams that do not share
// the C library's FILE objects (whose orientation, wide or narrow, is fixed by their first use).

#include "platform/Console.h"
#include "platform/posix/CharsetEncoder.h"
#include "platform/posix/OemCodecvt.h"

#include <cerrno>
#include <clocale>
#include <iostream>
#include <langinfo.h>
#include <unistd.h>

namespace platform {
namespace {

const CharsetEncoder& ConsoleEncoder() {
    static const CharsetEncoder encoder(nl_langinfo(CODESET));
    return encoder;
}

} // namespace

void InstallConsoleLocale() {
    std::setlocale(LC_ALL, "");
    std::ios_base::sync_with_stdio(false);
    const std::locale console(std::locale(), new OemCodecvt(ConsoleEncoder()));
    std::wios* const wide[] = {&std::wcout, &std::wcin, &std::wcerr, &std::wclog};
    for (std::wios* stream : wide)
        stream->imbue(console);
    std::ios_base* const written[] = {&std::cout,  &std::cerr,  &std::clog,
                                      &std::wcout, &std::wcerr, &std::wclog};
    for (std::ios_base* stream : written)
        stream->setf(std::ios_base::unitbuf);
}

std::string ToOemString(const std::wstring& text) {
    return ConsoleEncoder().Encode(text);
}

void AppendOemString(const std::wstring& text, std::string& bytes) {
    ConsoleEncoder().AppendTo(text, bytes);
}

ErrorCode WriteStandardOutput(const std::string& bytes) {
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return static_cast<ErrorCode>(errno);
        if (written == 0)
            return EIO; // nothing moves: give up rather than spin
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}

void WriteStandardOutputAsIs() {}

bool IsClosedPipe(ErrorCode error) {
    return error == EPIPE;
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

} // namespace platform
