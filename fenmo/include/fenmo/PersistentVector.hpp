#pragma once
// A sequence whose copies share structure: a B+-tree of counted nodes, each branch knowing how many
// entries lie below each child. Copying is O(1); reading, inserting, erasing or replacing at a
// position is O(log n), and a change copies only the nodes on its path that another copy shares.
// Collections keep their entries in one so that a transaction snapshot of a collection of a million
// elements is a pointer, and restoring it on undo or rollback another.
//
// Nodes are counted without atomics: copies of one collection are used from one thread at a time, as
// the model they belong to is.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <fenmo/ElementAllocator.hpp>
#include <fenmo/Export.hpp>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

FENMO_API_BEGIN

namespace fenmo {

template <class T>
class PersistentVector {
    static constexpr std::uint32_t kLeafCapacity = 16;
    static constexpr std::uint32_t kBranchCapacity = 16;

    // Nodes come from the framework's block pool: an undo step of an edit keeps the few nodes its change
    // copied, and a history of a hundred thousand steps would otherwise be as many heap allocations.
    struct Node : detail::PooledAllocation {
        std::uint32_t refs = 1;
        std::uint32_t count = 0;  // entries of a leaf, children of a branch
        bool leaf;
        explicit Node(bool isLeaf) : leaf(isLeaf) {}
    };
    struct Leaf : Node {
        Leaf() : Node(true) {}
        // Entries live in raw storage: only the first `count` are constructed.
        alignas(T) unsigned char storage[kLeafCapacity * sizeof(T)];
        T* items() noexcept { return std::launder(reinterpret_cast<T*>(storage)); }
        const T* items() const noexcept { return std::launder(reinterpret_cast<const T*>(storage)); }
    };
    struct Branch : Node {
        Branch() : Node(false) {}
        Node* children[kBranchCapacity];
        // Entries below each child: 32 bits, as no collection holds four billion elements.
        std::uint32_t sizes[kBranchCapacity];
    };

public:
    class const_iterator;

    PersistentVector() noexcept = default;
    PersistentVector(const PersistentVector& other) noexcept : m_root(other.m_root), m_size(other.m_size) {
        if (m_root) ++m_root->refs;
    }
    PersistentVector(PersistentVector&& other) noexcept
        : m_root(std::exchange(other.m_root, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
    PersistentVector& operator=(const PersistentVector& other) noexcept {
        PersistentVector copy(other);
        swap(copy);
        return *this;
    }
    PersistentVector& operator=(PersistentVector&& other) noexcept {
        PersistentVector moved(std::move(other));
        swap(moved);
        return *this;
    }
    ~PersistentVector() { release(m_root); }

    void swap(PersistentVector& other) noexcept {
        std::swap(m_root, other.m_root);
        std::swap(m_size, other.m_size);
    }

    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    // Whether two copies are the same version (no change made to either since one was copied).
    bool sharesRootWith(const PersistentVector& other) const noexcept { return m_root == other.m_root; }

    const T& operator[](std::size_t position) const noexcept {
        std::size_t offset = position;
        const Leaf* leaf = leafAt(offset);
        return leaf->items()[offset];
    }
    const T& front() const noexcept { return (*this)[0]; }
    const T& back() const noexcept { return (*this)[m_size - 1]; }

    const_iterator begin() const noexcept { return const_iterator(this, 0); }
    const_iterator end() const noexcept { return const_iterator(this, m_size); }
    const_iterator iteratorAt(std::size_t position) const noexcept { return const_iterator(this, position); }

    // For entries ordered so that `before(entry)` holds for a prefix of them: the length of that prefix.
    // Descends the tree once, deciding at each branch by the first entry of its children, so a search
    // costs O(log n) tests instead of O(log n) look-ups by position.
    template <class Before>
    std::size_t partitionPoint(Before&& before) const {
        if (m_size == 0) return 0;
        const Node* node = m_root;
        std::size_t base = 0;
        while (!node->leaf) {
            const auto* branch = static_cast<const Branch*>(node);
            // The last child whose first entry is still before the point (the first child otherwise).
            std::uint32_t low = 0, high = branch->count - 1;
            while (low < high) {
                std::uint32_t middle = low + (high - low + 1) / 2;
                if (before(firstEntry(branch->children[middle])))
                    low = middle;
                else
                    high = middle - 1;
            }
            for (std::uint32_t i = 0; i < low; ++i) base += branch->sizes[i];
            node = branch->children[low];
        }
        const auto* leaf = static_cast<const Leaf*>(node);
        std::uint32_t low = 0, high = leaf->count;
        while (low < high) {
            std::uint32_t middle = low + (high - low) / 2;
            if (before(leaf->items()[middle]))
                low = middle + 1;
            else
                high = middle;
        }
        return base + low;
    }

    void push_back(const T& value) { insert(m_size, value); }

    void insert(std::size_t position, const T& value) {
        assert(position <= m_size);
        if (!m_root) m_root = new Leaf;
        if (Node* right = insertInto(m_root, position, value)) {
            auto* root = new Branch;
            root->children[0] = m_root;
            root->sizes[0] = static_cast<std::uint32_t>(m_size + 1 - countBelow(right));
            root->children[1] = right;
            root->sizes[1] = static_cast<std::uint32_t>(countBelow(right));
            root->count = 2;
            m_root = root;
        }
        ++m_size;
    }

    void erase(std::size_t position) {
        assert(position < m_size);
        eraseFrom(m_root, position);
        --m_size;
        // An emptied root goes; a branch left with one child hands the root to it.
        while (m_root && !m_root->leaf && m_root->count == 1) {
            // The branch's reference to its child passes to the root.
            Node* only = static_cast<Branch*>(m_root)->children[0];
            static_cast<Branch*>(m_root)->count = 0;
            release(m_root);
            m_root = only;
        }
        if (m_size == 0) clear();
    }

    void set(std::size_t position, const T& value) {
        assert(position < m_size);
        Node** slot = &m_root;
        for (;;) {
            Node* node = own(*slot);
            if (node->leaf) {
                static_cast<Leaf*>(node)->items()[position] = value;
                return;
            }
            auto* branch = static_cast<Branch*>(node);
            std::uint32_t i = childFor(branch, position);
            slot = &branch->children[i];
        }
    }

    void clear() noexcept {
        release(m_root);
        m_root = nullptr;
        m_size = 0;
    }

    // Calls f(entry) in order.
    template <class F>
    void forEach(F&& f) const {
        if (m_root) visit(m_root, f);
    }

    // Heap memory only this copy holds: the nodes no other copy shares (a snapshot taken before a change
    // holds the few nodes the change copied, not the whole tree).
    std::size_t heapBytes() const noexcept { return m_root ? ownBytesBelow(m_root) : 0; }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        const_iterator() noexcept = default;
        reference operator*() const noexcept { return m_leaf->items()[m_index - m_leafStart]; }
        pointer operator->() const noexcept { return &**this; }
        const_iterator& operator++() noexcept {
            ++m_index;
            if (m_index - m_leafStart >= m_leaf->count) seek();
            return *this;
        }
        const_iterator operator++(int) noexcept {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        std::size_t position() const noexcept { return m_index; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) noexcept {
            return a.m_index == b.m_index;
        }

    private:
        friend class PersistentVector;
        const_iterator(const PersistentVector* vector, std::size_t index) noexcept
            : m_vector(vector), m_index(index) {
            seek();
        }
        void seek() noexcept {
            if (m_index >= m_vector->m_size) return;
            std::size_t offset = m_index;
            m_leaf = m_vector->leafAt(offset);
            m_leafStart = m_index - offset;
        }

        const PersistentVector* m_vector = nullptr;
        const Leaf* m_leaf = nullptr;
        std::size_t m_index = 0;
        std::size_t m_leafStart = 0;
    };

private:
    static std::size_t countBelow(const Node* node) noexcept {
        if (node->leaf) return node->count;
        const auto* branch = static_cast<const Branch*>(node);
        std::size_t total = 0;
        for (std::uint32_t i = 0; i < branch->count; ++i) total += branch->sizes[i];
        return total;
    }

    static const T& firstEntry(const Node* node) noexcept {
        while (!node->leaf) node = static_cast<const Branch*>(node)->children[0];
        return static_cast<const Leaf*>(node)->items()[0];
    }

    // The child of `branch` holding `position`; `position` becomes the offset within it.
    static std::uint32_t childFor(const Branch* branch, std::size_t& position) noexcept {
        std::uint32_t i = 0;
        while (i + 1 < branch->count && position >= branch->sizes[i]) position -= branch->sizes[i++];
        return i;
    }
    // For inserting: the child to grow when `position` falls between two children is the left one, so
    // appends stay in the last leaf.
    static std::uint32_t childForInsert(const Branch* branch, std::size_t& position) noexcept {
        std::uint32_t i = 0;
        while (i + 1 < branch->count && position > branch->sizes[i]) position -= branch->sizes[i++];
        return i;
    }

    const Leaf* leafAt(std::size_t& offset) const noexcept {
        const Node* node = m_root;
        while (!node->leaf) {
            const auto* branch = static_cast<const Branch*>(node);
            node = branch->children[childFor(branch, offset)];
        }
        return static_cast<const Leaf*>(node);
    }

    // A node this copy alone holds, copying it first when another copy shares it.
    static Node* own(Node*& slot) {
        if (slot->refs == 1) return slot;
        Node* copy;
        if (slot->leaf) {
            auto* leaf = new Leaf;
            const auto* from = static_cast<const Leaf*>(slot);
            std::uninitialized_copy(from->items(), from->items() + from->count, leaf->items());
            leaf->count = from->count;
            copy = leaf;
        } else {
            auto* branch = new Branch;
            const auto* from = static_cast<const Branch*>(slot);
            for (std::uint32_t i = 0; i < from->count; ++i) {
                branch->children[i] = from->children[i];
                ++branch->children[i]->refs;
                branch->sizes[i] = from->sizes[i];
            }
            branch->count = from->count;
            copy = branch;
        }
        --slot->refs;
        slot = copy;
        return copy;
    }

    // Inserts into the subtree at `slot`; answers the new right sibling when the node had to split.
    static Node* insertInto(Node*& slot, std::size_t position, const T& value) {
        Node* node = own(slot);
        if (node->leaf) {
            auto* leaf = static_cast<Leaf*>(node);
            if (leaf->count < kLeafCapacity) {
                insertItem(leaf, position, value);
                return nullptr;
            }
            // Split: appending at the end keeps the left leaf full, anything else halves it.
            auto* right = new Leaf;
            std::uint32_t keep = position == kLeafCapacity ? kLeafCapacity : kLeafCapacity / 2;
            moveTail(leaf, right, keep);
            if (position < keep || (position == keep && keep < kLeafCapacity))
                insertItem(leaf, position, value);
            else
                insertItem(right, position - keep, value);
            return right;
        }
        auto* branch = static_cast<Branch*>(node);
        std::size_t offset = position;
        std::uint32_t i = childForInsert(branch, offset);
        Node* split = insertInto(branch->children[i], offset, value);
        ++branch->sizes[i];
        if (!split) return nullptr;
        const std::size_t splitSize = countBelow(split);
        branch->sizes[i] -= splitSize;
        if (branch->count < kBranchCapacity) {
            insertChild(branch, i + 1, split, splitSize);
            return nullptr;
        }
        auto* right = new Branch;
        const bool atEnd = i + 1 == kBranchCapacity;
        std::uint32_t keep = atEnd ? kBranchCapacity : kBranchCapacity / 2;
        for (std::uint32_t j = keep; j < branch->count; ++j) {
            right->children[j - keep] = branch->children[j];
            right->sizes[j - keep] = branch->sizes[j];
        }
        right->count = branch->count - keep;
        branch->count = keep;
        if (i + 1 < keep || (i + 1 == keep && keep < kBranchCapacity))
            insertChild(branch, i + 1, split, splitSize);
        else
            insertChild(right, i + 1 - keep, split, splitSize);
        return right;
    }

    static void insertItem(Leaf* leaf, std::size_t position, const T& value) {
        T* items = leaf->items();
        const std::size_t count = leaf->count;
        if (position == count) {
            ::new (items + count) T(value);
        } else {
            ::new (items + count) T(std::move(items[count - 1]));
            std::move_backward(items + position, items + count - 1, items + count);
            items[position] = value;
        }
        ++leaf->count;
    }
    static void moveTail(Leaf* from, Leaf* to, std::uint32_t keep) {
        T* items = from->items();
        std::uninitialized_move(items + keep, items + from->count, to->items());
        std::destroy(items + keep, items + from->count);
        to->count = from->count - keep;
        from->count = keep;
    }
    static void insertChild(Branch* branch, std::uint32_t at, Node* child, std::size_t size) {
        for (std::uint32_t j = branch->count; j > at; --j) {
            branch->children[j] = branch->children[j - 1];
            branch->sizes[j] = branch->sizes[j - 1];
        }
        branch->children[at] = child;
        branch->sizes[at] = static_cast<std::uint32_t>(size);
        ++branch->count;
    }

    // Erases from the subtree at `slot`. Children left empty are taken out; nodes are not merged, so the
    // height never grows past what the largest size reached needs.
    static void eraseFrom(Node*& slot, std::size_t position) {
        Node* node = own(slot);
        if (node->leaf) {
            auto* leaf = static_cast<Leaf*>(node);
            T* items = leaf->items();
            std::move(items + position + 1, items + leaf->count, items + position);
            std::destroy_at(items + leaf->count - 1);
            --leaf->count;
            return;
        }
        auto* branch = static_cast<Branch*>(node);
        std::size_t offset = position;
        std::uint32_t i = childFor(branch, offset);
        eraseFrom(branch->children[i], offset);
        if (--branch->sizes[i] > 0) return;
        release(branch->children[i]);
        for (std::uint32_t j = i + 1; j < branch->count; ++j) {
            branch->children[j - 1] = branch->children[j];
            branch->sizes[j - 1] = branch->sizes[j];
        }
        --branch->count;
    }

    static void release(Node* node) noexcept {
        if (!node || --node->refs > 0) return;
        if (node->leaf) {
            auto* leaf = static_cast<Leaf*>(node);
            std::destroy(leaf->items(), leaf->items() + leaf->count);
            delete leaf;
        } else {
            auto* branch = static_cast<Branch*>(node);
            for (std::uint32_t i = 0; i < branch->count; ++i) release(branch->children[i]);
            delete branch;
        }
    }

    template <class F>
    static void visit(const Node* node, F& f) {
        if (node->leaf) {
            const auto* leaf = static_cast<const Leaf*>(node);
            for (std::uint32_t i = 0; i < leaf->count; ++i) f(leaf->items()[i]);
            return;
        }
        const auto* branch = static_cast<const Branch*>(node);
        for (std::uint32_t i = 0; i < branch->count; ++i) visit(branch->children[i], f);
    }

    static std::size_t ownBytesBelow(const Node* node) noexcept {
        if (node->refs > 1) return 0;
        if (node->leaf) return sizeof(Leaf);
        const auto* branch = static_cast<const Branch*>(node);
        std::size_t bytes = sizeof(Branch);
        for (std::uint32_t i = 0; i < branch->count; ++i) bytes += ownBytesBelow(branch->children[i]);
        return bytes;
    }

    Node* m_root = nullptr;
    std::size_t m_size = 0;
};

}  // namespace fenmo

FENMO_API_END
