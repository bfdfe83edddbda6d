// The text forms the library registers: host pointers ("0x" and sixteen hexadecimal digits) and the three
// forms of every enumeration (name under "", decimal value under "ID", public identifier under "PublicID").

#include "MetaTestSupport.hpp"

#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <cstdint>
#include <stdexcept>

using namespace arvelle_test;

namespace {

const meta::PropertySerializer& serializer(const meta::Type& type, const std::u16string& key) {
    const auto* found = meta::PropertySerializerRegistry::getInstance()->findPropertySerializer(type, key);
    if (!found) throw std::logic_error("no serializer under '" + u8(key) + "' for " + u8(type->getName()));
    return *found;
}

// Parsing `text` must fail with "InvalidValue" giving the text, whatever the form.
void expectUnparsable(const meta::PropertySerializer& s, const std::u16string& text, const meta::Type& type) {
    try {
        s.parseValue(text, type);
        ADD_FAILURE() << "accepted '" << u8(text) << "'";
    } catch (const ::fenmo::InvalidValueException& e) {
        EXPECT_EQ(e.arguments(), std::vector<std::u16string>{text}) << e.what();
    }
}

std::vector<std::int32_t> integers(const ::fenmo::Value& list) {
    std::vector<std::int32_t> result;
    for (const ::fenmo::Value& v : list.getEntries()) result.push_back(v.getInteger());
    return result;
}

TEST(PointerSerializers, TextRoundTripAndOtherTypes) {
    const meta::Type& type = schema::nativeTypes::TavBlockPtr();
    const meta::Type& port = schema::nativeTypes::TavPortPtr();
    const meta::PropertySerializer& s = serializer(type, u"");
    auto pointer = [](std::uintptr_t address) { return reinterpret_cast<const void*>(address); };
    auto text = [&](const void* p) { return s.serializeValue(::fenmo::Value::ofPointer(type, p)); };
    EXPECT_EQ(text(nullptr), u"0x0000000000000000");
    EXPECT_EQ(text(pointer(0x1a2b)), u"0x0000000000001a2b");
    EXPECT_EQ(text(pointer(0xABCDEF0123456789u)), u"0xabcdef0123456789");
    int local = 0;
    for (const void* p :
         {pointer(0), pointer(0x1a2b), static_cast<const void*>(&local), pointer(UINTPTR_MAX)}) {
        const std::u16string written = text(p);
        EXPECT_EQ(written.size(), 18u);
        EXPECT_EQ(s.parseValue(written, type).getPointer(), p) << u8(written);
        EXPECT_EQ(serializer(port, u"").parseValue(written, port).getPointer(), p) << u8(written);
    }
    // No readable number gives the null pointer, not an error. Characters beyond ASCII are never digits,
    // even those whose code units end in the byte of one (U+0131 is the unit 0x0131, ending in "1").
    for (const std::u16string unreadable :
         {u"", u"zz", u"0x", u"\u0131", u"\u0441\u0161", u"0x\u0131\u0131", u"\uff46\u3030", u"\U0001D7CE"})
        EXPECT_EQ(s.parseValue(unreadable, type).getPointer(), nullptr) << u8(unreadable);
    // They end the number as any other non-digit does.
    EXPECT_EQ(s.parseValue(u"0x1a\u0131\u0441", type).getPointer(), pointer(0x1a));
    EXPECT_EQ(s.parseValue(u"1A\u01002", type).getPointer(), pointer(0x1a));

    // A value of another type is refused, naming that type; a port pointer is no block pointer.
    const ::fenmo::Value portValue = ::fenmo::Value::ofPointer(port, &local);
    expectMessage([&] { s.serializeValue(portValue); }, "CannotCastIncompatibleTypes",
                  {port->getQualifiedName()});
}

TEST(EnumSerializers, EveryLiteralInEveryForm) {
    for (const meta::Enum* en :
         {&schema::Complexity::type(), &schema::DataMode::type(), &schema::DimsMode::type(),
          &schema::OutputWhenDisabled::type(), &schema::QoSType::type(), &schema::QueueType::type(),
          &schema::Virtuality::type()}) {
        const meta::Type type = *en;
        SCOPED_TRACE(u8(type->getName()));
        const meta::PropertySerializer& byName = serializer(type, u"");
        const meta::PropertySerializer& byValue = serializer(type, u"ID");
        const meta::PropertySerializer& byPublicId = serializer(type, u"PublicID");
        std::int32_t value = 0;
        for (const meta::EnumLiteral* literal; (literal = (*en)->literalByValue(value)) != nullptr; ++value) {
            const std::u16string name = (*literal)->getName(), decimal = u16(std::to_string(value));
            EXPECT_EQ(byName.serializeValue(::fenmo::Value::ofEnum(type, value)), name);
            EXPECT_EQ(byValue.serializeValue(::fenmo::Value::ofEnum(type, value)), decimal);
            // No literal has a public identifier of its own: the public identifier is the name.
            EXPECT_EQ(byPublicId.serializeValue(::fenmo::Value::ofEnum(type, value)), name);
            EXPECT_EQ(byName.parseValue(name, type).getInteger(), value);
            EXPECT_EQ(byPublicId.parseValue(name, type).getInteger(), value);
            EXPECT_EQ(byValue.parseValue(decimal, type).getInteger(), value);
        }
        EXPECT_GE(value, 2);
        // A value without a literal has no name, only its number.
        EXPECT_EQ(byName.serializeValue(::fenmo::Value::ofEnum(type, 7)), u"");
        EXPECT_EQ(byValue.serializeValue(::fenmo::Value::ofEnum(type, -5)), u"-5");
        // Out of the 32-bit range, even where the value wraps around to a literal's.
        for (const std::u16string text : {u"2147483648", u"-2147483649", u"4294967297"})
            expectUnparsable(byValue, text, type);
    }
}

TEST(EnumSerializers, ParsingIsExact) {
    const meta::Type complexity = schema::Complexity::type();
    for (const std::u16string key : {u"", u"PublicID"}) {
        const meta::PropertySerializer& s = serializer(complexity, key);
        // Names are case-sensitive, untrimmed, and those of other enumerations do not count.
        for (const std::u16string text :
             {u"complex", u"Complex", u" COMPLEX", u"COMPLEX ", u"", u"2", u"INHERIT"})
            expectUnparsable(s, text, complexity);
        EXPECT_EQ(s.parseValue(u"COMPLEX", complexity).getInteger(), 2);
    }
    // The decimal form takes a signed whole number of a known literal, nothing more.
    const meta::Type type = schema::OutputWhenDisabled::type();
    const meta::PropertySerializer& byValue = serializer(type, u"ID");
    EXPECT_EQ(byValue.parseValue(u"+1", type).getInteger(), 1);
    EXPECT_EQ(byValue.parseValue(u"-0", type).getInteger(), 0);
    EXPECT_EQ(byValue.parseValue(u"01", type).getInteger(), 1);
    for (const std::u16string text : {u"2", u"-1", u" 1", u"1 ", u"", u"+", u"+-1", u"1.0", u"0x1", u"RESET"})
        expectUnparsable(byValue, text, type);
}

TEST(EnumSerializers, CombinationAndValuesOfAnotherType) {
    const meta::Type type = schema::DimsMode::type();
    const ::fenmo::Value other = ::fenmo::Value::ofEnum(schema::DataMode::type(), 1);
    const std::vector<::fenmo::Value> values{::fenmo::Value::ofEnum(type, 2), ::fenmo::Value::ofEnum(type, 0),
                                             ::fenmo::Value::ofEnum(type, 2),
                                             ::fenmo::Value(type, boost::none)};
    for (const std::u16string key : {u"", u"ID", u"PublicID"}) {
        SCOPED_TRACE(u8(key));
        const meta::PropertySerializer& s = serializer(type, key);
        const ::fenmo::Value sequence = s.combineAsUnmanagedSequenceValue(type, values);
        EXPECT_EQ(sequence.getFlags(), ::fenmo::ValueKind::Sequence);
        EXPECT_EQ(integers(sequence), (std::vector<std::int32_t>{2, 0, 2, 0}));
        const ::fenmo::Value set = s.combineAsUnmanagedSetValue(type, values);
        EXPECT_EQ(set.getFlags(), ::fenmo::ValueKind::Set);
        EXPECT_EQ(integers(set), (std::vector<std::int32_t>{0, 2}));

        expectMessage([&] { s.serializeValue(other); }, "CannotCastIncompatibleTypes",
                      {u"tav.fenmo.treeNode.DataMode"});
        expectMessage(
            [&] {
                s.combineAsUnmanagedSequenceValue(type, {values[0], other});
            },
            "CannotCastIncompatibleTypes", {u"tav.fenmo.treeNode.DataMode"});
        expectMessage([&] { s.serializeValue(::fenmo::Value::ofInteger(1)); }, "CannotCastIncompatibleTypes",
                      {u"Integer"});
    }
}

}  // namespace
