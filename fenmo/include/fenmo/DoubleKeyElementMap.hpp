#pragma once
// Elements of class T (a handle type) kept under two keys read from the elements themselves. Each key is
// unique among the elements held. The elements are kept twice, in the order of each key, as persistent
// vectors: a look-up or an edit costs O(log n) key comparisons, a transaction records each edit with
// the positions it took in both orders (CollectionJournal), and undo puts entries back at those
// positions, so no index has to be rebuilt after an undo or a rollback. An element's keys must not
// change while it is in the map: owners take it out, change the key, and put it back.

#include <fenmo/Collection.hpp>
#include <fenmo/CollectionJournal.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/PersistentVector.hpp>
#include <fenmo/TextOrder.hpp>

#include <algorithm>
#include <cassert>
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
    // One edit, as a transaction's journal keeps it: `element` inserted at or erased from the positions
    // `first` and `second` of the two orders; for a clear, `first` names the contents kept.
    struct Edit {
        T element;
        std::uint32_t first;
        std::uint32_t second;
        EditKind kind;
    };
    struct Contents {
        PersistentVector<T> byFirst;
        PersistentVector<T> bySecond;
    };
    using Journal = CollectionJournal<DoubleKeyElementMap>;

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
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // What findBySecondKey answers, and the position after the entries filed under the key: where
    // _rekeySecond files an element given that key, so that checking a new key and filing under it
    // search the order once.
    struct SecondKeyPlace {
        T entry;
        std::size_t position;
    };
    SecondKeyPlace placeBySecondKey(KeyRef<K2> key) const {
        SecondKeyPlace place{T(), 0};
        auto it = m_bySecond.iteratorAt(lowerBound(m_bySecond, m_second, key));
        for (; it != m_bySecond.end() && !keyLess(key, m_second(*it->get())); ++it)
            if (!place.entry && *it) place.entry = *it;
        place.position = it.position();
        return place;
    }
    bool contains(const ModelElement& e) const noexcept {
        return e.get() && positionIn(m_byFirst, m_first, e) != npos;
    }

    // Adds an element of the owner's model ("CannotCreateCrossModelAssociation" otherwise) in a
    // transaction of its own and links its opposite end. An element already present, or an empty or
    // destroyed one, is ignored; one whose key another element has is refused ("UniquenessConstraint").
    void add(const T& e) {
        if (!e) return;
        checkModel(e);
        const Place place = placeFor(e);
        if (!place.free) return;
        Transaction transaction = beginChange();
        insertAt(changing(), e, place);
        attach(e);
        transaction.commit(boost::none);
    }
    bool remove(const ModelElement& e) {
        const Held at = locate(e);
        if (at.first == npos) return false;
        Transaction transaction = beginChange();
        T held = eraseAt(changing(), at);
        detach(held);
        transaction.commit(boost::none);
        return true;
    }
    void clear() override {
        if (m_byFirst.empty()) return;
        Transaction transaction = beginChange();
        PersistentVector<T> old = m_byFirst;
        clearAll(changing());
        old.forEach([&](const T& e) { detach(e); });
        transaction.commit(boost::none);
    }

    // Basic operations: the owner is told (the caller holds the transaction), nothing is linked. Keys
    // stay unique here too, so no path can file two elements under one key.
    void _basicAdd(const T& e) {
        if (!e.get()) return;
        const Place place = placeFor(e);
        if (place.free) insertAt(changing(), e, place);
    }
    bool _basicRemove(const ModelElement& e) {
        const Held at = locate(e);
        if (at.first == npos) return false;
        eraseAt(changing(), at);
        return true;
    }
    void _basicClear() {
        if (m_byFirst.empty()) return;
        clearAll(changing());
    }
    // Changes the second key of an element held here: `change` sets it on the element, and only the order
    // of that key moves (renaming a child leaves the order by index as it is). The caller has made sure
    // that no other element has the new key. `place` is placeBySecondKey(new key).position taken just
    // before, or npos to search.
    template <class Change>
    void _rekeySecond(const T& e, Change&& change, std::size_t place = npos) {
        // Found in the order by the second key, the element is held here; only when it is not found
        // there (its key changed behind the map's back) does the order by the first key decide.
        std::size_t old = positionIn(m_bySecond, m_second, e);
        if (old == npos) {
            if (!contains(e)) {
                change();
                _basicAdd(e);
                return;
            }
            old = scanFor<SecondKeyReader>(m_bySecond, e);
        }
        Journal* journal = changing();
        if (journal) journal->prepare(2);
        if (old != npos) m_bySecond.erase(old);
        try {
            change();
        } catch (...) {
            if (old != npos) m_bySecond.insert(old, e);
            throw;
        }
        if (journal && old != npos) journal->record(editAt(e, npos, old, EditKind::Erased));
        // The place was taken with `e` still filed under its old key: one less if that was before it.
        const std::size_t now = place == npos ? upperBound(m_bySecond, m_second, m_second(*e.get()))
                                : old != npos && old < place ? place - 1
                                                             : place;
        assert(now == upperBound(m_bySecond, m_second, m_second(*e.get())));
        m_bySecond.insert(now, e);
        if (journal) journal->record(editAt(e, npos, now, EditKind::Inserted));
    }

    // Plays one edit of a journal backwards or forwards, telling nobody (undo, redo, abandon).
    void _undo(const Edit& edit, const std::vector<Contents>& cleared) {
        switch (edit.kind) {
            case EditKind::Inserted:
                eraseRecorded(edit);
                break;
            case EditKind::Erased:
                insertRecorded(edit);
                break;
            case EditKind::Replaced:
                break;
            case EditKind::Cleared:
                m_byFirst = cleared[edit.first].byFirst;
                m_bySecond = cleared[edit.first].bySecond;
                break;
        }
    }
    void _redo(const Edit& edit) {
        switch (edit.kind) {
            case EditKind::Inserted:
                insertRecorded(edit);
                break;
            case EditKind::Erased:
                eraseRecorded(edit);
                break;
            case EditKind::Replaced:
                break;
            case EditKind::Cleared:
                m_byFirst.clear();
                m_bySecond.clear();
                break;
        }
    }
    static std::size_t contentsSize(const Contents& contents) noexcept { return contents.byFirst.size(); }
    static std::size_t clearedIndex(const Edit& edit) noexcept { return edit.first; }
    static std::size_t contentsHeapBytes(const Contents& contents) noexcept {
        return contents.byFirst.heapBytes() + contents.bySecond.heapBytes();
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
    // Replaces each proxy that now resolves to a real element by that element (not a change, but an open
    // transaction's journal hears of it, so that it can still be played back position by position).
    void _resolveProxies() {
        std::vector<std::pair<T, T>> replaced;
        m_byFirst.forEach([&](const T& e) {
            if (!e.get() || !e->isValid() || !e->isProxy()) return;
            Model::Impl* model = owner().getModelImpl();
            T real = model ? handleCast<T>(model->resolveProxy(ownerElement(), e)) : T();
            if (real) replaced.emplace_back(e, real);
        });
        if (replaced.empty()) return;
        auto* journal = static_cast<Journal*>(owner().collectionJournal(propertyIndex()));
        for (const auto& [proxy, real] : replaced) {
            const Held at = locate(proxy);
            if (at.first == npos) continue;
            if (journal) journal->prepare(2);
            eraseAt(journal, at);
            insert(journal, real);
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

    // The first position whose entry's key is not less than `key` (a bisection).
    template <class Reader, class K>
    static std::size_t lowerBound(const PersistentVector<T>& order, Reader read, const K& key) {
        return order.partitionPoint([&](const T& e) { return keyLess(read(*e.get()), key); });
    }
    // The first position whose entry's key is greater than `key`; appending in key order (children built
    // in index order) is answered without a search.
    template <class Reader, class K>
    static std::size_t upperBound(const PersistentVector<T>& order, Reader read, const K& key) {
        if (order.empty() || !keyLess(key, read(*order.back().get()))) return order.size();
        return order.partitionPoint([&](const T& e) { return !keyLess(key, read(*e.get())); });
    }
    template <class Reader, class K>
    static T findIn(const PersistentVector<T>& order, Reader read, const K& key) {
        for (auto it = order.iteratorAt(lowerBound(order, read, key)); it != order.end(); ++it) {
            if (keyLess(key, read(*it->get()))) break;
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
            if (keyLess(key, read(*it->get()))) break;
        }
        return npos;
    }
    template <class Reader>
    static std::size_t scanFor(const PersistentVector<T>& order, const ModelElement& e) {
        for (auto it = order.begin(); it != order.end(); ++it)
            if (it->get() == e.get()) return it.position();
        return npos;
    }

    // Tells the owner of the change to come, and answers the journal to record it in (null when the
    // transaction keeps no old contents of this map), with room made for the edit.
    Journal* changing() { return changingJournal<Journal>(); }
    // An edit at positions of both orders; npos for an order the edit leaves alone.
    static Edit editAt(T e, std::size_t first, std::size_t second, EditKind kind) {
        return Edit{std::move(e), detail::editPosition(first), detail::editPosition(second), kind};
    }
    static constexpr std::uint32_t kUntouched = static_cast<std::uint32_t>(-1);
    // Where an element goes in both orders: after the entries filed under its keys. Not free when it is
    // here already; an other element filed under one of its keys is refused ("UniquenessConstraint").
    struct Place {
        std::size_t first;
        std::size_t second;
        bool free;
    };
    Place placeFor(const T& e) const {
        const std::size_t first = placeIn(m_byFirst, m_first, e, m_firstKeyProperty);
        if (first == npos) return {0, 0, false};
        const std::size_t second = placeIn(m_bySecond, m_second, e, m_secondKeyProperty);
        return {first, second, second != npos};
    }
    template <class Reader>
    static std::size_t placeIn(const PersistentVector<T>& order, Reader read, const T& e,
                               const meta::Property::Impl* keyProperty) {
        const auto& key = read(*e.get());
        // Elements added in key order (children built in index order) go last without a search.
        if (order.empty() || keyLess(read(*order.back().get()), key)) return order.size();
        auto it = order.iteratorAt(lowerBound(order, read, key));
        for (; it != order.end() && !keyLess(key, read(*it->get())); ++it) {
            if (it->get() == e.get()) return npos;
            if (*it) throw UniquenessConstraintException({keyName(keyProperty), keyText(key)});
        }
        return it.position();
    }
    void insert(Journal* journal, const T& e) {
        insertAt(journal, e,
                 {upperBound(m_byFirst, m_first, m_first(*e.get())),
                  upperBound(m_bySecond, m_second, m_second(*e.get())), true});
    }
    void insertAt(Journal* journal, const T& e, const Place& place) {
        m_byFirst.insert(place.first, e);
        try {
            m_bySecond.insert(place.second, e);
        } catch (...) {
            m_byFirst.erase(place.first);
            throw;
        }
        if (journal) journal->record(editAt(e, place.first, place.second, EditKind::Inserted));
    }
    // Where a held element stands in both orders; `first` is npos when the map does not hold it.
    struct Held {
        std::size_t first;
        std::size_t second;
    };
    Held locate(const ModelElement& e) const {
        if (!e.get()) return {npos, npos};
        const std::size_t first = positionIn(m_byFirst, m_first, e);
        if (first == npos) return {npos, npos};
        std::size_t second = positionIn(m_bySecond, m_second, e);
        if (second == npos) second = scanFor<SecondKeyReader>(m_bySecond, e);
        return {first, second};
    }
    T eraseAt(Journal* journal, const Held& at) {
        T held = m_byFirst[at.first];
        m_byFirst.erase(at.first);
        if (at.second != npos) m_bySecond.erase(at.second);
        if (journal) journal->record(editAt(held, at.first, at.second, EditKind::Erased));
        return held;
    }
    void clearAll(Journal* journal) {
        if (journal)
            journal->record(Edit{T(), journal->keepCleared({m_byFirst, m_bySecond}), 0, EditKind::Cleared});
        m_byFirst.clear();
        m_bySecond.clear();
    }
    // Journal play-back: an entry goes back to, or leaves, the positions its edit recorded. Leaving, it is
    // looked for if it is not where it was (an entry that moved outside any transaction: a proxy resolved).
    // A position of npos stands for an order the edit did not touch.
    void insertRecorded(const Edit& edit) {
        insertInto(m_byFirst, edit.first, edit.element);
        insertInto(m_bySecond, edit.second, edit.element);
    }
    void eraseRecorded(const Edit& edit) {
        eraseFrom(m_byFirst, edit.first, edit.element);
        eraseFrom(m_bySecond, edit.second, edit.element);
    }
    static void insertInto(PersistentVector<T>& order, std::uint32_t position, const T& e) {
        if (position != kUntouched) order.insert(std::min<std::size_t>(position, order.size()), e);
    }
    static void eraseFrom(PersistentVector<T>& order, std::uint32_t position, const T& e) {
        if (position == kUntouched) return;
        std::size_t at = position < order.size() && order[position].get() == e.get()
                             ? position
                             : scanFor<FirstKeyReader>(order, e);
        if (at != npos) order.erase(at);
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
