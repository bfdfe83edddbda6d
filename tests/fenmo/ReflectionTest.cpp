// Errors with message identifiers, values and their kinds, and reflective access through the pattern.

#include "Support.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <string>
#include <type_traits>

namespace fenmo_test {
namespace {

using fenmo::ValueFlags;
using fenmo::meta::StandardTypes;

template <class E>
constexpr bool isMessageException =
    std::is_base_of_v<fenmo::MessageIdException, E>&& std::is_base_of_v<std::exception, E>;

TEST(Errors, CarryCatalogKeyAndArguments) {
    static_assert(isMessageException<fenmo::InvalidValueException>);
    static_assert(isMessageException<fenmo::CannotCastIncompatibleTypesException>);
    static_assert(isMessageException<fenmo::CannotAddIncompatibleTypesException>);
    // One type per key: a handler for one key does not catch another.
    static_assert(!std::is_same_v<fenmo::InvalidValueException, fenmo::CannotModifyProxyException>);
    EXPECT_THROW(
        try { throw fenmo::CannotModifyProxyException(); } catch (const fenmo::InvalidValueException&){},
        fenmo::CannotModifyProxyException);

    fenmo::CannotAddIncompatibleTypesException e({u"Part", u"Item"});
    EXPECT_EQ(e.catalog(), "fenmo:messages");
    EXPECT_EQ(e.key(), "CannotAddIncompatibleTypes");
    ASSERT_EQ(e.arguments().size(), 2u);
    EXPECT_EQ(e.arguments()[1], u"Item");
    const std::string what = e.what();
    EXPECT_NE(what.find("CannotAddIncompatibleTypes"), std::string::npos) << what;
    EXPECT_NE(what.find("Part"), std::string::npos) << what;
    EXPECT_NE(what.find("Item"), std::string::npos) << what;

    // A catalog and key the framework does not know, many arguments, and text beyond ASCII: every
    // argument still appears, in UTF-8.
    std::vector<std::u16string> args;
    for (int i = 0; i < 12; ++i) args.push_back(u"arg" + fenmo::widenNumber(i));
    args.push_back(u"\u00e9t\u00e9 \u6f22");
    fenmo::MessageIdException custom("host:other", "SomethingElse", args);
    const std::string text = custom.what();
    EXPECT_EQ(custom.catalog(), "host:other");
    EXPECT_NE(text.find("SomethingElse"), std::string::npos) << text;
    for (const std::u16string& a : args) EXPECT_NE(text.find(fenmo::toUtf8(a)), std::string::npos) << text;
    EXPECT_NE(text.find("\xc3\xa9t\xc3\xa9 \xe6\xbc\xa2"), std::string::npos);
}

TEST(Errors, RaisedByElementOperationsLeaveTheModelUnchanged) {
    Model model = Model::create();
    Item a = Item::create(model);
    a->setLabel(text(u"a"));
    Part p = Part::create(model);
    const auto& tag = ReflectionPrivateTag::standard();
    const std::size_t steps = model->undoStepCount();
    Recorder recorder(model);

    // A value of another type.
    try {
        a->setPropertyValue(TestMeta::itemLabel(), Value::ofInteger(3), tag);
        FAIL();
    } catch (const fenmo::CannotCastIncompatibleTypesException& e) {
        EXPECT_EQ(e.catalog(), "fenmo:messages");
        ASSERT_EQ(e.arguments().size(), 1u);
        EXPECT_EQ(e.arguments()[0], StandardTypes::integerMeta()->getQualifiedName());
        EXPECT_NE(std::string(e.what()).find(fenmo::toUtf8(e.arguments()[0])), std::string::npos);
    }
    // A collection value, even of the right type.
    Value list = Value::ofList(StandardTypes::stringMeta(), ValueFlags::Sequence, {Value::ofString(u"x")});
    EXPECT_THROW(a->setPropertyValue(TestMeta::itemLabel(), list, tag),
                 fenmo::CannotCastIncompatibleTypesException);
    // An boost::none mandatory property cannot be read.
    EXPECT_THROW(p->getPropertyValue(TestMeta::partRank(), tag), fenmo::InvalidValueException);
    // A property of another class is answered by the framework's base, with the property's name.
    try {
        a->getPropertyValue(TestMeta::partText(), tag);
        FAIL();
    } catch (const fenmo::InvalidValueException& e) {
        ASSERT_EQ(e.arguments().size(), 1u);
        EXPECT_EQ(e.arguments()[0], TestMeta::partText()->getQualifiedName());
    }
    EXPECT_THROW(a->setPropertyValue(TestMeta::partText(), Value::ofString(u"x"), tag),
                 fenmo::InvalidValueException);

    EXPECT_EQ(a->getLabel(), text(u"a"));
    EXPECT_EQ(model->undoStepCount(), steps);
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(model->isInTransaction());
}

TEST(Values, KindsAndEntryTypes) {
    EXPECT_EQ(static_cast<int>(ValueFlags::Optional), 0);
    EXPECT_EQ(static_cast<int>(ValueFlags::Single), 1);
    EXPECT_EQ(static_cast<int>(ValueFlags::Sequence), 2);
    EXPECT_EQ(static_cast<int>(ValueFlags::Set), 3);
    EXPECT_EQ(static_cast<int>(ValueFlags::Map), 5);
    EXPECT_FALSE(fenmo::ValueMeta(nullptr, ValueFlags::Single).isCollection());
    EXPECT_TRUE(fenmo::ValueMeta(nullptr, ValueFlags::Set).isCollection());
    EXPECT_TRUE(fenmo::ValueMeta(nullptr, ValueFlags::Map).isCollection());

    const fenmo::meta::Type& string = StandardTypes::stringMeta();
    Value empty(string, boost::none);
    EXPECT_EQ(empty.getFlags(), ValueFlags::Optional);
    EXPECT_FALSE(empty.hasPayload());
    EXPECT_EQ(empty.getType().get(), string.get());
    EXPECT_EQ(empty.getMeta().getEntryType().get(), string.get());
    EXPECT_EQ(empty.getString(), u"");

    Value s = Value::ofString(u"abc");
    EXPECT_EQ(s.getFlags(), ValueFlags::Single);
    EXPECT_EQ(s.getString(), u"abc");
    EXPECT_NE(s, empty);
    EXPECT_EQ(s, Value::ofString(u"abc"));
    EXPECT_NE(s, Value::ofString(u"abd"));
    // Reading a payload of another kind is refused with the value's type.
    EXPECT_THROW(s.getInteger(), fenmo::CannotCastIncompatibleTypesException);
    EXPECT_THROW(Value::ofBoolean(true).getString(), fenmo::CannotCastIncompatibleTypesException);

    // A single value without payload reads as the zero value of its type.
    Value zero = Value::singleWithoutPayload(StandardTypes::integerMeta());
    EXPECT_EQ(zero.getFlags(), ValueFlags::Single);
    EXPECT_EQ(zero.getInteger(), 0);
    EXPECT_FALSE(Value::singleWithoutPayload(StandardTypes::booleanMeta()).getBoolean());

    // Sequences and sets hold their entries themselves; equal entries make equal values.
    Value seq = Value::ofList(string, ValueFlags::Sequence, {Value::ofString(u"x"), Value::ofString(u"y")});
    EXPECT_EQ(seq.getFlags(), ValueFlags::Sequence);
    EXPECT_TRUE(seq.isUnmanaged());
    ASSERT_EQ(seq.getEntries().size(), 2u);
    EXPECT_EQ(seq.getEntries()[1].getString(), u"y");
    EXPECT_EQ(seq,
              Value::ofList(string, ValueFlags::Sequence, {Value::ofString(u"x"), Value::ofString(u"y")}));
    EXPECT_NE(seq, Value::ofList(string, ValueFlags::Set, {Value::ofString(u"x"), Value::ofString(u"y")}));
    EXPECT_NE(seq,
              Value::ofList(string, ValueFlags::Sequence, {Value::ofString(u"y"), Value::ofString(u"x")}));
    EXPECT_EQ(s.getEntries().size(), 1u);
    EXPECT_TRUE(empty.getEntries().empty());

    // Elements travel typed by their own class.
    Model model = Model::create();
    Item a = Item::create(model);
    Value element = Value::ofElement(a);
    EXPECT_EQ(element.getFlags(), ValueFlags::Single);
    EXPECT_EQ(element.typeImpl(), Item::metaClass().get());
    EXPECT_EQ(element.getElement().get(), a.get());
    EXPECT_EQ(element.typeName(), u"fenmoTest.Item");
    Value none = Value::ofElement(Item::metaClass(), ModelElement());
    EXPECT_EQ(none.getFlags(), ValueFlags::Optional);
    EXPECT_FALSE(none.getElement().get());

    EXPECT_FALSE(fenmo::internal::isEnumType(string));
}

TEST(Reflection, ScalarPropertiesThroughValues) {
    Model model = Model::create();
    Item a = Item::create(model);
    const auto& tag = ReflectionPrivateTag::standard();
    const meta::Property& label = TestMeta::itemLabel();
    const meta::Property& count = TestMeta::itemCount();

    EXPECT_FALSE(a->hasPropertyValue(label, tag));
    Value unsetLabel = a->getPropertyValue(label, tag);
    EXPECT_EQ(unsetLabel.getFlags(), ValueFlags::Optional);
    EXPECT_EQ(unsetLabel.typeImpl(), label->getType().get());

    a->setPropertyValue(label, Value::ofString(u"via value"), tag);
    a->setPropertyValue(count, Value::ofInteger(-7), tag);
    EXPECT_EQ(a->getLabel(), text(u"via value"));
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(-7));
    EXPECT_TRUE(a->hasPropertyValue(count, tag));
    EXPECT_EQ(a->getPropertyValue(count, tag), Value::ofInteger(-7));
    EXPECT_EQ(model->undoStepCount(), 3u);

    // The same value again is no change; a single value without payload is the zero value, engaged.
    a->setPropertyValue(count, Value::ofInteger(-7), tag);
    EXPECT_EQ(model->undoStepCount(), 3u);
    a->setPropertyValue(label, Value::singleWithoutPayload(StandardTypes::stringMeta()), tag);
    EXPECT_EQ(a->getLabel(), text(u""));
    // The empty value of the type unsets.
    a->setPropertyValue(count, Value(StandardTypes::integerMeta(), boost::none), tag);
    EXPECT_FALSE(a->getCount());
    model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(-7));

    // Index look-up: the class answers its own indices, the base the others.
    EXPECT_EQ(a->getPropertyByIndex(1).get(), label.get());
    EXPECT_EQ(a->getPropertyByIndex(5).get(), TestMeta::itemSub().get());
    EXPECT_THROW(a->getPropertyByIndex(0), fenmo::InvalidValueException);
    EXPECT_THROW(a->getPropertyByIndex(6), fenmo::InvalidValueException);

    // The mandatory rank: readable once set.
    Part p = Part::create(model);
    p->setRank(4);
    EXPECT_EQ(p->getPropertyValue(TestMeta::partRank(), tag).getInteger(), 4);
}

TEST(Proxies, RefuseChangesAndResolveLazily) {
    Model target = Model::create();
    Part real = Part::create(target);
    real->setText(text(u"real"));

    Model model = Model::create();
    Item holder = Item::create(model);
    Part proxy = fenmo::handleCast<Part>(
        model->createProxy(Part::metaClass(), fenmo::ProxyId(real->getUuid(), target->getId())));
    ASSERT_NE(proxy.get(), nullptr);
    EXPECT_TRUE(proxy->isProxy());
    EXPECT_TRUE(proxy);
    const std::size_t steps = model->undoStepCount();
    Recorder recorder(model);
    try {
        proxy->setText(text(u"changed"));
        FAIL() << "a proxy must refuse changes";
    } catch (const fenmo::CannotModifyProxyException& e) {
        EXPECT_EQ(e.key(), "CannotModifyProxy");
        EXPECT_TRUE(e.arguments().empty());
    }
    EXPECT_THROW(proxy->setPropertyValue(TestMeta::partText(), Value::ofString(u"x"),
                                         ReflectionPrivateTag::standard()),
                 fenmo::CannotModifyProxyException);
    EXPECT_FALSE(proxy->getText());
    EXPECT_EQ(model->undoStepCount(), steps);
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(model->isInTransaction());

    const fenmo::ProxyId* id = model->proxyIdOf(*proxy.get());
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(id->getElementId(), real->getUuid());
    EXPECT_EQ(model->resolveProxy(holder, proxy).get(), real.get());

    // Once the target model is closed, the proxy no longer resolves.
    real.reset();
    target = Model();
    EXPECT_FALSE(model->resolveProxy(holder, proxy).get());

    // A proxy into a model that is not open yet resolves once that model is loaded and holds the element.
    const fenmo::uuid laterModel = fenmo::newUuid(), laterElement = fenmo::newUuid();
    Part early = fenmo::handleCast<Part>(
        model->createProxy(Part::metaClass(), fenmo::ProxyId(laterElement, laterModel)));
    EXPECT_FALSE(model->resolveProxy(holder, early).get());
    Model loaded = Model::create(laterModel);
    EXPECT_FALSE(model->resolveProxy(holder, early).get());
    Part arrived = Part::create(loaded, laterElement);
    EXPECT_EQ(model->resolveProxy(holder, early).get(), arrived.get());
}

}  // namespace
}  // namespace fenmo_test
