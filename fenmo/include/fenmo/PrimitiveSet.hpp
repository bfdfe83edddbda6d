#pragma once
// A set of primitive values (host pointers, enumerators) owned by an element's property: each value
// once, ordered by value.

#include <fenmo/Export.hpp>
#include <fenmo/Collection.hpp>
#include <fenmo/Enumerator.hpp>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

template <class T>
class PrimitiveSet : public AbstractPrimitiveCollection {
public:
    using const_iterator = typename std::vector<T>::const_iterator;

    PrimitiveSet(ModelElement::Impl& owner, const meta::Property& property) : AbstractPrimitiveCollection(owner, property) {}
    // Free-standing sets (transaction snapshots) tell nobody about changes.
    explicit PrimitiveSet(const meta::Property& property) : AbstractPrimitiveCollection(property) {}
    PrimitiveSet(const PrimitiveSet&) = default;
    PrimitiveSet& operator=(const PrimitiveSet&) = delete;

    std::size_t size() const noexcept override { return m_values.size(); }
    const_iterator begin() const noexcept { return m_values.begin(); }
    const_iterator end() const noexcept { return m_values.end(); }
    bool contains(T value) const noexcept { return std::binary_search(m_values.begin(), m_values.end(), value); }

    // Public mutators, each in a transaction of its own; false when nothing changed.
    bool insert(T value) {
        checkEnumerator(value);
        auto it = std::lower_bound(m_values.begin(), m_values.end(), value);
        if (it != m_values.end() && *it == value) return false;
        Transaction transaction = beginChange();
        m_values.insert(std::lower_bound(m_values.begin(), m_values.end(), value), value);
        transaction.commit(boost::none);
        return true;
    }
    bool erase(T value) {
        auto it = std::lower_bound(m_values.begin(), m_values.end(), value);
        if (it == m_values.end() || *it != value) return false;
        Transaction transaction = beginChange();
        m_values.erase(std::lower_bound(m_values.begin(), m_values.end(), value));
        transaction.commit(boost::none);
        return true;
    }
    void clear() override {
        if (m_values.empty()) return;
        Transaction transaction = beginChange();
        m_values.clear();
        transaction.commit(boost::none);
    }

    // Heap memory the set owns (for history accounting).
    std::size_t heapBytes() const noexcept { return m_values.capacity() * sizeof(T); }

    // Basic operations without transaction or notification (construction, snapshots).
    void _basicInsert(T value) {
        checkEnumerator(value);
        auto it = std::lower_bound(m_values.begin(), m_values.end(), value);
        if (it == m_values.end() || *it != value) m_values.insert(it, value);
    }
    void _basicClear() noexcept { m_values.clear(); }
    void _basicCopyValues(const PrimitiveSet& from) { m_values = from.m_values; }
    void _basicCopyValues(const PrimitiveSet* from) {
        if (from) m_values = from->m_values;
        else m_values.clear();
    }

    Value::List toValues() const override {
        Value::List values;
        values.reserve(m_values.size());
        const meta::Type& type = property().getType();
        for (T v : m_values) {
            if constexpr (std::is_pointer_v<T>) values.push_back(Value::ofPointer(type, v));
            else values.push_back(Value::ofEnum(type, static_cast<std::int32_t>(v)));
        }
        return values;
    }

private:
    std::vector<T> m_values;
};

}  // namespace fenmo

FENMO_API_END
