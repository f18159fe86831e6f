// The pipe of standard output on Linux, whose capacity a process may change (F_SETPIPE_SZ).

#include "platform/Console.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// What an unprivileged process may ask for where the system keeps its default limit
// (/proc/sys/fs/pipe-max-size); the pipe's default is 64 KiB.
constexpr int kWidePipeBytes = 1 << 20;

} // namespace

void WidenStandardOutputPipe() {
    // Only a pipe has a size; one that holds as much already is not narrowed. A refusal (a lower
    // limit, the user's pipes holding their share of memory) leaves the pipe as it is.
    const int size = ::fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
    if (size > 0 && size < kWidePipeBytes)
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, kWidePipeBytes);
}

} // namespace platform
