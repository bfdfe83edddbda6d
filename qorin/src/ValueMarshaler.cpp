#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>

#include <fenmo/meta/Type.hpp>
#include <plexo/Factory.hpp>

#include <cmath>

namespace fenmo::qorin {

using plexo::ArrayKind;
using plexo::HostArray;

ValueMarshaler::~ValueMarshaler() = default;

HostArray* ValueMarshaler::fromCollection(const AbstractCollection& collection) {
    return fromValueVector(collection.toValues());
}

HostArray* ValueMarshaler::toHostArray(const Value& value) {
    if (const AbstractCollection* collection = value.getCollection()) return fromCollection(*collection);
    if (value.getIf<std::shared_ptr<const Value::List>>()) return fromValueVector(value.getEntries());
    return toHost(value);
}

HostArray* ValueMarshaler::toHostArray(const std::vector<Value>& values) {
    return fromValueVector(values);
}

void ValueMarshaler::releaseArray(HostArray* array) {
    plexo::destroyArray(array);
}

Value ValueMarshaler::fromHostArray(const HostArray& array, ValueKind kind) {
    switch (kind) {
        case ValueKind::Optional:
        case ValueKind::Single:
            return toValue(array);
        case ValueKind::Set:
            return toUnmanagedSetValue(array);
        default:
            return toUnmanagedCollectionValue(array);
    }
}

std::string ValueMarshaler::plexoQualifiedNameMulti() {
    return dataType()->name + " vector";
}

bool ValueMarshaler::isCorrectType(const HostArray* array) {
    return array && plexo::isA(array, plexo::className(classId()));
}

void ValueMarshaler::releaseMultiValue(std::vector<Value>& values) {
    values.clear();
}

void ValueMarshaler::refuse() {
    const std::string name = dataType()->name;
    throw CannotCastIncompatibleTypesException({std::u16string(name.begin(), name.end())});
}

namespace {
Value singleValue(const meta::Type& type, Value::Payload payload) {
    return Value(ValueMeta(type.get(), ValueKind::Single), std::move(payload));
}

bool isText(const HostArray& a) {
    return a.kind() == ArrayKind::Char || a.kind() == ArrayKind::String || a.kind() == ArrayKind::Cell;
}
}  // namespace

// --- text -------------------------------------------------------------------------------------------------

bool ValuePolicy<std::u16string>::accepts(const HostArray& array) {
    if (array.kind() == ArrayKind::Cell) {
        for (std::size_t i = 0; i < array.numel(); ++i) {
            const HostArray* c = array.getCell(i);
            if (!c || (c->kind() != ArrayKind::Char && c->kind() != ArrayKind::String)) return false;
        }
        return true;
    }
    // An empty array of any class stands for no value.
    return isText(array) || array.numel() == 0;
}

std::size_t ValuePolicy<std::u16string>::count(const HostArray& array) {
    // A char array is one text; strings and cells hold one per element.
    if (array.kind() == ArrayKind::Char) return array.numel() == 0 && array.rows() == 0 ? 0 : 1;
    return array.numel();
}

Value ValuePolicy<std::u16string>::element(const HostArray& array, std::size_t i, const meta::Type& type) {
    switch (array.kind()) {
        case ArrayKind::Char:
            return singleValue(type, array.chars());
        case ArrayKind::String:
            return singleValue(type, array.strings()[i]);
        default:
            return singleValue(type, plexo::factory::extractString(*array.getCell(i)));
    }
}

HostArray* ValuePolicy<std::u16string>::single(const Value& value, const meta::Type&, const std::string&) {
    return plexo::createStringUtf16(value.getString());
}

HostArray* ValuePolicy<std::u16string>::many(const std::vector<Value>& values, const meta::Type&,
                                             const std::string&) {
    plexo::Array out(plexo::createCellMatrix(1, values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        out->setCell(i, plexo::createStringUtf16(values[i].getString()));
    return out.release();
}

HostArray* ValuePolicy<std::u16string>::empty(const meta::Type&, const std::string&) {
    return plexo::createStringUtf16(u"");
}

// --- integers ---------------------------------------------------------------------------------------------

bool ValuePolicy<std::int32_t>::accepts(const HostArray& array) {
    if (array.numel() == 0) return true;
    if (array.kind() == ArrayKind::Int32) return true;
    if (array.kind() != ArrayKind::Double) return false;
    // Doubles must be whole numbers within range.
    for (double d : array.doubles())
        if (std::trunc(d) != d || d < INT32_MIN || d > INT32_MAX) return false;
    return true;
}

Value ValuePolicy<std::int32_t>::element(const HostArray& array, std::size_t i, const meta::Type& type) {
    return singleValue(type, static_cast<std::int32_t>(plexo::getScalarDouble(array, i)));
}

HostArray* ValuePolicy<std::int32_t>::single(const Value& value, const meta::Type&, const std::string&) {
    return plexo::createInt32Scalar(value.getInteger());
}

HostArray* ValuePolicy<std::int32_t>::many(const std::vector<Value>& values, const meta::Type&,
                                           const std::string&) {
    HostArray* out = plexo::createNumericMatrix(1, values.size(), plexo::NumericClass::Int32);
    for (std::size_t i = 0; i < values.size(); ++i) out->int32s()[i] = values[i].getInteger();
    return out;
}

HostArray* ValuePolicy<std::int32_t>::empty(const meta::Type&, const std::string&) {
    return plexo::createNumericMatrix(0, 0, plexo::NumericClass::Int32);
}

// --- booleans ---------------------------------------------------------------------------------------------

bool ValuePolicy<bool>::accepts(const HostArray& array) {
    return array.numel() == 0 || array.kind() == ArrayKind::Logical || plexo::isNumeric(&array);
}

Value ValuePolicy<bool>::element(const HostArray& array, std::size_t i, const meta::Type& type) {
    return singleValue(type, plexo::getScalarDouble(array, i) != 0);
}

HostArray* ValuePolicy<bool>::single(const Value& value, const meta::Type&, const std::string&) {
    return plexo::createLogicalScalar(value.getBoolean());
}

HostArray* ValuePolicy<bool>::many(const std::vector<Value>& values, const meta::Type&, const std::string&) {
    HostArray* out = plexo::createLogicalMatrix(1, values.size());
    for (std::size_t i = 0; i < values.size(); ++i) out->logicals()[i] = values[i].getBoolean();
    return out;
}

HostArray* ValuePolicy<bool>::empty(const meta::Type&, const std::string&) {
    return plexo::createLogicalMatrix(0, 0);
}

// --- elements ---------------------------------------------------------------------------------------------

namespace {
meta::Class asClass(const meta::Type& type) {
    return handleCast<meta::Class>(type);
}
}  // namespace

std::string ValuePolicy<ModelElement>::className(const meta::Type& type) {
    return plexo::className(scriptingClassOf(asClass(type)));
}

bool ValuePolicy<ModelElement>::accepts(const HostArray& array) {
    return array.numel() == 0 || plexo::omIsPLEXO(&array);
}

Value ValuePolicy<ModelElement>::element(const HostArray& array, std::size_t i, const meta::Type& type) {
    ModelElement element = elementFromHost(array, asClass(type), i);
    if (!element.get()) {
        const std::u16string name = type->getQualifiedName();
        throw CannotCastIncompatibleTypesException({name});
    }
    return Value::ofElement(type, element);
}

HostArray* ValuePolicy<ModelElement>::single(const Value& value, const meta::Type& type, const std::string&) {
    return elementToHost(value.getElement(), asClass(type));
}

HostArray* ValuePolicy<ModelElement>::many(const std::vector<Value>& values, const meta::Type& type,
                                           const std::string&) {
    plexo::Array out(plexo::createCellMatrix(1, values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        out->setCell(i, elementToHost(values[i].getElement(), asClass(type)));
    return out.release();
}

HostArray* ValuePolicy<ModelElement>::empty(const meta::Type&, const std::string& cls) {
    return plexo::omCreatePLEXOEmpty(plexo::makeInterned(cls));
}

}  // namespace fenmo::qorin
