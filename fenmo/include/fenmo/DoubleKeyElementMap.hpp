#pragma once
// Elements of class T (a handle type) kept under two keys read from the elements themselves. Each key is
// unique among the elements held. The elements are kept twice, in the order of each key, as persistent
// vectors: a look-up or an edit costs O(log^2 n), and a transaction snapshot of the map is O(1), so no
// index has to be rebuilt after an undo or a rollback. An element's keys must not change while it is
// in the map: owners take it out, change the key, and put it back.

#include <fenmo/Export.hpp>
#include <fenmo/Collection.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/PersistentVector.hpp>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

// How a key travels: scalars by value, everything else by reference.
template <class K>
using KeyRef = std::conditional_t<std::is_scalar_v<K>, K, const K&>;

template <class K1, class K2, class T>
class DoubleKeyElementMap : public ReferenceCollection {
public:
    using FirstKeyReader = KeyRef<K1> (*)(const ModelElement::Impl&);
    using SecondKeyReader = KeyRef<K2> (*)(const ModelElement::Impl&);
    using const_iterator = typename PersistentVector<T>::const_iterator;

    // The key properties, when given, name the key in a refusal.
    DoubleKeyElementMap(ModelElement::Impl& owner, const meta::Property& property,
                        const meta::Property* opposite, FirstKeyReader firstKey, SecondKeyReader secondKey,
                        const meta::Property* firstKeyProperty = nullptr,
                        const meta::Property* secondKeyProperty = nullptr)
        : ReferenceCollection(owner, property, opposite),
          m_first(firstKey),
          m_second(secondKey),
          m_firstKeyProperty(firstKeyProperty ? firstKeyProperty->get() : nullptr),
          m_secondKeyProperty(secondKeyProperty ? secondKeyProperty->get() : nullptr) {}
    // Free-standing maps (transaction snapshots) link nothing.
    explicit DoubleKeyElementMap(const meta::Property& property)
        : ReferenceCollection(property), m_first(nullptr), m_second(nullptr) {}
    // A copy (a snapshot, mostly) shares both orders with the original: O(1).
    DoubleKeyElementMap(const DoubleKeyElementMap& other) = default;
    DoubleKeyElementMap& operator=(const DoubleKeyElementMap&) = delete;

    std::size_t size() const noexcept override { return m_byFirst.size(); }
    // Entries in first-key order.
    const_iterator begin() const noexcept { return m_byFirst.begin(); }
    const_iterator end() const noexcept { return m_byFirst.end(); }
    const T& operator[](std::size_t i) const noexcept { return m_byFirst[i]; }
    const ModelElement::Impl* firstElement() const noexcept { return m_byFirst.empty() ? nullptr : m_byFirst.front().get(); }
    // Whether `other` is this map as it was, with no change made since one was copied from the other.
    bool sameVersionAs(const DoubleKeyElementMap& other) const noexcept {
        return m_byFirst.sharesRootWith(other.m_byFirst) && m_bySecond.sharesRootWith(other.m_bySecond);
    }

    // The entry under a key (the first valid one if several share it), or an empty handle.
    T findByFirstKey(KeyRef<K1> key) const { return findIn(m_byFirst, m_first, key); }
    T findBySecondKey(KeyRef<K2> key) const { return findIn(m_bySecond, m_second, key); }
    bool contains(const ModelElement& e) const noexcept {
        return e.get() && positionIn(m_byFirst, m_first, e) != npos;
    }

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
    void clear() override {
        if (m_byFirst.empty()) return;
        Transaction transaction = beginChange();
        PersistentVector<T> old = std::move(m_byFirst);
        m_byFirst.clear();
        m_bySecond.clear();
        old.forEach([&](const T& e) { detach(e); });
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
    }
    // Restores a snapshot's contents, telling nobody: both orders come back as they were, in O(1).
    void _basicCopyValues(const DoubleKeyElementMap* from) {
        if (from) {
            m_byFirst = from->m_byFirst;
            m_bySecond = from->m_bySecond;
        } else {
            m_byFirst.clear();
            m_bySecond.clear();
        }
    }
    bool _basicContainsProxyTo(const ModelElement& e) const {
        if (contains(e)) return true;
        bool found = false;
        m_byFirst.forEach([&](const T& held) {
            if (!found && held.get() && held->isProxy())
                if (Model::Impl* model = owner().getModelImpl())
                    found = model->peekResolveProxy(held).get() == e.get();
        });
        return found;
    }
    // Replaces each proxy that now resolves to a real element by that element (not a change).
    void _resolveProxies() {
        std::vector<std::pair<T, T>> replaced;
        m_byFirst.forEach([&](const T& e) {
            if (!e.get() || !e->isValid() || !e->isProxy()) return;
            Model::Impl* model = owner().getModelImpl();
            T real = model ? handleCast<T>(model->resolveProxy(ownerElement(), e)) : T();
            if (real) replaced.emplace_back(e, real);
        });
        for (const auto& [proxy, real] : replaced) {
            erase(proxy);
            insert(real);
        }
    }

    Value::List toValues() const override {
        Value::List values;
        values.reserve(m_byFirst.size());
        m_byFirst.forEach([&](const T& e) { values.push_back(Value::ofElement(e)); });
        return values;
    }

    // Heap memory only this copy holds (for history accounting).
    std::size_t heapBytes() const noexcept { return m_byFirst.heapBytes() + m_bySecond.heapBytes(); }

    // Refuses an element whose first or second key another element already has.
    void checkKeysFree(const T& e) const {
        if (T held = findByFirstKey(m_first(*e.get())); held && held.get() != e.get())
            throw UniquenessConstraintException({keyName(m_firstKeyProperty), keyText(m_first(*e.get()))});
        if (T held = findBySecondKey(m_second(*e.get())); held && held.get() != e.get())
            throw UniquenessConstraintException({keyName(m_secondKeyProperty), keyText(m_second(*e.get()))});
    }

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

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

    // The first position whose entry's key is not less than `key` (a bisection).
    template <class Reader, class K>
    static std::size_t lowerBound(const PersistentVector<T>& order, Reader read, const K& key) {
        return order.partitionPoint([&](const T& e) { return read(*e.get()) < key; });
    }
    // The first position whose entry's key is greater than `key`; appending in key order (children built
    // in index order) is answered without a search.
    template <class Reader, class K>
    static std::size_t upperBound(const PersistentVector<T>& order, Reader read, const K& key) {
        if (order.empty() || !(key < read(*order.back().get()))) return order.size();
        return order.partitionPoint([&](const T& e) { return !(key < read(*e.get())); });
    }
    template <class Reader, class K>
    static T findIn(const PersistentVector<T>& order, Reader read, const K& key) {
        for (auto it = order.iteratorAt(lowerBound(order, read, key)); it != order.end(); ++it) {
            if (key < read(*it->get())) break;
            if (*it) return *it;
        }
        return T();
    }
    // Where `e` is held in one order, found by its key (owners keep an element's keys fixed while it is
    // here); a search of the whole order only if the key was changed behind the map's back.
    template <class Reader>
    static std::size_t positionIn(const PersistentVector<T>& order, Reader read, const ModelElement& e) {
        const auto& key = read(*e.get());
        for (auto it = order.iteratorAt(lowerBound(order, read, key)); it != order.end(); ++it) {
            if (it->get() == e.get()) return it.position();
            if (key < read(*it->get())) break;
        }
        return npos;
    }
    template <class Reader>
    static std::size_t scanFor(const PersistentVector<T>& order, const ModelElement& e) {
        for (auto it = order.begin(); it != order.end(); ++it)
            if (it->get() == e.get()) return it.position();
        return npos;
    }

    void insert(const T& e) {
        m_byFirst.insert(upperBound(m_byFirst, m_first, m_first(*e.get())), e);
        m_bySecond.insert(upperBound(m_bySecond, m_second, m_second(*e.get())), e);
    }
    T erase(const ModelElement& e) {
        std::size_t first = positionIn(m_byFirst, m_first, e);
        T held = m_byFirst[first];
        m_byFirst.erase(first);
        std::size_t second = positionIn(m_bySecond, m_second, e);
        if (second == npos) second = scanFor<SecondKeyReader>(m_bySecond, e);
        if (second != npos) m_bySecond.erase(second);
        return held;
    }

    FirstKeyReader m_first;
    SecondKeyReader m_second;
    PersistentVector<T> m_byFirst;   // in first-key order
    PersistentVector<T> m_bySecond;  // in second-key order
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
        return (*m_map)[i];
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

FENMO_API_END
