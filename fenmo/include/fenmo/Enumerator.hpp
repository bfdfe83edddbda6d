#pragma once
// Enumerators that no literal of their enumeration has are refused wherever a value is stored: they
// would be kept, then written as text that does not parse back.

#include <fenmo/Export.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>

#include <boost/optional.hpp>

#include <concepts>
#include <cstdint>
#include <type_traits>

FENMO_API_BEGIN

namespace fenmo {

// An enumeration of a metamodel: beside it, found by argument-dependent lookup, a function
// `isKnown(E)` says whether a literal has the value.
template <class E>
concept DeclaredEnumeration = std::is_enum_v<E> && requires(E value) {
    { isKnown(value) } -> std::same_as<bool>;
};

// Returns `value`, or throws "InvalidValue" with the number when it is an enumerator that no literal
// has. Values of other types pass unchecked.
template <class T>
const T& checkEnumerator(const T& value) {
    if constexpr (std::is_enum_v<T>) {
        static_assert(DeclaredEnumeration<T>, "a stored enumeration needs isKnown(E) beside it");
        if (!isKnown(value)) throw InvalidValueException({widenNumber(static_cast<std::int32_t>(value))});
    }
    return value;
}

template <class T>
const boost::optional<T>& checkEnumerator(const boost::optional<T>& value) {
    if (value) checkEnumerator(*value);
    return value;
}

}  // namespace fenmo

FENMO_API_END
