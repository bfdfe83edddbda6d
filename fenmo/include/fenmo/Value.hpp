#pragma once
// A typed value of the metamodel: text, boolean, integer, enumerator, host pointer, element, or a
// sequence, set or map of such values, or a view of a live collection.

#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>

#include <boost/none.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

class AbstractCollection;
namespace meta {
class Type;
class Property;
}  // namespace meta

// How many values a value (or a property) holds and how: one or none, exactly one, a sequence, a set or
// a keyed map. The numbers are those of the persisted metamodel.
enum class ValueKind : std::uint8_t { Optional = 0, Single = 1, Sequence = 2, Set = 3, Map = 5 };
// The name the metamodel's interfaces give the kind (ValueMeta's flags).
using ValueFlags = ValueKind;

// The type and kind of a value. The type is borrowed from the metamodel registry: values must not
// outlive the registration of their type.
class ValueMeta {
public:
    ValueMeta() noexcept = default;
    ValueMeta(const ModelElement::Impl* entryType, ValueKind flags) noexcept
        : m_entryType(entryType), m_flags(flags) {}

    ValueKind getFlags() const noexcept { return m_flags; }
    meta::Type getEntryType() const;
    const ModelElement::Impl* entryTypeImpl() const noexcept { return m_entryType; }
    bool isCollection() const noexcept { return static_cast<int>(m_flags) >= 2; }

    friend bool operator==(const ValueMeta& a, const ValueMeta& b) noexcept {
        return a.m_entryType == b.m_entryType && a.m_flags == b.m_flags;
    }

private:
    const ModelElement::Impl* m_entryType = nullptr;
    ValueKind m_flags = ValueKind::Optional;
};

// A view of a collection owned by an element; keeps the owner alive.
struct CollectionView {
    const AbstractCollection* collection = nullptr;
    ModelElement owner;
    friend bool operator==(const CollectionView& a, const CollectionView& b) noexcept {
        return a.collection == b.collection;
    }
};

class Value {
public:
    using List = std::vector<Value>;
    using Payload = std::variant<std::monostate, bool, std::int32_t, std::u16string, const void*, ModelElement,
                                 std::shared_ptr<const List>, CollectionView>;

    // A value of no type.
    Value() noexcept = default;
    // The empty value of a type: kind optional, no payload.
    Value(const meta::Type& type, boost::none_t) noexcept;
    Value(ValueMeta meta, Payload payload, bool unmanaged = false) noexcept
        : m_meta(meta), m_unmanaged(unmanaged), m_payload(std::move(payload)) {}
    // A value of `meta` without payload.
    explicit Value(ValueMeta meta) noexcept : m_meta(meta) {}
    // A value whose payload of type T is made in place from `args`.
    template <class T, class... Args>
    Value(ValueMeta meta, std::in_place_type_t<T> type, Args&&... args)
        : m_meta(meta), m_payload(type, std::forward<Args>(args)...) {}

    // Single values of the standard types.
    static Value ofString(std::u16string text);
    static Value ofInteger(std::int32_t value);
    static Value ofBoolean(bool value);
    // Single values of a given type.
    static Value ofEnum(const meta::Type& type, std::int32_t value);
    static Value ofPointer(const meta::Type& type, const void* pointer);
    // An element value typed by the element's own class (or by `declared` when the handle is empty).
    static Value ofElement(const ModelElement& element);
    static Value ofElement(const meta::Type& declared, const ModelElement& element);
    // A single value without payload, read as the zero value of its type.
    static Value singleWithoutPayload(const meta::Type& type);
    // A sequence or set value that holds its entries itself ("unmanaged": no element owns them).
    static Value ofList(const meta::Type& entryType, ValueKind flags, List entries);
    // Views of an element's live collection of elements or of primitive values.
    static Value createElementCollectionValue(const meta::Property& property, const AbstractCollection& collection);
    static Value createPrimitiveCollectionValue(const meta::Property& property,
                                                const AbstractCollection& collection);

    const ValueMeta& getMeta() const noexcept { return m_meta; }
    ValueKind getFlags() const noexcept { return m_meta.getFlags(); }
    meta::Type getType() const;
    const ModelElement::Impl* typeImpl() const noexcept { return m_meta.entryTypeImpl(); }
    bool isUnmanaged() const noexcept { return m_unmanaged; }

    bool hasPayload() const noexcept { return m_payload.index() != 0; }
    const Payload& payload() const noexcept { return m_payload; }
    template <class T>
    const T* getIf() const noexcept {
        return std::get_if<T>(&m_payload);
    }

    // Typed reads; a value without payload reads as the zero value. A payload of another kind throws
    // CannotCastIncompatibleTypes with the value type's qualified name.
    std::u16string getString() const;
    bool getBoolean() const;
    std::int32_t getInteger() const;
    const void* getPointer() const;
    ModelElement getElement() const;
    // Entries of a list value or of a collection view.
    List getEntries() const;
    const AbstractCollection* getCollection() const noexcept;

    // The qualified name of the value's type, for messages.
    std::u16string typeName() const;

    FENMO_API friend bool operator==(const Value& a, const Value& b) noexcept;
    friend bool operator!=(const Value& a, const Value& b) noexcept { return !(a == b); }

private:
    [[noreturn]] void throwIncompatible() const;

    ValueMeta m_meta;
    bool m_unmanaged = false;
    Payload m_payload;
};

namespace internal {
// True for enumeration types, whose values travel as 32-bit integers.
bool isEnumType(const meta::Type& type);
}  // namespace internal

}  // namespace fenmo

FENMO_API_END
