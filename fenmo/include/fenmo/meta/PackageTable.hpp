#pragma once
// A metamodel written down as constant data: a root package and its packages, each a set of tables of
// rows (primitive types, classes with their properties and operations, enumerations with their
// literals, serializers). PackageLoader registers them; readers of the metamodel (persistence, queries,
// bindings, tools) can read them without anything being registered. Rows refer to one another by row
// number; a library's generator writes them.

#include <fenmo/Export.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/PropertySerializer.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <typeinfo>

FENMO_API_BEGIN

namespace fenmo::meta {

class AbstractMethodInvoker;
class Operation;
class Type;
namespace detail {
class CollectionInstantiator;
}

struct PackageTable;

// A type a row refers to: one of the framework's standard types, or a row of a package's tables.
struct TypeRef {
    enum class Table : std::uint8_t { Standard, Primitive, Class, Enum };
    enum Standard : std::uint16_t { String, Integer, Boolean, ModelElement };

    Table table = Table::Standard;
    std::uint16_t row = 0;
    // The package whose table holds the row; none for the package of the row that refers.
    const PackageTable* package = nullptr;
};

// The flags of a property, each set by the setter of the same name.
enum PropertyFlag : std::uint16_t {
    Derived = 1 << 0,
    ReadOnly = 1 << 1,
    Ordered = 1 << 2,
    Unique = 1 << 3,
    Transient = 1 << 4,
    NoPublicMutator = 1 << 5,
    DefaultNone = 1 << 6,
    QualificationUnique = 1 << 7,
    CustomQualification = 1 << 8,
};

// "No row" (an opposite) and "no index" (a derived property).
inline constexpr std::uint16_t kNoRow = 0xffff;
inline constexpr std::uint16_t kNoIndex = 0;

using InstantiatorFactory = std::unique_ptr<detail::CollectionInstantiator> (*)();
using InvokerFactory = std::unique_ptr<AbstractMethodInvoker> (*)(const Operation& operation);
using SerializerFactory = PropertySerializer* (*)(const Type& type);
// Whether a registered serializer is of the class the row's factory makes (tested by run-time type).
using SerializerTest = bool (*)(const PropertySerializer& serializer);
using TypeIdName = const char* (*)();

// A range of rows of another table of the same package.
struct Rows {
    std::uint16_t first = 0;
    std::uint16_t count = 0;
};

struct PropertyRow {
    const char16_t* name;
    const char* identity;
    ValueKind kind;
    bool composite;
    std::uint16_t flags;
    std::uint16_t index;  // kNoIndex for derived properties
    TypeRef type;
    std::uint16_t opposite;  // a row of the package's properties, or kNoRow
};

// An operation with its one input argument (bounds 1..1).
struct OperationRow {
    const char16_t* name;
    const char* identity;
    const char16_t* argumentName;
    const char* argumentIdentity;
    TypeRef argumentType;
    InvokerFactory invoker;
};

struct SerializerRow {
    const char16_t* key;
    SerializerFactory make;
    SerializerTest isOurs;
};

struct PrimitiveRow {
    const char16_t* name;
    const char* identity;
    const char16_t* nativeName;
    TypeIdName typeIdName;
    InstantiatorFactory instantiator;
    Rows serializers;
};

struct ClassRow {
    const char16_t* name;
    const char* identity;
    const char16_t* qualifiedName;
    const char16_t* nativeName;
    TypeRef superclass;
    Rows properties;
    Rows operations;
    InstantiatorFactory instantiator;
    BuilderFactory builder;
};

struct LiteralRow {
    const char16_t* name;
    const char* identity;
    std::int32_t value;
};

struct EnumRow {
    const char16_t* name;
    const char* identity;
    const char16_t* qualifiedName;
    const char16_t* nativeName;
    TypeRef underlying;
    Rows literals;
    InstantiatorFactory instantiator;
    Rows serializers;
};

struct PackageTable {
    const char16_t* name;
    const char16_t* uri;
    std::span<const PrimitiveRow> primitives;
    std::span<const ClassRow> classes;
    std::span<const PropertyRow> properties;
    std::span<const OperationRow> operations;
    std::span<const EnumRow> enums;
    std::span<const LiteralRow> literals;
    std::span<const SerializerRow> serializers;
};

// The root package, with the packages it holds in registration order.
struct RootTable {
    const char* identity;
    const char16_t* uri;
    std::span<const PackageTable* const> packages;
};

// Factories for the rows, one instantiation per class a library registers.
template <class Instantiator>
std::unique_ptr<detail::CollectionInstantiator> makeInstantiator() {
    return std::make_unique<Instantiator>();
}
template <class Serializer>
PropertySerializer* makeSerializer(const Type& type) {
    return new Serializer(type);
}
template <class Serializer>
bool isSerializer(const PropertySerializer& serializer) {
    return typeid(serializer) == typeid(Serializer);
}
template <class T>
const char* typeIdName() {
    return typeid(T).name();
}

}  // namespace fenmo::meta

FENMO_API_END
