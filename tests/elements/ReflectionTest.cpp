// Reflective access to the attribute classes: value conversion in both directions, type checks that
// come before everything else, and the privileged tag that guards the bus-type properties.

#include "Support.hpp"

namespace elements_test {
namespace {

using tn::Complexity;
using tn::DimsMode;

namespace S = schema;

TEST(ElementReflection, EmptyValueOfThePropertyTypeClearsAndOnAbsentDoesNothing) {
    LoggedModel m;
    auto signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    auto prop = tn::PropagationAttributes::create(m.model, fm::newUuid());
    signal->setDataType(u"single"s);
    signal->setVirtuality(tn::Virtuality::VIRTUAL);
    prop->setTavBusSrc(block(4));
    prop->setPartialInfo(true);
    m.forget();

    signal->setPropertyValue(S::SignalAttributes::dataType(), emptyOf(S::SignalAttributes::dataType()),
                             standardTag());
    signal->setPropertyValue(S::SignalAttributes::virtuality(), emptyOf(S::SignalAttributes::virtuality()),
                             standardTag());
    prop->setPropertyValue(S::PropagationAttributes::tavBusSrc(),
                           emptyOf(S::PropagationAttributes::tavBusSrc()), standardTag());
    prop->setPropertyValue(S::PropagationAttributes::partialInfo(), fm::Value(booleanType(), boost::none),
                           standardTag());
    EXPECT_FALSE(signal->hasDataType());
    EXPECT_FALSE(signal->hasVirtuality());
    EXPECT_FALSE(prop->hasTavBusSrc());
    EXPECT_FALSE(prop->hasPartialInfo());
    EXPECT_EQ(m->undoStepCount(), 4u);
    ASSERT_EQ(m.reports.size(), 4u);
    const fm::PropertyChange* change = changeOf(m.reports[0], signal, S::SignalAttributes::dataType());
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue, text(u"single"));
    EXPECT_EQ(change->newValue, emptyOf(S::SignalAttributes::dataType()));

    // Clearing what is already absent is no change.
    signal->setPropertyValue(S::SignalAttributes::dataType(), emptyOf(S::SignalAttributes::dataType()),
                             standardTag());
    prop->setPropertyValue(S::PropagationAttributes::tavBusSrc(),
                           emptyOf(S::PropagationAttributes::tavBusSrc()), standardTag());
    EXPECT_EQ(m->undoStepCount(), 4u);
    EXPECT_EQ(m.reports.size(), 4u);

    m->undo();
    m->undo();
    m->undo();
    m->undo();
    EXPECT_EQ(signal->getDataType(), boost::optional<std::u16string>(u"single"s));
    EXPECT_EQ(prop->getTavBusSrc(), boost::optional<TAVBlock*>(block(4)));
}

TEST(ElementReflection, SingleValueWithoutPayloadSetsTheZeroValue) {
    LoggedModel m;
    auto signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    auto prop = tn::PropagationAttributes::create(m.model, fm::newUuid());
    auto queue = tn::MessageQueueAttributes::create(m.model, fm::newUuid());
    signal->setDimsMode(DimsMode::VARIABLE);
    m.forget();

    auto zero = [](const fm::meta::Property& p) { return fm::Value::singleWithoutPayload(p->getType()); };
    signal->setPropertyValue(S::SignalAttributes::complexity(), zero(S::SignalAttributes::complexity()),
                             standardTag());
    signal->setPropertyValue(S::SignalAttributes::dimsMode(), zero(S::SignalAttributes::dimsMode()),
                             standardTag());
    signal->setPropertyValue(S::SignalAttributes::unit(), zero(S::SignalAttributes::unit()), standardTag());
    prop->setPropertyValue(S::PropagationAttributes::groundSource(),
                           zero(S::PropagationAttributes::groundSource()), standardTag());
    prop->setPropertyValue(S::PropagationAttributes::tavBusDst(), zero(S::PropagationAttributes::tavBusDst()),
                           standardTag());
    prop->setPropertyValue(S::PropagationAttributes::tavBusSrcOPort(),
                           zero(S::PropagationAttributes::tavBusSrcOPort()), standardTag());
    queue->setPropertyValue(S::MessageQueueAttributes::queueOverwriting(),
                            zero(S::MessageQueueAttributes::queueOverwriting()), standardTag());

    EXPECT_EQ(signal->getComplexity(), boost::optional<Complexity>(Complexity::AUTO));
    EXPECT_EQ(signal->getDimsMode(), boost::optional<DimsMode>(DimsMode::INHERIT));
    EXPECT_EQ(signal->getUnit(), boost::optional<std::u16string>(u""s));
    EXPECT_TRUE(prop->hasGroundSource());
    EXPECT_EQ(prop->getGroundSource(), boost::optional<tavPort*>(nullptr));
    EXPECT_TRUE(prop->hasPropertyValue(S::PropagationAttributes::tavBusDst(), standardTag()));
    EXPECT_EQ(prop->getTavBusDst(), boost::optional<TAVBlock*>(nullptr));
    EXPECT_EQ(prop->getTavBusSrcOPort(), boost::optional<int>(0));
    EXPECT_EQ(queue->getQueueOverwriting(), boost::optional<bool>(false));
    EXPECT_EQ(m->undoStepCount(), 7u);

    // Reading back gives single values that carry the zero value.
    EXPECT_EQ(signal->getPropertyValue(S::SignalAttributes::complexity(), standardTag()),
              enumValue(S::Complexity::type(), Complexity::AUTO));
    EXPECT_EQ(prop->getPropertyValue(S::PropagationAttributes::tavBusDst(), standardTag()),
              fm::Value::ofPointer(S::nativeTypes::TavBlockPtr(), nullptr));

    // Writing the zero value again changes nothing.
    signal->setPropertyValue(S::SignalAttributes::complexity(), zero(S::SignalAttributes::complexity()),
                             standardTag());
    prop->setPropertyValue(S::PropagationAttributes::tavBusDst(), zero(S::PropagationAttributes::tavBusDst()),
                           standardTag());
    EXPECT_EQ(m->undoStepCount(), 7u);
}

TEST(ElementReflection, ReadsGiveTypedValuesAndAbsenceAsTheEmptyValue) {
    fm::Model model = fm::Model::create();
    auto signal = tn::SignalAttributes::create(model, fm::newUuid());
    auto prop = tn::PropagationAttributes::create(model, fm::newUuid());

    for (const fm::meta::Property& p : tn::SignalAttributes::metaClass()->getProperties()) {
        EXPECT_FALSE(signal->hasPropertyValue(p, standardTag())) << fm::narrow(p->getName());
        fm::Value v = signal->getPropertyValue(p, standardTag());
        EXPECT_EQ(v, emptyOf(p)) << fm::narrow(p->getName());
        EXPECT_EQ(v.typeImpl(), p->getType().get());
    }

    signal->setOutputWhenDisabled(tn::OutputWhenDisabled::RESET);
    signal->setMin(u"-1.5"s);
    prop->setGroundSource(port(9));
    prop->setTavBusDstIPort(-3);
    prop->setIsMessage(true);
    EXPECT_EQ(signal->getPropertyValue(S::SignalAttributes::outputWhenDisabled(), standardTag()),
              enumValue(S::OutputWhenDisabled::type(), tn::OutputWhenDisabled::RESET));
    EXPECT_EQ(signal->getPropertyValue(S::SignalAttributes::min(), standardTag()), text(u"-1.5"));
    EXPECT_EQ(prop->getPropertyValue(S::PropagationAttributes::groundSource(), standardTag()),
              fm::Value::ofPointer(S::nativeTypes::TavPortPtr(), port(9)));
    EXPECT_EQ(prop->getPropertyValue(S::PropagationAttributes::tavBusDstIPort(), standardTag()),
              fm::Value::ofInteger(-3));
    EXPECT_EQ(prop->getPropertyValue(S::PropagationAttributes::isMessage(), standardTag()),
              fm::Value::ofBoolean(true));

    // A property of another class is the base's business, for reads and writes alike.
    EXPECT_THROW(signal->getPropertyValue(S::BusTypeElementAttributes::dataType(), standardTag()),
                 fm::InvalidValueException);
    EXPECT_THROW(signal->hasPropertyValue(S::PlatformAttributes::dataNode(), standardTag()),
                 fm::InvalidValueException);
    EXPECT_THROW(signal->setPropertyValue(S::PlatformAttributes::dataNode(), text(u"n"), standardTag()),
                 fm::MessageIdException);
    EXPECT_EQ(signal->getMin(), boost::optional<std::u16string>(u"-1.5"s));
}

TEST(ElementReflection, WronglyTypedValueIsRefusedNamingTheOfferedType) {
    LoggedModel m;
    auto signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    auto prop = tn::PropagationAttributes::create(m.model, fm::newUuid());
    auto busRoot = tn::BusTypeRootAttributes::create(m.model, fm::newUuid());
    signal->setDataType(u"keep"s);
    signal->setComplexity(Complexity::REAL);
    prop->setTavBusSrc(block(1));
    m.forget();

    auto refusedWith = [](const fm::meta::Type& offered, auto&& write) {
        auto e = thrown<fm::CannotCastIncompatibleTypesException>(write);
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->catalog(), "fenmo:messages");
        EXPECT_EQ(e->key(), "CannotCastIncompatibleTypes");
        EXPECT_EQ(e->arguments(), std::vector<std::u16string>{offered->getQualifiedName()});
    };
    const auto& dataType = S::SignalAttributes::dataType();
    const auto& complexity = S::SignalAttributes::complexity();
    const auto& tavBusSrc = S::PropagationAttributes::tavBusSrc();
    refusedWith(integerType(),
                [&] { signal->setPropertyValue(dataType, fm::Value::ofInteger(1), standardTag()); });
    // The type is checked for an empty value too.
    refusedWith(integerType(), [&] {
        signal->setPropertyValue(dataType, fm::Value(integerType(), boost::none), standardTag());
    });
    // A collection of the right type is no single value.
    refusedWith(stringType(), [&] {
        signal->setPropertyValue(
            dataType, fm::Value::ofList(stringType(), fm::ValueFlags::Sequence, {text(u"a")}), standardTag());
    });
    // Enumerations are told apart from each other and from integers.
    refusedWith(S::DimsMode::type(), [&] {
        signal->setPropertyValue(complexity, enumValue(S::DimsMode::type(), DimsMode::FIXED), standardTag());
    });
    refusedWith(integerType(),
                [&] { signal->setPropertyValue(complexity, fm::Value::ofInteger(2), standardTag()); });
    // Pointer types are told apart by their pointee.
    refusedWith(S::nativeTypes::TavPortPtr(), [&] {
        prop->setPropertyValue(tavBusSrc, fm::Value::ofPointer(S::nativeTypes::TavPortPtr(), port(1)),
                               standardTag());
    });
    refusedWith(S::nativeTypes::TavBlockPtr(), [&] {
        prop->setPropertyValue(S::PropagationAttributes::groundSource(),
                               fm::Value::ofPointer(S::nativeTypes::TavBlockPtr(), block(1)), standardTag());
    });
    refusedWith(booleanType(), [&] {
        busRoot->setPropertyValue(S::BusTypeRootAttributes::checksum(), fm::Value::ofBoolean(true),
                                  privilegedTag());
    });

    EXPECT_EQ(signal->getDataType(), boost::optional<std::u16string>(u"keep"s));
    EXPECT_EQ(signal->getComplexity(), boost::optional<Complexity>(Complexity::REAL));
    EXPECT_EQ(prop->getTavBusSrc(), boost::optional<TAVBlock*>(block(1)));
    EXPECT_FALSE(prop->hasGroundSource());
    EXPECT_FALSE(busRoot->hasChecksum());
    EXPECT_EQ(m->transactionDepth(), 0u);
    EXPECT_EQ(m->undoStepCount(), 0u);
    EXPECT_TRUE(m.reports.empty());

    // On a proxy the type check comes before the proxy check.
    auto proxy = fm::handleCast<tn::SignalAttributes>(
        m->createProxy(tn::SignalAttributes::metaClass(), fm::ProxyId(fm::newUuid(), fm::newUuid())));
    ASSERT_TRUE(proxy.get());
    refusedWith(booleanType(),
                [&] { proxy->setPropertyValue(dataType, fm::Value::ofBoolean(false), standardTag()); });
    EXPECT_THROW(proxy->setPropertyValue(dataType, text(u"x"), standardTag()),
                 fm::CannotModifyProxyException);
}

TEST(ElementReflection, BusTypePropertiesAreWrittenOnlyWithThePrivilegedTag) {
    LoggedModel m;
    auto root = tn::BusTypeRootAttributes::create(m.model, fm::newUuid());
    auto element = tn::BusTypeElementAttributes::create(m.model, fm::newUuid());
    m.forget();

    const auto& checksum = S::BusTypeRootAttributes::checksum();
    // Unprivileged writes go to the base, which refuses a property without public mutator.
    EXPECT_THROW(root->setPropertyValue(checksum, text(u"abc"), standardTag()),
                 fm::CannotSetReadOnlyPropertyException);
    EXPECT_THROW(root->setPropertyValue(checksum, text(u"abc"), fm::ReflectionPrivateTag::unresolved()),
                 fm::CannotSetReadOnlyPropertyException);
    // Even a write that would change nothing and a wrongly typed one never reach the class.
    EXPECT_THROW(root->setPropertyValue(checksum, emptyOf(checksum), standardTag()),
                 fm::CannotSetReadOnlyPropertyException);
    EXPECT_THROW(root->setPropertyValue(checksum, fm::Value::ofInteger(3), standardTag()),
                 fm::CannotSetReadOnlyPropertyException);
    EXPECT_FALSE(root->hasChecksum());

    struct Write {
        const fm::meta::Property& property;
        fm::Value value;
    };
    const std::vector<Write> writes = {
        {S::BusTypeElementAttributes::complexity(), enumValue(S::Complexity::type(), Complexity::COMPLEX)},
        {S::BusTypeElementAttributes::min(), text(u"0")},
        {S::BusTypeElementAttributes::max(), text(u"255")},
        {S::BusTypeElementAttributes::unit(), text(u"V")},
        {S::BusTypeElementAttributes::dataType(), text(u"uint8")},
        {S::BusTypeElementAttributes::dims(), text(u"[2 3]")},
        {S::BusTypeElementAttributes::dimsMode(), enumValue(S::DimsMode::type(), DimsMode::FIXED)},
        {S::BusTypeElementAttributes::sampleTime(), text(u"-1")},
        {S::BusTypeElementAttributes::valueType(), text(u"")},
        {S::BusTypeElementAttributes::desc(), text(u"element")},
    };
    ASSERT_EQ(writes.size(), storedCount(tn::BusTypeElementAttributes::metaClass()));
    for (const Write& w : writes) {
        EXPECT_THROW(element->setPropertyValue(w.property, w.value, standardTag()),
                     fm::CannotSetReadOnlyPropertyException)
            << fm::narrow(w.property->getName());
        EXPECT_FALSE(element->hasPropertyValue(w.property, standardTag()));
    }
    EXPECT_EQ(m->undoStepCount(), 0u);
    EXPECT_TRUE(m.reports.empty());

    // Privileged writes set, and are recorded like any other change.
    root->setPropertyValue(checksum, text(u"abc"), privilegedTag());
    EXPECT_EQ(root->getChecksum(), boost::optional<std::u16string>(u"abc"s));
    for (const Write& w : writes) {
        element->setPropertyValue(w.property, w.value, privilegedTag());
        EXPECT_EQ(element->getPropertyValue(w.property, standardTag()), w.value)
            << fm::narrow(w.property->getName());
    }
    EXPECT_EQ(element->getDims(), boost::optional<std::u16string>(u"[2 3]"s));
    EXPECT_EQ(element->getDimsMode(), boost::optional<DimsMode>(DimsMode::FIXED));
    EXPECT_EQ(m->undoStepCount(), 1u + writes.size());
    root->setPropertyValue(checksum, emptyOf(checksum), privilegedTag());
    EXPECT_FALSE(root->hasChecksum());
    m->undo();
    EXPECT_EQ(root->getChecksum(), boost::optional<std::u16string>(u"abc"s));

    // The like-named properties of SignalAttributes have public mutators.
    auto signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    signal->setPropertyValue(S::SignalAttributes::dims(), text(u"3"), standardTag());
    EXPECT_EQ(signal->getDims(), boost::optional<std::u16string>(u"3"s));

    // On a proxy, the unprivileged write is refused by the base before any proxy check could run;
    // the privileged one reaches the setter, which refuses the proxy.
    auto proxy = fm::handleCast<tn::BusTypeRootAttributes>(
        m->createProxy(tn::BusTypeRootAttributes::metaClass(), fm::ProxyId(fm::newUuid(), fm::newUuid())));
    ASSERT_TRUE(proxy.get());
    EXPECT_THROW(proxy->setPropertyValue(checksum, text(u"x"), standardTag()),
                 fm::CannotSetReadOnlyPropertyException);
    EXPECT_THROW(proxy->setPropertyValue(checksum, text(u"x"), privilegedTag()),
                 fm::CannotModifyProxyException);
    EXPECT_THROW(proxy->setPropertyValue(checksum, emptyOf(checksum), privilegedTag()),
                 fm::CannotModifyProxyException);
}

TEST(ElementReflection, BlockAttributesReadTheirLiveSetAndLeaveWritesToTheBase) {
    LoggedModel m;
    auto blocks = tn::BlockAttributes::create(m.model, fm::newUuid());
    const auto& tavBlocks = S::BlockAttributes::tavBlocks();
    EXPECT_FALSE(blocks->hasTavBlocks());
    EXPECT_FALSE(blocks->hasPropertyValue(tavBlocks, standardTag()));

    fm::Value view = blocks->getPropertyValue(tavBlocks, standardTag());
    EXPECT_EQ(view.getCollection(), &blocks->getTavBlocks());
    EXPECT_TRUE(view.getEntries().empty());

    m.forget();
    EXPECT_TRUE(blocks->getTavBlocksMutable().insert(block(5)));
    EXPECT_TRUE(blocks->getTavBlocksMutable().insert(block(2)));
    EXPECT_FALSE(blocks->getTavBlocksMutable().insert(block(5)));
    EXPECT_EQ(m->undoStepCount(), 2u);
    EXPECT_TRUE(blocks->hasPropertyValue(tavBlocks, standardTag()));
    const fm::meta::Type& ptrType = S::nativeTypes::TavBlockPtr();
    EXPECT_EQ(view.getEntries(), (fm::Value::List{fm::Value::ofPointer(ptrType, block(2)),
                                                  fm::Value::ofPointer(ptrType, block(5))}));

    EXPECT_THROW(blocks->setPropertyValue(tavBlocks, fm::Value::ofPointer(ptrType, block(7)), standardTag()),
                 fm::MessageIdException);
    EXPECT_THROW(
        blocks->setPropertyValue(tavBlocks, fm::Value::ofPointer(ptrType, block(7)), privilegedTag()),
        fm::MessageIdException);
    EXPECT_EQ(blocks->getTavBlocks().size(), 2u);
    EXPECT_FALSE(blocks->getTavBlocks().contains(block(7)));
    EXPECT_EQ(m->undoStepCount(), 2u);

    blocks->getTavBlocksMutable().clear();
    EXPECT_FALSE(blocks->hasTavBlocks());
    EXPECT_FALSE(blocks->hasPropertyValue(tavBlocks, standardTag()));
}

}  // namespace
}  // namespace elements_test
