#pragma once
// The live elements of a model by identity: an open-addressing table probed linearly, kept at most
// seven-eighths full. Each slot holds an element pointer with sixteen bits of the identity's hash in the
// pointer's unused top bits, so that a probe reads an element only when those bits match. Deletion
// shifts later entries back instead of leaving tombstones. Large tables live on huge pages: every
// insertion lands on a random slot.

#include "HugePages.hpp"

#include <fenmo/ModelElement.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fenmo::detail {

class ElementIndex {
public:
    ElementIndex() : m_slots(16, 0) {}

    ModelElement::Impl* find(const uuid& id) const noexcept;
    // False (and nothing inserted) if an element with the same identity is present.
    bool insert(ModelElement::Impl* element);
    bool erase(const ModelElement::Impl* element) noexcept;
    std::size_t size() const noexcept { return m_size; }

    template <class F>
    void forEach(F&& f) const {
        for (std::uint64_t slot : m_slots)
            if (slot) f(elementOf(slot));
    }

private:
    static constexpr unsigned kTagShift = 48;
    static std::uint64_t tagOf(std::size_t hash) noexcept { return (hash >> kTagShift | 1) << kTagShift; }
    static ModelElement::Impl* elementOf(std::uint64_t slot) noexcept {
        return reinterpret_cast<ModelElement::Impl*>(slot & ((std::uint64_t{1} << kTagShift) - 1));
    }
    std::size_t mask() const noexcept { return m_slots.size() - 1; }
    void grow();

    using Slots = std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>>;
    Slots m_slots;  // 0: empty
    std::size_t m_size = 0;
};

}  // namespace fenmo::detail
