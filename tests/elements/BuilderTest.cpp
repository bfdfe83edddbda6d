// Builders of the attribute classes: set bits and collected values, reflective setOrAdd, and creation
// as one committed transaction that announces the element with its values in place.

#include "Support.hpp"

#include <climits>

namespace elements_test {
namespace {

using tn::Complexity;
using tn::DimsMode;
using tn::QoSType;
using tn::QueueType;

namespace S = schema;

TEST(ElementBuilder, DisengagedOptionalSetsTheBitAndCreatesWithoutValue) {
    fm::Model model = fm::Model::create();
    tn::BusTypeRootAttributes::Builder b(model);
    EXPECT_FALSE(b.isSet(1));
    b.setChecksum(boost::none);
    EXPECT_TRUE(b.isSet(1));
    tn::BusTypeRootAttributes root = b.createBusTypeRootAttributes(fm::newUuid());
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->hasChecksum());

    // The last call decides: a value replaced by none creates without value, and the reverse.
    tn::SignalAttributes::Builder sb(model);
    sb.setDataType(u"double"s).setDataType(boost::none).setUnit(boost::none).setUnit(u"m"s);
    tn::SignalAttributes signal = sb.createSignalAttributes(fm::newUuid());
    EXPECT_FALSE(signal->hasDataType());
    EXPECT_EQ(signal->getUnit(), boost::optional<std::u16string>(u"m"s));
}

TEST(ElementBuilder, UnsetClearsOnlyTheBit) {
    fm::Model model = fm::Model::create();
    tn::MessageQueueAttributes::Builder b(model);
    b.setQueueCapacity(u"8"s).setQueueType(QueueType::Q_TYPE_LIFO).setUseDefaultAttrs(false);
    b.unsetQueueCapacity().unsetUseDefaultAttrs();
    EXPECT_FALSE(b.isSet(1));
    EXPECT_FALSE(b.isSet(2));
    EXPECT_TRUE(b.isSet(3));
    auto queue = b.createMessageQueueAttributes(fm::newUuid());
    EXPECT_FALSE(queue->hasQueueCapacity());
    EXPECT_FALSE(queue->hasUseDefaultAttrs());
    EXPECT_EQ(queue->getQueueType(), boost::optional<QueueType>(QueueType::Q_TYPE_LIFO));

    // Creation leaves the builder as it was: a second element gets the same values.
    auto again = b.createMessageQueueAttributes(fm::newUuid());
    EXPECT_NE(again.get(), queue.get());
    EXPECT_EQ(stateOf(again), stateOf(queue));

    // Unsetting a property that was never set, then setting it, works as usual.
    tn::BusTypeRootAttributes::Builder rb(model);
    rb.unsetChecksum();
    EXPECT_FALSE(rb.isSet(1));
    rb.setChecksum(u"c"s).unsetChecksum();
    EXPECT_FALSE(rb.createBusTypeRootAttributes(fm::newUuid())->hasChecksum());
    rb.setChecksum(u"d"s);
    EXPECT_EQ(rb.createBusTypeRootAttributes(fm::newUuid())->getChecksum(),
              boost::optional<std::u16string>(u"d"s));
}

TEST(ElementBuilder, CreatesEveryValueKindAsCollected) {
    fm::Model model = fm::Model::create();
    tn::PropagationAttributes::Builder pb(model);
    pb.setPartialInfo(false)
        .setGroundSource(port(1))
        .setTrivialBusName(u""s)
        .setTavBusOrigSrc(nullptr)
        .setTavBusSrc(block(2))
        .setTavBusSrcOPort(INT_MIN)
        .setTavBusDstIPort(0);
    const fm::uuid id = fm::newUuid();
    auto prop = pb.createPropagationAttributes(id);
    EXPECT_EQ(prop->getUuid(), id);
    EXPECT_EQ(model->findElement(id).get(), prop.get());
    EXPECT_EQ(prop->getPartialInfo(), boost::optional<bool>(false));
    EXPECT_EQ(prop->getGroundSource(), boost::optional<tavPort*>(port(1)));
    EXPECT_EQ(prop->getTrivialBusName(), boost::optional<std::u16string>(u""s));
    EXPECT_EQ(prop->getTavBusOrigSrc(), boost::optional<TAVBlock*>(nullptr));
    EXPECT_EQ(prop->getTavBusSrc(), boost::optional<TAVBlock*>(block(2)));
    EXPECT_EQ(prop->getTavBusSrcOPort(), boost::optional<int>(INT_MIN));
    EXPECT_EQ(prop->getTavBusDstIPort(), boost::optional<int>(0));
    EXPECT_FALSE(prop->hasTavBusDst());
    EXPECT_FALSE(prop->hasIsMessage());

    tn::BusTypeElementAttributes::Builder eb(model);
    eb.setComplexity(Complexity::AUTO).setDimsMode(DimsMode::VARIABLE).setDesc(u"d"s).setSampleTime(u"0.5"s);
    auto element = eb.createBusTypeElementAttributes(fm::newUuid());
    EXPECT_EQ(element->getComplexity(), boost::optional<Complexity>(Complexity::AUTO));
    EXPECT_EQ(element->getDimsMode(), boost::optional<DimsMode>(DimsMode::VARIABLE));
    EXPECT_EQ(element->getDesc(), boost::optional<std::u16string>(u"d"s));
    EXPECT_EQ(element->getSampleTime(), boost::optional<std::u16string>(u"0.5"s));
    EXPECT_FALSE(element->hasMin());

    // The nil identity lets the framework choose a new one each time.
    tn::PlatformAttributes::Builder plb(model);
    plb.setQosType(QoSType::IS_UPDATED);
    auto platform = plb.createPlatformAttributes(fm::uuid());
    auto another = plb.createPlatformAttributes(fm::uuid());
    EXPECT_FALSE(platform->getUuid().is_nil());
    EXPECT_NE(platform->getUuid(), another->getUuid());
    EXPECT_EQ(model->findElement(another->getUuid()).get(), another.get());
    EXPECT_EQ(platform->getQosType(), boost::optional<QoSType>(QoSType::IS_UPDATED));
    EXPECT_FALSE(platform->hasDataNode());
}

TEST(ElementBuilder, BlockAttributesCollapseDuplicatesInPointerOrder) {
    fm::Model model = fm::Model::create();
    tn::BlockAttributes::Builder b(model);
    b.addTavBlocks({block(9), block(1), block(9)}).addTavBlocks(block(1)).addTavBlocks(block(4));
    EXPECT_TRUE(b.isSet(1));
    auto blocks = b.createBlockAttributes(fm::newUuid());
    EXPECT_EQ(std::vector<TAVBlock*>(blocks->getTavBlocks().begin(), blocks->getTavBlocks().end()),
              (std::vector<TAVBlock*>{block(1), block(4), block(9)}));

    // Reflective adds append, a value without payload adds a null pointer.
    const auto& tavBlocks = S::BlockAttributes::tavBlocks();
    const fm::meta::Type& ptrType = S::nativeTypes::TavBlockPtr();
    b.setOrAdd(tavBlocks, fm::Value::ofPointer(ptrType, block(7)));
    b.setOrAdd(tavBlocks, fm::Value::singleWithoutPayload(ptrType));
    b.setOrAdd(tavBlocks, fm::Value::ofPointer(ptrType, block(7)));
    auto more = b.createBlockAttributes(fm::newUuid());
    EXPECT_EQ(std::vector<TAVBlock*>(more->getTavBlocks().begin(), more->getTavBlocks().end()),
              (std::vector<TAVBlock*>{nullptr, block(1), block(4), block(7), block(9)}));

    // Clearing empties the collected pointers and the bit.
    b.clearTavBlocks();
    EXPECT_FALSE(b.isSet(1));
    auto none = b.createBlockAttributes(fm::newUuid());
    EXPECT_FALSE(none->hasTavBlocks());
    EXPECT_FALSE(none->hasPropertyValue(tavBlocks, standardTag()));
    b.addTavBlocks(block(3));
    EXPECT_EQ(b.createBlockAttributes(fm::newUuid())->getTavBlocks().size(), 1u);

    // An empty initializer list still marks the property as given.
    tn::BlockAttributes::Builder empty(model);
    empty.addTavBlocks({});
    EXPECT_TRUE(empty.isSet(1));
    EXPECT_FALSE(empty.createBlockAttributes(fm::newUuid())->hasTavBlocks());
}

TEST(ElementBuilder, CreationIsOneCommitAnnouncingTheElementWithItsValues) {
    LoggedModel m;
    std::vector<std::vector<PropertyState>> seen;
    fm::ListenerToken reader = m->addListener([&](const fm::ChangeReport& r) {
        for (const fm::ModelElement& e : r.created()) seen.push_back(stateOf(e));
    });

    tn::SignalAttributes::Builder b(m.model);
    b.setDataType(u"boolean"s).setComplexity(Complexity::REAL).setDesc(u""s);
    tn::SignalAttributes signal = b.createSignalAttributes(fm::newUuid());

    EXPECT_EQ(m->transactionDepth(), 0u);
    EXPECT_EQ(m->undoStepCount(), 1u);
    ASSERT_EQ(m.reports.size(), 1u);
    const fm::ChangeReport& report = m.reports[0];
    EXPECT_EQ(report.cause(), fm::ChangeReport::Cause::Commit);
    ASSERT_EQ(report.created().size(), 1u);
    EXPECT_EQ(report.created()[0].get(), signal.get());
    EXPECT_TRUE(report.modified().empty());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], stateOf(signal));
    EXPECT_EQ(signal->getDataType(), boost::optional<std::u16string>(u"boolean"s));

    m->undo();
    EXPECT_FALSE(signal);
    EXPECT_FALSE(m->findElement(signal->getUuid()));
    m->redo();
    EXPECT_TRUE(signal);
    EXPECT_EQ(m->findElement(signal->getUuid()).get(), signal.get());
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.back(), seen.front());

    // Inside a caller's transaction the creation becomes part of it.
    {
        fm::Transaction outer = m->beginTransaction(false);
        tn::PlatformAttributes::Builder pb(m.model);
        auto platform = pb.setDataNode(u"n"s).createPlatformAttributes(fm::newUuid());
        EXPECT_EQ(m->transactionDepth(), 1u);
        platform->setQosType(QoSType::STATUS);
        outer.commit(boost::none);
    }
    EXPECT_EQ(m->undoStepCount(), 2u);
    // Reports so far: the creation, its undo, its redo, and this transaction.
    ASSERT_EQ(m.reports.size(), 4u);
    EXPECT_EQ(m.reports[3].created().size(), 1u);
    EXPECT_TRUE(m.reports[3].modified().empty());
}

TEST(ElementBuilder, FailedCreationLeavesTheModelAndTheBuilderAsTheyWere) {
    LoggedModel m;
    auto existing = tn::MessageQueueAttributes::create(m.model, fm::newUuid());
    m.forget();
    const std::size_t elements = m->elementCount();

    tn::MessageQueueAttributes::Builder b(m.model);
    b.setQueueCapacity(u"4"s);
    EXPECT_THROW(b.createMessageQueueAttributes(existing->getUuid()), fm::MessageIdException);
    EXPECT_EQ(m->transactionDepth(), 0u);
    EXPECT_EQ(m->elementCount(), elements);
    EXPECT_EQ(m->findElement(existing->getUuid()).get(), existing.get());
    EXPECT_FALSE(existing->hasQueueCapacity());
    EXPECT_EQ(m->undoStepCount(), 0u);
    EXPECT_TRUE(m.reports.empty());

    // The builder is still usable.
    auto created = b.createMessageQueueAttributes(fm::newUuid());
    EXPECT_EQ(created->getQueueCapacity(), boost::optional<std::u16string>(u"4"s));
    EXPECT_EQ(m->elementCount(), elements + 1);

    // Without a model there is nothing to create in.
    tn::MessageQueueAttributes::Builder orphan;
    orphan.setQueueCapacity(u"4"s);
    EXPECT_THROW(orphan.createMessageQueueAttributes(fm::newUuid()), fm::CannotCreateWithoutModelException);
    orphan.setModel(m.model);
    EXPECT_TRUE(orphan.createMessageQueueAttributes(fm::newUuid()));
}

TEST(ElementBuilder, SetOrAddConvertsLikeReflectionAndKeepsStateOnError) {
    fm::Model model = fm::Model::create();
    tn::SignalAttributes::Builder b(model);
    const auto& dataType = S::SignalAttributes::dataType();
    const auto& complexity = S::SignalAttributes::complexity();
    const auto& unit = S::SignalAttributes::unit();
    const auto& dims = S::SignalAttributes::dims();

    b.setOrAdd(dataType, text(u"int8"));
    b.setOrAdd(complexity, fm::Value::singleWithoutPayload(complexity->getType()));
    b.setOrAdd(unit, emptyOf(unit));
    EXPECT_TRUE(b.isSet(dataType->getIndex()));
    EXPECT_TRUE(b.isSet(complexity->getIndex()));
    EXPECT_TRUE(b.isSet(unit->getIndex()));

    // A wrongly typed value names its type and changes neither the value nor the bit.
    auto e = thrown<fm::CannotCastIncompatibleTypesException>(
        [&] { b.setOrAdd(dataType, fm::Value::ofInteger(5)); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->arguments(), std::vector<std::u16string>{integerType()->getQualifiedName()});
    EXPECT_THROW(b.setOrAdd(complexity, enumValue(S::DimsMode::type(), DimsMode::FIXED)),
                 fm::CannotCastIncompatibleTypesException);
    EXPECT_THROW(b.setOrAdd(dims, fm::Value::ofBoolean(true)), fm::CannotCastIncompatibleTypesException);
    EXPECT_THROW(b.setOrAdd(dims, fm::Value::ofList(stringType(), fm::ValueFlags::Set, {text(u"2")})),
                 fm::CannotCastIncompatibleTypesException);
    EXPECT_TRUE(b.isSet(dataType->getIndex()));
    EXPECT_FALSE(b.isSet(dims->getIndex()));

    // A property of another class is the framework's to refuse.
    EXPECT_THROW(b.setOrAdd(S::PlatformAttributes::dataNode(), text(u"n")), fm::InvalidValueException);
    std::unique_ptr<fm::ModelElement::Builder> nested =
        std::make_unique<tn::PlatformAttributes::Builder>(model);
    EXPECT_THROW(b.setOrAdd(dataType, nested), fm::InvalidValueException);
    EXPECT_NE(nested, nullptr);

    auto signal = b.createSignalAttributes(fm::newUuid());
    EXPECT_EQ(signal->getDataType(), boost::optional<std::u16string>(u"int8"s));
    EXPECT_EQ(signal->getComplexity(), boost::optional<Complexity>(Complexity::AUTO));
    EXPECT_FALSE(signal->hasUnit());
    EXPECT_FALSE(signal->hasDims());

    // The same for a bus-type builder, whose elements have no public mutators, and for pointers.
    tn::BusTypeRootAttributes::Builder rb(model);
    rb.setOrAdd(S::BusTypeRootAttributes::checksum(), text(u"x"));
    EXPECT_THROW(rb.setOrAdd(S::BusTypeRootAttributes::checksum(), fm::Value::ofInteger(0)),
                 fm::CannotCastIncompatibleTypesException);
    EXPECT_EQ(rb.createBusTypeRootAttributes(fm::newUuid())->getChecksum(),
              boost::optional<std::u16string>(u"x"s));

    tn::PropagationAttributes::Builder pb(model);
    const auto& groundSource = S::PropagationAttributes::groundSource();
    pb.setOrAdd(groundSource, fm::Value::ofPointer(S::nativeTypes::TavPortPtr(), port(6)));
    EXPECT_THROW(pb.setOrAdd(groundSource, fm::Value::ofPointer(S::nativeTypes::TavBlockPtr(), block(6))),
                 fm::CannotCastIncompatibleTypesException);
    EXPECT_EQ(pb.createPropagationAttributes(fm::newUuid())->getGroundSource(),
              boost::optional<tavPort*>(port(6)));

    tn::BlockAttributes::Builder bb(model);
    EXPECT_THROW(bb.setOrAdd(S::BlockAttributes::tavBlocks(),
                             fm::Value::ofPointer(S::nativeTypes::TavPortPtr(), port(1))),
                 fm::CannotCastIncompatibleTypesException);
    EXPECT_FALSE(bb.isSet(1));
    bb.addTavBlocks(block(2));
    EXPECT_THROW(bb.setOrAdd(S::BlockAttributes::tavBlocks(), fm::Value::ofInteger(1)),
                 fm::CannotCastIncompatibleTypesException);
    auto blocks = bb.createBlockAttributes(fm::newUuid());
    EXPECT_EQ(blocks->getTavBlocks().size(), 1u);
    EXPECT_TRUE(blocks->getTavBlocks().contains(block(2)));
}

}  // namespace
}  // namespace elements_test
