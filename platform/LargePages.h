#pragma once
// Memory for the big buffers a scan reads through from end to end.

#include <cstddef>

namespace platform {

// Memory of bytes bytes, at least 16-byte aligned, that the system backs with its large pages where it
// offers them: a scan touching a few lines of every record of a block of megabytes otherwise pays a
// page-table walk every few records, which under a hypervisor costs as much as the read itself.
// Smaller sizes get ordinary memory. Throws std::bad_alloc when none is left.
void* AllocateLargePageMemory(std::size_t bytes);
// Gives back memory from AllocateLargePageMemory(bytes).
void FreeLargePageMemory(void* memory, std::size_t bytes) noexcept;

// An allocator for containers of such buffers, e.g. std::vector<std::uint8_t,
// LargePageAllocator<std::uint8_t>>.
template <class T> struct LargePageAllocator {
    using value_type = T;

    LargePageAllocator() = default;
    template <class U> LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(AllocateLargePageMemory(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) noexcept { FreeLargePageMemory(memory, count * sizeof(T)); }

    template <class U> bool operator==(const LargePageAllocator<U>&) const noexcept { return true; }
    template <class U> bool operator!=(const LargePageAllocator<U>&) const noexcept { return false; }
};

} // namespace platform
