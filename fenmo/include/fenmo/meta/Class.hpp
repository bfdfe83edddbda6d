#pragma once
// Metaclasses: superclasses, properties and operations, and the factory of their builders.

#include <fenmo/Export.hpp>
#include <fenmo/meta/Type.hpp>

#include <memory>
#include <string>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::meta {

class Property;
class Operation;

// Makes a new builder of one class for a model.
using BuilderFactory = std::unique_ptr<ModelElement::Builder> (*)(const Model& model);

class Class : public ElementHandle<Class, Type> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    static Class create(const Model& model, const uuid& id);
};

class Class::Impl : public Type::Impl {
public:
    bool isAbstract() const noexcept { return m_abstract; }
    bool isInterface() const noexcept { return m_interface; }
    void setAbstract(bool value) noexcept { m_abstract = value; }
    void setInterface(bool value) noexcept { m_interface = value; }

    const std::vector<Class>& getSuperclasses() const noexcept { return m_superclasses; }
    void addSuperclass(const Class& superclass);
    // True if this class is `other` or derives from it.
    bool conformsTo(const Class::Impl* other) const noexcept;
    bool conformsTo(const Class& other) const noexcept { return conformsTo(other.get()); }

    // The properties and operations this class declares, in declaration order.
    const std::vector<Property>& getProperties() const noexcept { return m_properties; }
    const std::vector<Operation>& getOperations() const noexcept { return m_operations; }
    // Inherited properties first, then the class's own.
    std::vector<Property> getAllProperties() const;
    Property findProperty(std::u16string_view name) const;
    Operation findOperation(std::u16string_view name) const;

    // A new builder for `model`, made by the registered builder factory (null if there is none).
    std::unique_ptr<ModelElement::Builder> instantiateBuilder(const Model& model) const;
    bool hasBuilderFactory() const noexcept { return m_builderFactory != nullptr; }

    // Used as a property or operation is given this class as its owner.
    void addProperty(const Property& property);
    void addOperation(const Operation& operation);

protected:
    void releaseReferences() override;

private:
    friend class Class;
    friend class Property;
    friend class Operation;
    friend class MetaRegistry;
    using Type::Impl::Impl;

    bool m_abstract = false;
    bool m_interface = false;
    std::vector<Class> m_superclasses;
    std::vector<Property> m_properties;
    std::vector<Operation> m_operations;
    BuilderFactory m_builderFactory = nullptr;
};

}  // namespace fenmo::meta

FENMO_API_END
