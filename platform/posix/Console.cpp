// The console on POSIX: the character set of the user's locale, and C++ streams that do not share
// the C library's FILE objects (whose orientation, wide or narrow, is fixed by their first use).

#include "platform/Console.h"
#include "platform/posix/CharsetEncoder.h"
#include "platform/posix/OemCodecvt.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <iostream>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {
namespace {

const CharsetEncoder& ConsoleEncoder() {
    static const CharsetEncoder encoder(nl_langinfo(CODESET));
    return encoder;
}

// The interrupt text, where the signal handler can reach it without a call that is unsafe there.
constexpr std::size_t kInterruptTextSize = 4096;
char interruptText[kInterruptTextSize];
volatile std::sig_atomic_t interruptTextLength = 0;

extern "C" void WriteInterruptTextAndEnd(int signal) {
    if (::write(STDERR_FILENO, interruptText, static_cast<std::size_t>(interruptTextLength)) < 0) {
        // Nothing more can be done about a terminal that is gone.
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
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

std::optional<std::uint32_t> StandardErrorColumns() {
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return std::nullopt;
    return size.ws_col;
}

void SetInterruptText(const std::string& bytes) {
    static const bool handled = [] {
        struct sigaction action {};
        if (::sigaction(SIGINT, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            return false;
        action.sa_handler = WriteInterruptTextAndEnd;
        action.sa_flags = 0;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGINT, &action, nullptr) == 0;
    }();
    if (!handled)
        return;
    interruptTextLength = 0;
    const std::size_t length = std::min(bytes.size(), kInterruptTextSize);
    std::memcpy(interruptText, bytes.data(), length);
    interruptTextLength = static_cast<std::sig_atomic_t>(length);
}

} // namespace platform
