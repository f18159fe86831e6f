// The output file on POSIX: a descriptor written with write(2).

#include "platform/OutputFile.h"
#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

CreateOutputFileResult CreateOutputFile(const std::wstring& name) {
    CreateOutputFileResult result;
    std::string native;
    if (!ToNativePath(name, native)) {
        result.error = EILSEQ;
        return result;
    }
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        result.error = static_cast<ErrorCode>(errno);
        return result;
    }
    result.file = std::make_unique<OutputFile>(fd);
    return result;
}

OutputFile::~OutputFile() {
    ::close(static_cast<int>(handle_));
}

ErrorCode OutputFile::Write(const std::wstring& text) {
    std::string bytes(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>((text[i] >> 8) & 0xFF);
    }
    return WriteBytes(bytes);
}

ErrorCode OutputFile::WriteBytes(const std::string& bytes) {
    // A short write (a disk filling up, a signal) is continued, so the next call reports the
    // error instead of losing the rest of the text silently.
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(static_cast<int>(handle_), next, left);
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

} // namespace platform
