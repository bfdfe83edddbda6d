// Generated from schema/treeNode.toml by codegen/generate.py; do not edit.
#include <arvelle/treeNode/BusTypeRootAttributes.hpp>
#include <arvelle/treeNode/BuilderFactories.hpp>

#include <fenmo/query/Readers.hpp>

namespace tav::fenmo::treeNode {

BusTypeRootAttributes BusTypeRootAttributes::create(const ::fenmo::Model& model, const ::fenmo::uuid& id) {
    return ::fenmo::pattern::createInModel<BusTypeRootAttributes>(model, [&] { return BusTypeRootAttributes(new Impl(model, id), true); });
}

const ::fenmo::meta::Class& BusTypeRootAttributes::metaClass() { return schema::BusTypeRootAttributes::metaClass(); }

BusTypeRootAttributes::Impl::Impl(const ::fenmo::Model& model, const ::fenmo::uuid& id) : ::fenmo::ModelElement::Impl(model, id) {}

BusTypeRootAttributes::Impl::Impl(BuilderImpl& builder, const ::fenmo::uuid& id)
    : ::fenmo::ModelElement::Impl(*builder.m_owner, id), m_checksum(builder.getChecksum()) {
}

void BusTypeRootAttributes::Impl::cascadeCreation(BuilderImpl& builder) {
    (void)builder;
}

void BusTypeRootAttributes::Impl::setChecksum(const boost::optional<std::u16string>& value) { ::fenmo::pattern::setOptional(*this, m_checksum, value, Index::checksum); }

BusTypeRootAttributes::Impl::~Impl() {
    markDeleting();
}

const ::fenmo::meta::Class& BusTypeRootAttributes::Impl::getMetaClass() const { return schema::BusTypeRootAttributes::metaClass(); }

bool BusTypeRootAttributes::Impl::hasPropertyValue(const ::fenmo::meta::Property& property, const ::fenmo::ReflectionPrivateTag& tag) const {
    bool result = false;
    if (::fenmo::pattern::tryHas<Properties>(*this, property, result)) return result;
    return ::fenmo::ModelElement::Impl::hasPropertyValue(property, tag);
}

::fenmo::Value BusTypeRootAttributes::Impl::getPropertyValue(const ::fenmo::meta::Property& property, const ::fenmo::ReflectionPrivateTag& tag) {
    if (auto get = ::fenmo::pattern::getterFor<Properties, Impl>(property)) return get(*this, tag);
    return ::fenmo::ModelElement::Impl::getPropertyValue(property, tag);
}

void BusTypeRootAttributes::Impl::setPropertyValue(const ::fenmo::meta::Property& property, const ::fenmo::Value& value, const ::fenmo::ReflectionPrivateTag& tag) {
    if (!::fenmo::pattern::trySet<Properties>(*this, property, value, tag)) ::fenmo::ModelElement::Impl::setPropertyValue(property, value, tag);
}

void BusTypeRootAttributes::Impl::doDestroy(bool notify, bool disassociate) {
    ::fenmo::ModelElement::Impl::doDestroy(notify, disassociate);
}

void BusTypeRootAttributes::Impl::inverseAdd(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) {
    ::fenmo::ModelElement::Impl::inverseAdd(element, property);
}

void BusTypeRootAttributes::Impl::inverseRemove(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) {
    ::fenmo::ModelElement::Impl::inverseRemove(element, property);
}

void BusTypeRootAttributes::Impl::basicAssociate(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) {
    ::fenmo::ModelElement::Impl::basicAssociate(element, property);
}

void BusTypeRootAttributes::Impl::basicDisassociateAll() {
}

bool BusTypeRootAttributes::Impl::inverseContainsProxyTo(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) const {
    return ::fenmo::ModelElement::Impl::inverseContainsProxyTo(element, property);
}

void BusTypeRootAttributes::Impl::disassociateIncoming() {
}

bool BusTypeRootAttributes::Impl::fieldReaders(const ::fenmo::meta::Property& property, ::fenmo::query::detail::PropertyAccess& readers) const {
    return ::fenmo::query::detail::tryReaders<Properties>(property, readers) || ::fenmo::ModelElement::Impl::fieldReaders(property, readers);
}

void BusTypeRootAttributes::Impl::convertReferencesToProxies(bool, boost::optional<::fenmo::ProxyId>&) {
}

::fenmo::ModelElement::Impl::Changes* BusTypeRootAttributes::Impl::createChanges() const {
    return new Changes(getUuid(), getModel(), getMetaClass(), 1);
}

::fenmo::ModelElement::Impl::Storage* BusTypeRootAttributes::Impl::createStorage() const {
    return new Storage(getUuid(), getModel(), getMetaClass(), 2);
}

void BusTypeRootAttributes::Impl::copyValue(::fenmo::ModelElement::Impl::Storage* storage, std::size_t index) const {
    if (!::fenmo::pattern::tryCopyValue<Properties>(*this, *static_cast<Storage*>(storage), index)) ::fenmo::ModelElement::Impl::copyValue(storage, index);
}

void BusTypeRootAttributes::Impl::copyStateFromStorage(::fenmo::ModelElement::Impl::Storage* storage) {
    ::fenmo::pattern::restoreChanged<Properties>(*this, *static_cast<Storage*>(storage));
    ::fenmo::ModelElement::Impl::copyStateFromStorage(storage);
}

::fenmo::meta::Property BusTypeRootAttributes::Impl::getPropertyByIndex(std::size_t index) {
    ::fenmo::meta::Property result;
    if (::fenmo::pattern::tryPropertyByIndex<Properties>(index, result)) return result;
    return ::fenmo::ModelElement::Impl::getPropertyByIndex(index);
}

BusTypeRootAttributes BusTypeRootAttributes::Impl::This() const { return BusTypeRootAttributes(const_cast<Impl*>(this), true); }

// ---- Storage

BusTypeRootAttributes::Impl::Storage::Storage(const ::fenmo::uuid& id, const ::fenmo::Model& model, const ::fenmo::meta::Class& metaClass, std::size_t count)
    : SnapshotStorage(id, model, metaClass, count) {}

BusTypeRootAttributes::Impl::Storage::~Storage() = default;

bool BusTypeRootAttributes::Impl::Storage::revertUnchanged(::fenmo::ModelElement::Impl* element) {
    ::fenmo::pattern::clearUnchanged<Properties>(*this, static_cast<const Impl&>(*element));
    return ::fenmo::ModelElement::Impl::Storage::revertUnchanged(element);
}

::fenmo::Value BusTypeRootAttributes::Impl::Storage::getOldValue(const ::fenmo::meta::Property& property, const ::fenmo::ReflectionPrivateTag& tag) {
    ::fenmo::Value result;
    if (::fenmo::pattern::tryOldValue<Properties>(*this, property, result)) return result;
    return ::fenmo::ModelElement::Impl::Storage::getOldValue(property, tag);
}

// ---- Builder

BusTypeRootAttributes::Impl::BuilderImpl::~BuilderImpl() = default;

void BusTypeRootAttributes::Impl::BuilderImpl::addBuilder(::fenmo::ModelElement::Builder* builder) const {
    if (auto* orchestrator = m_owner->getOrchestrator()) orchestrator->addBuilder(builder);
}

std::size_t BusTypeRootAttributes::Impl::BuilderImpl::doSetOrAdd(const ::fenmo::meta::Property& property, const ::fenmo::Value& value) {
    const auto* p = property.get();
    if (p == schema::BusTypeRootAttributes::checksum().get()) {
        m_checksum = ::fenmo::pattern::fromValue<std::u16string>(*p, value);
        return Index::checksum;
    }
    return SIZE_MAX;
}

std::size_t BusTypeRootAttributes::Impl::BuilderImpl::doSetOrAdd(const ::fenmo::meta::Property& property, std::unique_ptr<::fenmo::ModelElement::Builder>& nested) {
    (void)property;
    (void)nested;
    return SIZE_MAX;
}

std::unique_ptr<::fenmo::ModelElement::Builder> makeBusTypeRootAttributesBuilder(const ::fenmo::Model& model) { return std::make_unique<BusTypeRootAttributes::Builder>(model); }


::fenmo::query::MetaclassAttachment<BusTypeRootAttributes>& BusTypeRootAttributes::Uuid() {
    static ::fenmo::query::MetaclassAttachment<BusTypeRootAttributes> attachment;
    return attachment;
}

::fenmo::query::ConstrainableWithAttachment<std::u16string, ::fenmo::query::MetaclassAttachment<BusTypeRootAttributes>, 1>& BusTypeRootAttributes::checksum() {
    // Thread-safe one-time construction; the destructor, registered at exit, releases the property.
    static ::fenmo::query::ConstrainableWithAttachment<std::u16string, ::fenmo::query::MetaclassAttachment<BusTypeRootAttributes>, 1> constrainable(::fenmo::query::MetaclassAttachment<BusTypeRootAttributes>(), ::fenmo::query::detail::accessOf<Impl::Properties, Impl::Index::checksum>(schema::BusTypeRootAttributes::checksum()));
    return constrainable;
}

BusTypeRootAttributes::Constrainables::Constrainables(const std::pair<::fenmo::query::AbstractQuery&, const ::fenmo::query::SearchClassMatchMode>& target)
    : Constrainables(target.first, BusTypeRootAttributes::metaClass(), target.second) {}

BusTypeRootAttributes::Constrainables::Constrainables(::fenmo::query::AbstractQuery& query, const ::fenmo::meta::Class& metaClass,
                                   ::fenmo::query::SearchClassMatchMode mode)
    : ::fenmo::ModelElement::Constrainables(query, metaClass, mode),
      checksum(::fenmo::query::InstanceAttachment(*this), ::fenmo::query::detail::accessOf<Impl::Properties, Impl::Index::checksum>(schema::BusTypeRootAttributes::checksum())) {}

BusTypeRootAttributes::Constrainables::~Constrainables() = default;

::fenmo::query::SpecificValueConstraint<::fenmo::query::InstanceAttachment, BusTypeRootAttributes> BusTypeRootAttributes::Constrainables::operator==(const BusTypeRootAttributes& element) const {
    return {::fenmo::query::InstanceAttachment(*this), element};
}
}  // namespace tav::fenmo::treeNode
