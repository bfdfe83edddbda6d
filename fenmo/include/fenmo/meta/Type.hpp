#pragma once
// Types of the metamodel: classes, enumerations and primitive types, with their registered names.

#include <fenmo/Export.hpp>
#include <fenmo/meta/NamedElement.hpp>

#include <memory>
#include <string>

FENMO_API_BEGIN

namespace fenmo {
class AbstractCollection;
}

namespace fenmo::meta {

class Package;
class Property;

namespace detail {

// Builds the collection object that holds the values of a multi-valued property of one type.
class CollectionInstantiator {
public:
    virtual ~CollectionInstantiator() = default;
    // A new collection for `property` of `owner`, or null when the type offers none for it.
    virtual AbstractCollection* instantiate(ModelElement::Impl& owner, const Property& property) const = 0;
    // A collection for a qualified (keyed) access path; no type registered here offers one.
    virtual AbstractCollection* instantiateQualified(ModelElement::Impl& owner, const Property& property) const = 0;
};

}  // namespace detail

class Type : public ElementHandle<Type, NamedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
};

class Type::Impl : public NamedElement::Impl {
public:
    ~Impl() override;

    Package getOwningPackage() const;
    void setOwningPackage(const Package& package);

    // The registered qualified name; without one, the package name and the type name joined by a dot.
    std::u16string getQualifiedName() const;
    const std::u16string& getNativeName() const noexcept { return m_nativeName; }
    const std::string& getTypeIdName() const noexcept { return m_typeIdName; }
    bool hasRegisteredQualifiedName() const noexcept { return !m_qualifiedName.empty(); }

    // Set by MetaRegistry::registerType; null for a type registered without one.
    const detail::CollectionInstantiator* getCollectionInstantiator() const noexcept { return m_instantiator.get(); }

protected:
    using NamedElement::Impl::Impl;
    void releaseReferences() override;

private:
    friend class MetaRegistry;
    std::u16string m_qualifiedName;
    std::u16string m_nativeName;
    std::string m_typeIdName;
    std::unique_ptr<detail::CollectionInstantiator> m_instantiator;
};

class PrimitiveType : public ElementHandle<PrimitiveType, Type> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    // A new primitive type element in `model` (the registry model), not yet owned by a package.
    static PrimitiveType create(const Model& model, const uuid& id);
};

class PrimitiveType::Impl : public Type::Impl {
    friend class PrimitiveType;
    using Type::Impl::Impl;
};

}  // namespace fenmo::meta

FENMO_API_END
