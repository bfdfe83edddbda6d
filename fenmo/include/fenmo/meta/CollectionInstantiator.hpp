#pragma once
// Instantiators build the collection object that holds the values of a multi-valued property of a type.

#include <fenmo/Export.hpp>
#include <fenmo/ElementSequence.hpp>
#include <fenmo/PrimitiveSet.hpp>
#include <fenmo/meta/Property.hpp>

#include <memory>

FENMO_API_BEGIN

namespace fenmo::meta {

// Kind 0: no collection. Kind 1: an ElementSequence of T for sequence properties. Kind 2: a PrimitiveSet
// of T for set properties; a single value, a sequence or a map of T gets none.
template <class T, int Kind, int Qualified = 0, class Extra = void>
class CollectionInstantiatorImpl final : public detail::CollectionInstantiator {
    static_assert(Kind >= 0 && Kind <= 2, "collection kinds are 0, 1 and 2");

public:
    AbstractCollection* instantiate(ModelElement::Impl& owner, const Property& property) const override {
        if constexpr (Kind == 1) {
            if (property->isSequence()) return new ElementSequence<T>(owner, property);
        } else if constexpr (Kind == 2) {
            if (property->getKind() == ValueKind::Set) return new PrimitiveSet<T>(owner, property);
        }
        (void)owner;
        (void)property;
        return nullptr;
    }
    AbstractCollection* instantiateQualified(ModelElement::Impl&, const Property&) const override { return nullptr; }
};

}  // namespace fenmo::meta

FENMO_API_END
