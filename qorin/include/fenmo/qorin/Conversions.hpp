#pragma once
// Crossing into and out of the host: elements, collections and models become scripting objects bound to
// them (one object per element, collection or model, holding one reference while the host keeps it),
// and the property values of the element API become host arrays and back.

#include <fenmo/Collection.hpp>
#include <fenmo/DoubleKeyElementMap.hpp>
#include <fenmo/ElementSequence.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/Model.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/qorin/Export.hpp>
#include <plexo/ClassSystem.hpp>
#include <plexo/HostArray.hpp>

#include <boost/optional.hpp>

#include <cstdint>
#include <memory>
#include <string>

QORIN_API_BEGIN

namespace fenmo::qorin {

// The scripting class of elements of `cls`: the class itself when the host knows one by its qualified
// name, else its nearest superclass that has one, else "fenmo.ModelElement".
plexo::ClassId scriptingClassOf(const meta::Class& cls);

// The scripting object of an element (new 1x1 array), bound on first crossing; an empty handle gives a
// 0x0 array of the declared class's scripting class.
plexo::HostArray* elementToHost(const ModelElement& element, const meta::Class& declared);
// The element an object stands for: empty for an empty array, and for an object that is not of the
// declared class (or a subclass).
ModelElement elementFromHost(const plexo::HostArray& array, const meta::Class& declared, std::size_t i = 0);
// What a wrapper's release operation does: forget the binding and drop the reference it held.
void releaseElementBinding(void* native);

// A collection's scripting object ("fenmo.Sequence" for sequences, "fenmo.Map" for maps, else
// "fenmo.Set"; null gives an empty "fenmo.Set"). With `generic`, scripts can change the collection
// through the object; without, it is read-only.
plexo::HostArray* collectionToHost(const AbstractCollection* collection,
                                   std::unique_ptr<GenericCollectionInterface> generic = nullptr,
                                   const char* scriptingClass = nullptr);
template <class T>
plexo::HostArray* collectionToHost(ElementSequence<T>& sequence) {
    return collectionToHost(&sequence,
                            std::make_unique<typename ElementSequence<T>::GenericSequence>(sequence));
}
template <class K1, class K2, class T>
plexo::HostArray* collectionToHost(DoubleKeyElementMap<K1, K2, T>& map) {
    return collectionToHost(&map, std::make_unique<WrapperInterface<DoubleKeyElementMap<K1, K2, T>>>(map));
}

// The scripting object of a model, and the model an object stands for (empty if none).
plexo::HostArray* modelToHost(const Model& model);
Model modelFromHost(const plexo::HostArray& array);
// The scripting object of a metaclass ("fenmo.meta.Class").
plexo::HostArray* metaClassToHost(const meta::Class& cls);

// Scalar property values in the shapes scripts see them.
plexo::HostArray* textToHost(const std::u16string& text);
plexo::HostArray* textToHost(const boost::optional<std::u16string>& text);
std::u16string textFromHost(const plexo::HostArray& array);
plexo::HostArray* optionalInt32ToHost(const boost::optional<std::int32_t>& value);
// Empty: unset; else the first element as int32.
boost::optional<std::int32_t> optionalInt32FromHost(const plexo::HostArray& array);
plexo::HostArray* optionalLogicalToHost(const boost::optional<bool>& value);
boost::optional<bool> optionalLogicalFromHost(const plexo::HostArray& array);
// An enumeration value of the scripting class `enumClass` (its full name): an empty array when unset.
plexo::HostArray* optionalEnumToHost(const boost::optional<std::int32_t>& value,
                                     const std::string& enumClass);
// Empty: unset; a member of exactly that class: its value; anything else: 0.
boost::optional<std::int32_t> optionalEnumFromHost(const plexo::HostArray& array,
                                                   const std::string& enumClass);

}  // namespace fenmo::qorin

QORIN_API_END
