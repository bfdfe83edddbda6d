#pragma once
// Conversion between stored scalar fields and reflective values.

#include <fenmo/Enumerator.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/OptionalEnumerator.hpp>
#include <fenmo/SharedText.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Property.hpp>

#include <boost/optional.hpp>

#include <cstdint>
#include <string>
#include <type_traits>

FENMO_API_BEGIN

namespace fenmo::pattern {

// The payload alternative a scalar of type T travels as.
template <class T>
using PayloadOf =
    std::conditional_t<std::is_same_v<T, std::u16string> || std::is_same_v<T, bool>, T,
                       std::conditional_t<std::is_enum_v<T> || std::is_integral_v<T>, std::int32_t,
                                          std::conditional_t<std::is_pointer_v<T>, const void*, void>>>;

// The payload of `value` as a T; a value without payload reads as the zero value of T. An enumerator
// that no literal has is refused.
template <class T>
T fromPayload(const Value& value) {
    if constexpr (std::is_same_v<T, std::u16string>) return value.getString();
    else if constexpr (std::is_same_v<T, bool>) return value.getBoolean();
    else if constexpr (std::is_enum_v<T>)
        return checkEnumerator(static_cast<T>(value.getInteger()));
    else if constexpr (std::is_integral_v<T>)
        return static_cast<T>(value.getInteger());
    else if constexpr (std::is_pointer_v<T>) return static_cast<T>(const_cast<void*>(value.getPointer()));
    else static_assert(sizeof(T) == 0, "unsupported scalar type");
}

// A single value of the property's type holding `value`.
template <class T>
Value toValue(const meta::Property::Impl& property, const T& value) {
    using P = PayloadOf<T>;
    static_assert(!std::is_void_v<P>, "unsupported scalar type");
    // Made in place: a reflective read costs one copy of the text, no temporary payload.
    if constexpr (std::is_same_v<P, T>)
        return Value(ValueMeta(property.typeImpl(), ValueKind::Single), std::in_place_type<P>, value);
    else
        return Value(ValueMeta(property.typeImpl(), ValueKind::Single), std::in_place_type<P>,
                     static_cast<P>(value));
}

// A single value holding the optional's value, or the empty value of the property's type.
template <class T>
Value toValue(const meta::Property::Impl& property, const boost::optional<T>& value) {
    if (!value) {
        if (property.isMandatory()) throw InvalidValueException();
        return Value(ValueMeta(property.typeImpl(), ValueKind::Optional));
    }
    return toValue(property, *value);
}

inline Value toValue(const meta::Property::Impl& property, const SharedText& text) {
    return toValue(property, text.get());
}
template <class E>
Value toValue(const meta::Property::Impl& property, const OptionalEnumerator<E>& value) {
    return toValue(property, value.get());
}

// Tests that `value` is an optional or single value of the property's type; throws
// CannotCastIncompatibleTypes naming the value's type otherwise.
inline void checkScalarValue(const meta::Property::Impl& property, const Value& value) {
    ValueKind flags = value.getFlags();
    if ((flags != ValueKind::Optional && flags != ValueKind::Single) ||
        value.typeImpl() != property.typeImpl())
        throw CannotCastIncompatibleTypesException({value.typeName()});
}

// A single value becomes an engaged optional (the zero value when it carries no payload); the empty
// value of the type becomes a disengaged one.
template <class T>
boost::optional<T> fromValue(const meta::Property::Impl& property, const Value& value) {
    checkScalarValue(property, value);
    if (value.getFlags() != ValueKind::Single) return boost::none;
    return fromPayload<T>(value);
}

// For a property that always has a value: only a single value is accepted.
template <class T>
T plainFromValue(const meta::Property::Impl& property, const Value& value) {
    checkScalarValue(property, value);
    if (value.getFlags() != ValueKind::Single) throw InvalidValueException({property.getQualifiedName()});
    return fromPayload<T>(value);
}

// The element a value carries, as a handle of class Y; the value's type must conform to the property's
// type (an empty value of any class passes and yields an empty handle).
template <class Y>
Y elementFromValue(const meta::Property::Impl& property, const Value& value) {
    ValueKind flags = value.getFlags();
    const auto* cls = dynamic_cast<const meta::Class::Impl*>(value.typeImpl());
    const auto* expected = dynamic_cast<const meta::Class::Impl*>(property.typeImpl());
    bool single = flags == ValueKind::Single;
    bool empty = (flags == ValueKind::Optional || single) && !value.hasPayload();
    if (!cls || (!empty && !single) || (!empty && !cls->conformsTo(expected)))
        throw CannotCastIncompatibleTypesException({value.typeName()});
    ModelElement element = value.getElement();
    Y typed = handleCast<Y>(element);
    if (element.get() && !typed.get()) throw CannotCastIncompatibleTypesException({value.typeName()});
    return typed;
}

}  // namespace fenmo::pattern

FENMO_API_END
