#pragma once
// The live elements of a model by identity: an open-addressing table of element pointers (eight bytes a
// slot), probed linearly and kept at most three-quarters full; deletion shifts entries back.

#include <fenmo/ModelElement.hpp>

#include <cstddef>
#include <vector>

namespace fenmo::detail {

class ElementIndex {
public:
    ElementIndex() : m_slots(16, nullptr) {}

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
    std::size_t mask() const noexcept { return m_slots.size() - 1; }
    void grow();

    std::vector<ModelElement::Impl*> m_slots;
    std::size_t m_size = 0;
};

}  // namespace fenmo::detail
