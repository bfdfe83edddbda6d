#pragma once
// Typed elements and properties: kind, flags, index inside the class, opposite.

#include <fenmo/Export.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Class.hpp>

#include <boost/optional.hpp>

#include <cstddef>
#include <string>

FENMO_API_BEGIN

namespace fenmo::meta {

class TypedElement : public ElementHandle<TypedElement, NamedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
};

class TypedElement::Impl : public NamedElement::Impl {
public:
    const Type& getType() const noexcept { return m_type; }
    const ModelElement::Impl* typeImpl() const noexcept { return m_type.get(); }
    void setType(const Type& type) { m_type = type; }
    int getLower() const noexcept { return m_lower; }
    int getUpper() const noexcept { return m_upper; }
    void setLower(int lower) noexcept { m_lower = lower; }
    void setUpper(int upper) noexcept { m_upper = upper; }

protected:
    using NamedElement::Impl::Impl;
    void releaseReferences() override;

private:
    Type m_type;
    int m_lower = 0;
    int m_upper = 1;
};

class Property : public ElementHandle<Property, TypedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    // A new property of the given kind, not yet owned by a class.
    static Property create(const Model& model, const uuid& id, ValueKind kind, bool composite);
};

class Property::Impl : public TypedElement::Impl {
public:
    ValueKind getKind() const noexcept { return m_kind; }
    bool isMany() const noexcept { return static_cast<int>(m_kind) >= 2; }
    bool isSequence() const noexcept { return m_kind == ValueKind::Sequence; }
    bool isComposite() const noexcept { return m_composite; }
    bool isDerived() const noexcept { return m_derived; }
    bool isReadOnly() const noexcept { return m_readOnly; }
    bool isOrdered() const noexcept { return m_ordered; }
    bool isUnique() const noexcept { return m_unique; }
    bool isTransient() const noexcept { return m_transient; }
    bool hasPublicMutator() const noexcept { return m_publicMutator; }
    bool isQualificationUnique() const noexcept { return m_qualificationUnique; }
    bool hasCustomQualification() const noexcept { return m_customQualification; }
    // Mandatory: exactly one value (kind single).
    bool isMandatory() const noexcept { return m_kind == ValueKind::Single; }
    void setDerived(bool value) noexcept { m_derived = value; }
    void setReadOnly(bool value) noexcept { m_readOnly = value; }
    void setOrdered(bool value) noexcept { m_ordered = value; }
    void setUnique(bool value) noexcept { m_unique = value; }
    void setTransient(bool value) noexcept { m_transient = value; }
    void setPublicMutator(bool value) noexcept { m_publicMutator = value; }
    void setQualificationUnique(bool value) noexcept { m_qualificationUnique = value; }
    void setCustomQualification(bool value) noexcept { m_customQualification = value; }

    // Whether a default was declared, and which (an empty optional is a declared "no default").
    bool hasDefaultValue() const noexcept { return m_hasDefault; }
    const boost::optional<Value>& getDefaultValue() const noexcept { return m_default; }
    void setDefaultValue(boost::optional<Value> value) {
        m_hasDefault = true;
        m_default = std::move(value);
    }

    // The 1-based position among the class's stored properties; 0 for a derived property.
    std::size_t getIndex() const noexcept { return m_index; }
    bool hasIndex() const noexcept { return m_index != 0; }

    const Class::Impl* owningClass() const noexcept { return m_owner; }
    Class getOwningClass() const;
    // Makes `owner` the class that declares (and contains) this property.
    void setOwningType(const Class& owner);

    const Property& getOpposite() const noexcept { return m_opposite; }
    void setOpposite(const Property& opposite) { m_opposite = opposite; }

    // Package, class and property names joined by dots ("treeNode.TreeNode.isInherited").
    std::u16string getQualifiedName() const;

protected:
    void releaseReferences() override;

private:
    friend class Property;
    friend class AbstractMetaPackage;
    using TypedElement::Impl::Impl;

    ValueKind m_kind = ValueKind::Optional;
    bool m_composite = false;
    bool m_derived = false;
    bool m_readOnly = false;
    bool m_ordered = false;
    bool m_unique = false;
    bool m_transient = false;
    bool m_publicMutator = true;
    bool m_qualificationUnique = false;
    bool m_customQualification = false;
    bool m_hasDefault = false;
    boost::optional<Value> m_default;
    std::size_t m_index = 0;
    const Class::Impl* m_owner = nullptr;
    Property m_opposite;
};

}  // namespace fenmo::meta

FENMO_API_END
