#pragma once
// The base of the framework's collections: owned by an element, held by one of its properties, and
// changed only with the owner told, inside a transaction.

#include <fenmo/Exceptions.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Property.hpp>

#include <cstddef>

FENMO_API_BEGIN

namespace fenmo {

class AbstractCollection {
public:
    virtual ~AbstractCollection() = default;
    virtual std::size_t size() const noexcept = 0;
    bool empty() const noexcept { return size() == 0; }
    // The entries as values, in the collection's order.
    virtual Value::List toValues() const = 0;
    // The element that owns the collection (empty for a free-standing copy).
    virtual ModelElement ownerElement() const = 0;
};

class AbstractOwnedCollection : public AbstractCollection {
public:
    ModelElement::Impl& owner() const noexcept { return *m_owner; }
    const meta::Property::Impl& property() const noexcept { return *m_property; }
    meta::Property propertyHandle() const {
        return meta::Property(const_cast<meta::Property::Impl*>(m_property), true);
    }
    std::size_t propertyIndex() const noexcept { return m_property->getIndex(); }
    ModelElement ownerElement() const override { return ModelElement(m_owner, true); }

    // Tells the owner that this collection is about to change (it keeps the old contents once per
    // transaction level).
    void modifying() { m_owner->notifyModifying(propertyIndex()); }
    // The same, answering the journal that keeps this transaction's edits of the collection (null when
    // the transaction keeps no old contents of it). Collections that record their edits use this.
    detail::JournalBase* modifyingJournal() { return m_owner->notifyCollectionChanging(propertyIndex()); }
    // That journal as the collection's own type, with room made for one edit.
    template <class Journal>
    Journal* changingJournal() {
        auto* journal = static_cast<Journal*>(modifyingJournal());
        if (journal) journal->prepare();
        return journal;
    }

    // Removes every entry (unlinking elements as their removal would), in a transaction of its own;
    // refuses a proxy owner. Reflection uses it to unset a collection property.
    virtual void clear() = 0;

protected:
    AbstractOwnedCollection(ModelElement::Impl& owner, const meta::Property& property) noexcept
        : m_owner(&owner), m_property(property.get()) {}
    // A free-standing collection (a transaction snapshot): no owner is told anything.
    explicit AbstractOwnedCollection(const meta::Property& property) noexcept : m_property(property.get()) {}
    bool hasOwner() const noexcept { return m_owner != nullptr; }
    // A copy holds the same entries but belongs to nobody (a snapshot, or a caller's copy).
    AbstractOwnedCollection(const AbstractOwnedCollection& other) noexcept : m_property(other.m_property) {}
    AbstractOwnedCollection& operator=(const AbstractOwnedCollection&) = delete;

    // Opens the transaction of a public mutator: refuses a proxy or dead owner, then announces the change.
    Transaction beginChange() {
        m_owner->checkChangeable();
        Model::Impl* model = m_owner->getModelImpl();
        if (!model) throw CannotCreateWithoutModelException();
        Transaction transaction = model->beginOperation();
        modifying();
        return transaction;
    }

private:
    ModelElement::Impl* m_owner = nullptr;
    const meta::Property::Impl* m_property;
};

// A collection of elements: adding one may make the owner its container (containment properties) or
// tell the element's opposite end.
class ReferenceCollection : public AbstractOwnedCollection {
public:
    bool isContainment() const noexcept { return property().isComposite(); }
    const meta::Property::Impl* opposite() const noexcept { return m_opposite; }

    // Adds an element the owner has just been given, the way its builder adds what it creates: linked,
    // inside the caller's transaction, no hook of the owner's class involved. For code that knows the
    // element only as ModelElement (a loader). A collection that cannot take elements one by one, and
    // an element of another class, are refused with "InvalidValue".
    virtual void _addCreated(const ModelElement& element) {
        (void)element;
        throw InvalidValueException({propertyHandle()->getQualifiedName()});
    }

protected:
    ReferenceCollection(ModelElement::Impl& owner, const meta::Property& property,
                        const meta::Property* opposite)
        : AbstractOwnedCollection(owner, property),
          m_opposite(opposite && opposite->get() ? opposite->get() : nullptr) {}
    explicit ReferenceCollection(const meta::Property& property)
        : AbstractOwnedCollection(property), m_opposite(nullptr) {}
    ReferenceCollection(const ReferenceCollection&) = default;
    ReferenceCollection& operator=(const ReferenceCollection&) = delete;

    // Links an element that has just been added: container, or opposite end.
    void attach(const ModelElement& element) {
        if (isContainment()) owner()._setContainedByThis(element, propertyHandle());
        if (m_opposite) owner()._inverseAddThis(element, oppositeHandle());
    }
    // Unlinks an element that has just been removed.
    void detach(const ModelElement& element) {
        if (isContainment()) owner()._basicSetUncontained(element);
        if (m_opposite) owner()._inverseRemoveThis(element, oppositeHandle());
    }
    // Before an element is added: it must be alive and of the owner's model, and a contained element must
    // not be the owner or one of the owner's containers.
    void checkModel(const ModelElement& element) const {
        if (isContainment())
            owner().checkContainable(element, propertyHandle());
        else
            owner().checkCompatibleModel(element, propertyHandle());
    }
    meta::Property oppositeHandle() const {
        return meta::Property(const_cast<meta::Property::Impl*>(m_opposite), true);
    }

private:
    const meta::Property::Impl* m_opposite;
};

// A collection of primitive values (host pointers, enumerators).
class AbstractPrimitiveCollection : public AbstractOwnedCollection {
protected:
    using AbstractOwnedCollection::AbstractOwnedCollection;
};

}  // namespace fenmo

FENMO_API_END
