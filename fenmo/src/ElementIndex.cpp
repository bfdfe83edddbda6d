#include "ElementIndex.hpp"

namespace fenmo::detail {

ModelElement::Impl* ElementIndex::find(const uuid& id) const noexcept {
    const std::size_t hash = hashUuid(id);
    const std::uint8_t tag = tagOf(hash);
    for (std::size_t i = hash & mask(); m_tags[i]; i = (i + 1) & mask())
        if (m_tags[i] == tag && m_slots[i]->getUuid() == id) return m_slots[i];
    return nullptr;
}

bool ElementIndex::insert(ModelElement::Impl* element) {
    if ((m_size + 1) * 8 > m_slots.size() * 7) grow();
    const std::size_t hash = hashUuid(element->getUuid());
    const std::uint8_t tag = tagOf(hash);
    std::size_t i = hash & mask();
    for (; m_tags[i]; i = (i + 1) & mask())
        if (m_tags[i] == tag && m_slots[i]->getUuid() == element->getUuid()) return false;
    m_tags[i] = tag;
    m_slots[i] = element;
    ++m_size;
    return true;
}

bool ElementIndex::erase(const ModelElement::Impl* element) noexcept {
    std::size_t i = hashUuid(element->getUuid()) & mask();
    while (m_slots[i] != element) {
        if (!m_tags[i]) return false;
        i = (i + 1) & mask();
    }
    // Shift later entries of the probe run back so that no look-up stops early at the hole.
    for (std::size_t j = (i + 1) & mask(); m_tags[j]; j = (j + 1) & mask()) {
        std::size_t home = hashUuid(m_slots[j]->getUuid()) & mask();
        bool movable = i <= j ? (home <= i || home > j) : (home <= i && home > j);
        if (movable) {
            m_tags[i] = m_tags[j];
            m_slots[i] = m_slots[j];
            i = j;
        }
    }
    m_tags[i] = 0;
    m_slots[i] = nullptr;
    --m_size;
    return true;
}

void ElementIndex::grow() {
    std::vector<ModelElement::Impl*> old(m_slots.size() * 2, nullptr);
    old.swap(m_slots);
    m_tags.assign(m_slots.size(), 0);
    for (ModelElement::Impl* e : old) {
        if (!e) continue;
        const std::size_t hash = hashUuid(e->getUuid());
        std::size_t i = hash & mask();
        while (m_tags[i]) i = (i + 1) & mask();
        m_tags[i] = tagOf(hash);
        m_slots[i] = e;
    }
}

}  // namespace fenmo::detail
