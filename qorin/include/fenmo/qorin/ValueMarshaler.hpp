#pragma once
// Value marshalers: conversion between framework Values and host arrays for one metamodel type. The
// base defines the operations; AbstractTypedValueMarshaler and TypedValueMarshaler add the collection
// values; PolicyBasedValueMarshaler does the rest through a ValuePolicy<T> that knows the host class
// and how one value looks in it. Marshalers for text, integers, booleans and elements are made from it.

#include <fenmo/Collection.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/qorin/Export.hpp>
#include <plexo/ClassSystem.hpp>
#include <plexo/HostArray.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

QORIN_API_BEGIN

namespace fenmo::qorin {

class ValueMarshaler {
public:
    ValueMarshaler() = default;
    ValueMarshaler(const ValueMarshaler&) = delete;
    ValueMarshaler& operator=(const ValueMarshaler&) = delete;
    virtual ~ValueMarshaler();

    // Loads what the conversions need (the host class).
    virtual void initializeDependencies() {}
    // Many values to one host array.
    virtual plexo::HostArray* fromCollection(const AbstractCollection& collection);
    virtual plexo::HostArray* fromValueVector(const std::vector<Value>& values) = 0;
    // One value to a host value.
    virtual plexo::HostArray* toHost(const Value& value) = 0;
    // A value of any kind: a collection view or list to one array of its entries, else toHost.
    virtual plexo::HostArray* toHostArray(const Value& value);
    virtual plexo::HostArray* toHostArray(const std::vector<Value>& values);
    virtual void releaseArray(plexo::HostArray* array);
    // One host value to a Value of the type.
    virtual Value toValue(const plexo::HostArray& array) = 0;
    // A host value to a Value of the kind: single for optional and single, else an unmanaged list.
    virtual Value fromHostArray(const plexo::HostArray& array, ValueKind kind);
    virtual std::vector<Value> toValueVector(const plexo::HostArray& array) = 0;
    virtual Value toUnmanagedCollectionValue(const plexo::HostArray& array) = 0;
    virtual Value toUnmanagedSetValue(const plexo::HostArray& array) = 0;
    virtual plexo::HostArray* emptyHostValue() = 0;
    virtual bool isEmptyScalar(const plexo::HostArray* array) = 0;
    virtual plexo::PlexoDataTypePtr dataType() = 0;
    // The name under which many values are declared.
    virtual std::string plexoQualifiedNameMulti();
    virtual plexo::ClassId classId() = 0;
    // Whether a host value can be converted: the base accepts arrays of the marshaler's class.
    virtual bool isCorrectType(const plexo::HostArray* array);
    virtual void releaseMultiValue(std::vector<Value>& values);
    virtual meta::Type type() = 0;

protected:
    // "CannotCastIncompatibleTypes" naming the data type.
    [[noreturn]] void refuse();
};

// Adds the unmanaged sequence value: the entries toValueVector gives, in order.
template <class T>
class AbstractTypedValueMarshaler : public ValueMarshaler {
public:
    Value toUnmanagedCollectionValue(const plexo::HostArray& array) override {
        return Value::ofList(type(), ValueKind::Sequence, toValueVector(array));
    }
};

// Adds the unmanaged set value: the entries without repeats, in first-seen order.
template <class T, class Extra = void>
class TypedValueMarshaler : public AbstractTypedValueMarshaler<T> {
public:
    Value toUnmanagedSetValue(const plexo::HostArray& array) override {
        std::vector<Value> unique;
        for (Value& v : this->toValueVector(array))
            if (std::find(unique.begin(), unique.end(), v) == unique.end()) unique.push_back(std::move(v));
        return Value::ofList(this->type(), ValueKind::Set, std::move(unique));
    }
};

// How values of one kind look in the host: specialised for std::u16string (char), std::int32_t
// (int32), bool (logical), ModelElement (objects of the element's scripting class) and enumerations
// (members of the enumeration's class, over int32). `cls` is the marshaler's class name.
template <class T>
struct ValuePolicy;

template <>
struct QORIN_API ValuePolicy<std::u16string> {
    static std::string className(const meta::Type&) { return "char"; }
    static bool accepts(const plexo::HostArray& array);
    static std::size_t count(const plexo::HostArray& array);
    static Value element(const plexo::HostArray& array, std::size_t i, const meta::Type& type);
    static plexo::HostArray* single(const Value& value, const meta::Type& type, const std::string& cls);
    static plexo::HostArray* many(const std::vector<Value>& values, const meta::Type& type,
                                  const std::string& cls);
    static plexo::HostArray* empty(const meta::Type& type, const std::string& cls);
};
template <>
struct QORIN_API ValuePolicy<std::int32_t> {
    static std::string className(const meta::Type&) { return "int32"; }
    static bool accepts(const plexo::HostArray& array);
    static std::size_t count(const plexo::HostArray& array) { return array.numel(); }
    static Value element(const plexo::HostArray& array, std::size_t i, const meta::Type& type);
    static plexo::HostArray* single(const Value& value, const meta::Type& type, const std::string& cls);
    static plexo::HostArray* many(const std::vector<Value>& values, const meta::Type& type,
                                  const std::string& cls);
    static plexo::HostArray* empty(const meta::Type& type, const std::string& cls);
};
template <>
struct QORIN_API ValuePolicy<bool> {
    static std::string className(const meta::Type&) { return "logical"; }
    static bool accepts(const plexo::HostArray& array);
    static std::size_t count(const plexo::HostArray& array) { return array.numel(); }
    static Value element(const plexo::HostArray& array, std::size_t i, const meta::Type& type);
    static plexo::HostArray* single(const Value& value, const meta::Type& type, const std::string& cls);
    static plexo::HostArray* many(const std::vector<Value>& values, const meta::Type& type,
                                  const std::string& cls);
    static plexo::HostArray* empty(const meta::Type& type, const std::string& cls);
};
template <>
struct QORIN_API ValuePolicy<ModelElement> {
    static std::string className(const meta::Type& type);
    static bool accepts(const plexo::HostArray& array);
    static std::size_t count(const plexo::HostArray& array) { return array.numel(); }
    static Value element(const plexo::HostArray& array, std::size_t i, const meta::Type& type);
    static plexo::HostArray* single(const Value& value, const meta::Type& type, const std::string& cls);
    // Elements may be of different classes: a 1xN cell of objects.
    static plexo::HostArray* many(const std::vector<Value>& values, const meta::Type& type,
                                  const std::string& cls);
    static plexo::HostArray* empty(const meta::Type& type, const std::string& cls);
};

template <class E>
requires std::is_enum_v<E>
struct ValuePolicy<E> {
    // The class of the enumeration's members: its qualified name.
    static std::string className(const meta::Type& type) { return toUtf8(type->getQualifiedName()); }
    static bool accepts(const plexo::HostArray& array) {
        return array.numel() == 0 || (plexo::omIsPLEXO(&array) && array.underlying());
    }
    static std::size_t count(const plexo::HostArray& array) {
        return array.underlying() ? array.underlying()->numel() : array.numel();
    }
    static Value element(const plexo::HostArray& array, std::size_t i, const meta::Type& type) {
        return Value::ofEnum(type, array.underlying() ? array.underlying()->int32s()[i] : 0);
    }
    static plexo::HostArray* single(const Value& value, const meta::Type& type, const std::string& cls) {
        return many({value}, type, cls);
    }
    static plexo::HostArray* many(const std::vector<Value>& values, const meta::Type&,
                                  const std::string& cls) {
        plexo::Array underlying(plexo::createNumericMatrix(1, values.size(), plexo::NumericClass::Int32));
        for (std::size_t i = 0; i < values.size(); ++i) underlying->int32s()[i] = values[i].getInteger();
        return plexo::omCreateBuiltinBasedArrayFromUnderlyingArray(plexo::makeInterned(cls), *underlying);
    }
    static plexo::HostArray* empty(const meta::Type&, const std::string& cls) {
        return plexo::omCreatePLEXOEmpty(plexo::makeInterned(cls));
    }
};

// Everything else through the policy; holds the type and an optional override of the class name.
template <class T>
class PolicyBasedValueMarshaler : public TypedValueMarshaler<T, void> {
public:
    using Policy = ValuePolicy<T>;

    explicit PolicyBasedValueMarshaler(const meta::Type& type, std::string classNameOverride = {})
        : m_type(type), m_classNameOverride(std::move(classNameOverride)) {}

    void initializeDependencies() override { plexo::getClass(classId()); }
    plexo::HostArray* fromCollection(const AbstractCollection& collection) override {
        return fromValueVector(collection.toValues());
    }
    plexo::HostArray* fromValueVector(const std::vector<Value>& values) override {
        if (values.empty()) return emptyHostValue();
        return Policy::many(values, m_type, name());
    }
    plexo::HostArray* toHost(const Value& value) override {
        if (!value.hasPayload() && value.getFlags() == ValueKind::Optional) return emptyHostValue();
        return Policy::single(value, m_type, name());
    }
    void releaseArray(plexo::HostArray* array) override { plexo::destroyArray(array); }
    Value toValue(const plexo::HostArray& array) override {
        if (!isCorrectType(&array)) this->refuse();
        const std::size_t n = Policy::count(array);
        if (n == 0) return Value(m_type, boost::none);
        if (n > 1) this->refuse();
        return Policy::element(array, 0, m_type);
    }
    std::vector<Value> toValueVector(const plexo::HostArray& array) override {
        if (!isCorrectType(&array)) this->refuse();
        std::vector<Value> out;
        const std::size_t n = Policy::count(array);
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) out.push_back(Policy::element(array, i, m_type));
        return out;
    }
    plexo::HostArray* emptyHostValue() override { return Policy::empty(m_type, name()); }
    bool isEmptyScalar(const plexo::HostArray* array) override {
        return !array || Policy::count(*array) == 0;
    }
    plexo::PlexoDataTypePtr dataType() override {
        initializeDependencies();
        return plexo::getDataType(name());
    }
    plexo::ClassId classId() override { return plexo::makeInterned(name()); }
    bool isCorrectType(const plexo::HostArray* array) override { return array && Policy::accepts(*array); }
    meta::Type type() override { return m_type; }

protected:
    std::string name() const {
        return m_classNameOverride.empty() ? Policy::className(m_type) : m_classNameOverride;
    }

    meta::Type m_type;
    std::string m_classNameOverride;
};

using StringValueMarshaler = PolicyBasedValueMarshaler<std::u16string>;
using IntegerValueMarshaler = PolicyBasedValueMarshaler<std::int32_t>;
using BooleanValueMarshaler = PolicyBasedValueMarshaler<bool>;
using ElementValueMarshaler = PolicyBasedValueMarshaler<ModelElement>;

}  // namespace fenmo::qorin

QORIN_API_END
