#include "HugePages.hpp"

#include <cstdint>

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <sys/mman.h>
#define FENMO_MAP_HUGE_PAGES 1
#endif

namespace fenmo::detail {

namespace {
std::size_t rounded(std::size_t bytes) noexcept {
    return (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
}
}  // namespace

#if defined(FENMO_MAP_HUGE_PAGES)

void* mapHugePages(std::size_t bytes) {
    bytes = rounded(bytes);
    // Map one huge page more than asked, keep the aligned part and give back the rest.
    void* mapped =
        mmap(nullptr, bytes + kHugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const auto aligned = (start + kHugePageBytes - 1) & ~(std::uintptr_t{kHugePageBytes} - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    const std::uintptr_t tail = start + kHugePageBytes - aligned;
    if (tail) munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void unmapHugePages(void* region, std::size_t bytes) noexcept {
    munmap(region, rounded(bytes));
}

#else

// Sanitizer builds and other systems: ordinary memory, so that the tools see every block.
void* mapHugePages(std::size_t bytes) {
    return ::operator new(rounded(bytes));
}
void unmapHugePages(void* region, std::size_t) noexcept {
    ::operator delete(region);
}

#endif

}  // namespace fenmo::detail
