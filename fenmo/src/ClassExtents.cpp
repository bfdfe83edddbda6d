#include "ClassExtents.hpp"

#include <fenmo/meta/Class.hpp>

namespace fenmo::detail {

const ClassExtents::Extent* ClassExtents::find(const ModelElement::Impl* metaClass) const noexcept {
    for (const auto& extent : m_extents)
        if (extent->metaClass == metaClass) return extent.get();
    return nullptr;
}

void ClassExtents::insert(ModelElement::Impl& element) {
    std::uint32_t& slot = ElementAccess::extentSlot(element);
    if (slot != UINT32_MAX) return;
    const ModelElement::Impl* metaClass = element.getMetaClass().get();
    Extent* extent = m_last && m_last->metaClass == metaClass ? m_last : const_cast<Extent*>(find(metaClass));
    if (!extent) {
        m_extents.push_back(std::make_unique<Extent>());
        extent = m_extents.back().get();
        extent->metaClass = metaClass;
    }
    m_last = extent;
    if (extent->items.size() >= UINT32_MAX - 1) compact(*extent);
    extent->items.push_back(&element);
    slot = static_cast<std::uint32_t>(extent->items.size() - 1);
}

void ClassExtents::erase(ModelElement::Impl& element) noexcept {
    std::uint32_t& slot = ElementAccess::extentSlot(element);
    if (slot == UINT32_MAX) return;
    // The class is not asked here: an element may leave while its class's code is going away.
    for (const auto& extent : m_extents) {
        if (slot >= extent->items.size() || extent->items[slot] != &element) continue;
        extent->items[slot] = nullptr;
        ++extent->holes;
        slot = UINT32_MAX;
        if (extent->holes > 64 && extent->holes * 2 > extent->items.size()) compact(*extent);
        return;
    }
    slot = UINT32_MAX;
}

void ClassExtents::compact(Extent& extent) noexcept {
    std::size_t kept = 0;
    for (ModelElement::Impl* e : extent.items) {
        if (!e) continue;
        ElementAccess::extentSlot(*e) = static_cast<std::uint32_t>(kept);
        extent.items[kept++] = e;
    }
    extent.items.resize(kept);
    extent.items.shrink_to_fit();
    extent.holes = 0;
}

void ClassExtents::clear() noexcept {
    for (const auto& extent : m_extents)
        for (ModelElement::Impl* e : extent->items)
            if (e) ElementAccess::extentSlot(*e) = UINT32_MAX;
    m_extents.clear();
    m_last = nullptr;
}

}  // namespace fenmo::detail
