// The seven enumeration classes (members, constructor, hidden methods, text conversions) and their value
// marshalers (both directions, one value and many, and every refusal).

#include "Support.hpp"

#include <arvelle/treeNode/Enums.hpp>
#include <arvelle/treeNode/Schema.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Enum.hpp>

#include <algorithm>

namespace scripting_test {
namespace {

using namespace plexo;
using fenmo::Value;
namespace tn = tav::fenmo::treeNode;
namespace fq = fenmo::qorin;

struct EnumCase {
    const char* name;
    fenmo::meta::Enum (*type)();
};
const EnumCase kCases[] = {
    {"Complexity", [] { return tn::schema::Complexity::type(); }},
    {"DataMode", [] { return tn::schema::DataMode::type(); }},
    {"DimsMode", [] { return tn::schema::DimsMode::type(); }},
    {"OutputWhenDisabled", [] { return tn::schema::OutputWhenDisabled::type(); }},
    {"QoSType", [] { return tn::schema::QoSType::type(); }},
    {"QueueType", [] { return tn::schema::QueueType::type(); }},
    {"Virtuality", [] { return tn::schema::Virtuality::type(); }},
};

TEST_F(ScriptingTest, EnumerationClassesMirrorTheRegisteredEnumerations) {
    for (const EnumCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string cls = std::string("tav.fenmo.treeNode.") + c.name;
        const fenmo::meta::Enum e = c.type();
        // Members in value order, named and valued as the registered literals.
        std::vector<std::pair<std::string, std::int32_t>> registered;
        for (const auto& [name, literal] : e->getLiterals())
            registered.emplace_back(fenmo::toUtf8(name), literal->getValue());
        std::sort(registered.begin(), registered.end(), [](auto& a, auto& b) { return a.second < b.second; });
        PlexoClass* host = getClass(makeInterned(cls));
        ASSERT_EQ(host->enumerationValues().size(), registered.size());
        for (std::size_t i = 0; i < registered.size(); ++i) {
            EXPECT_EQ(host->enumerationValues()[i]->getName(), registered[i].first);
            Array member = enumerationMember(cls, registered[i].first);
            EXPECT_TRUE(isClass(member.get(), cls));
            EXPECT_TRUE(isA(member.get(), "int32"));
            EXPECT_EQ(underlying(member), registered[i].second);
            EXPECT_EQ(call("getValue", {member.get()})[0]->int32s()[0], registered[i].second);
            EXPECT_EQ(fenmo::toUtf8(text(call("getLiteral", {member.get()})[0])), registered[i].first);
            // No literal has a public identifier of its own: it is the name.
            EXPECT_EQ(text(call("getPublicIdentifier", {member.get()})[0]),
                      text(call("getLiteral", {member.get()})[0]));
            // Built from the literal's name by the constructor.
            Array built = construct(cls, {str(registered[i].first.c_str()).get()});
            EXPECT_EQ(underlying(built), registered[i].second);
        }
        // The member object is made once and kept.
        PlexoEnumInfo* info = host->enumerationValues().back().get();
        EXPECT_EQ(info->getMemberObject(), info->getMemberObject());
        // Hidden methods are callable but not listed.
        const auto names = methodNames(cls);
        for (const char* hidden : {"getValue", "getLiteral", "getPublicIdentifier"}) {
            EXPECT_EQ(std::count(names.begin(), names.end(), hidden), 0) << hidden;
            ASSERT_NE(host->findMethod(hidden), nullptr) << hidden;
            EXPECT_EQ(host->findMethod(hidden)->getAttributes(), Hidden | ForceMembership);
        }
        // A value without literal: no literal, no public identifier.
        Array seven(createInt32Scalar(7));
        Array stray(omCreateBuiltinBasedArrayFromUnderlyingArray(makeInterned(cls), *seven));
        EXPECT_EQ(text(call("getLiteral", {stray.get()})[0]), u"");
        EXPECT_EQ(text(call("getPublicIdentifier", {stray.get()})[0]), u"");
    }
    EXPECT_EQ(call("getValue", {enumerationMember("tav.fenmo.treeNode.QueueType", "Q_TYPE_LIFO").get()})[0]
                  ->int32s()[0],
              1);
    expectHostError([&] { construct(kComplexity, {str("SIDEWAYS").get()}); }, kHostCatalog,
                    "InvalidEnumerationMember");
}

TEST_F(ScriptingTest, TextConversionsTurnLiteralNamesIntoMembers) {
    // Conversions come with the classes: the namespace is populated on the first use of one.
    EXPECT_EQ(getConversion(makeInterned("char"), makeInterned("tav.fenmo.treeNode.Virtuality")), nullptr);
    getClass(makeInterned(kComplexity));
    for (const char* suffix : {"", " property", " scalar"}) {
        const TypeConverter* converter = getConversion(
            makeInterned("char"), makeInterned(std::string("tav.fenmo.treeNode.Virtuality") + suffix));
        ASSERT_NE(converter, nullptr) << suffix;
        Array member(converter->convert(*str("NON_VIRTUAL")));
        EXPECT_TRUE(isClass(member.get(), "tav.fenmo.treeNode.Virtuality"));
        EXPECT_EQ(underlying(member), 2);
    }
    const TypeConverter* dims =
        getConversion(makeInterned("cell"), makeInterned("tav.fenmo.treeNode.DimsMode"));
    ASSERT_NE(dims, nullptr);
    Array cell(createCellMatrix(1, 2));
    cell->setCell(0, createString("VARIABLE"));
    cell->setCell(1, createString("FIXED"));
    Array both(dims->convert(*cell));
    EXPECT_EQ(omGetUnderlyingArray(*both)->int32s(), (std::vector<std::int32_t>{2, 1}));
    // "INHERIT" is a literal of DimsMode too, but the conversions are per enumeration.
    auto e = expectMessage([&] { Array(dims->convert(*str("SIGNAL"))); }, "InvalidValue");
    EXPECT_EQ(e.arguments()[0], u"SIGNAL");
}

TEST_F(ScriptingTest, MarshalersConvertOneValueBothWaysAndRefuseWhatDoesNotFit) {
    const fenmo::meta::Type complexity = tn::schema::Complexity::type();
    fq::ValueMarshaler* m = fq::EmptyParentNamespace::Registrar::findTypeMarshaler(complexity);
    ASSERT_NE(m, nullptr);

    // Host to Value: empty, a member, text through the registered conversion, anything else as 0.
    Value none = m->toValue(*emptyDouble());
    EXPECT_FALSE(none.hasPayload());
    EXPECT_EQ(none.typeImpl(), complexity.get());
    EXPECT_EQ(m->toValue(*enumerationMember(kComplexity, "REAL")).getInteger(), 1);
    Value fromText = m->toValue(*str("COMPLEX"));
    EXPECT_EQ(fromText.getInteger(), 2);
    EXPECT_EQ(fromText.typeImpl(), complexity.get());
    EXPECT_EQ(m->toValue(*Array(createStringObject(u"REAL"))).getInteger(), 1);
    EXPECT_EQ(m->toValue(*num(2)).getInteger(), 0) << "a value that is no member reads as 0";
    EXPECT_EQ(m->toValue(*enumerationMember("tav.fenmo.treeNode.DataMode", "MESSAGE")).getInteger(), 0)
        << "a member of another enumeration reads as 0";
    EXPECT_FALSE(m->toValue(*Array(omCreatePLEXOEmpty(makeInterned(kComplexity)))).hasPayload());

    // Refusals: more than one value, directly or after conversion; unknown text is the converter's.
    Array pair(createNumericMatrix(1, 2, NumericClass::Int32));
    pair->int32s() = {0, 2};
    Array two(omCreateBuiltinBasedArrayFromUnderlyingArray(makeInterned(kComplexity), *pair));
    auto e = expectMessage([&] { m->toValue(*two); }, "CannotCastIncompatibleTypes");
    EXPECT_EQ(e.arguments(), std::vector<std::u16string>{u"tav.fenmo.treeNode.Complexity"});
    Array texts(createCellMatrix(1, 2));
    texts->setCell(0, createString("AUTO"));
    texts->setCell(1, createString("REAL"));
    expectMessage([&] { m->toValue(*texts); }, "CannotCastIncompatibleTypes");
    expectMessage([&] { m->toValue(*Array(createNumericMatrix(1, 3, NumericClass::Double))); },
                  "CannotCastIncompatibleTypes");
    expectMessage([&] { m->toValue(*str("SIDEWAYS")); }, "InvalidValue");

    // Value to host: a member of the class, or an empty array of the class.
    Array complex(m->toHost(Value::ofEnum(complexity, 2)));
    EXPECT_TRUE(isClass(complex.get(), kComplexity));
    EXPECT_EQ(complex->numel(), 1u);
    EXPECT_EQ(underlying(complex), 2);
    Array unset(m->toHost(Value(complexity, boost::none)));
    EXPECT_TRUE(isClass(unset.get(), kComplexity));
    EXPECT_TRUE(isEmpty(unset.get()));
    Array zero(m->toHost(Value::singleWithoutPayload(complexity)));
    EXPECT_EQ(underlying(zero), 0) << "a single value without payload is the zero member";

    // Type tests.
    EXPECT_FALSE(m->isCorrectType(nullptr));
    EXPECT_TRUE(m->isCorrectType(complex.get()));
    EXPECT_TRUE(m->isCorrectType(str("AUTO").get()));
    EXPECT_TRUE(m->isCorrectType(texts.get()));
    EXPECT_FALSE(m->isCorrectType(num(1).get()));
    EXPECT_TRUE(m->isEmptyScalar(nullptr));
    EXPECT_TRUE(m->isEmptyScalar(unset.get()));
    EXPECT_FALSE(m->isEmptyScalar(complex.get()));
    Array empty(m->emptyHostValue());
    EXPECT_TRUE(isClass(empty.get(), kComplexity));
    EXPECT_TRUE(isEmpty(empty.get()));
}

TEST_F(ScriptingTest, MarshalersConvertManyValuesAsOneRowOfMembers) {
    const fenmo::meta::Type queue = tn::schema::QueueType::type();
    fq::ValueMarshaler* m = fq::EmptyParentNamespace::Registrar::findTypeMarshaler(queue);
    ASSERT_NE(m, nullptr);
    const char* cls = "tav.fenmo.treeNode.QueueType";

    Array row(
        m->fromValueVector({Value::ofEnum(queue, 1), Value(queue, boost::none), Value::ofEnum(queue, 1)}));
    EXPECT_TRUE(isClass(row.get(), cls));
    EXPECT_EQ(row->rows(), 1u);
    EXPECT_EQ(row->cols(), 3u);
    EXPECT_EQ(omGetUnderlyingArray(*row)->int32s(), (std::vector<std::int32_t>{1, 0, 1}))
        << "an empty entry is 0";
    Array nothing(m->fromValueVector({}));
    EXPECT_TRUE(isClass(nothing.get(), cls));
    EXPECT_TRUE(isEmpty(nothing.get()));

    // Back: one Value per element of the underlying array, in order.
    std::vector<Value> values = m->toValueVector(*row);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].getInteger(), 1);
    EXPECT_EQ(values[1].getInteger(), 0);
    EXPECT_EQ(values[0].typeImpl(), queue.get());
    EXPECT_TRUE(m->toValueVector(*nothing).empty());
    EXPECT_TRUE(m->toValueVector(*str("Q_TYPE_FIFO")).empty()) << "text has no underlying array";
    expectMessage([&] { m->toValueVector(*num(1)); }, "CannotCastIncompatibleTypes");

    // Collections of the kind: a sequence keeps repeats, a set drops them.
    Value sequence = m->toUnmanagedCollectionValue(*row);
    EXPECT_EQ(sequence.getEntries().size(), 3u);
    Value set = m->toUnmanagedSetValue(*row);
    ASSERT_EQ(set.getEntries().size(), 2u);
    EXPECT_EQ(set.getEntries()[0].getInteger(), 1);
    Array again(m->toHostArray(sequence));
    EXPECT_EQ(omGetUnderlyingArray(*again)->int32s(), (std::vector<std::int32_t>{1, 0, 1}));
}

}  // namespace
}  // namespace scripting_test
