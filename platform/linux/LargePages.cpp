// Memory for large tables, asked of Linux to be mapped by large pages (transparent huge pages).

#include "platform/LargePages.h"

#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace platform {
namespace {

// The large page of x86-64 and of most other systems with 4 KiB pages. Where the large page is
// bigger, the hint below is simply not taken.
constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

} // namespace

void* AllocateLargePageMemory(std::size_t bytes) {
    if (bytes < kLargePageBytes)
        return ::operator new(bytes);
    // Aligned to a large page, the memory can be mapped by whole large pages. It is asked for
    // before it is first touched: memory touched already is mapped by small pages.
    void* memory = nullptr;
    if (posix_memalign(&memory, kLargePageBytes, bytes) != 0)
        throw std::bad_alloc();
    // Only a hint: where the system does not back the memory with large pages, it stays as it is.
    ::madvise(memory, bytes / kLargePageBytes * kLargePageBytes, MADV_HUGEPAGE);
    return memory;
}

void FreeLargePageMemory(void* memory, std::size_t bytes) noexcept {
    if (bytes < kLargePageBytes)
        ::operator delete(memory);
    else
        std::free(memory);
}

} // namespace platform
