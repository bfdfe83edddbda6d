#include "ElementIndex.hpp"

#include <fenmo/Exceptions.hpp>

namespace fenmo::detail {

namespace {
constexpr std::uint64_t kTagBits = ~((std::uint64_t{1} << 48) - 1);
}

ModelElement::Impl* ElementIndex::find(const uuid& id) const noexcept {
    const std::size_t hash = hashUuid(id);
    const std::uint64_t tag = tagOf(hash);
    for (std::size_t i = hash & mask(); m_slots[i]; i = (i + 1) & mask())
        if ((m_slots[i] & kTagBits) == tag && elementOf(m_slots[i])->getUuid() == id)
            return elementOf(m_slots[i]);
    return nullptr;
}

bool ElementIndex::insert(ModelElement::Impl* element) {
    const auto address = reinterpret_cast<std::uint64_t>(element);
    if (address & kTagBits) throw InvalidOperationException({u"element address beyond 48 bits"});
    if ((m_size + 1) * 8 > m_slots.size() * 7) grow();
    const std::size_t hash = hashUuid(element->getUuid());
    const std::uint64_t tag = tagOf(hash);
    std::size_t i = hash & mask();
    for (; m_slots[i]; i = (i + 1) & mask())
        if ((m_slots[i] & kTagBits) == tag && elementOf(m_slots[i])->getUuid() == element->getUuid())
            return false;
    m_slots[i] = tag | address;
    ++m_size;
    return true;
}

bool ElementIndex::erase(const ModelElement::Impl* element) noexcept {
    std::size_t i = hashUuid(element->getUuid()) & mask();
    while (elementOf(m_slots[i]) != element) {
        if (!m_slots[i]) return false;
        i = (i + 1) & mask();
    }
    // Shift later entries of the probe run back so that no look-up stops early at the hole.
    for (std::size_t j = (i + 1) & mask(); m_slots[j]; j = (j + 1) & mask()) {
        std::size_t home = hashUuid(elementOf(m_slots[j])->getUuid()) & mask();
        bool movable = i <= j ? (home <= i || home > j) : (home <= i && home > j);
        if (movable) {
            m_slots[i] = m_slots[j];
            i = j;
        }
    }
    m_slots[i] = 0;
    --m_size;
    return true;
}

void ElementIndex::grow() {
    Slots old(m_slots.size() * 2, 0);
    old.swap(m_slots);
    for (std::uint64_t slot : old) {
        if (!slot) continue;
        std::size_t i = hashUuid(elementOf(slot)->getUuid()) & mask();
        while (m_slots[i]) i = (i + 1) & mask();
        m_slots[i] = slot;
    }
}

}  // namespace fenmo::detail
