#pragma once
// Packages: named, identified by URI, nested below a root package.

#include <fenmo/Export.hpp>
#include <fenmo/meta/NamedElement.hpp>

#include <string>

FENMO_API_BEGIN

namespace fenmo::meta {

class Package : public ElementHandle<Package, NamedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    static Package create(const Model& model, const uuid& id);
};

class Package::Impl : public NamedElement::Impl {
public:
    const std::u16string& getUri() const noexcept { return m_uri; }
    void setUri(std::u16string uri) { m_uri = std::move(uri); }

    Package getParentPackage() const;
    // Makes this package a sub-package of `parent`, which then contains it.
    void setParentPackage(const Package& parent);
    // Adds `element` to the elements this package declares.
    void addContent(const ModelElement& element) { contain(element); }

private:
    friend class Package;
    using NamedElement::Impl::Impl;
    std::u16string m_uri;
};

}  // namespace fenmo::meta

FENMO_API_END
