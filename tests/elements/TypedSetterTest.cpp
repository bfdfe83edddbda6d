// The typed setters of the attribute classes: proxies are refused first, an unchanged value has no
// effect at all, and every real change (an empty string, a zero value, an unset) is one recorded step.

#include "Support.hpp"

#include <climits>

namespace elements_test {
namespace {

using tn::Complexity;
using tn::QoSType;
using tn::QueueType;

fm::ModelElement proxyOf(const fm::Model& model, const fm::meta::Class& cls) {
    return model->createProxy(cls, fm::ProxyId(fm::newUuid(), fm::newUuid()));
}

TEST(TypedSetter, ProxyIsRefusedEvenWhenTheValueWouldNotChange) {
    LoggedModel m;
    auto signal = fm::handleCast<tn::SignalAttributes>(proxyOf(m.model, tn::SignalAttributes::metaClass()));
    auto queue =
        fm::handleCast<tn::MessageQueueAttributes>(proxyOf(m.model, tn::MessageQueueAttributes::metaClass()));
    auto prop =
        fm::handleCast<tn::PropagationAttributes>(proxyOf(m.model, tn::PropagationAttributes::metaClass()));
    auto platform =
        fm::handleCast<tn::PlatformAttributes>(proxyOf(m.model, tn::PlatformAttributes::metaClass()));
    auto blocks = fm::handleCast<tn::BlockAttributes>(proxyOf(m.model, tn::BlockAttributes::metaClass()));
    ASSERT_TRUE(signal.get() && queue.get() && prop.get() && platform.get() && blocks.get());
    ASSERT_TRUE(signal->isProxy());

    // Each of these would leave the value as it is (unset stays unset).
    EXPECT_THROW(signal->setDataType(boost::none), fm::CannotModifyProxyException);
    EXPECT_THROW(signal->setComplexity(boost::none), fm::CannotModifyProxyException);
    EXPECT_THROW(queue->setUseDefaultAttrs(boost::none), fm::CannotModifyProxyException);
    EXPECT_THROW(prop->setTavBusSrc(boost::none), fm::CannotModifyProxyException);
    EXPECT_THROW(prop->setTavBusSrcOPort(boost::none), fm::CannotModifyProxyException);
    EXPECT_THROW(platform->setQosType(boost::none), fm::CannotModifyProxyException);
    // Real changes are refused too, by typed and reflective writes alike.
    EXPECT_THROW(signal->setDataType(u"double"s), fm::CannotModifyProxyException);
    EXPECT_THROW(queue->setQueueType(QueueType::Q_TYPE_LIFO), fm::CannotModifyProxyException);
    EXPECT_THROW(prop->setGroundSource(port(1)), fm::CannotModifyProxyException);
    EXPECT_THROW(signal->setPropertyValue(schema::SignalAttributes::dataType(), text(u"x"), standardTag()),
                 fm::CannotModifyProxyException);
    EXPECT_THROW(signal->setPropertyValue(schema::SignalAttributes::dataType(),
                                          emptyOf(schema::SignalAttributes::dataType()), standardTag()),
                 fm::CannotModifyProxyException);
    EXPECT_THROW(blocks->getTavBlocksMutable().insert(block(1)), fm::CannotModifyProxyException);

    EXPECT_FALSE(signal->hasDataType());
    EXPECT_FALSE(queue->hasQueueType());
    EXPECT_FALSE(prop->hasGroundSource());
    EXPECT_FALSE(blocks->hasTavBlocks());
    EXPECT_EQ(m->transactionDepth(), 0u);
    EXPECT_EQ(m->undoStepCount(), 0u);
    EXPECT_TRUE(m.reports.empty());
}

TEST(TypedSetter, UnchangedValueOpensNoTransactionAndAnnouncesNothing) {
    LoggedModel m;
    Recording<tn::SignalAttributes>* rec = nullptr;
    tn::SignalAttributes signal = createRecording(m.model, rec);
    m.forget();

    // Unset to unset.
    signal->setDataType(boost::none);
    signal->setComplexity(boost::none);
    EXPECT_TRUE(rec->snapshots.empty());
    EXPECT_EQ(m->undoStepCount(), 0u);
    EXPECT_TRUE(m.reports.empty());

    // A change is announced once, from inside the transaction the setter opened.
    signal->setDataType(u"int8"s);
    ASSERT_EQ(rec->snapshots.size(), 1u);
    EXPECT_EQ(rec->snapshots[0].index, schema::SignalAttributes::dataType()->getIndex());
    EXPECT_EQ(rec->snapshots[0].depth, 1u);
    EXPECT_EQ(m->transactionDepth(), 0u);
    EXPECT_EQ(m->undoStepCount(), 1u);
    ASSERT_EQ(m.reports.size(), 1u);
    const fm::PropertyChange* change = changeOf(m.reports[0], signal, schema::SignalAttributes::dataType());
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue, emptyOf(schema::SignalAttributes::dataType()));
    EXPECT_EQ(change->newValue, text(u"int8"));

    // The same value again, from a different string object, and the same enumerator again.
    signal->setComplexity(Complexity::COMPLEX);
    rec->snapshots.clear();
    signal->setDataType(std::u16string(u"int8"));
    signal->setComplexity(Complexity::COMPLEX);
    EXPECT_TRUE(rec->snapshots.empty());
    EXPECT_EQ(m->undoStepCount(), 2u);
    EXPECT_EQ(m.reports.size(), 2u);

    // Inside a caller's transaction an unchanged value still announces nothing.
    {
        fm::Transaction outer = m->beginTransaction(false);
        signal->setDataType(u"int8"s);
        EXPECT_TRUE(rec->snapshots.empty());
        signal->setUnit(u"m/s"s);
        ASSERT_EQ(rec->snapshots.size(), 1u);
        EXPECT_EQ(rec->snapshots[0].index, schema::SignalAttributes::unit()->getIndex());
        EXPECT_EQ(rec->snapshots[0].depth, 2u);
        outer.commit(boost::none);
    }
    EXPECT_EQ(m->undoStepCount(), 3u);

    // An unchanged value leaves the redo history alone.
    m->undo();
    ASSERT_TRUE(m->canRedo());
    signal->setDataType(u"int8"s);
    signal->setUnit(boost::none);
    EXPECT_TRUE(m->canRedo());
    m->redo();
    EXPECT_EQ(signal->getUnit(), boost::optional<std::u16string>(u"m/s"s));
}

TEST(TypedSetter, UnchangedValueOfEveryKindNeedsNoModel) {
    // An element that outlives its model cannot open a transaction: only a setter that would change
    // something tries to.
    Recording<tn::PropagationAttributes>* rec = nullptr;
    tn::PropagationAttributes prop;
    {
        fm::Model model = fm::Model::create();
        prop = createRecording(model, rec);
        prop->setPartialInfo(false);
        prop->setGroundSource(port(2));
        prop->setTrivialBusName(u""s);
        prop->setTavBusSrc(nullptr);
        prop->setTavBusSrcOPort(INT_MIN);
    }
    ASSERT_EQ(prop->getModelImpl(), nullptr);
    rec->snapshots.clear();

    EXPECT_NO_THROW(prop->setPartialInfo(false));
    EXPECT_NO_THROW(prop->setGroundSource(port(2)));
    EXPECT_NO_THROW(prop->setTrivialBusName(u""s));
    EXPECT_NO_THROW(prop->setTavBusSrc(nullptr));
    EXPECT_NO_THROW(prop->setTavBusSrcOPort(INT_MIN));
    EXPECT_NO_THROW(prop->setTavBusDst(boost::none));
    EXPECT_TRUE(rec->snapshots.empty());

    EXPECT_THROW(prop->setPartialInfo(true), fm::MessageIdException);
    EXPECT_THROW(prop->setTavBusDst(block(1)), fm::MessageIdException);
    EXPECT_EQ(prop->getPartialInfo(), boost::optional<bool>(false));
    EXPECT_FALSE(prop->hasTavBusDst());
}

TEST(TypedSetter, EmptyStringAndZeroValuesAreValuesNotAbsence) {
    LoggedModel m;
    auto signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    auto prop = tn::PropagationAttributes::create(m.model, fm::newUuid());
    auto platform = tn::PlatformAttributes::create(m.model, fm::newUuid());
    m.forget();

    signal->setDesc(u""s);
    EXPECT_TRUE(signal->hasDesc());
    EXPECT_EQ(signal->getDesc(), boost::optional<std::u16string>(u""s));
    EXPECT_EQ(signal->getPropertyValue(schema::SignalAttributes::desc(), standardTag()), text(u""));
    EXPECT_TRUE(signal->hasPropertyValue(schema::SignalAttributes::desc(), standardTag()));
    ASSERT_EQ(m.reports.size(), 1u);
    const fm::PropertyChange* change = changeOf(m.reports[0], signal, schema::SignalAttributes::desc());
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue, emptyOf(schema::SignalAttributes::desc()));
    EXPECT_EQ(change->newValue, text(u""));

    // Zero values of each kind on unset properties: each is a change of its own.
    signal->setComplexity(Complexity::AUTO);
    platform->setQosType(QoSType::NONE);
    prop->setIsMessage(false);
    prop->setTavBusDstIPort(0);
    prop->setTavBusOrigSrc(nullptr);
    EXPECT_EQ(m->undoStepCount(), 6u);
    EXPECT_TRUE(signal->hasComplexity());
    EXPECT_TRUE(platform->hasQosType());
    EXPECT_TRUE(prop->hasIsMessage());
    EXPECT_TRUE(prop->hasTavBusDstIPort());
    EXPECT_TRUE(prop->hasTavBusOrigSrc());
    EXPECT_EQ(prop->getTavBusOrigSrc(), boost::optional<TAVBlock*>(nullptr));

    // Undo brings back absence, not the zero value.
    for (int i = 0; i < 6; ++i) m->undo();
    EXPECT_FALSE(signal->hasDesc());
    EXPECT_FALSE(signal->hasComplexity());
    EXPECT_FALSE(platform->hasQosType());
    EXPECT_FALSE(prop->hasIsMessage());
    EXPECT_FALSE(prop->hasTavBusDstIPort());
    EXPECT_FALSE(prop->hasTavBusOrigSrc());
}

TEST(TypedSetter, UnsettingIsARecordedChange) {
    LoggedModel m;
    auto queue = tn::MessageQueueAttributes::create(m.model, fm::newUuid());
    queue->setUseDefaultAttrs(true);
    queue->setQueueCapacity(u""s);
    queue->setQueueType(QueueType::Q_TYPE_FIFO);
    auto prop = tn::PropagationAttributes::create(m.model, fm::newUuid());
    prop->setGroundSource(port(3));
    prop->setTavBusSrcOPort(7);
    m.forget();

    queue->setUseDefaultAttrs(boost::none);
    queue->setQueueCapacity(boost::none);
    queue->setQueueType(boost::none);
    prop->setGroundSource(boost::none);
    prop->setTavBusSrcOPort(boost::none);
    EXPECT_EQ(m->undoStepCount(), 5u);
    ASSERT_EQ(m.reports.size(), 5u);
    const fm::PropertyChange* change =
        changeOf(m.reports[2], queue, schema::MessageQueueAttributes::queueType());
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue, enumValue(schema::QueueType::type(), QueueType::Q_TYPE_FIFO));
    EXPECT_EQ(change->newValue, emptyOf(schema::MessageQueueAttributes::queueType()));
    change = changeOf(m.reports[3], prop, schema::PropagationAttributes::groundSource());
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue, fm::Value::ofPointer(schema::nativeTypes::TavPortPtr(), port(3)));

    EXPECT_FALSE(queue->hasUseDefaultAttrs());
    EXPECT_FALSE(queue->hasQueueCapacity());
    EXPECT_FALSE(queue->hasQueueType());
    EXPECT_FALSE(prop->hasGroundSource());
    EXPECT_FALSE(prop->hasTavBusSrcOPort());

    for (int i = 0; i < 5; ++i) m->undo();
    EXPECT_EQ(queue->getUseDefaultAttrs(), boost::optional<bool>(true));
    EXPECT_EQ(queue->getQueueCapacity(), boost::optional<std::u16string>(u""s));
    EXPECT_EQ(queue->getQueueType(), boost::optional<QueueType>(QueueType::Q_TYPE_FIFO));
    EXPECT_EQ(prop->getGroundSource(), boost::optional<tavPort*>(port(3)));
    EXPECT_EQ(prop->getTavBusSrcOPort(), boost::optional<int>(7));
}

}  // namespace
}  // namespace elements_test
