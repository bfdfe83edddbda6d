#pragma once
// Element handles and the framework's base of every element implementation.

#include <fenmo/CollectionJournal.hpp>
#include <fenmo/ElementAllocator.hpp>
#include <fenmo/ElementImpl.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/Model.hpp>
#include <fenmo/Uuid.hpp>

#include <boost/optional.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

namespace detail {
struct FENMO_LOCAL ElementAccess;
}
class Value;
class ReflectionPrivateTag;
class ProxyId;
namespace query::detail {
struct PropertyAccess;
}
namespace meta {
class Class;
class Property;
class Operation;
}  // namespace meta

// A counted reference to an element implementation. Copying adds a reference, moving transfers it.
// A handle tests true only while its element is valid: a destroyed element's handles stay non-null.
class ModelElement {
public:
    class Impl;
    class Builder;
    class Constrainables;

    ModelElement() noexcept = default;
    ModelElement(Impl* impl, bool addRef) noexcept;
    ModelElement(const ModelElement& other) noexcept : m_impl(other.m_impl) {
        if (m_impl) m_impl->addRef();
    }
    ModelElement(ModelElement&& other) noexcept : m_impl(other.m_impl) { other.m_impl = nullptr; }
    ~ModelElement() {
        if (m_impl) m_impl->removeRef();
    }

    ModelElement& operator=(const ModelElement& other) noexcept {
        if (other.m_impl) other.m_impl->addRef();
        ElementImpl* old = m_impl;
        m_impl = other.m_impl;
        if (old) old->removeRef();
        return *this;
    }
    ModelElement& operator=(ModelElement&& other) noexcept {
        std::swap(m_impl, other.m_impl);
        return *this;
    }

    void reset() noexcept {
        ElementImpl* old = m_impl;
        m_impl = nullptr;
        if (old) old->removeRef();
    }

    Impl* get() const noexcept;
    Impl* operator->() const noexcept { return get(); }
    explicit operator bool() const noexcept { return m_impl && m_impl->isValid(); }
    bool operator!() const noexcept { return !static_cast<bool>(*this); }

    // The framework's class of all elements.
    static const meta::Class& metaClass();

    friend bool operator==(const ModelElement& a, const ModelElement& b) noexcept { return a.m_impl == b.m_impl; }

protected:
    // Gives up the reference without touching the count.
    ElementImpl* release() noexcept {
        ElementImpl* impl = m_impl;
        m_impl = nullptr;
        return impl;
    }
    void swap(ModelElement& other) noexcept { std::swap(m_impl, other.m_impl); }
    void addRef() const noexcept {
        if (m_impl) m_impl->addRef();
    }
    void removeRef() const noexcept {
        if (m_impl) m_impl->removeRef();
    }

    ElementImpl* m_impl = nullptr;
};

// The typed handle of an element class: a ModelElement whose get() answers the class's own Impl.
// Self::Impl must derive from Base::Impl; the pointer itself lives in ModelElement.
template <class Self, class Base = ModelElement>
class ElementHandle : public Base {
public:
    ElementHandle() noexcept = default;
    template <class I, class = std::enable_if_t<std::is_base_of_v<ElementImpl, I>>>
    ElementHandle(I* impl, bool addRef) noexcept : Base(impl, addRef) {}

    auto get() const noexcept { return static_cast<typename Self::Impl*>(this->m_impl); }
    auto operator->() const noexcept { return get(); }
};

// The handle of type Target on the same element, or an empty handle if the element is not of that class.
template <class Target>
Target handleCast(const ModelElement& element);

// Per-property change bits of a transaction record; bit i stands for property index i, bit 0 for the
// element's container.
class ChangeBits {
public:
    explicit ChangeBits(std::size_t count);
    ChangeBits(const ChangeBits&) = delete;
    ChangeBits& operator=(const ChangeBits&) = delete;
    ~ChangeBits();

    std::size_t count() const noexcept { return m_count; }
    bool test(std::size_t i) const noexcept { return i < m_count && (word(i) >> (i % 64) & 1u); }
    void set(std::size_t i) noexcept {
        if (i < m_count) word(i) |= std::uint64_t{1} << (i % 64);
    }
    void clear(std::size_t i) noexcept {
        if (i < m_count) word(i) &= ~(std::uint64_t{1} << (i % 64));
    }
    bool any() const noexcept;
    void clearAll() noexcept;
    // Calls f(i) for each set bit, in ascending order.
    template <class F>
    void forEachSet(F&& f) const {
        const std::size_t n = m_count <= 64 ? 1 : words();
        for (std::size_t w = 0; w < n; ++w)
            for (std::uint64_t bits = m_count <= 64 ? m_inline : m_heap[w]; bits; bits &= bits - 1)
                f(w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)));
    }

private:
    std::size_t words() const noexcept { return (m_count + 63) / 64; }
    std::uint64_t& word(std::size_t i) noexcept { return m_count <= 64 ? m_inline : m_heap[i / 64]; }
    std::uint64_t word(std::size_t i) const noexcept { return m_count <= 64 ? m_inline : m_heap[i / 64]; }

    std::uint32_t m_count;
    union {
        std::uint64_t m_inline;
        std::uint64_t* m_heap;
    };
};

class ModelElement::Impl : public ElementImpl, public detail::PooledAllocation {
public:
    class Changes;
    class Storage;

    const uuid& getUuid() const noexcept { return m_uuid; }
    Model getModel() const override;
    // The model's implementation; null once the model is gone.
    Model::Impl* getModelImpl() const noexcept;
    // Elements of one model share one link; it outlives the model, which clears it.
    ModelLink* getModelLink() const noexcept { return m_link; }

    // The element that contains this one, and the containing property (empty if none).
    ModelElement container() const;
    Impl* containerImpl() const noexcept { return m_container; }
    meta::Property containingProperty() const;

    // Announces a change of property `index` (0: the container link) before it happens. Inside a
    // transaction the framework keeps the old value, at most once per transaction level.
    void notifyModifying(std::size_t index);
    // The same for a collection property that records its edits: answers the journal the transaction
    // keeps them in (null when it keeps no old contents: no transaction, or an element created in it).
    detail::JournalBase* notifyCollectionChanging(std::size_t index);
    // That journal, without announcing anything (restoring an inner level's mark).
    detail::JournalBase* collectionJournal(std::size_t index) const noexcept;
    // Announces a newly built element to its model, inside a transaction.
    void notifyCreated();

    // Destroys the element and what it contains, in a transaction of its own.
    void destroy();
    // Destroys `element` (if valid): detaches it from its container when `detach` is set, then runs
    // its doDestroy(notify, disassociate).
    static void destroyRecursively(const ModelElement& element, bool notify, bool detach, bool disassociate);

    // Virtual operations, in slot order.
    virtual bool hasPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) const;
    virtual Value getPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag);
    virtual void setPropertyValue(const meta::Property& property, const Value& value,
                                  const ReflectionPrivateTag& tag);
    virtual boost::optional<Value> invoke(const meta::Operation& operation, const std::vector<Value>& arguments,
                                          const ReflectionPrivateTag& tag);
    virtual std::u16string identifier();
    virtual bool isReflective() const;
    virtual void doDestroy(bool notify, bool disassociate);
    virtual void inverseAdd(const ModelElement& element, const meta::Property& property);
    virtual void inverseRemove(const ModelElement& element, const meta::Property& property);
    virtual bool inverseContainsProxyTo(const ModelElement& element, const meta::Property& property) const;
    virtual void basicAssociate(const ModelElement& element, const meta::Property& property);
    virtual void notifyDestroying();
    virtual void disassociateIncoming();
    virtual void convertReferencesToProxies(bool otherModelsOnly, boost::optional<ProxyId>& id);
    virtual void aboutToDestroy();
    virtual void didCreate();
    virtual void basicDisassociateAll();
    virtual void convertToProxy(const meta::Property& property, const ProxyId& id, const ModelElement& element);
    virtual Changes* createChanges() const;
    virtual Storage* createStorage() const;
    virtual void copyValue(Storage* storage, std::size_t index) const;
    virtual void copyStateFromStorage(Storage* storage);
    virtual meta::Property getPropertyByIndex(std::size_t index);
    // Direct readers of the field behind `property`, for code that reads it on many elements of one
    // class (saving): they answer as hasPropertyValue and getPropertyValue do with proxies kept, without
    // a Value. False when the class has none for it (derived or unusual fields, hand-written classes).
    virtual bool fieldReaders(const meta::Property& property, query::detail::PropertyAccess& readers) const;

    // Refuses an element of another model for `property` (a null or invalid element passes).
    void checkCompatibleModel(const ModelElement& element, const meta::Property& property) const;
    // Refuses to change this element: a proxy ("CannotModifyProxy"), or an element that is not alive
    // in its model, destroyed or never announced ("CannotAddNonExistentObject").
    void checkChangeable() const;
    // Refuses what this element cannot contain through `property`: a destroyed element
    // ("CannotAddNonExistentObject"), one of another model, or this element itself or one of its
    // containers, which would make a cycle ("InvalidValue"). A null element passes.
    void checkContainable(const ModelElement& element, const meta::Property& property) const;
    // Whether `element` is this element or one of the containers above it.
    bool isSelfOrContainer(const Impl* element) const noexcept;

protected:
    Impl(const Model& model, const uuid& id);
    Impl(Builder& builder, const uuid& id);
    ~Impl() override;

    ModelElement This() const { return ModelElement(const_cast<Impl*>(this), true); }

public:
    // Containment services: make this element the container of `element` for `property` (moving it out of
    // any other container), or release `element` from this element.
    void _setContainedByThis(const ModelElement& element, const meta::Property& property);
    void _basicSetUncontained(const ModelElement& element);
    // Sets the container link of this element alone, recording the old one.
    void basicSetContainer(Impl* container, std::size_t propertyIndex);
    // Forgets that this element contains `element`, without recording anything: for holders that drop
    // what they contain as they are torn down.
    void _releaseContained(Impl* element) noexcept;

    // Opposite-end services: ask `target` to add, remove or look for this element in `property`.
    void _inverseAddThis(const ModelElement& target, const meta::Property& property, std::size_t count = 1);
    void _inverseRemoveThis(const ModelElement& target, const meta::Property& property);
    bool _inverseContainsThis(const ModelElement& target, const meta::Property& property) const;

    // Proxy services.
    ProxyId _getPersistentProxyId() const;
    void _convertToProxy(const ModelElement& holder, const ModelElement& element, const meta::Property& property,
                         const ProxyId& id);

private:
    friend class Model;
    friend class ModelElement;
    friend struct detail::ElementAccess;

    // Ordered so that the small fields fill the gaps the identity leaves before the pointers.
    uuid m_uuid;
    std::uint16_t m_containerPropertyIndex = 0;
    std::uint32_t m_txSlot = UINT32_MAX;
    // The element's place in its class's extent (ClassExtents); UINT32_MAX while it is in none.
    std::uint32_t m_extentSlot = UINT32_MAX;
    ModelLink* m_link = nullptr;
    Impl* m_container = nullptr;
};

inline ModelElement::ModelElement(Impl* impl, bool addRef) noexcept : m_impl(impl) {
    if (impl && addRef) impl->addRef();
}
inline ModelElement::Impl* ModelElement::get() const noexcept { return static_cast<Impl*>(m_impl); }

// The framework's record of which properties of an element a transaction changed.
class ModelElement::Impl::Changes : public detail::PooledAllocation {
public:
    Changes(const uuid& id, const Model& model, const meta::Class& metaClass, std::size_t count);
    Changes(const Changes&) = delete;
    Changes& operator=(const Changes&) = delete;
    virtual ~Changes();

    // Remembers the container the element had before the transaction (bit 0).
    virtual void setOldContainer(const ModelElement& container, const meta::Property& property);
    // Clears the bits of properties whose current value equals the recorded one; true if any bit is left.
    virtual bool revertUnchanged(ModelElement::Impl* element);

    bool isChanged(std::size_t index) const noexcept { return m_bits.test(index); }
    void setChanged(std::size_t index) noexcept { m_bits.set(index); }
    void clearModified(std::size_t index) noexcept { m_bits.clear(index); }
    bool anyChanged() const noexcept { return m_bits.any(); }
    std::size_t count() const noexcept { return m_bits.count(); }
    ChangeBits& bits() noexcept { return m_bits; }

    const ModelElement& oldContainer() const noexcept { return m_oldContainer; }
    std::size_t oldContainerPropertyIndex() const noexcept { return m_oldContainerPropertyIndex; }

protected:
    void releaseOldContainer() noexcept {
        m_oldContainer.reset();
        m_oldContainerPropertyIndex = 0;
    }
    void setOldContainerRaw(ModelElement container, std::uint16_t propertyIndex) noexcept {
        m_oldContainer = std::move(container);
        m_oldContainerPropertyIndex = propertyIndex;
    }

private:
    ChangeBits m_bits;
    ModelElement m_oldContainer;
    std::uint16_t m_oldContainerPropertyIndex = 0;
};

// A transaction snapshot: the values properties had before the transaction changed them.
class ModelElement::Impl::Storage : public Changes {
public:
    using Changes::Changes;
    // The recorded old value of `property`; the base answers the empty value of the property's type.
    virtual Value getOldValue(const meta::Property& property, const ReflectionPrivateTag& tag);
    // Drops every recorded value (and the references they hold) before the snapshot is reused.
    virtual void releaseValues();
    // The memory the snapshot occupies, for the model's account of its history.
    virtual std::size_t footprint() const noexcept { return sizeof(Storage); }
    // Undo and redo in place: every changed property of `element` takes the recorded value and the
    // snapshot takes the current one, so that the same snapshot serves the other direction. False if
    // the snapshot cannot (the framework then restores from it and keeps a fresh one instead).
    virtual bool exchange(ModelElement::Impl& element);
    // The journal this snapshot keeps of collection property `index`'s edits, or null (none kept, a
    // mark, or a class whose snapshots copy collections).
    virtual detail::JournalBase* journalFor(std::size_t index) noexcept;
    // While a value is being taken into this snapshot: the journal an outer level keeps of the same
    // collection, so that the snapshot keeps a mark in it instead of a journal of its own.
    detail::JournalBase* journalBelow() const noexcept { return m_journalBelow; }
    void setJournalBelow(detail::JournalBase* journal) noexcept { m_journalBelow = journal; }

protected:
    // The container link's part of exchange (bit 0).
    void exchangeContainer(ModelElement::Impl& element) noexcept;

private:
    detail::JournalBase* m_journalBelow = nullptr;
};

template <class Target>
Target handleCast(const ModelElement& element) {
    Target result;
    if (dynamic_cast<typename Target::Impl*>(element.get())) static_cast<ModelElement&>(result) = element;
    return result;
}

// The handle of type Target on an element known to be of that class.
template <class Target>
Target uncheckedHandleCast(ModelElement element) {
    Target result;
    static_cast<ModelElement&>(result) = std::move(element);
    return result;
}

}  // namespace fenmo

FENMO_API_END
