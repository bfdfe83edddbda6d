#pragma once
// How a generated element class lets queries and saving read its fields directly: from the class's
// property list (X::Impl::Properties) and a property index, the readers of fenmo/query/Node.hpp that suit
// the field.

#include <fenmo/DoubleKeyElementMap.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>
#include <fenmo/OptionalEnumerator.hpp>
#include <fenmo/SharedText.hpp>
#include <fenmo/pattern/Properties.hpp>
#include <fenmo/query/Node.hpp>

#include <boost/optional.hpp>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

FENMO_API_BEGIN

namespace fenmo::query::detail {

template <std::size_t I, class... Ps>
struct FindStored {
    using type = void;
};
template <std::size_t I, class P, class... Ps>
struct FindStored<I, P, Ps...> {
    using type = std::conditional_t<(P::stored && P::index == I), P, typename FindStored<I, Ps...>::type>;
};

// The descriptor of the stored property with index I.
template <class List, std::size_t I>
struct DescriptorAt;
template <class... Ps, std::size_t I>
struct DescriptorAt<pattern::PropertyList<Ps...>, I> {
    using type = typename FindStored<I, Ps...>::type;
    static_assert(!std::is_void_v<type>, "no stored property with this index");
};

template <class F>
struct Unwrapped {
    using type = F;
    static constexpr bool optional = false;
};
template <class T>
struct Unwrapped<boost::optional<T>> {
    using type = T;
    static constexpr bool optional = true;
};

template <class E>
struct Unwrapped<OptionalEnumerator<E>> {
    using type = E;
    static constexpr bool optional = true;
};
template <>
struct Unwrapped<SharedText> {
    using type = std::u16string;
    static constexpr bool optional = true;
};

template <class T>
inline constexpr bool isNumberLike =
    std::is_same_v<T, int> || std::is_same_v<T, std::int32_t> || std::is_same_v<T, bool> || std::is_enum_v<T>;

template <class D>
const typename D::FieldType& fieldOf(const ModelElement::Impl& e) noexcept {
    return D::field(static_cast<const typename D::Owner&>(e));
}

template <class D>
const std::u16string* textOf(const ModelElement::Impl& e) {
    const auto& f = fieldOf<D>(e);
    if constexpr (Unwrapped<typename D::FieldType>::optional)
        return f ? &*f : nullptr;
    else
        return &f;
}

template <class D>
bool numberOf(const ModelElement::Impl& e, std::int32_t& out) {
    const auto& f = fieldOf<D>(e);
    if constexpr (Unwrapped<typename D::FieldType>::optional) {
        if (!f) return false;
        out = static_cast<std::int32_t>(*f);
    } else {
        out = static_cast<std::int32_t>(f);
    }
    return true;
}

template <class D>
ModelElement::Impl* elementOf(const ModelElement::Impl& e) {
    return fieldOf<D>(e).get();
}

template <class D>
void collectionOf(const ModelElement::Impl& e, CollectionVisitor& visitor) {
    for (const auto& element : fieldOf<D>(e))
        if (!visitor.visit(element.get())) return;
}

template <class D>
std::size_t sizeOf(const ModelElement::Impl& e) {
    return fieldOf<D>(e).size();
}

template <class F>
inline constexpr bool isElementCollection = requires(const F& f) {
    { f.begin()->get() } -> std::convertible_to<const ModelElement::Impl*>;
    f.size();
};

// The readers that suit the field of descriptor D; none for a field of another kind (a host pointer, a
// set of primitive values).
template <class D>
PropertyAccess readersOf(const meta::Property& property) {
    using V = typename Unwrapped<typename D::FieldType>::type;
    PropertyAccess access;
    access.property = property;
    if constexpr (std::is_same_v<V, std::u16string>) {
        access.text = &textOf<D>;
    } else if constexpr (isNumberLike<V>) {
        access.number = &numberOf<D>;
    } else if constexpr (std::is_base_of_v<ModelElement, V>) {
        access.element = &elementOf<D>;
    } else if constexpr (isElementCollection<V>) {
        access.collection = &collectionOf<D>;
        access.size = &sizeOf<D>;
    }
    return access;
}

// The access of property `property`, stored at index I of the class whose property list is List.
template <class List, std::size_t I>
PropertyAccess accessOf(const meta::Property& property, const KeyedOpposite* keyedOpposite = nullptr) {
    using D = typename DescriptorAt<List, I>::type;
    PropertyAccess access = readersOf<D>(property);
    if (access.element) access.keyedOpposite = keyedOpposite;
    return access;
}

// The readers of `property` when it is a stored property of the class whose property list is List and
// its field has a kind readersOf serves: what a class hands out through ModelElement::Impl::fieldReaders.
template <class List>
bool tryReaders(const meta::Property& property, PropertyAccess& access) {
    bool found = false;
    List::visit(property, [&](auto p) {
        using P = decltype(p);
        if constexpr (P::stored) {
            access = readersOf<P>(property);
            found = access.text || access.number || access.element || access.collection;
        }
    });
    return found;
}

template <class D, int K>
ModelElement::Impl* findTextKey(const ModelElement::Impl& owner, const std::u16string& key) {
    const auto& map = fieldOf<D>(owner);
    if constexpr (K == 0)
        return map.findByFirstKey(key).get();
    else
        return map.findBySecondKey(key).get();
}

template <class D, int K>
ModelElement::Impl* findNumberKey(const ModelElement::Impl& owner, std::int32_t key) {
    const auto& map = fieldOf<D>(owner);
    if constexpr (K == 0)
        return map.findByFirstKey(key).get();
    else
        return map.findBySecondKey(key).get();
}

template <class Map>
struct MapKeys;
template <class K1, class K2, class T>
struct MapKeys<DoubleKeyElementMap<K1, K2, T>> {
    using First = K1;
    using Second = K2;
};

template <class D, int K, class Key>
void setFinder(KeyedOpposite& keyed) {
    if constexpr (std::is_same_v<Key, std::u16string>)
        keyed.findText[K] = &findTextKey<D, K>;
    else if constexpr (isNumberLike<Key>)
        keyed.findNumber[K] = &findNumberKey<D, K>;
}

// The keyed map at index I of the class whose property list is List, which files its elements under
// the properties `first` and `second`: the look-ups an equality on either key is answered with.
template <class List, std::size_t I>
const KeyedOpposite* keyedOppositeOf(const meta::Property& first, const meta::Property& second) {
    using D = typename DescriptorAt<List, I>::type;
    using Keys = MapKeys<typename D::FieldType>;
    static const KeyedOpposite keyed = [&] {
        KeyedOpposite k;
        k.keys[0] = first.get();
        k.keys[1] = second.get();
        setFinder<D, 0, typename Keys::First>(k);
        setFinder<D, 1, typename Keys::Second>(k);
        return k;
    }();
    return &keyed;
}

}  // namespace fenmo::query::detail

FENMO_API_END
