#pragma once
// What a transaction keeps of a collection it changes: the edits, in order (an element inserted at a
// position, one erased from a position, one put in place of another, or everything cleared), instead of
// a copy of the old contents. Undoing plays the edits backwards and redoing forwards, each in O(log n),
// and an undo step keeps a few dozen bytes per edit however many elements the collection holds.
//
// The journal lives in the snapshot of the lowest transaction level that keeps the collection's old
// contents. A level above it that changes the collection again keeps a mark instead (how many edits the
// journal held when that level began): abandoning the level plays the journal back to the mark.

#include <fenmo/Export.hpp>

#include <boost/container/small_vector.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

enum class EditKind : std::uint8_t { Inserted, Erased, Replaced, Cleared };

namespace detail {
// The untyped face of a journal: what a snapshot hands a collection that asks where its edits go.
struct JournalBase {};
// A position as an edit keeps it (collections hold fewer than four billion entries).
inline std::uint32_t editPosition(std::size_t position) noexcept {
    return static_cast<std::uint32_t>(position);
}
}  // namespace detail

// The journal of a collection C, which provides
//   Edit       with a `kind`;
//   Contents   what a clear takes away, copied in O(1);
//   _undo(const Edit&, const std::vector<Contents>&) and _redo(const Edit&), telling nobody;
//   clearedIndex(const Edit&), the position a clear's contents have among those kept;
//   contentsSize(const Contents&) and contentsHeapBytes(const Contents&).
template <class C>
class CollectionJournal : public detail::JournalBase {
public:
    using Edit = typename C::Edit;
    using Contents = typename C::Contents;

    CollectionJournal() = default;
    CollectionJournal(CollectionJournal&&) noexcept = default;
    CollectionJournal& operator=(CollectionJournal&&) noexcept = default;

    // Starts keeping `collection`'s edits; or, when the journal `below` (an outer level's) keeps them
    // already, marks how far it has come.
    void start(const C& collection, detail::JournalBase* below) {
        m_edits.clear();
        m_cleared.reset();
        m_undone = false;
        if (below) {
            const auto& base = static_cast<const CollectionJournal&>(*below);
            m_collection = nullptr;
            m_markEdits = base.m_edits.size();
            m_markCleared = base.m_cleared ? base.m_cleared->size() : 0;
        } else {
            m_collection = &collection;
            m_markEdits = m_markCleared = 0;
        }
    }
    bool isMark() const noexcept { return m_collection == nullptr; }

    // Room for `count` more edits, made before the collection changes so that recording cannot fail after.
    // Most steps make one edit of a collection, so the room starts at what is asked and then doubles.
    void prepare(std::size_t count = 1) {
        if (m_edits.size() + count > m_edits.capacity())
            m_edits.reserve(std::max(m_edits.size() + count, 2 * m_edits.size()));
    }
    void record(Edit edit) noexcept { m_edits.push_back(std::move(edit)); }
    // Keeps what a clear is about to take away, and answers the position to name it by in the edit.
    std::uint32_t keepCleared(Contents old) {
        if (!m_cleared) m_cleared = std::make_unique<std::vector<Contents>>();
        m_cleared->push_back(std::move(old));
        return static_cast<std::uint32_t>(m_cleared->size() - 1);
    }

    // Undoes the edits made since the mark and forgets them (a level abandoned); a journal, not being a
    // mark, goes back to where it started.
    void rewind(C& collection, std::size_t edits, std::size_t cleared) {
        while (m_edits.size() > edits) {
            collection._undo(m_edits.back(), clearedContents());
            m_edits.pop_back();
        }
        if (m_cleared && m_cleared->size() > cleared) m_cleared->resize(cleared);
    }
    void rewind(C& collection) { rewind(collection, 0, 0); }
    std::size_t markEdits() const noexcept { return m_markEdits; }
    std::size_t markCleared() const noexcept { return m_markCleared; }

    // Undo and redo of a committed step: the edits are played backwards, or again forwards, and kept.
    void exchange(C& collection) {
        if (m_undone)
            for (const Edit& edit : m_edits) collection._redo(edit);
        else
            for (auto it = m_edits.rbegin(); it != m_edits.rend(); ++it)
                collection._undo(*it, clearedContents());
        m_undone = !m_undone;
    }

    // Whether the collection ends as it began, by the rule Same (which judges only small contents).
    template <class Same>
    bool unchanged(const C& current) const {
        if (isMark()) return false;
        if (m_edits.empty()) return true;
        if (sizeBefore(current.size()) != current.size() || current.size() > 1) return false;
        C old = otherContents();
        return Same::same(current, old.empty() ? nullptr : &old);
    }

    // The contents on the other side of the edits: the old contents while they are done, the new ones
    // once undone. A free-standing copy, built in O(edits log n).
    C otherContents() const {
        C other(*m_collection);
        if (m_undone)
            for (const Edit& edit : m_edits) other._redo(edit);
        else
            for (auto it = m_edits.rbegin(); it != m_edits.rend(); ++it) other._undo(*it, clearedContents());
        return other;
    }
    const C* collection() const noexcept { return m_collection; }

    // Heap memory the journal holds, for the history's account.
    std::size_t heapBytes() const noexcept {
        std::size_t bytes = m_edits.capacity() > kInlineEdits ? m_edits.capacity() * sizeof(Edit) : 0;
        if (m_cleared)
            for (const Contents& contents : *m_cleared)
                bytes += sizeof(Contents) + C::contentsHeapBytes(contents);
        return bytes;
    }

private:
    const std::vector<Contents>& clearedContents() const noexcept {
        static const std::vector<Contents> none;
        return m_cleared ? *m_cleared : none;
    }
    // The size the collection had before the edits, walking them back from its size after them.
    std::size_t sizeBefore(std::size_t size) const noexcept {
        for (auto it = m_edits.rbegin(); it != m_edits.rend(); ++it) {
            switch (it->kind) {
                case EditKind::Inserted:
                    --size;
                    break;
                case EditKind::Erased:
                    ++size;
                    break;
                case EditKind::Replaced:
                    break;
                case EditKind::Cleared:
                    size = C::contentsSize((*m_cleared)[C::clearedIndex(*it)]);
                    break;
            }
        }
        return size;
    }

    // A step edits a collection once or twice (a rename files the element again: two edits), so the
    // first two edits live in the journal itself and cost no allocation.
    static constexpr std::size_t kInlineEdits = 2;

    const C* m_collection = nullptr;  // null for a mark
    boost::container::small_vector<Edit, kInlineEdits> m_edits;
    std::unique_ptr<std::vector<Contents>> m_cleared;
    std::size_t m_markEdits = 0;
    std::size_t m_markCleared = 0;
    bool m_undone = false;
};

}  // namespace fenmo

FENMO_API_END
