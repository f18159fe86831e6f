#pragma once
// The file that receives a copy of the result lines: UTF-16 little-endian text, or the bytes of
// rows for other programs.

#include "platform/ErrorCode.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class OutputFile;

// Either the created file or the error that prevented it.
struct CreateOutputFileResult {
    std::unique_ptr<OutputFile> file;
    ErrorCode error = 0;
};

// Creates the file named name (UTF-16 code units) for writing, truncating an existing one, so it
// exists and is empty from now on. Other programs may read it meanwhile. POSIX: mode 0666 less
// the umask; a name the locale's encoding cannot express fails with EILSEQ.
CreateOutputFileResult CreateOutputFile(const std::wstring& name);

class OutputFile {
  public:
    explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
    // Closes the file; what was written stays.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends text as UTF-16 little-endian code units (two bytes per element, no byte-order
    // mark), unbuffered. Returns 0 once every byte is written, else the error (a full disk, ...);
    // bytes written before the error stay in the file.
    ErrorCode Write(const std::wstring& text);
    // Appends bytes as they are, unbuffered; returns as Write.
    ErrorCode WriteBytes(const std::string& bytes);

  private:
    std::intptr_t handle_; // the descriptor on POSIX, the HANDLE on Windows
};

} // namespace platform
