#pragma once
// Reading, writing and creating elements by their metamodel: the one entry point for hosts, printers,
// persistence and scripting. Each operation names the element, the meta::Property, meta::Operation or
// meta::Class, and works under the access mode the Reflection was made with.
//
//     fenmo::Reflection reflection;                               // public access, proxies resolved
//     fenmo::Value v = reflection.get(element, property);
//     fenmo::Reflection(fenmo::Access::Privileged).set(element, protectedProperty, value);

#include <fenmo/Export.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Property.hpp>

#include <boost/optional.hpp>

#include <utility>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

namespace meta {
class Operation;
}

class Reflection {
public:
    // Property values given to create(), applied in order through the class's builder.
    using Assignments = std::vector<std::pair<meta::Property, Value>>;

    constexpr explicit Reflection(Access access = Access::Public, Proxies proxies = Proxies::Resolve) noexcept
        : m_tag(access, proxies) {}

    Access access() const noexcept { return m_tag.access(); }
    Proxies proxies() const noexcept { return m_tag.proxies(); }
    // The tag the element classes' virtual operations take, for code that calls them itself.
    const ReflectionPrivateTag& tag() const noexcept { return m_tag; }

    // Whether the property has a value: an engaged optional, a held element, a non-empty collection.
    bool has(const ModelElement& element, const meta::Property& property) const {
        return checked(element)->hasPropertyValue(property, m_tag);
    }
    // The property's value: a single value, the empty value of the property's type when unset, or a
    // view of a collection. A property the element's class does not have fails with "InvalidValue".
    Value get(const ModelElement& element, const meta::Property& property) const {
        return checked(element)->getPropertyValue(property, m_tag);
    }
    // Writes a single-valued property with the checks of the typed setter, as one change (one undo step,
    // all or nothing, even where the class's setter takes several). A property without public mutator
    // needs Access::Privileged ("CannotSetReadOnlyProperty").
    void set(const ModelElement& element, const meta::Property& property, const Value& value) const;
    // Takes the property's value away as one change: an optional scalar becomes unset, a single element
    // slot (containment or reference) empty, a collection is cleared. A property that always has a value
    // is refused with "InvalidValue", a read-only one with "CannotSetReadOnlyProperty"; a refusal changes
    // nothing.
    void unset(const ModelElement& element, const meta::Property& property) const;

    // The properties of the element's class, stored and derived, inherited ones first, each class's in
    // declaration order (which is index order for the stored ones).
    std::vector<meta::Property> properties(const ModelElement& element) const;
    // Calls f(property) for each of those properties, in the same order.
    template <class F>
    void forEachProperty(const ModelElement& element, F&& f) const {
        forEachOf(*checked(element)->getMetaClass().get(), f);
    }

    // Calls an operation of the element's class with the given arguments; its result, if it has one.
    boost::optional<Value> invoke(const ModelElement& element, const meta::Operation& operation,
                                  const std::vector<Value>& arguments) const {
        return checked(element)->invoke(operation, arguments, m_tag);
    }

    // A new element of `cls` in `model`, made by the class's registered builder with the given values,
    // with identity `id` (nil: a new one), in one transaction. A class without builder (abstract, or not
    // registered with one) fails with "InvalidValue" naming it; nothing is created when a value is refused.
    // Builders take every property of their class, so this does not depend on the access mode.
    ModelElement create(const Model& model, const meta::Class& cls, const Assignments& values,
                        const uuid& id = uuid()) const;
    ModelElement create(const Model& model, const meta::Class& cls, const uuid& id = uuid()) const {
        return create(model, cls, Assignments(), id);
    }

private:
    // The element's implementation; an empty handle fails with "InvalidValue".
    static ModelElement::Impl* checked(const ModelElement& element) {
        ModelElement::Impl* impl = element.get();
        if (!impl) throwNoElement();
        return impl;
    }
    [[noreturn]] static void throwNoElement();

    template <class F>
    static void forEachOf(const meta::Class::Impl& cls, F& f) {
        for (const meta::Class& super : cls.getSuperclasses()) forEachOf(*super.get(), f);
        for (const meta::Property& property : cls.getProperties()) f(property);
    }

    ReflectionPrivateTag m_tag;
};

}  // namespace fenmo

FENMO_API_END
