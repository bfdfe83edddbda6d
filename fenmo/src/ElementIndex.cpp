#include "ElementIndex.hpp"

namespace fenmo::detail {

ModelElement::Impl* ElementIndex::find(const uuid& id) const noexcept {
    for (std::size_t i = hashUuid(id) & mask();; i = (i + 1) & mask()) {
        ModelElement::Impl* e = m_slots[i];
        if (!e || e->getUuid() == id) return e;
    }
}

bool ElementIndex::insert(ModelElement::Impl* element) {
    if ((m_size + 1) * 4 > m_slots.size() * 3) grow();
    std::size_t i = hashUuid(element->getUuid()) & mask();
    for (; m_slots[i]; i = (i + 1) & mask())
        if (m_slots[i]->getUuid() == element->getUuid()) return false;
    m_slots[i] = element;
    ++m_size;
    return true;
}

bool ElementIndex::erase(const ModelElement::Impl* element) noexcept {
    std::size_t i = hashUuid(element->getUuid()) & mask();
    while (m_slots[i] != element) {
        if (!m_slots[i]) return false;
        i = (i + 1) & mask();
    }
    // Shift later entries of the probe run back so that no look-up stops early at the hole.
    for (std::size_t j = (i + 1) & mask(); m_slots[j]; j = (j + 1) & mask()) {
        std::size_t home = hashUuid(m_slots[j]->getUuid()) & mask();
        bool movable = i <= j ? (home <= i || home > j) : (home <= i && home > j);
        if (movable) {
            m_slots[i] = m_slots[j];
            i = j;
        }
    }
    m_slots[i] = nullptr;
    --m_size;
    return true;
}

void ElementIndex::grow() {
    std::vector<ModelElement::Impl*> old(m_slots.size() * 2, nullptr);
    old.swap(m_slots);
    for (ModelElement::Impl* e : old) {
        if (!e) continue;
        std::size_t i = hashUuid(e->getUuid()) & mask();
        while (m_slots[i]) i = (i + 1) & mask();
        m_slots[i] = e;
    }
}

}  // namespace fenmo::detail
