#pragma once
// An ordered collection of elements of class T (a handle type), owned by an element's property. Its
// entries are a persistent vector: an edit at any position costs O(log n), however many elements it
// holds, a transaction records each edit in O(log n) (CollectionJournal), and a copy is O(1).

#include <fenmo/Collection.hpp>
#include <fenmo/CollectionJournal.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/PersistentVector.hpp>

#include <algorithm>
#include <cstddef>
#include <stdexcept>

FENMO_API_BEGIN

namespace fenmo {

template <class T>
class ElementSequence : public ReferenceCollection {
public:
    class GenericSequence;

    using const_iterator = typename PersistentVector<T>::const_iterator;
    // One edit, as a transaction's journal keeps it: `element` inserted at, erased from or put at
    // `position` (in place of `previous`); for a clear, `position` names the contents kept.
    struct Edit {
        T element;
        T previous;
        std::uint32_t position;
        EditKind kind;
    };
    using Contents = PersistentVector<T>;
    using Journal = CollectionJournal<ElementSequence>;

    ElementSequence(ModelElement::Impl& owner, const meta::Property& property,
                    const meta::Property* opposite = nullptr)
        : ReferenceCollection(owner, property, opposite) {}
    // Free-standing sequences (transaction snapshots) link nothing.
    explicit ElementSequence(const meta::Property& property) : ReferenceCollection(property) {}
    ElementSequence(const ElementSequence&) = default;
    ElementSequence& operator=(const ElementSequence&) = delete;
    ~ElementSequence() override {
        if (hasOwner() && isContainment())
            for (const T& e : m_elements) owner()._releaseContained(e.get());
    }

    std::size_t size() const noexcept override { return m_elements.size(); }
    const_iterator begin() const noexcept { return m_elements.begin(); }
    const_iterator end() const noexcept { return m_elements.end(); }
    const T& operator[](std::size_t i) const noexcept { return m_elements[i]; }
    const T& at(std::size_t i) const {
        if (i >= m_elements.size()) throw std::out_of_range("ElementSequence::at");
        return m_elements[i];
    }
    bool contains(const ModelElement& e) const noexcept { return indexOf(e) != npos; }
    const ModelElement::Impl* firstElement() const noexcept {
        return m_elements.empty() ? nullptr : m_elements.front().get();
    }
    // Whether `other` is this sequence as it was, with no change made since one was copied from the other.
    bool sameVersionAs(const ElementSequence& other) const noexcept {
        return m_elements.sharesRootWith(other.m_elements);
    }
    std::size_t indexOf(const ModelElement& e) const noexcept {
        for (auto it = m_elements.begin(); it != m_elements.end(); ++it)
            if (it->get() == e.get()) return it.position();
        return npos;
    }
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    // For entries ordered so that `before(entry)` holds for a prefix of them: the prefix's length, in
    // O(log n) tests.
    template <class Before>
    std::size_t partitionPoint(Before&& before) const {
        return m_elements.partitionPoint(before);
    }

    // Public mutators, each in a transaction of its own; they refuse a proxy owner and an element of
    // another model, and link what they add (container or opposite end).
    // A contained element is held at most once: inserting one that is already here moves it to `position`
    // (counted among the others). A unique collection ignores an element it holds.
    void add(const T& e) { insert(m_elements.size(), e); }
    void insert(std::size_t position, const T& e) {
        if (!e) return;
        checkModel(e);
        const std::size_t held = heldOnce(e);
        if (held == npos && property().isUnique() && contains(e)) return;
        Transaction transaction = beginChange();
        if (held != npos) {
            eraseAt(changing(), held);
            if (position > held) --position;
        }
        insertAt(changing(), std::min(position, m_elements.size()), e);
        if (held == npos) attach(e);
        transaction.commit(boost::none);
    }
    void replace(std::size_t position, const T& e) {
        if (!e || position >= m_elements.size() || m_elements[position].get() == e.get()) return;
        checkModel(e);
        if (holds(e)) throw CannotAddSecondObjectException();
        Transaction transaction = beginChange();
        T old = m_elements[position];
        Journal* journal = changing();
        m_elements.set(position, e);
        if (journal) journal->record(Edit{e, old, detail::editPosition(position), EditKind::Replaced});
        detach(old);
        attach(e);
        transaction.commit(boost::none);
    }
    bool remove(const ModelElement& e) {
        std::size_t i = indexOf(e);
        if (i == npos) return false;
        erase(i);
        return true;
    }
    void erase(std::size_t position) {
        if (position >= m_elements.size()) return;
        Transaction transaction = beginChange();
        T old = m_elements[position];
        eraseAt(changing(), position);
        detach(old);
        transaction.commit(boost::none);
    }
    void clear() override {
        if (m_elements.empty()) return;
        Transaction transaction = beginChange();
        PersistentVector<T> old = m_elements;
        clearAll(changing());
        for (const T& e : old) detach(e);
        transaction.commit(boost::none);
    }
    // Kept for callers that know how many elements will come; the tree needs no room made ahead.
    void reserve(std::size_t) noexcept {}

    // Adds and links like add, inside the transaction the caller holds (a builder filling a new owner).
    void _addInTransaction(const T& e) {
        if (!e) return;
        checkModel(e);
        if (holds(e)) return;
        insertAt(changing(), m_elements.size(), e);
        attach(e);
    }

    void _addCreated(const ModelElement& element) override {
        T typed = handleCast<T>(element);
        if (!typed) throw InvalidValueException({property().getQualifiedName()});
        _addInTransaction(typed);
    }

    // Basic operations: the owner is told (the caller holds the transaction), nothing else is linked.
    void _basicAdd(const T& e) { insertAt(changing(), m_elements.size(), e); }
    void _basicInsert(std::size_t position, const T& e) {
        Journal* journal = changing();
        insertAt(journal, std::min(position, m_elements.size()), e);
    }
    bool _basicRemove(const ModelElement& e) {
        std::size_t i = indexOf(e);
        if (i == npos) return false;
        eraseAt(changing(), i);
        return true;
    }
    void _basicClear() {
        if (m_elements.empty()) return;
        Journal* journal = changing();
        if (isContainment())
            for (const T& e : m_elements) owner()._releaseContained(e.get());
        clearAll(journal);
    }
    // Plays one edit of a journal backwards or forwards, telling nobody (undo, redo, abandon).
    void _undo(const Edit& edit, const std::vector<Contents>& cleared) {
        switch (edit.kind) {
            case EditKind::Inserted:
                m_elements.erase(edit.position);
                break;
            case EditKind::Erased:
                m_elements.insert(edit.position, edit.element);
                break;
            case EditKind::Replaced:
                m_elements.set(edit.position, edit.previous);
                break;
            case EditKind::Cleared:
                m_elements = cleared[edit.position];
                break;
        }
    }
    void _redo(const Edit& edit) {
        switch (edit.kind) {
            case EditKind::Inserted:
                m_elements.insert(edit.position, edit.element);
                break;
            case EditKind::Erased:
                m_elements.erase(edit.position);
                break;
            case EditKind::Replaced:
                m_elements.set(edit.position, edit.element);
                break;
            case EditKind::Cleared:
                m_elements.clear();
                break;
        }
    }
    static std::size_t contentsSize(const Contents& contents) noexcept { return contents.size(); }
    static std::size_t clearedIndex(const Edit& edit) noexcept { return edit.position; }
    static std::size_t contentsHeapBytes(const Contents& contents) noexcept { return contents.heapBytes(); }
    // Restores the contents of a snapshot, telling nobody.
    void _basicCopyValues(const ElementSequence& from) { m_elements = from.m_elements; }
    void _basicCopyValues(const ElementSequence* from) {
        if (from)
            m_elements = from->m_elements;
        else
            m_elements.clear();
    }
    bool _basicContainsProxyTo(const ModelElement& e) const { return contains(e); }
    // Puts `e` in place of the element at `position`, telling nobody (a proxy replaced by its element).
    void _basicReplaceAt(std::size_t position, const T& e) { m_elements.set(position, e); }
    // Replaces each proxy that now resolves to a real element by that element (not a change).
    void _resolveProxies() {
        for (std::size_t i = 0; i < m_elements.size(); ++i) {
            const T& e = m_elements[i];
            if (e.get() && e->isValid() && e->isProxy())
                if (Model::Impl* model = owner().getModelImpl())
                    if (T real = handleCast<T>(model->resolveProxy(ownerElement(), e)); real)
                        m_elements.set(i, real);
        }
    }

    Value::List toValues() const override {
        Value::List values;
        values.reserve(m_elements.size());
        for (const T& e : m_elements) values.push_back(Value::ofElement(e));
        return values;
    }

    // Heap memory the sequence owns (for history accounting).
    std::size_t heapBytes() const noexcept { return m_elements.heapBytes(); }

    // Element-neutral access to this sequence.
    GenericSequence generic() { return GenericSequence(*this); }

    // Whether the sequence holds each element at most once (unique, or containment).
    bool keepsOnce() const noexcept { return property().isUnique() || isContainment(); }
    // Whether a sequence that keeps each element once holds `e` already; a containment answers from the
    // element's container, without a search.
    bool holds(const T& e) const noexcept {
        if (isContainment()) return heldOnce(e) != npos;
        return property().isUnique() && contains(e);
    }

private:
    // Tells the owner of the change to come, and answers the journal to record it in (null when the
    // transaction keeps no old contents of this collection), with room made for the edit.
    Journal* changing() { return changingJournal<Journal>(); }
    void insertAt(Journal* journal, std::size_t position, const T& e) {
        m_elements.insert(position, e);
        if (journal) journal->record(Edit{e, T(), detail::editPosition(position), EditKind::Inserted});
    }
    void eraseAt(Journal* journal, std::size_t position) {
        T old = m_elements[position];
        m_elements.erase(position);
        if (journal)
            journal->record(Edit{std::move(old), T(), detail::editPosition(position), EditKind::Erased});
    }
    void clearAll(Journal* journal) {
        if (journal) journal->record(Edit{T(), T(), journal->keepCleared(m_elements), EditKind::Cleared});
        m_elements.clear();
    }

    // The position of an element this containment already holds, else npos. Only an element whose
    // container is the owner can be here, so new elements cost no search.
    std::size_t heldOnce(const T& e) const noexcept {
        if (!isContainment() || e->containerImpl() != &owner()) return npos;
        return indexOf(e);
    }

    PersistentVector<T> m_elements;
};

template <class T>
class ElementSequence<T>::GenericSequence final : public GenericSequenceInterface {
public:
    explicit GenericSequence(ElementSequence& sequence) : m_sequence(&sequence) {}

    std::size_t size() const override { return m_sequence->size(); }
    ModelElement get(std::size_t i) const override {
        detail::checkPosition(i, m_sequence->size());
        return (*m_sequence)[i];
    }
    void add(const ModelElement& element) override {
        if (!element) return;
        detail::checkElementClass(element, T::metaClass());
        m_sequence->add(handleCast<T>(element));
    }
    bool remove(const ModelElement& element) override { return m_sequence->remove(element); }
    void clear() override { m_sequence->clear(); }
    const meta::Class& elementClass() const override { return T::metaClass(); }
    void insert(std::size_t i, const ModelElement& element) override {
        detail::checkPosition(i, m_sequence->size() + 1);
        if (!element) return;
        detail::checkElementClass(element, T::metaClass());
        m_sequence->insert(i, handleCast<T>(element));
    }
    void replace(std::size_t i, const ModelElement& element) override {
        detail::checkPosition(i, m_sequence->size());
        if (!element) return;
        replaceChecked(i, element);
    }
    void erase(std::size_t i) override {
        detail::checkPosition(i, m_sequence->size());
        m_sequence->erase(i);
    }

protected:
    void replaceThroughPosition(std::size_t i, const ModelElement& element) override {
        detail::checkPosition(i, m_sequence->size());
        if (!element) throw CannotAddNonExistentObjectException();
        replaceChecked(i, element);
    }

private:
    void replaceChecked(std::size_t i, const ModelElement& element) {
        detail::checkElementClass(element, T::metaClass());
        if ((*m_sequence)[i].get() == element.get()) return;
        if (m_sequence->holds(handleCast<T>(element))) throw CannotAddSecondObjectException();
        m_sequence->replace(i, handleCast<T>(element));
    }

    ElementSequence* m_sequence;
};

}  // namespace fenmo

FENMO_API_END
