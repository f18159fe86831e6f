#pragma once
// A file that lives in memory, for a library that reads only through a file descriptor. Linux
// builds only.

#include "platform/ErrorCode.h"

#include <cstddef>
#include <cstdint>

namespace platform {

// size bytes, all zero at first; memory is taken only for the pages written.
class MemoryFile {
  public:
    // Error() tells whether the file could be made.
    explicit MemoryFile(std::uint64_t size);
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // The descriptor to hand the library; it stays the file's.
    int Descriptor() const { return fd_; }
    // 0, or why the file could not be made or written.
    ErrorCode Error() const { return error_; }

    // Writes size bytes at offset; false (and Error() says why) when they could not all be written.
    bool Write(std::uint64_t offset, const void* bytes, std::size_t size);
    // Reads size bytes at offset; false when they could not all be read.
    bool Read(std::uint64_t offset, void* bytes, std::size_t size) const;

  private:
    int fd_ = -1;
    ErrorCode error_ = 0;
};

} // namespace platform
