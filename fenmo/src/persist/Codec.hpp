#pragma once
// What the XML writer, the loader and the model comparison share: which properties a file holds, the
// text of their values, and the reflective calls they make on elements.

#include <fenmo/Builder.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Property.hpp>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fenmo::persist {

// Reflective access, kept in one place. Reads leave proxies as they are; writes may set properties
// that have no public mutator (loading restores what was saved).
bool hasValue(ModelElement::Impl& element, const meta::Property& property);
Value readValue(ModelElement::Impl& element, const meta::Property& property);
void writeValue(ModelElement::Impl& element, const meta::Property& property, const Value& value);
std::unique_ptr<ModelElement::Builder> newBuilder(const meta::Class& metaClass);

// How a property's values are written.
enum class Shape { String, Boolean, Integer, Enum, Pointer, Element };
Shape shapeOf(const meta::Property& property);

// The properties a file holds for elements of a class, inherited ones first: stored ones that are
// neither derived nor transient; of two opposite references only one end (the single-valued one, or
// the one with the lower identity), and never the end that points at a container.
std::vector<meta::Property> persistedProperties(const meta::Class::Impl& metaClass);
// Whether a missing value makes a file invalid: exactly one value of a non-element type.
bool isMandatoryValue(const meta::Property& property);

// A value that could not be read; says what was expected.
class ParseFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of one entry of a non-element property (strings as they are; booleans "true"/"false";
// integers in decimal; enumerators and host pointers as their serializers write them, pointers without
// one as "0x" and sixteen hex digits). Throws SaveFailedException for text no XML file can hold.
std::u16string textOf(const meta::Property& property, Shape shape, const Value& value);
// Refuses a text that holds U+0000 or an unpaired surrogate at `position` (in UTF-16 units): XML 1.0
// holds neither.
[[noreturn]] void refuseXmlText(const meta::Property& property, std::size_t position);
// The single value `text` stands for; throws ParseFailure.
Value parseText(const meta::Property& property, Shape shape, std::u16string_view text);

// The token of a reference: the target's identity, or for a proxy "[Class:]model#element" (the class
// when it is not the property's type).
std::string referenceToken(const Model::Impl& holder, const ModelElement& target,
                           const meta::Property& property);

// The entries of a value as a list (one entry for a single value, none for an empty one).
Value::List entriesOf(const Value& value);

}  // namespace fenmo::persist
