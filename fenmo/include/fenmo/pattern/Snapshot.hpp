#pragma once
// The transaction snapshot of an element class: the old values of the properties a transaction changed,
// and only of those, so that a million edits of one property cost one small record each.

#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>

#include <boost/optional.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::pattern {

// The heap memory an old value owns beyond its own size, so that the history's byte bound counts texts
// and collection copies too.
template <class T>
std::size_t heapBytes(const T& value) noexcept {
    if constexpr (requires { value.heapBytes(); })
        return value.heapBytes();
    else
        return 0;
}
inline std::size_t heapBytes(const std::u16string& text) noexcept {
    static const std::size_t inlineCapacity = std::u16string().capacity();
    return text.capacity() > inlineCapacity ? (text.capacity() + 1) * sizeof(char16_t) : 0;
}
template <class T>
std::size_t heapBytes(const boost::optional<T>& value) noexcept {
    return value ? heapBytes(*value) : 0;
}
template <class T>
std::size_t heapBytes(const std::optional<T>& value) noexcept {
    return value ? sizeof(T) + heapBytes(*value) : 0;
}

template <class... Ps>
struct PropertyList;

// How many of a class's stored properties keep a journal of edits (collections) in a snapshot.
template <class Props>
struct JournalledCount;
template <class... Ps>
struct JournalledCount<PropertyList<Ps...>> {
    static constexpr std::size_t value =
        (std::size_t{std::is_base_of_v<detail::JournalBase, typename Ps::Stored>} + ... + 0);
};

template <class Props>
class SnapshotStorage : public ModelElement::Impl::Storage {
    // A class with two collections keeps a second old value inline: moving a child out of a parent
    // changes both its sequence of children and its map of them, and would otherwise allocate a list
    // for the second.
    static constexpr bool kSecondInline = JournalledCount<Props>::value >= 2;

public:
    using ModelElement::Impl::Storage::Storage;

    // The recorded old value of property P, or null.
    template <class P>
    typename P::Stored* find() noexcept {
        constexpr std::size_t slot = Props::template slotOf<P>();
        if (m_first.index == P::index) return std::get_if<slot>(&m_first.value);
        if constexpr (kSecondInline)
            if (m_second.index == P::index) return std::get_if<slot>(&m_second.value);
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
        Entry* entry = m_first.index == 0 ? &m_first : spareEntry();
        entry->index = static_cast<std::uint32_t>(P::index);
        return entry->value.template emplace<slot>();
    }

    std::size_t footprint() const noexcept override {
        std::size_t bytes = sizeof(*this) + valueBytes(m_first);
        if constexpr (kSecondInline) bytes += valueBytes(m_second);
        if (m_more) {
            bytes += sizeof(*m_more) + m_more->capacity() * sizeof(Entry);
            for (const Entry& e : *m_more) bytes += valueBytes(e);
        }
        return bytes;
    }

    bool exchange(ModelElement::Impl& element) override {
        bits().forEachSet([&](std::size_t index) {
            if (index == 0) return exchangeContainer(element);
            Props::visitIndex(index, [&](auto p) {
                using P = decltype(p);
                if (auto* old = find<P>()) P::exchange(static_cast<typename P::Owner&>(element), *old);
            });
        });
        return true;
    }

    detail::JournalBase* journalFor(std::size_t index) noexcept override {
        detail::JournalBase* journal = nullptr;
        Props::visitIndex(index, [&](auto p) {
            using P = decltype(p);
            if constexpr (std::is_base_of_v<detail::JournalBase, typename P::Stored>)
                if (auto* kept = find<P>(); kept && !kept->isMark()) journal = kept;
        });
        return journal;
    }

    void releaseValues() override {
        m_first.index = 0;
        m_first.value.template emplace<0>();
        if constexpr (kSecondInline) {
            m_second.index = 0;
            m_second.value.template emplace<0>();
        }
        if (m_more) m_more->clear();
        ModelElement::Impl::Storage::releaseValues();
    }

private:
    struct Entry {
        std::uint32_t index = 0;
        typename Props::Variant value;
    };
    struct NoEntry {};

    Entry* spareEntry() {
        if constexpr (kSecondInline)
            if (m_second.index == 0) return &m_second;
        if (!m_more) m_more = std::make_unique<std::vector<Entry>>();
        return &m_more->emplace_back();
    }
    static std::size_t valueBytes(const Entry& e) noexcept {
        return std::visit([](const auto& v) { return heapBytes(v); }, e.value);
    }
    // The first old value inline (most transactions change one property of an element), others beside.
    Entry m_first;
    [[no_unique_address]] std::conditional_t<kSecondInline, Entry, NoEntry> m_second;
    std::unique_ptr<std::vector<Entry>> m_more;
};

}  // namespace fenmo::pattern

FENMO_API_END
