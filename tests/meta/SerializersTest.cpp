// The text forms the library registers: host pointers ("0x" and sixteen hexadecimal digits) and the three
// forms of every enumeration (name, decimal value, public identifier).

#include "MetaTestSupport.hpp"

#include <arvelle/MetaPackageArvelle.hpp>
#include <arvelle/meta/EnumSerializers.hpp>
#include <arvelle/nativeTypes/PtrSerializer.hpp>
#include <arvelle/treeNode/Enums.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <gtest/gtest.h>

#include <boost/lexical_cast.hpp>

#include <cstdint>
#include <map>
#include <typeinfo>

using namespace arvelle_test;
namespace schema = tav::fenmo::treeNode::schema;
namespace tn = tav::fenmo::treeNode;

namespace {

constexpr const char* kBadLexicalCast =
    "bad lexical cast: source type value could not be interpreted as target";

meta::PropertySerializer* serializerFor(const meta::Type& type, const std::u16string& key) {
    return meta::PropertySerializerRegistry::getInstance()->findPropertySerializer(type, key);
}

// Runs `call`, expecting a MessageIdException of catalog "fenmo:messages" with `key` and `arguments`.
template <class Call>
void expectMessage(Call&& call, const std::string& key, const std::vector<std::u16string>& arguments) {
    try {
        call();
        ADD_FAILURE() << "expected " << key;
    } catch (const ::fenmo::MessageIdException& e) {
        EXPECT_EQ(e.catalog(), "fenmo:messages");
        EXPECT_EQ(e.key(), key);
        EXPECT_EQ(e.arguments(), arguments);
    }
}

// Runs `call`, expecting Boost's bad_lexical_cast with its standard text.
template <class Call>
void expectBadLexicalCast(Call&& call, const std::string& context) {
    try {
        call();
        ADD_FAILURE() << "expected bad_lexical_cast for " << context;
    } catch (const boost::bad_lexical_cast& e) {
        EXPECT_STREQ(e.what(), kBadLexicalCast) << context;
    }
}

std::vector<const void*> pointersOf(const ::fenmo::Value& value) {
    std::vector<const void*> result;
    for (const ::fenmo::Value& v : value.getEntries()) result.push_back(v.getPointer());
    return result;
}

std::vector<std::int32_t> integersOf(const ::fenmo::Value& value) {
    std::vector<std::int32_t> result;
    for (const ::fenmo::Value& v : value.getEntries()) result.push_back(v.getInteger());
    return result;
}

// ---- host pointers

TEST(PointerSerializers, RegisteredClassesForBlockAndPortPointers) {
    meta::PropertySerializer* block = serializerFor(schema::nativeTypes::TavBlockPtr(), u"");
    meta::PropertySerializer* port = serializerFor(schema::nativeTypes::TavPortPtr(), u"");
    ASSERT_NE(block, nullptr);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(typeid(*block), typeid(nativeTypes::TavBlockPtrSerializer));
    EXPECT_EQ(typeid(*port), typeid(nativeTypes::TavPortPtrSerializer));
    EXPECT_EQ(static_cast<nativeTypes::TavBlockPtrSerializer*>(block)->type(),
              schema::nativeTypes::TavBlockPtr());
    // The pointer types nobody stores get no serializer, and there is none under other keys.
    EXPECT_EQ(serializerFor(schema::nativeTypes::TavGraphPtr(), u""), nullptr);
    EXPECT_EQ(serializerFor(schema::nativeTypes::DataTypeTablePtr(), u""), nullptr);
    EXPECT_EQ(serializerFor(schema::nativeTypes::VoidPtr(), u""), nullptr);
    EXPECT_EQ(serializerFor(schema::nativeTypes::TavBlockPtr(), u"ID"), nullptr);
}

TEST(PointerSerializers, TextFormIsEighteenLowerCaseCharacters) {
    const meta::Type& type = schema::nativeTypes::TavBlockPtr();
    meta::PropertySerializer& s = *serializerFor(type, u"");
    auto text = [&](std::uintptr_t address) {
        return s.serializeValue(::fenmo::Value::ofPointer(type, reinterpret_cast<const void*>(address)));
    };
    EXPECT_EQ(text(0), u"0x0000000000000000");
    EXPECT_EQ(text(0x1a2b), u"0x0000000000001a2b");
    EXPECT_EQ(text(0xABCDEF0123456789u), u"0xabcdef0123456789");
    EXPECT_EQ(text(UINTPTR_MAX), u"0xffffffffffffffff");
    // An empty value reads as the null pointer; as an optional it has no text at all.
    EXPECT_EQ(s.serializeValue(::fenmo::Value(type, boost::none)), u"0x0000000000000000");
    EXPECT_FALSE(s.serializeOptionalValue(::fenmo::Value(type, boost::none)).has_value());
    EXPECT_EQ(s.serializeOptionalValue(::fenmo::Value::ofPointer(type, reinterpret_cast<const void*>(0x10)))
                  .value_or(u"<none>"),
              u"0x0000000000000010");
}

TEST(PointerSerializers, ParsingRoundTripsAndNeverFails) {
    const meta::Type& type = schema::nativeTypes::TavPortPtr();
    meta::PropertySerializer& s = *serializerFor(type, u"");
    int local = 0;
    const void* pointers[] = {nullptr, &local, &s, reinterpret_cast<const void*>(0x1a2b),
                              reinterpret_cast<const void*>(UINTPTR_MAX)};
    for (const void* p : pointers) {
        const std::u16string text = s.serializeValue(::fenmo::Value::ofPointer(type, p));
        EXPECT_EQ(text.size(), 18u);
        ::fenmo::Value parsed = s.parseValue(text, type);
        EXPECT_EQ(parsed.getPointer(), p) << u8(text);
        EXPECT_EQ(parsed.getFlags(), ::fenmo::ValueFlags::Single);
        EXPECT_EQ(parsed.getType(), type);
    }
    auto parse = [&](const std::u16string& text) { return s.parseValue(text, type).getPointer(); };
    // Either case, with or without the prefix; whatever follows the number is ignored.
    EXPECT_EQ(parse(u"0X1A2B"), reinterpret_cast<const void*>(0x1a2b));
    EXPECT_EQ(parse(u"1a2b"), reinterpret_cast<const void*>(0x1a2b));
    EXPECT_EQ(parse(u"0x1a2bzz"), reinterpret_cast<const void*>(0x1a2b));
    // No readable number: the null pointer, not an error.
    EXPECT_EQ(parse(u""), nullptr);
    EXPECT_EQ(parse(u"zz"), nullptr);
    EXPECT_EQ(parse(u"0x"), nullptr);

    ::fenmo::Value optional = s.parseOptionalValue(u"0x0000000000000020", type);
    EXPECT_EQ(optional.getFlags(), ::fenmo::ValueFlags::Optional);
    EXPECT_TRUE(optional.hasPayload());
    EXPECT_EQ(optional.getPointer(), reinterpret_cast<const void*>(0x20));
}

TEST(PointerSerializers, DefaultEmptyAndCombinedValues) {
    const meta::Type& type = schema::nativeTypes::TavBlockPtr();
    meta::PropertySerializer& s = *serializerFor(type, u"");

    ::fenmo::Value def = s.createDefaultValue(type);
    EXPECT_EQ(def.getFlags(), ::fenmo::ValueFlags::Single);
    EXPECT_EQ(def.getType(), type);
    EXPECT_TRUE(def.hasPayload());
    EXPECT_EQ(def.getPointer(), nullptr);
    ::fenmo::Value empty = s.createEmptyOptionalValue(type);
    EXPECT_EQ(empty.getFlags(), ::fenmo::ValueFlags::Optional);
    EXPECT_EQ(empty.getType(), type);
    EXPECT_FALSE(empty.hasPayload());

    int a = 0, b = 0;
    const void* p =
        &a < &b ? static_cast<const void*>(&b) : static_cast<const void*>(&a);  // the higher address
    const void* q = &a < &b ? static_cast<const void*>(&a) : static_cast<const void*>(&b);
    const std::vector<::fenmo::Value> values{::fenmo::Value::ofPointer(type, p),
                                             ::fenmo::Value::ofPointer(type, q),
                                             ::fenmo::Value::ofPointer(type, p)};
    ::fenmo::Value sequence = s.combineAsUnmanagedSequenceValue(type, values);
    EXPECT_EQ(sequence.getFlags(), ::fenmo::ValueFlags::Sequence);
    EXPECT_TRUE(sequence.isUnmanaged());
    EXPECT_EQ(pointersOf(sequence), (std::vector<const void*>{p, q, p}));
    ::fenmo::Value set = s.combineAsUnmanagedSetValue(type, values);
    EXPECT_EQ(set.getFlags(), ::fenmo::ValueFlags::Set);
    EXPECT_TRUE(set.isUnmanaged());
    EXPECT_EQ(pointersOf(set), (std::vector<const void*>{q, p})) << "distinct, in address order";
    // An empty value stands for the null pointer.
    ::fenmo::Value withEmpty =
        s.combineAsUnmanagedSequenceValue(type, {::fenmo::Value(type, boost::none), values[0]});
    EXPECT_EQ(pointersOf(withEmpty), (std::vector<const void*>{nullptr, p}));
    EXPECT_TRUE(pointersOf(s.combineAsUnmanagedSetValue(type, {})).empty());
}

TEST(PointerSerializers, ValueOfAnotherTypeIsRefused) {
    const meta::Type& block = schema::nativeTypes::TavBlockPtr();
    const meta::Type& port = schema::nativeTypes::TavPortPtr();
    meta::PropertySerializer& s = *serializerFor(block, u"");
    int x = 0;
    const ::fenmo::Value portValue = ::fenmo::Value::ofPointer(port, &x);
    const std::u16string portName = portValue.typeName();
    EXPECT_EQ(portName, port->getQualifiedName());
    expectMessage([&] { s.serializeValue(portValue); }, "CannotCastIncompatibleTypes", {portName});
    expectMessage(
        [&] {
            s.combineAsUnmanagedSequenceValue(block, {::fenmo::Value::ofPointer(block, &x), portValue});
        },
        "CannotCastIncompatibleTypes", {portName});
    expectMessage([&] { s.combineAsUnmanagedSetValue(block, {portValue}); }, "CannotCastIncompatibleTypes",
                  {portName});
    const ::fenmo::Value text = ::fenmo::Value::ofString(u"0x0000000000000001");
    expectMessage([&] { s.serializeValue(text); }, "CannotCastIncompatibleTypes", {u"String"});
    // The serializer is unaffected by the failures.
    EXPECT_EQ(s.serializeValue(::fenmo::Value::ofPointer(block, reinterpret_cast<const void*>(0xff))),
              u"0x00000000000000ff");
}

TEST(PointerSerializers, CopiesAndMovesServeTheSameType) {
    const meta::Type& type = schema::nativeTypes::TavBlockPtr();
    const auto& registered =
        static_cast<const nativeTypes::TavBlockPtrSerializer&>(*serializerFor(type, u""));
    const ::fenmo::Value value = ::fenmo::Value::ofPointer(type, reinterpret_cast<const void*>(0xbeef));

    nativeTypes::TavBlockPtrSerializer copy(registered);
    EXPECT_EQ(copy.type(), type);
    EXPECT_EQ(copy.serializeValue(value), u"0x000000000000beef");
    nativeTypes::TavBlockPtrSerializer moved(std::move(copy));
    EXPECT_EQ(moved.type(), type);
    EXPECT_EQ(moved.parseValue(u"0x000000000000beef", type).getPointer(), value.getPointer());

    // A serializer made for the port type by hand behaves like the registered one.
    nativeTypes::TavPortPtrSerializer port(schema::nativeTypes::TavPortPtr());
    nativeTypes::TavPortPtrSerializer assigned(schema::nativeTypes::TavPortPtr());
    assigned = port;
    EXPECT_EQ(assigned.type(), schema::nativeTypes::TavPortPtr());
    EXPECT_EQ(assigned.serializeValue(::fenmo::Value::ofPointer(schema::nativeTypes::TavPortPtr(), nullptr)),
              u"0x0000000000000000");
    // Copies keep the type check of the original.
    expectMessage([&] { assigned.serializeValue(value); }, "CannotCastIncompatibleTypes", {value.typeName()});
}

// ---- enumerations

struct EnumCase {
    const char* name;
    const meta::Enum& (*type)();
    std::vector<std::u16string> literals;  // in value order
};

const std::vector<EnumCase>& enumCases() {
    static const std::vector<EnumCase> cases{
        {"Complexity", &schema::Complexity::type, {u"AUTO", u"REAL", u"COMPLEX"}},
        {"DataMode", &schema::DataMode::type, {u"INHERIT", u"SIGNAL", u"MESSAGE"}},
        {"DimsMode", &schema::DimsMode::type, {u"INHERIT", u"FIXED", u"VARIABLE"}},
        {"OutputWhenDisabled", &schema::OutputWhenDisabled::type, {u"HELD", u"RESET"}},
        {"QoSType", &schema::QoSType::type, {u"NONE", u"STATUS", u"IS_UPDATED"}},
        {"QueueType", &schema::QueueType::type, {u"Q_TYPE_FIFO", u"Q_TYPE_LIFO"}},
        {"Virtuality", &schema::Virtuality::type, {u"INHERIT", u"VIRTUAL", u"NON_VIRTUAL"}},
    };
    return cases;
}

template <class E>
void expectEnumSerializerClasses(const meta::Type& type) {
    meta::PropertySerializer* byName = serializerFor(type, u"");
    meta::PropertySerializer* byValue = serializerFor(type, u"ID");
    meta::PropertySerializer* byPublicId = serializerFor(type, u"PublicID");
    ASSERT_NE(byName, nullptr);
    ASSERT_NE(byValue, nullptr);
    ASSERT_NE(byPublicId, nullptr);
    EXPECT_EQ(typeid(*byName), typeid(meta::EnumPropertySerializerAsName<E>));
    EXPECT_EQ(typeid(*byValue), typeid(meta::EnumPropertySerializerAsValue<E>));
    EXPECT_EQ(typeid(*byPublicId), typeid(meta::EnumPropertySerializerAsPublicId<E>));
    EXPECT_EQ(static_cast<meta::EnumPropertySerializerAsName<E>*>(byName)->type(), type);
}

TEST(EnumSerializers, ThreeSerializersPerEnumerationUnderTheirKeys) {
    expectEnumSerializerClasses<tn::Complexity>(schema::Complexity::type());
    expectEnumSerializerClasses<tn::DataMode>(schema::DataMode::type());
    expectEnumSerializerClasses<tn::DimsMode>(schema::DimsMode::type());
    expectEnumSerializerClasses<tn::OutputWhenDisabled>(schema::OutputWhenDisabled::type());
    expectEnumSerializerClasses<tn::QoSType>(schema::QoSType::type());
    expectEnumSerializerClasses<tn::QueueType>(schema::QueueType::type());
    expectEnumSerializerClasses<tn::Virtuality>(schema::Virtuality::type());
    // The keys are exact: no serializer under a differently written key.
    EXPECT_EQ(serializerFor(schema::Complexity::type(), u"id"), nullptr);
    EXPECT_EQ(serializerFor(schema::Complexity::type(), u"PublicId"), nullptr);
}

TEST(EnumSerializers, EveryLiteralInEveryFormRoundTrips) {
    for (const EnumCase& c : enumCases()) {
        SCOPED_TRACE(c.name);
        const meta::Type type = c.type();
        meta::PropertySerializer& byName = *serializerFor(type, u"");
        meta::PropertySerializer& byValue = *serializerFor(type, u"ID");
        meta::PropertySerializer& byPublicId = *serializerFor(type, u"PublicID");
        for (std::int32_t v = 0; v < static_cast<std::int32_t>(c.literals.size()); ++v) {
            const ::fenmo::Value value = ::fenmo::Value::ofEnum(type, v);
            EXPECT_EQ(byName.serializeValue(value), c.literals[v]);
            EXPECT_EQ(byValue.serializeValue(value), u16(std::to_string(v)));
            EXPECT_EQ(byPublicId.serializeValue(value), c.literals[v])
                << "no literal has a public identifier";
            for (auto* s : {&byName, &byPublicId}) {
                ::fenmo::Value parsed = s->parseValue(c.literals[v], type);
                EXPECT_EQ(parsed.getInteger(), v);
                EXPECT_EQ(parsed.getFlags(), ::fenmo::ValueFlags::Single);
                EXPECT_EQ(parsed.getType(), type);
            }
            EXPECT_EQ(byValue.parseValue(u16(std::to_string(v)), type).getInteger(), v);
        }
        // The default value is literal 0, and an empty value reads as 0 too.
        ::fenmo::Value def = byName.createDefaultValue(type);
        EXPECT_EQ(def.getFlags(), ::fenmo::ValueFlags::Single);
        EXPECT_EQ(def.getInteger(), 0);
        EXPECT_EQ(byName.serializeValue(def), c.literals.front());
        EXPECT_EQ(byName.serializeValue(::fenmo::Value(type, boost::none)), c.literals.front());
        EXPECT_FALSE(byName.serializeOptionalValue(::fenmo::Value(type, boost::none)).has_value());
        ::fenmo::Value empty = byValue.createEmptyOptionalValue(type);
        EXPECT_EQ(empty.getFlags(), ::fenmo::ValueFlags::Optional);
        EXPECT_FALSE(empty.hasPayload());
        ::fenmo::Value optional = byValue.parseOptionalValue(u"1", type);
        EXPECT_EQ(optional.getFlags(), ::fenmo::ValueFlags::Optional);
        EXPECT_EQ(optional.getInteger(), 1);
    }
}

TEST(EnumSerializers, NamesAreCaseSensitive) {
    const meta::Type type = schema::Complexity::type();
    const ::fenmo::Value complex =
        ::fenmo::Value::ofEnum(type, static_cast<std::int32_t>(tn::Complexity::COMPLEX));
    EXPECT_EQ(serializerFor(type, u"")->serializeValue(complex), u"COMPLEX");
    EXPECT_EQ(serializerFor(type, u"ID")->serializeValue(complex), u"2");
    EXPECT_EQ(serializerFor(type, u"PublicID")->serializeValue(complex), u"COMPLEX");

    for (const std::u16string key : {u"", u"PublicID"}) {
        meta::PropertySerializer& s = *serializerFor(type, key);
        for (const std::u16string text :
             {u"complex", u"Complex", u" COMPLEX", u"COMPLEX ", u"", u"2", u"REAL2"})
            expectBadLexicalCast([&] { s.parseValue(text, type); }, u8(key) + " '" + u8(text) + "'");
        // A name of another enumeration is no name of this one.
        expectBadLexicalCast([&] { s.parseValue(u"INHERIT", type); }, u8(key) + " INHERIT");
        // Nothing is left behind by the failures.
        EXPECT_EQ(s.parseValue(u"COMPLEX", type).getInteger(), 2);
    }
}

TEST(EnumSerializers, DecimalFormAcceptsOnlyWholeSignedNumbersOfKnownLiterals) {
    const meta::Type type = schema::OutputWhenDisabled::type();
    meta::PropertySerializer& s = *serializerFor(type, u"ID");
    auto parse = [&](const std::u16string& text) { return s.parseValue(text, type).getInteger(); };
    EXPECT_EQ(parse(u"1"), 1);
    EXPECT_EQ(parse(u"+1"), 1);
    EXPECT_EQ(parse(u"0"), 0);
    EXPECT_EQ(parse(u"-0"), 0);
    EXPECT_EQ(parse(u"01"), 1);
    EXPECT_EQ(serializerFor(type, u"")->serializeValue(s.parseValue(u"+1", type)), u"RESET");
    for (const std::u16string text : {u"2", u"-1", u" 1", u"1 ", u"", u"+", u"-", u"+-1", u"1.0", u"0x1",
                                      u"1e0", u"RESET", u"2147483647", u"-2147483648"})
        expectBadLexicalCast([&] { parse(text); }, "'" + u8(text) + "'");
    // Out of the 32-bit range, whatever the enumeration.
    for (const EnumCase& c : enumCases()) {
        meta::PropertySerializer& byValue = *serializerFor(c.type(), u"ID");
        for (const std::u16string text :
             {u"2147483648", u"-2147483649", u"4294967296", u"99999999999999999999"})
            expectBadLexicalCast([&] { byValue.parseValue(text, c.type()); },
                                 std::string(c.name) + " " + u8(text));
        // Values that wrap around 2^32 to a literal's value are still out of range.
        expectBadLexicalCast([&] { byValue.parseValue(u"4294967297", c.type()); }, c.name);
    }
    // After all the failures the serializer still works.
    EXPECT_EQ(parse(u"0"), 0);
}

TEST(EnumSerializers, ValuesWithoutLiteral) {
    const meta::Type type = schema::Virtuality::type();
    const ::fenmo::Value seven = ::fenmo::Value::ofEnum(type, 7);
    const ::fenmo::Value negative = ::fenmo::Value::ofEnum(type, -5);
    EXPECT_EQ(serializerFor(type, u"")->serializeValue(seven), u"");
    EXPECT_EQ(serializerFor(type, u"PublicID")->serializeValue(seven), u"");
    EXPECT_EQ(serializerFor(type, u"ID")->serializeValue(seven), u"7");
    EXPECT_EQ(serializerFor(type, u"ID")->serializeValue(negative), u"-5");
    EXPECT_EQ(serializerFor(type, u"ID")->serializeValue(::fenmo::Value::ofEnum(type, INT32_MIN)),
              u"-2147483648");
}

TEST(EnumSerializers, CombineAsSequenceAndSet) {
    const meta::Type type = schema::DimsMode::type();
    for (const std::u16string key : {u"", u"ID", u"PublicID"}) {
        meta::PropertySerializer& s = *serializerFor(type, key);
        const std::vector<::fenmo::Value> values{
            ::fenmo::Value::ofEnum(type, 2), ::fenmo::Value::ofEnum(type, 0), ::fenmo::Value::ofEnum(type, 2),
            ::fenmo::Value(type, boost::none)};
        ::fenmo::Value sequence = s.combineAsUnmanagedSequenceValue(type, values);
        EXPECT_EQ(sequence.getFlags(), ::fenmo::ValueFlags::Sequence);
        EXPECT_TRUE(sequence.isUnmanaged());
        EXPECT_EQ(integersOf(sequence), (std::vector<std::int32_t>{2, 0, 2, 0})) << u8(key);
        ::fenmo::Value set = s.combineAsUnmanagedSetValue(type, values);
        EXPECT_EQ(set.getFlags(), ::fenmo::ValueFlags::Set);
        EXPECT_TRUE(set.isUnmanaged());
        EXPECT_EQ(integersOf(set), (std::vector<std::int32_t>{0, 2})) << u8(key);
        for (const ::fenmo::Value& v : set.getEntries()) EXPECT_EQ(v.getType(), type);
    }
}

TEST(EnumSerializers, ValueOfAnotherTypeIsRefused) {
    const meta::Type complexity = schema::Complexity::type();
    const meta::Type dataMode = schema::DataMode::type();
    const ::fenmo::Value other = ::fenmo::Value::ofEnum(dataMode, 1);
    for (const std::u16string key : {u"", u"ID", u"PublicID"}) {
        SCOPED_TRACE(u8(key));
        meta::PropertySerializer& s = *serializerFor(complexity, key);
        expectMessage([&] { s.serializeValue(other); }, "CannotCastIncompatibleTypes",
                      {u"tav.fenmo.treeNode.DataMode"});
        expectMessage([&] { s.serializeValue(::fenmo::Value::ofInteger(1)); }, "CannotCastIncompatibleTypes",
                      {u"Integer"});
        expectMessage(
            [&] {
                s.combineAsUnmanagedSequenceValue(complexity, {::fenmo::Value::ofEnum(complexity, 0), other});
            },
            "CannotCastIncompatibleTypes", {u"tav.fenmo.treeNode.DataMode"});
        expectMessage([&] { s.combineAsUnmanagedSetValue(complexity, {other}); },
                      "CannotCastIncompatibleTypes", {u"tav.fenmo.treeNode.DataMode"});
    }
}

}  // namespace
