#include <fenmo/ElementAllocator.hpp>

#include "HugePages.hpp"

#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace fenmo::detail {

namespace {

constexpr std::size_t kGranule = 8;
constexpr std::size_t kLargestPooled = 1024;
constexpr std::size_t kSlabBytes = 64 * 1024;
constexpr std::size_t kChunkBytes = kHugePageBytes;

// Slabs are cut from huge-page chunks: a model of millions of elements then takes a few hundred page
// faults instead of hundreds of thousands.
class SlabSource {
public:
    char* slab() {
        std::lock_guard lock(m_mutex);
        if (m_next == m_end) {
            m_next = static_cast<char*>(mapHugePages(kChunkBytes));
            m_end = m_next + kChunkBytes;
        }
        char* slab = m_next;
        m_next += kSlabBytes;
        return slab;
    }

private:
    std::mutex m_mutex;
    char* m_next = nullptr;
    char* m_end = nullptr;
};

SlabSource& slabSource() {
    static auto* source = new SlabSource;  // never destroyed, like the blocks it hands out
    return *source;
}

// The lock of a size class: it guards a few instructions, so taking it is one atomic exchange rather
// than a call into the thread library to lock and another to unlock, paid by every element and every
// snapshot kept for undo. A thread that finds it taken spins briefly, then yields, in case the holder
// was preempted.
class SpinLock {
public:
    void lock() noexcept {
        for (unsigned spins = 0; m_locked.exchange(true, std::memory_order_acquire);) {
            while (m_locked.load(std::memory_order_relaxed)) {
                if (++spins < 64)
                    pause();
                else
                    std::this_thread::yield();
            }
        }
    }
    void unlock() noexcept { m_locked.store(false, std::memory_order_release); }

private:
    static void pause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    std::atomic<bool> m_locked{false};
};

// The blocks of one size: freed blocks are reused first (a list threaded through them); otherwise the
// next block of the current slab is handed out, so that blocks made one after another lie one after
// another in memory, as elements are usually read.
class SizeClass {
public:
    void* allocate(std::size_t size) {
        std::lock_guard lock(m_lock);
        if (FreeBlock* block = m_free) {
            m_free = block->next;
            return block;
        }
        // Compared as a distance: no offset is ever applied to the null pointer of a class not yet used.
        if (!m_next || size > static_cast<std::size_t>(m_end - m_next)) {
            m_next = slabSource().slab();
            m_end = m_next + kSlabBytes;
        }
        void* block = m_next;
        m_next += size;
        return block;
    }
    void release(void* block) noexcept {
        std::lock_guard lock(m_lock);
        auto* free = static_cast<FreeBlock*>(block);
        free->next = m_free;
        m_free = free;
    }

private:
    struct FreeBlock {
        FreeBlock* next;
    };

    SpinLock m_lock;
    FreeBlock* m_free = nullptr;
    char* m_next = nullptr;
    char* m_end = nullptr;
};

std::array<SizeClass, kLargestPooled / kGranule + 1>& sizeClasses() {
    // Never destroyed: elements may be released by exit-time destructors of other libraries.
    static auto* classes = new std::array<SizeClass, kLargestPooled / kGranule + 1>;
    return *classes;
}

std::size_t rounded(std::size_t size) noexcept {
    return (size + kGranule - 1) / kGranule * kGranule;
}

// Address sanitizer builds keep the system allocator, so that it sees every element's life.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif

}  // namespace

void* allocateBlock(std::size_t size) {
    if (!kPooled || size > kLargestPooled) return ::operator new(size);
    std::size_t block = rounded(size);
    return sizeClasses()[block / kGranule].allocate(block);
}

void releaseBlock(void* block, std::size_t size) noexcept {
    if (!block) return;
    if (!kPooled || size > kLargestPooled) return ::operator delete(block);
    sizeClasses()[rounded(size) / kGranule].release(block);
}

}  // namespace fenmo::detail
