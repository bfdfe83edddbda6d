#pragma once
// The stored value of an optional text property: a counted reference to one immutable copy of the
// text, shared by every element, snapshot and history step that holds the same characters. A model
// repeats a few texts ("double", "1", "-1") across a million elements; each element keeps a pointer
// instead of a string of its own, and two held texts are equal exactly when their pointers are.

#include <fenmo/Export.hpp>

#include <boost/optional.hpp>

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>

FENMO_API_BEGIN

namespace fenmo {

namespace detail {
// One pooled text and the number of values holding it.
struct SharedTextEntry {
    boost::optional<std::u16string> text;
    std::atomic<std::size_t> references{1};
    std::size_t hash = 0;
    bool pooled = true;  // in its pool's table; guarded by the lock of the table's shard
};
}  // namespace detail

class FENMO_API SharedText {
public:
    using Optional = boost::optional<std::u16string>;
    using value_type = std::u16string;

    // Unset.
    SharedText() noexcept = default;
    // The pooled copy of `text` (unset when `text` is), made when no held text has these characters.
    SharedText(const Optional& text) : m_entry(text ? intern(*text) : nullptr) {}  // NOLINT: implicit
    SharedText(const SharedText& other) noexcept : m_entry(other.m_entry) { retain(m_entry); }
    SharedText(SharedText&& other) noexcept : m_entry(std::exchange(other.m_entry, nullptr)) {}
    SharedText& operator=(const SharedText& other) noexcept {
        SharedText copy(other);
        swap(*this, copy);
        return *this;
    }
    SharedText& operator=(SharedText&& other) noexcept {
        swap(*this, other);
        return *this;
    }
    SharedText& operator=(const Optional& text) { return *this = SharedText(text); }
    ~SharedText() { release(m_entry); }

    // The text as the optional the typed getters hand out; stays valid while this value holds it.
    const Optional& get() const noexcept { return m_entry ? m_entry->text : s_unset; }
    operator const Optional&() const noexcept { return get(); }  // NOLINT: reads as the optional
    bool has_value() const noexcept { return m_entry != nullptr; }
    explicit operator bool() const noexcept { return m_entry != nullptr; }
    const std::u16string& operator*() const noexcept { return *m_entry->text; }
    const std::u16string* operator->() const noexcept { return &*m_entry->text; }

    friend void swap(SharedText& a, SharedText& b) noexcept { std::swap(a.m_entry, b.m_entry); }
    // The pool keeps one copy of each text, so equal texts share it.
    friend bool operator==(const SharedText& a, const SharedText& b) noexcept {
        return a.m_entry == b.m_entry;
    }
    friend bool operator==(const SharedText& a, const Optional& b) noexcept { return a.get() == b; }

    // The bytes of the pooled copy, counted in full by each holder (a history's bound stays an upper
    // bound also when it holds the last reference).
    std::size_t heapBytes() const noexcept;

    // How many distinct texts the pool holds now (for tests and measurements).
    static std::size_t pooledCount();

private:
    using Entry = detail::SharedTextEntry;

    explicit SharedText(Entry* adopted) noexcept : m_entry(adopted) {}

    static Entry* intern(const std::u16string& text);
    static Entry* internInPool(const std::u16string& text);
    static void retain(Entry* entry) noexcept;
    static void release(Entry* entry) noexcept;
    // Takes the entry out of its pool and deletes it once its last holder let it go.
    static void drop(Entry* entry) noexcept;
    static const Optional s_unset;

    Entry* m_entry = nullptr;
};

inline void SharedText::retain(Entry* entry) noexcept {
    if (entry) entry->references.fetch_add(1, std::memory_order_relaxed);
}

inline void SharedText::release(Entry* entry) noexcept {
    if (entry && entry->references.fetch_sub(1, std::memory_order_acq_rel) == 1) drop(entry);
}

}  // namespace fenmo

FENMO_API_END
