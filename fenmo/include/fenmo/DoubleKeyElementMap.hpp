#pragma once
// Elements of class T (a handle type) kept under two keys read from the elements themselves, each
// looked up in O(log n). Each key is unique among the elements held. The first key is held in a sorted vector
// (appending in key order is O(1)), the second in a balanced tree. An element's keys must not change while it
// is in the map: owners take it out, change the key, and put it back.

#include <fenmo/Collection.hpp>
#include <fenmo/GenericCollection.hpp>

#include <algorithm>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace fenmo {

// How a key travels: scalars by value, everything else by reference.
template <class K>
using KeyRef = std::conditional_t<std::is_scalar_v<K>, K, const K&>;

template <class K1, class K2, class T>
class DoubleKeyElementMap : public ReferenceCollection {
public:
    using FirstKeyReader = KeyRef<K1> (*)(const ModelElement::Impl&);
    using SecondKeyReader = KeyRef<K2> (*)(const ModelElement::Impl&);
    using const_iterator = typename std::vector<T>::const_iterator;

    // The key properties, when given, name the key in a refusal.
    DoubleKeyElementMap(ModelElement::Impl& owner, const meta::Property& property,
                        const meta::Property* opposite, FirstKeyReader firstKey, SecondKeyReader secondKey,
                        const meta::Property* firstKeyProperty = nullptr,
                        const meta::Property* secondKeyProperty = nullptr)
        : ReferenceCollection(owner, property, opposite),
          m_first(firstKey),
          m_bySecond(SecondLess{secondKey}),
          m_firstKeyProperty(firstKeyProperty ? firstKeyProperty->get() : nullptr),
          m_secondKeyProperty(secondKeyProperty ? secondKeyProperty->get() : nullptr) {}
    // Free-standing maps (transaction snapshots) link nothing.
    explicit DoubleKeyElementMap(const meta::Property& property)
        : ReferenceCollection(property), m_first(nullptr), m_bySecond(SecondLess{nullptr}) {}
    // A copy (a snapshot, mostly) takes the entries in first-key order only; its second index is built
    // the first time it is needed.
    DoubleKeyElementMap(const DoubleKeyElementMap& other)
        : ReferenceCollection(other),
          m_first(other.m_first),
          m_byFirst(other.m_byFirst),
          m_bySecond(other.m_bySecond.key_comp()),
          m_secondBuilt(false),
          m_firstKeyProperty(other.m_firstKeyProperty),
          m_secondKeyProperty(other.m_secondKeyProperty) {}
    DoubleKeyElementMap& operator=(const DoubleKeyElementMap&) = delete;

    std::size_t size() const noexcept override { return m_byFirst.size(); }
    // Entries in first-key order.
    const_iterator begin() const noexcept { return m_byFirst.begin(); }
    const_iterator end() const noexcept { return m_byFirst.end(); }
    const ModelElement::Impl* firstElement() const noexcept { return m_byFirst.empty() ? nullptr : m_byFirst.front().get(); }

    // The entry under a key (the first valid one if several share it), or an empty handle.
    T findByFirstKey(KeyRef<K1> key) const {
        auto [from, to] = firstRange(key);
        for (auto it = from; it != to; ++it)
            if (*it) return *it;
        return T();
    }
    T findBySecondKey(KeyRef<K2> key) const {
        auto [from, to] = second().equal_range(key);
        for (auto it = from; it != to; ++it)
            if (*it) return *it;
        return T();
    }
    bool contains(const ModelElement& e) const noexcept { return position(e) != m_byFirst.end(); }

    // Adds an element of the owner's model ("CannotCreateCrossModelAssociation" otherwise) in a
    // transaction of its own and links its opposite end. An element already present, or an empty or
    // destroyed one, is ignored; one whose key another element has is refused ("UniquenessConstraint").
    void add(const T& e) {
        if (!e) return;
        checkModel(e);
        if (contains(e)) return;
        checkKeysFree(e);
        Transaction transaction = beginChange();
        insert(e);
        attach(e);
        transaction.commit(boost::none);
    }
    bool remove(const ModelElement& e) {
        if (!contains(e)) return false;
        Transaction transaction = beginChange();
        T held = erase(e);
        detach(held);
        transaction.commit(boost::none);
        return true;
    }
    void clear() {
        if (m_byFirst.empty()) return;
        Transaction transaction = beginChange();
        std::vector<T> old = std::move(m_byFirst);
        m_byFirst.clear();
        m_bySecond.clear();
        m_secondBuilt = true;
        for (const T& e : old) detach(e);
        transaction.commit(boost::none);
    }

    // Basic operations: the owner is told (the caller holds the transaction), nothing is linked. Keys
    // stay unique here too, so no path can file two elements under one key.
    void _basicAdd(const T& e) {
        if (!e.get() || contains(e)) return;
        checkKeysFree(e);
        modifying();
        insert(e);
    }
    bool _basicRemove(const ModelElement& e) {
        if (!contains(e)) return false;
        modifying();
        erase(e);
        return true;
    }
    void _basicClear() {
        if (m_byFirst.empty()) return;
        modifying();
        m_byFirst.clear();
        m_bySecond.clear();
        m_secondBuilt = true;
    }
    // Restores a snapshot's contents, telling nobody.
    void _basicCopyValues(const DoubleKeyElementMap* from) {
        if (from) m_byFirst = from->m_byFirst;
        else m_byFirst.clear();
        // The elements' keys may still be restored after this: index them by name when next asked.
        m_bySecond.clear();
        m_secondBuilt = false;
    }
    bool _basicContainsProxyTo(const ModelElement& e) const {
        if (contains(e)) return true;
        for (const T& held : m_byFirst)
            if (held.get() && held->isProxy())
                if (Model::Impl* model = owner().getModelImpl())
                    if (model->peekResolveProxy(held).get() == e.get()) return true;
        return false;
    }
    // Replaces each proxy that now resolves to a real element by that element (not a change).
    void _resolveProxies() {
        for (T& e : m_byFirst) {
            if (!e.get() || !e->isValid() || !e->isProxy()) continue;
            Model::Impl* model = owner().getModelImpl();
            T real = model ? handleCast<T>(model->resolveProxy(ownerElement(), e)) : T();
            if (!real) continue;
            if (auto held = findSecond(e); held != m_bySecond.end()) m_bySecond.erase(held);
            e = real;
            m_bySecond.insert(real);
        }
    }

    Value::List toValues() const override {
        Value::List values;
        values.reserve(m_byFirst.size());
        for (const T& e : m_byFirst) values.push_back(Value::ofElement(e));
        return values;
    }

    // Heap memory the map owns (for history accounting); a tree node is counted at four pointers.
    std::size_t heapBytes() const noexcept {
        return m_byFirst.capacity() * sizeof(T) +
               (m_secondBuilt ? m_bySecond.size() * (sizeof(T) + 4 * sizeof(void*)) : 0);
    }

    // Refuses an element whose first or second key another element already has.
    void checkKeysFree(const T& e) const {
        if (T held = findByFirstKey(m_first(*e.get())); held && held.get() != e.get())
            throw UniquenessConstraintException({keyName(m_firstKeyProperty), keyText(m_first(*e.get()))});
        const auto& read = m_bySecond.key_comp().read;
        if (T held = findBySecondKey(read(*e.get())); held && held.get() != e.get())
            throw UniquenessConstraintException({keyName(m_secondKeyProperty), keyText(read(*e.get()))});
    }

private:
    static std::u16string keyName(const meta::Property::Impl* property) {
        return property ? property->getQualifiedName() : std::u16string();
    }
    template <class K>
    static std::u16string keyText(const K& key) {
        if constexpr (std::is_integral_v<K>)
            return widenNumber(static_cast<long long>(key));
        else if constexpr (std::is_convertible_v<const K&, std::u16string>)
            return std::u16string(key);
        else
            return std::u16string();
    }

    struct SecondLess {
        SecondKeyReader read;
        using is_transparent = void;
        bool operator()(const T& a, const T& b) const { return read(*a.get()) < read(*b.get()); }
        bool operator()(const T& a, KeyRef<K2> key) const { return read(*a.get()) < key; }
        bool operator()(KeyRef<K2> key, const T& b) const { return key < read(*b.get()); }
    };

    auto firstRange(KeyRef<K1> key) const {
        auto less = [this](const T& e, KeyRef<K1> k) { return m_first(*e.get()) < k; };
        auto from = std::lower_bound(m_byFirst.begin(), m_byFirst.end(), key, less);
        auto to = from;
        while (to != m_byFirst.end() && !(key < m_first(*to->get()))) ++to;
        return std::pair{from, to};
    }
    // The entry holding `e`, found by its key (owners keep an element's keys fixed while it is here).
    const_iterator position(const ModelElement& e) const noexcept {
        if (!e.get()) return m_byFirst.end();
        auto [from, to] = firstRange(m_first(*e.get()));
        for (auto it = from; it != to; ++it)
            if (it->get() == e.get()) return it;
        return m_byFirst.end();
    }
    // The index by second key, built on first use after a copy or a restore.
    std::multiset<T, SecondLess>& second() const {
        if (!m_secondBuilt) {
            m_bySecond.clear();
            for (const T& e : m_byFirst) m_bySecond.insert(e);
            m_secondBuilt = true;
        }
        return m_bySecond;
    }
    auto findSecond(const ModelElement& e) {
        second();
        auto [from, to] = m_bySecond.equal_range(m_bySecond.key_comp().read(*e.get()));
        for (auto it = from; it != to; ++it)
            if (it->get() == e.get()) return it;
        return std::find_if(m_bySecond.begin(), m_bySecond.end(), [&](const T& held) { return held.get() == e.get(); });
    }
    void insert(const T& e) {
        // Appending in key order is the common case (children built in index order).
        KeyRef<K1> key = m_first(*e.get());
        if (m_byFirst.empty() || !(key < m_first(*m_byFirst.back().get()))) {
            m_byFirst.push_back(e);
        } else {
            auto less = [this](KeyRef<K1> k, const T& held) { return k < m_first(*held.get()); };
            m_byFirst.insert(std::upper_bound(m_byFirst.begin(), m_byFirst.end(), key, less), e);
        }
        second().insert(e);
    }
    T erase(const ModelElement& e) {
        auto it = position(e);
        T held = *it;
        m_byFirst.erase(it);
        auto second = findSecond(e);
        if (second != m_bySecond.end()) m_bySecond.erase(second);
        return held;
    }

    FirstKeyReader m_first;
    std::vector<T> m_byFirst;
    mutable std::multiset<T, SecondLess> m_bySecond;
    mutable bool m_secondBuilt = true;
    const meta::Property::Impl* m_firstKeyProperty = nullptr;
    const meta::Property::Impl* m_secondKeyProperty = nullptr;
};

// Element-neutral access to a keyed map; additions go through the map's own add.
template <class C>
class WrapperInterface;

template <class K1, class K2, class T>
class WrapperInterface<DoubleKeyElementMap<K1, K2, T>> final : public GenericCollectionInterface {
public:
    explicit WrapperInterface(DoubleKeyElementMap<K1, K2, T>& map) : m_map(&map) {}

    std::size_t size() const override { return m_map->size(); }
    ModelElement get(std::size_t i) const override {
        detail::checkPosition(i, m_map->size());
        return *(m_map->begin() + static_cast<std::ptrdiff_t>(i));
    }
    void add(const ModelElement& element) override {
        if (!element) return;
        detail::checkElementClass(element, T::metaClass());
        m_map->add(handleCast<T>(element));
    }
    bool remove(const ModelElement& element) override { return m_map->remove(element); }
    void clear() override { m_map->clear(); }
    const meta::Class& elementClass() const override { return T::metaClass(); }

private:
    DoubleKeyElementMap<K1, K2, T>* m_map;
};

}  // namespace fenmo
