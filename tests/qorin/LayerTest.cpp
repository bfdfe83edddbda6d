// The scripting layer's parts on their own: marshalers and their registrar, enumeration classes and
// their text conversions, builders from structs, identities from text.

#include "Support.hpp"

#include <arvelle/treeNode/ChildAttributes.hpp>
#include <arvelle/treeNode/SignalAttributes.hpp>
#include <arvelle/treeNode/TreeNode.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/StandardTypes.hpp>

namespace qorin_test {
namespace {

using namespace plexo;
using fenmo::Value;
using fenmo::ValueKind;
namespace fq = fenmo::qorin;
namespace meta = fenmo::meta;
namespace tn = tav::fenmo::treeNode;

TEST_F(QorinTest, StandardMarshalersConvertBothWaysAndRefuseWhatDoesNotFit) {
    fq::ValueMarshaler* strings = fq::marshalerFor(meta::StandardTypes::stringMeta());
    fq::ValueMarshaler* integers = fq::marshalerFor(meta::StandardTypes::integerMeta());
    fq::ValueMarshaler* booleans = fq::marshalerFor(meta::StandardTypes::booleanMeta());
    ASSERT_TRUE(strings && integers && booleans);

    // Single values, and the empty value from an empty array of any class.
    EXPECT_EQ(strings->toValue(*str("abc")).getString(), u"abc");
    EXPECT_FALSE(strings->toValue(*emptyDouble()).hasPayload());
    EXPECT_EQ(integers->toValue(*num(12)).getInteger(), 12);
    EXPECT_FALSE(integers->toValue(*emptyDouble()).hasPayload());
    EXPECT_TRUE(booleans->toValue(*Array(createLogicalScalar(true))).getBoolean());
    Array back(integers->toHost(Value::ofInteger(-3)));
    EXPECT_TRUE(isClass(back.get(), "int32"));
    EXPECT_EQ(back->int32s()[0], -3);
    Array none(integers->toHost(Value(meta::StandardTypes::integerMeta(), boost::none)));
    EXPECT_TRUE(isEmpty(none.get()));
    EXPECT_EQ(integers->dataType()->name, "int32");
    EXPECT_EQ(integers->plexoQualifiedNameMulti(), "int32 vector");

    // Refusals name the data type.
    auto e = expectMessage([&] { integers->toValue(*num(1.5)); }, "CannotCastIncompatibleTypes");
    EXPECT_EQ(e.arguments(), std::vector<std::u16string>{u"int32"});
    Array two(createNumericMatrix(1, 2, NumericClass::Double));
    expectMessage([&] { integers->toValue(*two); }, "CannotCastIncompatibleTypes");
    expectMessage([&] { strings->toValue(*num(1)); }, "CannotCastIncompatibleTypes");
    EXPECT_FALSE(integers->isCorrectType(str("x").get()));
    EXPECT_TRUE(integers->isEmptyScalar(emptyDouble().get()));

    // Many values: vectors, unmanaged sequences keep repeats, sets drop them.
    Array row(createNumericMatrix(1, 4, NumericClass::Int32));
    row->int32s() = {3, 1, 3, 2};
    EXPECT_EQ(integers->toValueVector(*row).size(), 4u);
    Value sequence = integers->fromHostArray(*row, ValueKind::Sequence);
    EXPECT_EQ(sequence.getFlags(), ValueKind::Sequence);
    EXPECT_EQ(sequence.getEntries().size(), 4u);
    Value set = integers->fromHostArray(*row, ValueKind::Set);
    ASSERT_EQ(set.getEntries().size(), 3u);
    EXPECT_EQ(set.getEntries()[2].getInteger(), 2);
    Array many(integers->toHostArray(sequence));
    EXPECT_EQ(many->cols(), 4u);
    EXPECT_EQ(many->int32s()[3], 2);
    Array texts(strings->fromValueVector({Value::ofString(u"a"), Value::ofString(u"b")}));
    EXPECT_TRUE(isCell(texts.get()));
    EXPECT_EQ(strings->toValueVector(*texts)[1].getString(), u"b");
    Array nothing(strings->fromValueVector({}));
    EXPECT_TRUE(isEmpty(nothing.get()));

    // Elements: the scripting object of the element, and back.
    Array model = construct("fenmo.Model");
    Array node = construct("fenmoTest.Node", {model.get()});
    fq::ValueMarshaler* elements = fq::marshalerFor(fenmo_test::Node::metaClass());
    ASSERT_NE(elements, nullptr);
    EXPECT_EQ(fq::marshalerFor(fenmo_test::Node::metaClass()), elements) << "made once per class";
    Value element = elements->toValue(*node);
    Array again(elements->toHost(element));
    EXPECT_TRUE(sameObject(*again, *node));
    expectMessage([&] { elements->toValue(*model); }, "CannotCastIncompatibleTypes");
}

TEST_F(QorinTest, EnumerationValuesConvertThroughThePolicyTemplate) {
    const meta::Type complexity =
        fenmo::meta::MetaRegistry::getInstance()->getType(u"tav.fenmo.treeNode.Complexity");
    ASSERT_TRUE(complexity.get());
    fq::PolicyBasedValueMarshaler<tn::Complexity> marshaler(complexity, "fenmoTest.Complexity");
    EXPECT_EQ(plexo::className(marshaler.classId()), "fenmoTest.Complexity")
        << "the override names the class";

    Array complex = enumerationMember("fenmoTest.Complexity", "COMPLEX");
    Value value = marshaler.toValue(*complex);
    EXPECT_EQ(value.getInteger(), 2);
    EXPECT_EQ(value.typeImpl(), complexity.get());
    EXPECT_FALSE(marshaler.toValue(*emptyDouble()).hasPayload());
    Array member(marshaler.toHost(Value::ofEnum(complexity, 1)));
    EXPECT_TRUE(isClass(member.get(), "fenmoTest.Complexity"));
    EXPECT_EQ(omGetUnderlyingArray(*member)->int32s()[0], 1);
    Array unset(marshaler.toHost(Value(complexity, boost::none)));
    EXPECT_TRUE(isEmpty(unset.get()));
    EXPECT_TRUE(isClass(unset.get(), "fenmoTest.Complexity"));

    Array three(marshaler.fromValueVector(
        {Value::ofEnum(complexity, 0), Value::ofEnum(complexity, 2), Value::ofEnum(complexity, 1)}));
    EXPECT_EQ(three->cols(), 3u);
    EXPECT_EQ(marshaler.toValueVector(*three).size(), 3u);
    expectMessage([&] { marshaler.toValue(*three); }, "CannotCastIncompatibleTypes");
    expectMessage([&] { marshaler.toValue(*num(1)); }, "CannotCastIncompatibleTypes");
}

TEST_F(QorinTest, TheRegistrarOwnsMarshalersUntilTheyAreUnregistered) {
    static int destroyed = 0;
    struct Counted final : fq::PolicyBasedValueMarshaler<std::int32_t> {
        using PolicyBasedValueMarshaler::PolicyBasedValueMarshaler;
        ~Counted() override { ++destroyed; }
    };
    // A type of the test metamodel that no marshaler is registered for.
    const meta::Type type = fenmo_test::TestMeta::get().m_node;
    ASSERT_EQ(fq::EmptyParentNamespace::Registrar::findTypeMarshaler(type), nullptr);
    destroyed = 0;
    auto* first = new Counted(type);
    fq::EmptyParentNamespace::Registrar::registerTypeMarshaler(type, first);
    EXPECT_EQ(fq::marshalerFor(type), first) << "a registered marshaler comes before the layer's own";
    fq::EmptyParentNamespace::Registrar::registerTypeMarshaler(type, new Counted(type));
    EXPECT_EQ(destroyed, 1) << "registering again replaces and destroys the earlier one";
    fq::EmptyParentNamespace::Registrar::unregisterTypeMarshaler(type);
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(fq::EmptyParentNamespace::Registrar::findTypeMarshaler(type), nullptr);
}

TEST_F(QorinTest, EnumerationMembersMethodsAndTextConversions) {
    const std::string cls = "fenmoTest.Complexity";
    Array real = enumerationMember(cls, "REAL");
    EXPECT_TRUE(isA(real.get(), "int32"));
    EXPECT_EQ(omGetUnderlyingArray(*real)->int32s()[0], 1);
    PlexoEnumInfo* info = getClass(makeInterned(cls))->findEnumerationValue("COMPLEX");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->getMemberObject(), info->getMemberObject()) << "the member object is made once and kept";
    std::vector<std::string> members;
    for (const auto& v : getClass(makeInterned(cls))->enumerationValues()) members.push_back(v->getName());
    EXPECT_EQ(members, (std::vector<std::string>{"AUTO", "REAL", "COMPLEX"}));

    // The constructor builds members from names and numbers through the host's member constructor.
    Array fromText = construct(cls, {str("COMPLEX").get()});
    EXPECT_EQ(omGetUnderlyingArray(*fromText)->int32s()[0], 2);
    Array fromNumber = construct(cls, {num(0).get()});
    EXPECT_EQ(omGetUnderlyingArray(*fromNumber)->int32s()[0], 0);
    expectHostError([&] { construct(cls, {str("SIDEWAYS").get()}); }, kHostCatalog,
                    "InvalidEnumerationMember");

    // Hidden methods: value, literal, public identifier; a value without literal gives empty text.
    auto names = methodNames(cls);
    EXPECT_EQ(std::count(names.begin(), names.end(), "getValue"), 0);
    EXPECT_EQ(call("getValue", {real.get()})[0]->int32s()[0], 1);
    EXPECT_EQ(text(call("getLiteral", {real.get()})[0]), u"REAL");
    EXPECT_EQ(text(call("getPublicIdentifier", {real.get()})[0]), u"REAL");
    Array seven(createInt32Scalar(7));
    Array unknown(omCreateBuiltinBasedArrayFromUnderlyingArray(makeInterned(cls), *seven));
    EXPECT_EQ(text(call("getLiteral", {unknown.get()})[0]), u"");
    EXPECT_EQ(text(call("getPublicIdentifier", {unknown.get()})[0]), u"");

    // Three text conversions, one per declared name; text and cells of text become members.
    EXPECT_EQ(conversionCount(makeInterned(cls)), 1u);
    EXPECT_EQ(conversionCount(makeInterned(cls + " property")), 1u);
    EXPECT_EQ(conversionCount(makeInterned(cls + " scalar")), 1u);
    const TypeConverter* converter = getConversion(makeInterned("char"), makeInterned(cls + " scalar"));
    ASSERT_NE(converter, nullptr);
    Array converted(converter->convert(*str("COMPLEX")));
    EXPECT_EQ(omGetUnderlyingArray(*converted)->int32s()[0], 2);
    Array cell(createCellMatrix(1, 2));
    cell->setCell(0, createString("AUTO"));
    cell->setCell(1, createString("REAL"));
    Array both(converter->convert(*cell));
    EXPECT_EQ(omGetUnderlyingArray(*both)->int32s(), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(converter->convert(*num(1)), nullptr) << "numbers are not the text converter's";
    auto e = expectMessage([&] { Array(converter->convert(*str("NOPE"))); }, "InvalidValue");
    EXPECT_EQ(e.arguments()[0], u"NOPE");
}

TEST_F(QorinTest, BuildersFromStructsMapFieldsToPropertiesByName) {
    fenmo::Model model = fenmo::Model::create();
    Array s(createStructMatrix(1, 1, {}));
    s->setField(0, "dataType", createString("double"));
    s->setField(0, "dims", createString("[2 3]"));
    s->setField(0, "sampleTime", createNumericMatrix(0, 0, NumericClass::Double));  // empty: left unset
    auto builder = fq::createBuilderFromStruct(*s, 0, model, tn::SignalAttributes::metaClass());
    auto signal = fenmo::handleCast<tn::SignalAttributes>(builder->create(fenmo::uuid()));
    ASSERT_TRUE(signal);
    EXPECT_TRUE(signal->getDataType() == std::u16string(u"double"));
    EXPECT_TRUE(signal->getDims() == std::u16string(u"[2 3]"));
    EXPECT_FALSE(signal->getSampleTime());

    // An object standing for an element initialises a builder with that element's values.
    Array source(fq::elementToHost(signal, tn::SignalAttributes::metaClass()));
    auto copy = fenmo::handleCast<tn::SignalAttributes>(
        fq::createBuilderFromStruct(*source, 0, model, tn::SignalAttributes::metaClass())
            ->create(fenmo::uuid()));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, signal);
    EXPECT_TRUE(copy->getDataType() == std::u16string(u"double"));
    EXPECT_TRUE(copy->getDims() == std::u16string(u"[2 3]"));
    source.reset();

    // Field order does not matter for the "First" variant, which applies them in property order.
    Array child(createStructMatrix(1, 1, {}));
    child->setField(0, "indexOne", createDoubleScalar(4));
    child->setField(0, "name", createString("sig"));
    auto childBuilder = fq::createBuilderFromStructFirst(*child, 0, model, tn::ChildAttributes::metaClass());
    auto attrs = fenmo::handleCast<tn::ChildAttributes>(childBuilder->create(fenmo::uuid()));
    EXPECT_EQ(attrs->getName(), u"sig");
    EXPECT_EQ(attrs->getIndexOne(), 4);

    // Refusals name the field and create nothing.
    const std::size_t count = model->elementCount();
    Array unknown(createStructMatrix(1, 1, {}));
    unknown->setField(0, "dataType", createString("x"));
    unknown->setField(0, "colour", createString("red"));
    auto e = expectMessage(
        [&] { fq::createBuilderFromStruct(*unknown, 0, model, tn::SignalAttributes::metaClass()); },
        "InvalidValue");
    EXPECT_EQ(e.arguments()[0], u"colour");
    Array wrong(createStructMatrix(1, 1, {}));
    wrong->setField(0, "indexOne", createString("four"));
    e = expectMessage(
        [&] { fq::createBuilderFromStruct(*wrong, 0, model, tn::ChildAttributes::metaClass()); },
        "InvalidValue");
    EXPECT_EQ(e.arguments()[0], u"indexOne");
    expectMessage([&] { fq::createBuilderFromStruct(*num(1), 0, model, tn::ChildAttributes::metaClass()); },
                  "InvalidValue");
    expectMessage([&] { fq::createBuilderFromStruct(*child, 1, model, tn::ChildAttributes::metaClass()); },
                  "InvalidValue");
    expectMessage([&] { fq::createBuilderFromStruct(*child, 0, model, fenmo_test::Node::metaClass()); },
                  "InvalidValue");
    EXPECT_EQ(model->elementCount(), count);
}

TEST(ExtractUuidTest, TextInTheUuidFormOnly) {
    const auto id = fq::extractUuid(*str("8F8B1F7E-0A55-4C1B-9E63-5A2F0C1D2E3F"));
    ASSERT_TRUE(id);
    EXPECT_EQ(fenmo::toString(*id), "8f8b1f7e-0a55-4c1b-9e63-5a2f0c1d2e3f");
    EXPECT_TRUE(fq::extractUuid(*Array(createStringObject(u"8f8b1f7e-0a55-4c1b-9e63-5a2f0c1d2e3f"))));
    EXPECT_FALSE(fq::extractUuid(*str("8f8b1f7e-0a55-4c1b-9e63-5a2f0c1d2e3")));   // 35 characters
    EXPECT_FALSE(fq::extractUuid(*str("8f8b1f7e-0a55-4c1b-9e63-5a2f0c1d2e3g")));  // not hexadecimal
    EXPECT_FALSE(fq::extractUuid(*str("8f8b1f7e00a5504c1b09e6305a2f0c1d2e3f")));  // no dashes
    EXPECT_FALSE(fq::extractUuid(*num(1)));
    EXPECT_FALSE(fq::extractUuid(*str("")));
}

}  // namespace
}  // namespace qorin_test
