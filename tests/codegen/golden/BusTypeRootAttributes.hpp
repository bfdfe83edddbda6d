// Generated from schema/treeNode.toml by codegen/generate.py; do not edit.
#pragma once

#include <arvelle/Export.hpp>
#include <arvelle/treeNode/Enums.hpp>
#include <arvelle/treeNode/Schema.hpp>
#include <arvelle/nativeTypes/HostTypes.hpp>

#include <fenmo/Builder.hpp>
#include <fenmo/DoubleKeyElementMap.hpp>
#include <fenmo/ElementSequence.hpp>
#include <fenmo/Enumerator.hpp>
#include <fenmo/PrimitiveSet.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/pattern/Creation.hpp>
#include <fenmo/pattern/Reflection.hpp>
#include <fenmo/query/Query.hpp>

#include <boost/optional.hpp>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

ARVELLE_API_BEGIN

namespace tav::fenmo::treeNode {

// A counted reference to a BusTypeRootAttributes element.
class BusTypeRootAttributes : public ::fenmo::ElementHandle<BusTypeRootAttributes> {
public:
    class Impl;
    class Builder;
    class BuilderWrapper;
    class Constrainables;

    BusTypeRootAttributes() noexcept = default;

    // A new element with no property set, announced in a transaction of its own.
    static BusTypeRootAttributes create(const ::fenmo::Model& model, const ::fenmo::uuid& id);
    static const ::fenmo::meta::Class& metaClass();

    // The query names of BusTypeRootAttributes and of its queryable properties, built once on first use.
    static ::fenmo::query::MetaclassAttachment<BusTypeRootAttributes>& Uuid();
    static ::fenmo::query::ConstrainableWithAttachment<std::u16string, ::fenmo::query::MetaclassAttachment<BusTypeRootAttributes>, 1>& checksum();

private:
    friend class Impl;
    BusTypeRootAttributes(Impl* impl, bool addRef) noexcept;
    using ::fenmo::ModelElement::release;
    using ::fenmo::ModelElement::swap;
    using ::fenmo::ModelElement::addRef;
    using ::fenmo::ModelElement::removeRef;
};

}  // namespace tav::fenmo::treeNode

// The classes this one refers to, once its handle is complete.

namespace tav::fenmo::treeNode {

class BusTypeRootAttributes::Impl : public ::fenmo::ModelElement::Impl {
public:
    class Storage;
    class Changes;
    class BuilderImpl;
    template <class B>
    class BuilderBase;

    // The indices of the stored properties, as registered with the metamodel.
    struct Index {
        static constexpr std::size_t checksum = 1;
    };

    const boost::optional<std::u16string>& getChecksum() const noexcept { return m_checksum; }
    bool hasChecksum() const noexcept { return m_checksum.has_value(); }

    ~Impl() override;
    const ::fenmo::meta::Class& getMetaClass() const override;
    bool hasPropertyValue(const ::fenmo::meta::Property& property, const ::fenmo::ReflectionPrivateTag& tag) const override;
    ::fenmo::Value getPropertyValue(const ::fenmo::meta::Property& property, const ::fenmo::ReflectionPrivateTag& tag) override;
    void setPropertyValue(const ::fenmo::meta::Property& property, const ::fenmo::Value& value, const ::fenmo::ReflectionPrivateTag& tag) override;
    void doDestroy(bool notify, bool disassociate) override;
    void inverseAdd(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) override;
    void inverseRemove(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) override;
    bool inverseContainsProxyTo(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) const override;
    void basicAssociate(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) override;
    void disassociateIncoming() override;
    void convertReferencesToProxies(bool otherModelsOnly, boost::optional<::fenmo::ProxyId>& id) override;
    void basicDisassociateAll() override;
    ::fenmo::ModelElement::Impl::Changes* createChanges() const override;
    ::fenmo::ModelElement::Impl::Storage* createStorage() const override;
    void copyValue(::fenmo::ModelElement::Impl::Storage* storage, std::size_t index) const override;
    void copyStateFromStorage(::fenmo::ModelElement::Impl::Storage* storage) override;
    ::fenmo::meta::Property getPropertyByIndex(std::size_t index) override;
    bool fieldReaders(const ::fenmo::meta::Property& property, ::fenmo::query::detail::PropertyAccess& readers) const override;

protected:
    Impl(const ::fenmo::Model& model, const ::fenmo::uuid& id);
    Impl(BuilderImpl& builder, const ::fenmo::uuid& id);
    void cascadeCreation(BuilderImpl& builder);
    void setChecksum(const boost::optional<std::u16string>& value);

private:
    friend class BusTypeRootAttributes;
    BusTypeRootAttributes This() const;
    static BusTypeRootAttributes handle(Impl* impl, bool addRef) noexcept { return BusTypeRootAttributes(impl, addRef); }

    ::fenmo::SharedText m_checksum;

public:
    // The class's properties in index order, for the operations written once for all classes.
    using Properties = ::fenmo::pattern::PropertyList<
        ::fenmo::pattern::OptionalValue<&Impl::m_checksum, Index::checksum, &schema::BusTypeRootAttributes::checksum, &Impl::setChecksum, ::fenmo::pattern::Access::Privileged>>;
};

// The old values of the properties a transaction changed.
class BusTypeRootAttributes::Impl::Storage : public ::fenmo::pattern::SnapshotStorage<BusTypeRootAttributes::Impl::Properties> {
public:
    Storage(const ::fenmo::uuid& id, const ::fenmo::Model& model, const ::fenmo::meta::Class& metaClass, std::size_t count);
    ~Storage() override;
    bool revertUnchanged(::fenmo::ModelElement::Impl* element) override;
    ::fenmo::Value getOldValue(const ::fenmo::meta::Property& property, const ::fenmo::ReflectionPrivateTag& tag) override;
};

// Which properties a transaction changed.
class BusTypeRootAttributes::Impl::Changes : public ::fenmo::ModelElement::Impl::Changes {
public:
    using ::fenmo::ModelElement::Impl::Changes::Changes;
};

// The values a builder of BusTypeRootAttributes collects.
class BusTypeRootAttributes::Impl::BuilderImpl {
public:
    virtual ~BuilderImpl();
    void doSetChecksum(const boost::optional<std::u16string>& value) { m_checksum = ::fenmo::checkEnumerator(value); }
    bool isSet(std::size_t index) const { return m_owner->isSet(index); }
    // Registers a builder with the orchestration this builder belongs to.
    void addBuilder(::fenmo::ModelElement::Builder* builder) const;

protected:
    explicit BuilderImpl(::fenmo::ModelElement::Builder& owner) noexcept : m_owner(&owner) {}
    std::size_t doSetOrAdd(const ::fenmo::meta::Property& property, const ::fenmo::Value& value);
    std::size_t doSetOrAdd(const ::fenmo::meta::Property& property, std::unique_ptr<::fenmo::ModelElement::Builder>& nested);

private:
    friend class BusTypeRootAttributes::Impl;
    ::fenmo::SharedText getChecksum() const { return ::fenmo::pattern::collected(*m_owner, Index::checksum, m_checksum); }
    ::fenmo::ModelElement::Builder* m_owner;
    ::fenmo::SharedText m_checksum{};
};

// The builder of BusTypeRootAttributes with its typed setters; X::Builder completes it.
template <class B>
class BusTypeRootAttributes::Impl::BuilderBase : public ::fenmo::ModelElement::Builder, public BusTypeRootAttributes::Impl::BuilderImpl {
public:
    BuilderBase() : BuilderBase(std::size_t{2}) {}
    explicit BuilderBase(const ::fenmo::Model& model) : BuilderBase(model, std::size_t{2}) {}
    using ::fenmo::ModelElement::Builder::isSet;

    B& setChecksum(const boost::optional<std::u16string>& value) { this->doSetChecksum(value); markSet(Index::checksum); return self(); }
    B& unsetChecksum() { markUnset(Index::checksum); return self(); }

    BusTypeRootAttributes createBusTypeRootAttributes(const ::fenmo::uuid& id) { return createBusTypeRootAttributes(false, id); }

    void setOrAdd(const ::fenmo::meta::Property& property, std::unique_ptr<::fenmo::ModelElement::Builder>& nested) override {
        std::size_t index = this->doSetOrAdd(property, nested);
        if (index == SIZE_MAX) ::fenmo::ModelElement::Builder::setOrAdd(property, nested);
        else markSet(index);
    }
    void setOrAdd(const ::fenmo::meta::Property& property, const ::fenmo::Value& value) override {
        std::size_t index = this->doSetOrAdd(property, value);
        if (index == SIZE_MAX) ::fenmo::ModelElement::Builder::setOrAdd(property, value);
        else markSet(index);
    }

protected:
    BuilderBase(const ::fenmo::Model& model, std::size_t bits)
        : ::fenmo::ModelElement::Builder(model, bits), BuilderImpl(static_cast<::fenmo::ModelElement::Builder&>(*this)) {}
    explicit BuilderBase(std::size_t bits) : ::fenmo::ModelElement::Builder(bits), BuilderImpl(static_cast<::fenmo::ModelElement::Builder&>(*this)) {}
    ::fenmo::ModelElement doCreate(bool unannounced, const ::fenmo::uuid& id) override { return createBusTypeRootAttributes(unannounced, id); }

private:
    B& self() noexcept { return static_cast<B&>(*this); }
    BusTypeRootAttributes createBusTypeRootAttributes(bool unannounced, const ::fenmo::uuid& id) {
        return ::fenmo::pattern::createFromBuilder<BusTypeRootAttributes>(
            *this, unannounced, [&] { return Impl::handle(new Impl(static_cast<BuilderImpl&>(*this), id), true); },
            [&](Impl& created) { created.cascadeCreation(*this); });
    }
};

class BusTypeRootAttributes::Builder final : public BusTypeRootAttributes::Impl::BuilderBase<BusTypeRootAttributes::Builder> {
public:
    Builder() = default;
    explicit Builder(const ::fenmo::Model& model) : BuilderBase(model) {}
    const ::fenmo::meta::Class& getMetaClass() const override { return BusTypeRootAttributes::metaClass(); }
};

// Passes a builder of BusTypeRootAttributes to the create-into operations; it does not own the builder.
class BusTypeRootAttributes::BuilderWrapper {
public:
    BuilderWrapper(::fenmo::ModelElement::Builder* builder) noexcept : m_builder(builder) {}
    ~BuilderWrapper() = default;
    ::fenmo::ModelElement::Builder* get() const noexcept { return m_builder; }
    ::fenmo::ModelElement::Builder* operator->() const noexcept { return m_builder; }

private:
    ::fenmo::ModelElement::Builder* m_builder;
};

inline BusTypeRootAttributes::BusTypeRootAttributes(Impl* impl, bool addRef) noexcept : ElementHandle(impl, addRef) {}

// Stands for one BusTypeRootAttributes inside a query: one member per queryable property, in index order.
class BusTypeRootAttributes::Constrainables : public ::fenmo::ModelElement::Constrainables {
public:
    explicit Constrainables(const std::pair<::fenmo::query::AbstractQuery&, const ::fenmo::query::SearchClassMatchMode>& target);
    ~Constrainables() override;
    // The instance this object stands for is `element` (an empty handle: no element at all).
    ::fenmo::query::SpecificValueConstraint<::fenmo::query::InstanceAttachment, BusTypeRootAttributes> operator==(const BusTypeRootAttributes& element) const;

    ::fenmo::query::ConstrainableWithAttachment<std::u16string, ::fenmo::query::InstanceAttachment, 1> checksum;

protected:
    Constrainables(::fenmo::query::AbstractQuery& query, const ::fenmo::meta::Class& metaClass, ::fenmo::query::SearchClassMatchMode mode);
};

}  // namespace tav::fenmo::treeNode

ARVELLE_API_END
