#pragma once
// The base of every metamodel element: a named element of the registry model that may contain others.

#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>

#include <string>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::meta {

class NamedElement : public ElementHandle<NamedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
};

class NamedElement::Impl : public ModelElement::Impl {
public:
    const std::u16string& getName() const noexcept { return m_name; }
    void setName(std::u16string name) { m_name = std::move(name); }

    // Metamodel elements are described by the framework itself, not by a registered class.
    const Class& getMetaClass() const override;
    // The elements this one declares (a package its types, a class its properties and operations ...).
    const std::vector<ModelElement>& getContents() const noexcept { return m_contents; }

    void doDestroy(bool notify, bool disassociate) override;
    void inverseRemove(const ModelElement& element, const Property& property) override;
    void basicDisassociateAll() override;

protected:
    using ModelElement::Impl::Impl;

    // Makes this element the container of `element`, taking it from its previous container.
    void contain(const ModelElement& element);
    // Drops references to other metamodel elements; run as the element is destroyed, since such
    // references may form cycles (a class whose property is typed by the class).
    virtual void releaseReferences() {}

private:
    std::u16string m_name;
    std::vector<ModelElement> m_contents;
};

}  // namespace fenmo::meta

FENMO_API_END
