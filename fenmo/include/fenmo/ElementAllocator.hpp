#pragma once
// Memory for element implementations and transaction snapshots: fixed-size blocks carved from large
// slabs, one free list per size. A model of millions of elements then costs no allocator header per
// element, its elements sit together in memory, and the short-lived allocations of editing do not
// fragment the heap around them. Freed blocks are kept for reuse, not returned to the system.

#include <fenmo/Export.hpp>
#include <cstddef>

FENMO_API_BEGIN

namespace fenmo::detail {

void* allocateBlock(std::size_t size);
void releaseBlock(void* block, std::size_t size) noexcept;

// Gives a class (and the classes derived from it) the allocator above.
struct PooledAllocation {
    static void* operator new(std::size_t size) { return allocateBlock(size); }
    static void operator delete(void* block, std::size_t size) noexcept { releaseBlock(block, size); }
};

// A standard allocator on the same blocks, for the small vectors a model keeps by the hundred
// thousand (an undo step's records): no allocator header each, and no call into the heap.
template <class T>
struct PooledAllocator {
    using value_type = T;
    PooledAllocator() noexcept = default;
    template <class U>
    PooledAllocator(const PooledAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocateBlock(n * sizeof(T))); }
    void deallocate(T* block, std::size_t n) noexcept { releaseBlock(block, n * sizeof(T)); }
    template <class U>
    bool operator==(const PooledAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace fenmo::detail

FENMO_API_END
