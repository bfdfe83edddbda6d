#include "Announce.hpp"

#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/NamedElement.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/Type.hpp>

namespace fenmo::meta {

// ---- NamedElement

const Class& NamedElement::Impl::getMetaClass() const {
    static const Class none;
    return none;
}

void NamedElement::Impl::contain(const ModelElement& element) {
    _setContainedByThis(element, Property());
    for (const ModelElement& e : m_contents)
        if (e.get() == element.get()) return;
    m_contents.push_back(element);
}

void NamedElement::Impl::inverseRemove(const ModelElement& element, const Property& property) {
    if (property.get()) return ModelElement::Impl::inverseRemove(element, property);
    std::erase_if(m_contents, [&](const ModelElement& e) { return e.get() == element.get(); });
}

void NamedElement::Impl::doDestroy(bool notify, bool disassociate) {
    std::vector<ModelElement> contents = m_contents;
    for (const ModelElement& e : contents) destroyRecursively(e, notify, false, disassociate);
    releaseReferences();
    ModelElement::Impl::doDestroy(notify, disassociate);
}

void NamedElement::Impl::basicDisassociateAll() {
    releaseReferences();
    for (const ModelElement& e : m_contents) _releaseContained(e.get());
    m_contents.clear();
}

// ---- Type

Type::Impl::~Impl() = default;

Package Type::Impl::getOwningPackage() const { return handleCast<Package>(container()); }

void Type::Impl::setOwningPackage(const Package& package) {
    if (package.get()) package->addContent(This());
}

std::u16string Type::Impl::getQualifiedName() const {
    if (!m_qualifiedName.empty()) return m_qualifiedName;
    Package package = getOwningPackage();
    return package.get() && !package->getName().empty() ? package->getName() + u"." + getName() : getName();
}

void Type::Impl::releaseReferences() { MetaRegistry::getInstance()->forgetType(*this); }

PrimitiveType PrimitiveType::create(const Model& model, const uuid& id) {
    return detail::announce<PrimitiveType>(model, new Impl(model, id));
}

// ---- Package

Package Package::create(const Model& model, const uuid& id) {
    return detail::announce<Package>(model, new Impl(model, id));
}

Package Package::Impl::getParentPackage() const { return handleCast<Package>(container()); }

void Package::Impl::setParentPackage(const Package& parent) {
    if (parent.get()) parent->addContent(This());
}

}  // namespace fenmo::meta
