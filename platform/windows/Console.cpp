// The console on Windows: text in the OEM code page, standard output in the C runtime's text
// mode (each line feed reaches the console as a carriage return and a line feed), and C++ streams
// that write straight to the descriptors rather than through the runtime's FILE objects.

#include "platform/Console.h"
#include "platform/windows/OemCodecvt.h"

#include <windows.h>

#include <clocale>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace platform {
namespace {

constexpr char kReplacement = '?';
constexpr int kStandardOutput = 1;
// The C runtime's name of the OEM code page's locale.
constexpr char kOemLocaleName[] = ".OCP";
// _write takes an unsigned int count; larger texts go in several writes.
constexpr std::size_t kLargestWrite = 1u << 30;

// The interrupt text; the console runs its handler on a thread of its own.
std::mutex interruptTextLock;
std::string interruptText;

BOOL WINAPI WriteInterruptText(DWORD event) {
    if (event == CTRL_C_EVENT) {
        const std::lock_guard<std::mutex> lock(interruptTextLock);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), interruptText.data(),
                  static_cast<DWORD>(interruptText.size()), &written, nullptr);
    }
    return FALSE; // the program then ends as it would have
}

} // namespace

void InstallConsoleLocale() {
    // The C++ library of this toolchain knows no locale by name but "C", so the facet converts by
    // itself; the C runtime is set to the OEM code page for what it converts.
    std::setlocale(LC_CTYPE, kOemLocaleName);
    // Unsynchronised streams hand their text to the descriptors (through the facet, for the wide
    // ones) instead of the runtime's FILE objects, whose wide output would skip the facet.
    std::ios_base::sync_with_stdio(false);
    const std::locale console(std::locale(), new OemCodecvt(kReplacement));
    std::wios* const wide[] = {&std::wcout, &std::wcin, &std::wcerr, &std::wclog};
    for (std::wios* stream : wide)
        stream->imbue(console);
    std::ios_base* const written[] = {&std::cout,  &std::cerr,  &std::clog,
                                      &std::wcout, &std::wcerr, &std::wclog};
    for (std::ios_base* stream : written)
        stream->setf(std::ios_base::unitbuf);
}

std::string ToOemString(const std::wstring& text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_OEMCP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size == 0)
        throw std::runtime_error("Cannot convert");
    std::vector<char> bytes(static_cast<std::size_t>(size) + 1, '\0');
    WideCharToMultiByte(CP_OEMCP, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return std::string(bytes.data()); // up to the first zero byte
}

void AppendOemString(const std::wstring& text, std::string& bytes) {
    bytes += ToOemString(text);
}

ErrorCode WriteStandardOutput(const std::string& bytes) {
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const unsigned count = static_cast<unsigned>(std::min(left, kLargestWrite));
        SetLastError(0);
        const int written = _write(kStandardOutput, next, count);
        if (written <= 0) {
            // The runtime's write failed in WriteFile, which left the system's code behind.
            const DWORD error = GetLastError();
            return error != 0 ? error : ERROR_WRITE_FAULT;
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}

void WriteStandardOutputAsIs() {
    _setmode(kStandardOutput, _O_BINARY);
}

void WidenStandardOutputPipe() {}

bool IsClosedPipe(ErrorCode error) {
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
}

bool StandardErrorIsTerminal() {
    // _isatty would also take the NUL device for a terminal; only a console has a console mode.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::optional<std::uint32_t> StandardErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return std::nullopt;
    return static_cast<std::uint32_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void SetInterruptText(const std::string& bytes) {
    static const bool handled = SetConsoleCtrlHandler(WriteInterruptText, TRUE) != 0;
    (void)handled;
    const std::lock_guard<std::mutex> lock(interruptTextLock);
    interruptText = bytes;
}

} // namespace platform
