#pragma once
// The live elements of a model by identity: an open-addressing table probed linearly, kept at most
// seven-eighths full. Beside each slot's element pointer a one-byte tag holds seven bits of the
// identity's hash, so that a probe compares tags in one cache line and reads an element only when its
// tag matches. Deletion shifts later entries back instead of leaving tombstones.

#include <fenmo/ModelElement.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fenmo::detail {

class ElementIndex {
public:
    ElementIndex() : m_tags(16, 0), m_slots(16, nullptr) {}

    ModelElement::Impl* find(const uuid& id) const noexcept;
    // False (and nothing inserted) if an element with the same identity is present.
    bool insert(ModelElement::Impl* element);
    bool erase(const ModelElement::Impl* element) noexcept;
    std::size_t size() const noexcept { return m_size; }

    template <class F>
    void forEach(F&& f) const {
        for (ModelElement::Impl* e : m_slots)
            if (e) f(e);
    }

private:
    static std::uint8_t tagOf(std::size_t hash) noexcept { return static_cast<std::uint8_t>(0x80 | (hash >> 57)); }
    std::size_t mask() const noexcept { return m_slots.size() - 1; }
    void grow();

    std::vector<std::uint8_t> m_tags;  // 0: empty
    std::vector<ModelElement::Impl*> m_slots;
    std::size_t m_size = 0;
};

}  // namespace fenmo::detail
