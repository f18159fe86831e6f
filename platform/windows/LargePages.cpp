#include "platform/LargePages.h"

#include <new>

namespace platform {

// Large pages on Windows need a privilege that a search should not ask for: ordinary memory.
void* AllocateLargePageMemory(std::size_t bytes) {
    return ::operator new(bytes);
}

void FreeLargePageMemory(void* memory, std::size_t) noexcept {
    ::operator delete(memory);
}

} // namespace platform
