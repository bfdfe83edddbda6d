#pragma once
// Large, long-lived tables and slabs in memory that the system may back with 2 MiB pages: a model of
// millions of elements then takes a few hundred page faults and far fewer TLB misses on random access.

#include <cstddef>
#include <new>

namespace fenmo::detail {

inline constexpr std::size_t kHugePageBytes = 2 * 1024 * 1024;

// `bytes` rounded up to whole huge pages, mapped at a huge-page boundary; throws std::bad_alloc.
void* mapHugePages(std::size_t bytes);
void unmapHugePages(void* region, std::size_t bytes) noexcept;

// A standard allocator that maps arrays of a huge page or more with mapHugePages.
template <class T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        std::size_t bytes = n * sizeof(T);
        return static_cast<T*>(bytes < kHugePageBytes ? ::operator new(bytes) : mapHugePages(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        std::size_t bytes = n * sizeof(T);
        if (bytes < kHugePageBytes)
            ::operator delete(p);
        else
            unmapHugePages(p, bytes);
    }

    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace fenmo::detail
