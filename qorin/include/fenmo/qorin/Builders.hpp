#pragma once
// Builders filled from host values: a struct's fields are the class's properties by name, converted
// by the marshaler of each property's type; and identities given as text.

#include <fenmo/Builder.hpp>
#include <fenmo/Model.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/qorin/Export.hpp>
#include <plexo/HostArray.hpp>

#include <boost/optional.hpp>

#include <memory>

QORIN_API_BEGIN

namespace fenmo::qorin {

// A builder of `cls` for `model`, filled from element `index` of a struct array, its fields in the
// struct's order. A field the class has no property for, or a value the property refuses, fails with
// "InvalidValue" naming the field (and the reason); so does a class without builder, or an array that
// is not a struct or has no element `index`. A struct field for a containment property gives a nested
// builder of the property's class.
//
// An object array that stands for an element works as a struct whose fields are that element's values:
// the stored, single-valued, non-containing properties both classes have by name (a new element made
// like an existing one).
std::unique_ptr<ModelElement::Builder> createBuilderFromStruct(const plexo::HostArray& array,
                                                               std::size_t index, const Model& model,
                                                               const meta::Class& cls);
// The same, but the fields are applied in the order of the class's properties (inherited first, then
// by index), whatever their order in the struct: the builder does not depend on how the struct was made.
std::unique_ptr<ModelElement::Builder> createBuilderFromStructFirst(const plexo::HostArray& array,
                                                                    std::size_t index, const Model& model,
                                                                    const meta::Class& cls);

// The uuid a text (char array, string, or a cell holding one) gives in the 36-character form, else none.
boost::optional<uuid> extractUuid(const plexo::HostArray& array);

}  // namespace fenmo::qorin

QORIN_API_END
