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

namespace {

// A member by name: the class's own first, then its superclasses', depth first.
template <class Member>
Member findNamed(const Class::Impl& cls, std::u16string_view name, const std::vector<Member>& (Class::Impl::*own)() const) {
    for (const Member& member : (cls.*own)())
        if (member->getName() == name) return member;
    for (const Class& super : cls.getSuperclasses())
        if (Member member = findNamed(*super.get(), name, own); member.get()) return member;
    return Member();
}

}  // namespace

Property Class::Impl::findProperty(std::u16string_view name) const {
    return findNamed(*this, name, &Class::Impl::getProperties);
}

Operation Class::Impl::findOperation(std::u16string_view name) const {
    return findNamed(*this, name, &Class::Impl::getOperations);
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
