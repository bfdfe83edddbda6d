#pragma once
// The live elements of a model grouped by their exact class, each group in the order its elements
// entered the model (creation; an element brought back by undo joins the end). Queries read a class's
// extent instead of every element. An element knows its place in its extent, so leaving costs O(1): the
// place becomes a hole, and holes are squeezed out (keeping the order) once they are half the extent.

#include "ElementAccess.hpp"

#include <fenmo/ModelElement.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace fenmo::detail {

class ClassExtents {
public:
    struct Extent {
        const ModelElement::Impl* metaClass = nullptr;
        std::vector<ModelElement::Impl*> items;  // null: a hole
        std::size_t holes = 0;
        std::size_t live() const noexcept { return items.size() - holes; }
    };

    void insert(ModelElement::Impl& element);
    void erase(ModelElement::Impl& element) noexcept;
    void clear() noexcept;

    // The extents in the order their classes first had an element in the model.
    const std::vector<std::unique_ptr<Extent>>& extents() const noexcept { return m_extents; }
    const Extent* find(const ModelElement::Impl* metaClass) const noexcept;

private:
    void compact(Extent& extent) noexcept;

    std::vector<std::unique_ptr<Extent>> m_extents;
    Extent* m_last = nullptr;
};

}  // namespace fenmo::detail
