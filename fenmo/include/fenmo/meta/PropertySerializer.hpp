#pragma once
// Turning property values into text and back, one serializer per (type, key) pair.

#include <fenmo/Export.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Type.hpp>

#include <boost/optional.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::meta {

class PropertySerializer {
public:
    virtual ~PropertySerializer() = default;

    // The text of a value, none for an empty one.
    virtual boost::optional<std::u16string> serializeOptionalValue(const Value& value) const;
    // The value as an optional (kind 0) value of its type.
    virtual Value toOptionalValue(const Value& value) const;
    virtual std::u16string serializeValue(const Value& value) const = 0;
    virtual Value parseValue(const std::u16string& text, const Type& type) const = 0;
    virtual Value parseOptionalValue(const std::u16string& text, const Type& type) const = 0;
    virtual Value createEmptyOptionalValue(const Type& type) const = 0;
    virtual Value createDefaultValue(const Type& type) const = 0;
    // Releases what a parsed value holds; values here own nothing that needs it.
    virtual void releaseValue(Value& value, const Type& type) const;
    virtual Value combineAsUnmanagedSequenceValue(const Type& type, const std::vector<Value>& values) const = 0;
    virtual Value combineAsUnmanagedSetValue(const Type& type, const std::vector<Value>& values) const = 0;
};

namespace detail {

// How a native value type travels in a Value: enumerations as 32-bit integers, pointers as addresses.
template <class T>
struct NativeValue {
    static_assert(std::is_enum_v<T> || std::is_pointer_v<T>, "enumerations and pointers only");
    static Value make(const Type& type, T v) {
        if constexpr (std::is_enum_v<T>) return Value::ofEnum(type, static_cast<std::int32_t>(v));
        else return Value::ofPointer(type, v);
    }
    static T take(const Value& value) {
        if constexpr (std::is_enum_v<T>) return static_cast<T>(value.getInteger());
        else return static_cast<T>(const_cast<void*>(value.getPointer()));
    }
};

// True if `value` may be read as a T of the serializer's type: pointers match by run-time type name,
// enumerations by type identity.
bool isValueOfType(const Value& value, const ModelElement::Impl* serializerType, const std::type_info& info,
                   bool byTypeId);

}  // namespace detail

// The value operations common to serializers of one native type T; derived classes supply the text form.
template <class T>
class DefaultPropertySerializer : public PropertySerializer {
public:
    std::u16string serializeValue(const Value& value) const override { return doSerializeValue(take(value)); }
    Value parseValue(const std::u16string& text, const Type& type) const override {
        return detail::NativeValue<T>::make(type, doParseValue(text));
    }
    Value parseOptionalValue(const std::u16string& text, const Type& type) const override {
        Value single = parseValue(text, type);
        return Value(ValueMeta(single.typeImpl(), ValueKind::Optional), single.payload());
    }
    Value createEmptyOptionalValue(const Type& type) const override { return Value(type, boost::none); }
    Value createDefaultValue(const Type& type) const override { return detail::NativeValue<T>::make(type, T{}); }
    Value combineAsUnmanagedSequenceValue(const Type& type, const std::vector<Value>& values) const override {
        return Value::ofList(type, ValueKind::Sequence, entries(type, values, false));
    }
    Value combineAsUnmanagedSetValue(const Type& type, const std::vector<Value>& values) const override {
        return Value::ofList(type, ValueKind::Set, entries(type, values, true));
    }

protected:
    // `type` is the type this serializer is registered for; it must outlive the serializer.
    explicit DefaultPropertySerializer(const ModelElement::Impl* type) noexcept : m_type(type) {}

    virtual std::u16string doSerializeValue(T value) const = 0;
    virtual T doParseValue(const std::u16string& text) const = 0;

    // The native value held by `value`; an empty value reads as T{}. A value of another type throws
    // CannotCastIncompatibleTypes.
    T take(const Value& value) const {
        if (!detail::isValueOfType(value, m_type, typeid(T), std::is_pointer_v<T>))
            throw CannotCastIncompatibleTypesException({value.typeName()});
        return value.hasPayload() ? detail::NativeValue<T>::take(value) : T{};
    }

private:
    // Entries in the given order, or distinct and ordered by value for a set.
    Value::List entries(const Type& type, const std::vector<Value>& values, bool asSet) const {
        std::vector<T> natives;
        natives.reserve(values.size());
        for (const Value& v : values) natives.push_back(take(v));
        if (asSet) {
            std::sort(natives.begin(), natives.end());
            natives.erase(std::unique(natives.begin(), natives.end()), natives.end());
        }
        Value::List result;
        result.reserve(natives.size());
        for (T v : natives) result.push_back(detail::NativeValue<T>::make(type, v));
        return result;
    }

    const ModelElement::Impl* m_type;
};

}  // namespace fenmo::meta

FENMO_API_END
