#pragma once
// The value marshaler of an enumeration: framework Values of the enumeration's type to members of its
// scripting class (int32-based objects) and back. Text, strings and cells of text are accepted too: they
// go through the text conversions registered for the scripting class, so "COMPLEX" given where a
// Complexity is expected becomes the member COMPLEX.

#include <arvelle/Export.hpp>
#include <fenmo/Collection.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>
#include <plexo/ClassSystem.hpp>
#include <plexo/HostArray.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

ARVELLE_API_BEGIN

namespace fenmo::qorin {

template <class E>
requires std::is_enum_v<E>
class PolicyBasedEnumValueMarshaler : public PolicyBasedValueMarshaler<E> {
public:
    using PolicyBasedValueMarshaler<E>::PolicyBasedValueMarshaler;
    ~PolicyBasedEnumValueMarshaler() override = default;

    plexo::HostArray* fromCollection(const AbstractCollection& collection) override {
        std::vector<Value> values = collection.toValues();
        // A set without order of its own is given in ascending value order.
        if (const auto* owned = dynamic_cast<const AbstractOwnedCollection*>(&collection))
            if (owned->property().getKind() == ValueKind::Set && !owned->property().isOrdered())
                std::stable_sort(values.begin(), values.end(),
                                 [](const Value& a, const Value& b) { return integerOf(a) < integerOf(b); });
        return fromValueVector(values);
    }

    plexo::HostArray* fromValueVector(const std::vector<Value>& values) override {
        if (values.empty()) return emptyHostValue();
        plexo::Array underlying(plexo::createNumericMatrix(1, values.size(), plexo::NumericClass::Int32));
        for (std::size_t i = 0; i < values.size(); ++i) underlying->int32s()[i] = integerOf(values[i]);
        return plexo::omCreateBuiltinBasedArrayFromUnderlyingArray(this->classId(), *underlying);
    }

    Value toValue(const plexo::HostArray& array) override {
        if (isText(array)) {
            const plexo::TypeConverter* conversion =
                plexo::getConversion(plexo::makeInterned("any"), plexo::makeInterned(this->dataType()->name));
            if (conversion) {
                plexo::Array converted(conversion->convert(array));
                if (converted) {
                    if (elementCount(*converted) > 1) this->refuse();
                    return member(*converted);
                }
            }
        }
        if (elementCount(array) >= 2) this->refuse();
        return member(array);
    }

    std::vector<Value> toValueVector(const plexo::HostArray& array) override {
        if (!isCorrectType(&array)) this->refuse();
        std::vector<Value> out;
        const plexo::HostArray* underlying = plexo::omGetUnderlyingArray(array);
        const std::size_t n = plexo::omGetNumberOfElementsInUnderlyingArray(array);
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            out.push_back(Value::ofEnum(this->m_type, underlying->int32s()[i]));
        return out;
    }

    plexo::HostArray* emptyHostValue() override { return plexo::omCreatePLEXOEmpty(this->classId()); }

    bool isEmptyScalar(const plexo::HostArray* array) override {
        return !array || plexo::omGetNumberOfElementsInUnderlyingArray(*array) == 0;
    }

    bool isCorrectType(const plexo::HostArray* array) override {
        if (!array) return false;
        return ValueMarshaler::isCorrectType(array) || isText(*array);
    }

private:
    static bool isText(const plexo::HostArray& array) {
        return plexo::isChar(&array) || plexo::isA(&array, "string") || plexo::isCell(&array);
    }
    static std::size_t elementCount(const plexo::HostArray& array) {
        const plexo::HostArray* underlying = plexo::omGetUnderlyingArray(array);
        return underlying ? underlying->numel() : array.numel();
    }
    // An entry without payload counts as 0.
    static std::int32_t integerOf(const Value& value) { return value.hasPayload() ? value.getInteger() : 0; }

    // Empty: the empty value; a member of exactly this class: its value; anything else: 0.
    Value member(const plexo::HostArray& array) {
        if (elementCount(array) == 0) return Value(this->m_type, boost::none);
        if (plexo::omIsPLEXO(&array) && plexo::isClass(&array, this->name()) && array.underlying())
            return Value::ofEnum(this->m_type, array.underlying()->int32s()[0]);
        return Value::ofEnum(this->m_type, 0);
    }
};

}  // namespace fenmo::qorin

ARVELLE_API_END
