#include "ElementAccess.hpp"

#include <fenmo/Builder.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/StandardTypes.hpp>
#include <fenmo/Text.hpp>

namespace fenmo {

// ---- ElementImpl

std::atomic<ElementImpl::Callback> ElementImpl::m_callback{nullptr};

ElementImpl::~ElementImpl() = default;

void ElementImpl::removeRef() const noexcept {
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void ElementImpl::invalidate() {
    m_flags &= static_cast<std::uint8_t>(~kValid);
    if (Callback callback = m_callback.load(std::memory_order_acquire)) callback(*this, nullptr);
}

// ---- ModelElement handle

const meta::Class& ModelElement::metaClass() { return meta::StandardTypes::modelElementMeta(); }

// ---- ModelElement::Impl

namespace {

ModelLink* linkOf(const Model& model) {
    if (!model) throw CannotCreateWithoutModelException();
    ModelLink* link = model->link();
    link->addRef();
    return link;
}

std::u16string nameOf(const meta::Property& property) {
    return property.get() ? property->getQualifiedName() : std::u16string(u"<no property>");
}

}  // namespace

ModelElement::Impl::Impl(const Model& model, const uuid& id)
    : m_uuid(id.is_nil() ? newUuid() : id), m_link(linkOf(model)) {}

ModelElement::Impl::Impl(Builder& builder, const uuid& id) : Impl(builder.getModel(), id) {}

ModelElement::Impl::~Impl() {
    markDeleting();
    if (isProxy())
        if (Model::Impl* model = getModelImpl()) model->forgetProxy(*this);
    m_link->removeRef();
}

Model ModelElement::Impl::getModel() const { return Model(getModelImpl(), true); }

Model::Impl* ModelElement::Impl::getModelImpl() const noexcept { return m_link ? m_link->model() : nullptr; }

ModelElement ModelElement::Impl::container() const { return ModelElement(m_container, true); }

meta::Property ModelElement::Impl::containingProperty() const {
    if (!m_container || m_containerPropertyIndex == 0) return meta::Property();
    return m_container->getPropertyByIndex(m_containerPropertyIndex);
}

void ModelElement::Impl::notifyModifying(std::size_t index) {
    if (Model::Impl* model = getModelImpl()) model->recordModifying(*this, index);
}

detail::JournalBase* ModelElement::Impl::notifyCollectionChanging(std::size_t index) {
    Model::Impl* model = getModelImpl();
    if (!model) return nullptr;
    model->recordModifying(*this, index);
    return model->collectionJournal(*this, index);
}

detail::JournalBase* ModelElement::Impl::collectionJournal(std::size_t index) const noexcept {
    Model::Impl* model = getModelImpl();
    return model ? model->collectionJournal(*this, index) : nullptr;
}

void ModelElement::Impl::notifyCreated() {
    Model::Impl* model = getModelImpl();
    if (!model) throw CannotCreateWithoutModelException();
    model->recordCreated(*this);
    didCreate();
}

void ModelElement::Impl::destroy() {
    Model::Impl* model = getModelImpl();
    if (!model) {
        invalidate();
        return;
    }
    Transaction transaction = model->beginOperation();
    destroyRecursively(This(), true, true, true);
    transaction.commit(boost::none);
}

void ModelElement::Impl::destroyRecursively(const ModelElement& element, bool notify, bool detach,
                                            bool disassociate) {
    Impl* impl = element.get();
    if (!impl || !impl->isValid() || detail::ElementAccess::isDestroying(*impl)) return;
    detail::ElementAccess::setDestroying(*impl, true);
    try {
        if (detach && impl->m_container) impl->m_container->inverseRemove(element, impl->containingProperty());
        impl->doDestroy(notify, disassociate);
    } catch (...) {
        detail::ElementAccess::setDestroying(*impl, false);
        throw;
    }
    detail::ElementAccess::setDestroying(*impl, false);
}

// Base behaviour for properties no class handles: a clear error naming the property.
bool ModelElement::Impl::hasPropertyValue(const meta::Property& property, const ReflectionPrivateTag&) const {
    throw InvalidValueException({nameOf(property)});
}

Value ModelElement::Impl::getPropertyValue(const meta::Property& property, const ReflectionPrivateTag&) {
    throw InvalidValueException({nameOf(property)});
}

void ModelElement::Impl::setPropertyValue(const meta::Property& property, const Value&,
                                          const ReflectionPrivateTag&) {
    // A property of this element's class that its class declined to write has no public mutator.
    if (property.get() && property->owningClass() && getMetaClass().get() &&
        getMetaClass()->conformsTo(property->owningClass()) && !property->hasPublicMutator())
        throw CannotSetReadOnlyPropertyException({nameOf(property)});
    throw InvalidValueException({nameOf(property)});
}

boost::optional<Value> ModelElement::Impl::invoke(const meta::Operation& operation, const std::vector<Value>& arguments,
                                                  const ReflectionPrivateTag&) {
    if (!operation.get() || !operation->getInvoker()) throw InvalidValueException();
    return operation->getInvoker()->invoke(This(), arguments);
}

std::u16string ModelElement::Impl::identifier() { return toU16String(m_uuid); }

bool ModelElement::Impl::isReflective() const { return getMetaClass().get() != nullptr; }

void ModelElement::Impl::doDestroy(bool notify, bool disassociate) {
    if (disassociate) disassociateIncoming();
    aboutToDestroy();
    if (m_container) basicSetContainer(nullptr, 0);
    if (notify) notifyDestroying();
    else invalidate();
}

void ModelElement::Impl::inverseAdd(const ModelElement&, const meta::Property& property) {
    throw InvalidValueException({nameOf(property)});
}

void ModelElement::Impl::inverseRemove(const ModelElement&, const meta::Property& property) {
    throw InvalidValueException({nameOf(property)});
}

bool ModelElement::Impl::inverseContainsProxyTo(const ModelElement&, const meta::Property&) const { return false; }

void ModelElement::Impl::basicAssociate(const ModelElement&, const meta::Property& property) {
    throw InvalidValueException({nameOf(property)});
}

void ModelElement::Impl::notifyDestroying() {
    if (Model::Impl* model = getModelImpl()) model->recordDestroyed(*this);
    else invalidate();
}

void ModelElement::Impl::disassociateIncoming() {}
void ModelElement::Impl::convertReferencesToProxies(bool, boost::optional<ProxyId>&) {}
void ModelElement::Impl::aboutToDestroy() {}
void ModelElement::Impl::didCreate() {}
void ModelElement::Impl::basicDisassociateAll() {}

// Replacing references by proxies is up to classes that hold references.
void ModelElement::Impl::convertToProxy(const meta::Property&, const ProxyId&, const ModelElement&) {}

ModelElement::Impl::Changes* ModelElement::Impl::createChanges() const {
    return new Changes(m_uuid, getModel(), getMetaClass(), 1);
}

ModelElement::Impl::Storage* ModelElement::Impl::createStorage() const {
    return new Storage(m_uuid, getModel(), getMetaClass(), 1);
}

void ModelElement::Impl::copyValue(Storage* storage, std::size_t index) const {
    if (index != 0) throw InvalidValueException({u"property index " + widenNumber(index)});
    storage->setOldContainer(container(), containingProperty());
}

void ModelElement::Impl::copyStateFromStorage(Storage* storage) {
    if (storage->isChanged(0))
        detail::ElementAccess::setContainerRaw(*this, storage->oldContainer().get(),
                                               static_cast<std::uint16_t>(storage->oldContainerPropertyIndex()));
}

meta::Property ModelElement::Impl::getPropertyByIndex(std::size_t index) {
    throw InvalidValueException({u"property index " + widenNumber(index)});
}

bool ModelElement::Impl::fieldReaders(const meta::Property&, query::detail::PropertyAccess&) const {
    return false;
}

void ModelElement::Impl::checkCompatibleModel(const ModelElement& element, const meta::Property& property) const {
    const Impl* other = element.get();
    if (!other || !other->isValid() || other->isProxy()) return;
    if (other->getModelLink() != m_link) throw CannotCreateCrossModelAssociationException({nameOf(property)});
}

void ModelElement::Impl::checkChangeable() const {
    if (isProxy()) throw CannotModifyProxyException();
    // A change of a dead element would not be recorded, and would come back with it on undo.
    if (!isValid()) throw CannotAddNonExistentObjectException({toU16String(m_uuid)});
}

void ModelElement::Impl::checkContainable(const ModelElement& element, const meta::Property& property) const {
    const Impl* e = element.get();
    if (!e) return;
    if (!e->isValid()) throw CannotAddNonExistentObjectException({toU16String(e->m_uuid)});
    checkCompatibleModel(element, property);
    if (isSelfOrContainer(e)) throw InvalidValueException({nameOf(property), toU16String(e->m_uuid)});
}

bool ModelElement::Impl::isSelfOrContainer(const Impl* element) const noexcept {
    for (const Impl* up = this; up; up = up->m_container)
        if (up == element) return true;
    return false;
}

// ---- Containment and opposite-end services

void ModelElement::Impl::_setContainedByThis(const ModelElement& element, const meta::Property& property) {
    Impl* e = element.get();
    if (!e) return;
    // Callers check before they change anything; this is the last line against a cycle.
    if (isSelfOrContainer(e)) throw InvalidValueException({nameOf(property), toU16String(e->m_uuid)});
    const std::size_t index = property.get() ? property->getIndex() : 0;
    if (e->m_container == this && e->m_containerPropertyIndex == index) return;
    if (Impl* old = e->m_container) old->inverseRemove(element, e->containingProperty());
    e->basicSetContainer(this, index);
}

void ModelElement::Impl::_basicSetUncontained(const ModelElement& element) {
    Impl* e = element.get();
    if (e && e->m_container == this) e->basicSetContainer(nullptr, 0);
}

void ModelElement::Impl::basicSetContainer(Impl* container, std::size_t propertyIndex) {
    notifyModifying(0);
    m_container = container;
    m_containerPropertyIndex = static_cast<std::uint16_t>(propertyIndex);
}

void ModelElement::Impl::_releaseContained(Impl* element) noexcept {
    if (element && element->m_container == this) {
        element->m_container = nullptr;
        element->m_containerPropertyIndex = 0;
    }
}

void ModelElement::Impl::_inverseAddThis(const ModelElement& target, const meta::Property& property, std::size_t) {
    if (target.get()) target->inverseAdd(This(), property);
}

void ModelElement::Impl::_inverseRemoveThis(const ModelElement& target, const meta::Property& property) {
    if (target.get()) target->inverseRemove(This(), property);
}

bool ModelElement::Impl::_inverseContainsThis(const ModelElement& target, const meta::Property& property) const {
    return target.get() && target->inverseContainsProxyTo(This(), property);
}

ProxyId ModelElement::Impl::_getPersistentProxyId() const {
    Model::Impl* model = getModelImpl();
    return ProxyId(m_uuid, model ? boost::optional<uuid>(model->getId()) : boost::none);
}

void ModelElement::Impl::_convertToProxy(const ModelElement& holder, const ModelElement& element,
                                         const meta::Property& property, const ProxyId& id) {
    if (!holder.get() || !element.get()) return;
    Model::Impl* model = holder->getModelImpl();
    if (!model) return;
    ModelElement proxy = model->createProxy(element->getMetaClass(), id);
    holder->convertToProxy(property, id, proxy);
}

// ---- ChangeBits, Changes, Storage

ChangeBits::ChangeBits(std::size_t count) : m_count(static_cast<std::uint32_t>(count)) {
    if (m_count <= 64) m_inline = 0;
    else m_heap = new std::uint64_t[words()]();
}

ChangeBits::~ChangeBits() {
    if (m_count > 64) delete[] m_heap;
}

bool ChangeBits::any() const noexcept {
    if (m_count <= 64) return m_inline != 0;
    for (std::size_t w = 0; w < words(); ++w)
        if (m_heap[w]) return true;
    return false;
}

void ChangeBits::clearAll() noexcept {
    if (m_count <= 64) m_inline = 0;
    else std::fill(m_heap, m_heap + words(), 0);
}

ModelElement::Impl::Changes::Changes(const uuid&, const Model&, const meta::Class&, std::size_t count)
    : m_bits(count) {}

ModelElement::Impl::Changes::~Changes() = default;

void ModelElement::Impl::Changes::setOldContainer(const ModelElement& container, const meta::Property& property) {
    m_oldContainer = container;
    m_oldContainerPropertyIndex = static_cast<std::uint16_t>(property.get() ? property->getIndex() : 0);
}

bool ModelElement::Impl::Changes::revertUnchanged(ModelElement::Impl* element) {
    if (isChanged(0) && element->containerImpl() == m_oldContainer.get() &&
        detail::ElementAccess::containerIndex(*element) == m_oldContainerPropertyIndex)
        clearModified(0);
    return anyChanged();
}

Value ModelElement::Impl::Storage::getOldValue(const meta::Property& property, const ReflectionPrivateTag&) {
    return Value(property->getType(), boost::none);
}

void ModelElement::Impl::Storage::releaseValues() { releaseOldContainer(); }

detail::JournalBase* ModelElement::Impl::Storage::journalFor(std::size_t) noexcept {
    return nullptr;
}

bool ModelElement::Impl::Storage::exchange(ModelElement::Impl&) {
    return false;
}

void ModelElement::Impl::Storage::exchangeContainer(ModelElement::Impl& element) noexcept {
    ModelElement current(element.m_container, true);
    const std::uint16_t index = element.m_containerPropertyIndex;
    detail::ElementAccess::setContainerRaw(element, oldContainer().get(),
                                           static_cast<std::uint16_t>(oldContainerPropertyIndex()));
    setOldContainerRaw(std::move(current), index);
}

}  // namespace fenmo
