#pragma once
// The transaction snapshot of an element class: the old values of the properties a transaction changed,
// and only of those, so that a million edits of one property cost one small record each.

#include <fenmo/ModelElement.hpp>

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

namespace fenmo::pattern {

template <class Props>
class SnapshotStorage : public ModelElement::Impl::Storage {
public:
    using ModelElement::Impl::Storage::Storage;

    // The recorded old value of property P, or null.
    template <class P>
    typename P::Stored* find() noexcept {
        constexpr std::size_t slot = Props::template slotOf<P>();
        if (m_first.index == P::index) return std::get_if<slot>(&m_first.value);
        if (m_more)
            for (Entry& e : *m_more)
                if (e.index == P::index) return std::get_if<slot>(&e.value);
        return nullptr;
    }

    // The place of property P's old value, made on first use (a reused snapshot keeps its entries' room).
    template <class P>
    typename P::Stored& slot() {
        constexpr std::size_t slot = Props::template slotOf<P>();
        if (typename P::Stored* existing = find<P>()) return *existing;
        Entry* entry = &m_first;
        if (m_first.index != 0) {
            if (!m_more) m_more = std::make_unique<std::vector<Entry>>();
            entry = &m_more->emplace_back();
        }
        entry->index = static_cast<std::uint32_t>(P::index);
        return entry->value.template emplace<slot>();
    }

    std::size_t footprint() const noexcept override {
        return sizeof(*this) + (m_more ? sizeof(*m_more) + m_more->capacity() * sizeof(Entry) : 0);
    }

    void releaseValues() override {
        m_first.index = 0;
        m_first.value.template emplace<0>();
        if (m_more) m_more->clear();
        ModelElement::Impl::Storage::releaseValues();
    }

private:
    struct Entry {
        std::uint32_t index = 0;
        typename Props::Variant value;
    };
    // The first old value inline (most transactions change one property of an element), others beside.
    Entry m_first;
    std::unique_ptr<std::vector<Entry>> m_more;
};

}  // namespace fenmo::pattern
