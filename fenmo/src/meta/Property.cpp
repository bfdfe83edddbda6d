#include "Announce.hpp"

#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/Property.hpp>

namespace fenmo::meta {

// ---- TypedElement

void TypedElement::Impl::releaseReferences() { m_type.reset(); }

// ---- Property

Property Property::create(const Model& model, const uuid& id, ValueKind kind, bool composite) {
    auto* impl = new Impl(model, id);
    impl->m_kind = kind;
    impl->m_composite = composite;
    impl->setLower(kind == ValueKind::Single ? 1 : 0);
    impl->setUpper(static_cast<int>(kind) >= 2 ? -1 : 1);
    return detail::announce<Property>(model, impl);
}

Class Property::Impl::getOwningClass() const { return Class(const_cast<Class::Impl*>(m_owner), true); }

void Property::Impl::setOwningType(const Class& owner) {
    if (!owner.get()) return;
    m_owner = owner.get();
    owner->addProperty(Property(this, true));
}

std::u16string Property::Impl::getQualifiedName() const {
    if (!m_owner) return getName();
    std::u16string name = m_owner->getName() + u"." + getName();
    Package package = m_owner->getOwningPackage();
    return package.get() && !package->getName().empty() ? package->getName() + u"." + name : name;
}

void Property::Impl::releaseReferences() {
    m_opposite.reset();
    m_default.reset();
    TypedElement::Impl::releaseReferences();
}

// ---- Operation

Operation Operation::create(const Model& model, const uuid& id) {
    return detail::announce<Operation>(model, new Impl(model, id));
}

Operation::Impl::~Impl() = default;

Class Operation::Impl::getOwningType() const { return Class(const_cast<Class::Impl*>(m_owner), true); }

void Operation::Impl::setOwningType(const Class& owner) {
    if (!owner.get()) return;
    m_owner = owner.get();
    owner->addOperation(Operation(this, true));
}

void Operation::Impl::releaseReferences() {
    m_resultType.reset();
    m_arguments.clear();
    m_invoker.reset();
}

// ---- Argument

Argument Argument::create(const Model& model, const uuid& id) {
    return detail::announce<Argument>(model, new Impl(model, id));
}

Operation Argument::Impl::getOperation() const { return Operation(const_cast<Operation::Impl*>(m_operation), true); }

void Argument::Impl::setOperation(const Operation& operation) {
    if (!operation.get()) return;
    m_operation = operation.get();
    operation->addArgument(Argument(this, true));
}

void Operation::Impl::addArgument(const Argument& argument) {
    contain(argument);
    for (const Argument& a : m_arguments)
        if (a.get() == argument.get()) return;
    m_arguments.push_back(argument);
}

}  // namespace fenmo::meta
