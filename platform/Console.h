#pragma once
// The console: the character set its text is written in, and the standard streams set up for it.

#include "platform/ErrorCode.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Sets the program up for console output; call it first thing, before anything is written.
// Afterwards std::wcout, std::wcin, std::wcerr and std::wclog convert their text as ToOemString
// does, and every standard stream, wide or narrow, writes each piece of text to its descriptor as
// soon as it is inserted, so text reaches the console in the order the program writes it, also
// when wide streams, narrow streams and WriteStandardOutput take turns on one descriptor.
// POSIX: the user's locale (LC_ALL="") chooses the character set. Windows: the OEM code page.
void InstallConsoleLocale();

// The text (UTF-16 code units) in the console's character set. Characters the set cannot show
// become "?", and so do unpaired surrogates; nothing is reported. An empty text gives an empty
// string. Call InstallConsoleLocale before the first call.
// Windows: the OEM code page, converted by WideCharToMultiByte, which puts a similar character of
// the code page where it has one (a Greek capital epsilon becomes the small one of code page 437)
// and a "?" for each code unit it cannot show (two for a pair of surrogates); throws
// std::runtime_error "Cannot convert" if the system cannot convert the text at all.
std::string ToOemString(const std::wstring& text);
// Appends ToOemString(text) to bytes; where most text is ASCII, without a string in between.
void AppendOemString(const std::wstring& text, std::string& bytes);

// Writes bytes to standard output (descriptor 1) unbuffered, in one write where the system
// allows it. Returns 0 once every byte is written, else the error that stopped the writing (a
// full disk, a closed pipe, ...).
ErrorCode WriteStandardOutput(const std::string& bytes);

// From now on WriteStandardOutput writes its bytes exactly as they are, for output another program
// reads: no line feed becomes a carriage return and a line feed. Windows: standard output leaves
// the C runtime's text mode for binary mode. POSIX: bytes are always written as they are.
void WriteStandardOutputAsIs();

// Lets the pipe that standard output may be hold more bytes where the system allows it, so that
// a long output reaches its reader with far fewer switches between the two programs: a writer
// that fills a small pipe waits for the reader at every write. Changes nothing when standard
// output is no pipe, or its pipe is as large already; nothing is reported. Linux: up to 1 MiB, the
// most any user may ask for unless the system's limit says less. Windows: nothing, as a pipe keeps
// the size it was made with.
void WidenStandardOutputPipe();

// Whether error, of a write to standard output, says that the reader of the pipe has gone.
bool IsClosedPipe(ErrorCode error);

// Whether standard error (descriptor 2) is a terminal that a person watches, where a line can be
// rewritten in place with a carriage return. Windows: a console.
bool StandardErrorIsTerminal();

// The width in columns of the terminal that standard error is, as it is now (the user may resize
// it at any time); nothing when it is no terminal or does not tell. Windows: the console window's.
std::optional<std::uint32_t> StandardErrorColumns();

// Bytes to write to standard error should the user interrupt the program (Ctrl-C), which then
// ends as it would have without them: what takes a line that is rewritten in place off the
// terminal. Empty for nothing; the last call counts. An interrupt that was ignored when the program
// started stays ignored.
void SetInterruptText(const std::string& bytes);

} // namespace platform
