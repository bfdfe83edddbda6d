#include "Announce.hpp"

#include <fenmo/Builder.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Property.hpp>

namespace fenmo::meta {

Class Class::create(const Model& model, const uuid& id) { return detail::announce<Class>(model, new Impl(model, id)); }

void Class::Impl::addSuperclass(const Class& superclass) {
    if (superclass.get() && !conformsTo(superclass.get())) m_superclasses.push_back(superclass);
}

bool Class::Impl::conformsTo(const Class::Impl* other) const noexcept {
    if (!other) return false;
    if (other == this) return true;
    for (const Class& super : m_superclasses)
        if (super->conformsTo(other)) return true;
    return false;
}

std::vector<Property> Class::Impl::getAllProperties() const {
    std::vector<Property> all;
    for (const Class& super : m_superclasses) {
        std::vector<Property> inherited = super->getAllProperties();
        all.insert(all.end(), inherited.begin(), inherited.end());
    }
    all.insert(all.end(), m_properties.begin(), m_properties.end());
    return all;
}

Property Class::Impl::findProperty(std::u16string_view name) const {
    for (const Property& p : m_properties)
        if (p->getName() == name) return p;
    for (const Class& super : m_superclasses)
        if (Property p = super->findProperty(name); p.get()) return p;
    return Property();
}

Operation Class::Impl::findOperation(std::u16string_view name) const {
    for (const Operation& op : m_operations)
        if (op->getName() == name) return op;
    for (const Class& super : m_superclasses)
        if (Operation op = super->findOperation(name); op.get()) return op;
    return Operation();
}

std::unique_ptr<ModelElement::Builder> Class::Impl::instantiateBuilder(const Model& model) const {
    return m_builderFactory ? m_builderFactory(model) : nullptr;
}

void Class::Impl::addProperty(const Property& property) {
    contain(property);
    for (const Property& p : m_properties)
        if (p.get() == property.get()) return;
    m_properties.push_back(property);
}

void Class::Impl::addOperation(const Operation& operation) {
    contain(operation);
    for (const Operation& op : m_operations)
        if (op.get() == operation.get()) return;
    m_operations.push_back(operation);
}

void Class::Impl::releaseReferences() {
    m_superclasses.clear();
    m_properties.clear();
    m_operations.clear();
    m_builderFactory = nullptr;
    Type::Impl::releaseReferences();
}

}  // namespace fenmo::meta
