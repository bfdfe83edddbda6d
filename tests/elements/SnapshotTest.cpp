// Transaction snapshots of the attribute classes: what counts as changed at commit, what an abandoned
// transaction restores, and undo and redo of series of edits of every value kind.

#include "Support.hpp"

#include <climits>
#include <functional>
#include <memory>

namespace elements_test {
namespace {

using tn::Complexity;
using tn::DataMode;
using tn::DimsMode;
using tn::OutputWhenDisabled;
using tn::QoSType;
using tn::QueueType;
using tn::Virtuality;

namespace S = schema;

TEST(ElementSnapshot, SetAndSetBackInOneTransactionIsNotReported) {
    LoggedModel m;
    auto signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    auto prop = tn::PropagationAttributes::create(m.model, fm::newUuid());
    auto blocks = tn::BlockAttributes::create(m.model, fm::newUuid());
    signal->setDataType(u"a"s);
    signal->setComplexity(Complexity::REAL);
    prop->setTavBusSrc(block(1));
    m.forget();

    {
        fm::Transaction t = m->beginTransaction(false);
        signal->setDataType(u"b"s);
        signal->setDataType(u"a"s);
        signal->setComplexity(boost::none);
        signal->setComplexity(Complexity::REAL);
        signal->setUnit(u"x"s);  // unset, set, unset again
        signal->setUnit(boost::none);
        prop->setTavBusSrc(block(2));
        prop->setTavBusSrc(block(1));
        prop->setTavBusSrcOPort(4);
        prop->setTavBusSrcOPort(boost::none);
        blocks->getTavBlocksMutable().insert(block(3));
        blocks->getTavBlocksMutable().erase(block(3));
        t.commit(boost::none);
    }
    EXPECT_TRUE(m.reports.empty());
    EXPECT_EQ(m->undoStepCount(), 0u);

    // Alongside a real change, only the real change is reported.
    {
        fm::Transaction t = m->beginTransaction(false);
        signal->setDataType(u"b"s);
        signal->setMin(u"0"s);
        signal->setDataType(u"a"s);
        t.commit(boost::none);
    }
    ASSERT_EQ(m.reports.size(), 1u);
    const fm::ElementChange* change = changesOf(m.reports[0], signal);
    ASSERT_NE(change, nullptr);
    ASSERT_EQ(change->properties.size(), 1u);
    EXPECT_EQ(change->properties[0].property.get(), S::SignalAttributes::min().get());
    EXPECT_EQ(changesOf(m.reports[0], prop), nullptr);
    EXPECT_EQ(m->undoStepCount(), 1u);
    m->undo();
    EXPECT_FALSE(signal->hasMin());
    EXPECT_EQ(signal->getDataType(), boost::optional<std::u16string>(u"a"s));
}

TEST(ElementSnapshot, RevertUnchangedClearsTheBitAndTheOldValueFallsToTheBase) {
    fm::Model model = fm::Model::create();
    auto signal = tn::SignalAttributes::create(model, fm::newUuid());
    signal->setDataType(u"a"s);
    signal->setDims(u"2"s);
    const auto& dataType = S::SignalAttributes::dataType();
    const auto& dims = S::SignalAttributes::dims();
    const std::size_t dataTypeIndex = dataType->getIndex();
    const std::size_t dimsIndex = dims->getIndex();

    std::unique_ptr<fm::ModelElement::Impl::Storage> storage(signal->createStorage());
    signal->copyValue(storage.get(), dataTypeIndex);
    storage->setChanged(dataTypeIndex);
    signal->copyValue(storage.get(), dimsIndex);
    storage->setChanged(dimsIndex);
    EXPECT_EQ(storage->getOldValue(dataType, standardTag()), text(u"a"));

    signal->setDataType(u"b"s);
    signal->setDims(u"3"s);
    EXPECT_TRUE(storage->revertUnchanged(signal.get()));
    EXPECT_TRUE(storage->isChanged(dataTypeIndex));
    EXPECT_EQ(storage->getOldValue(dataType, standardTag()), text(u"a"));

    // dataType back to its old value: no longer changed, and the recorded "a" is not answered.
    signal->setDataType(u"a"s);
    EXPECT_TRUE(storage->revertUnchanged(signal.get()));
    EXPECT_FALSE(storage->isChanged(dataTypeIndex));
    EXPECT_TRUE(storage->isChanged(dimsIndex));
    EXPECT_EQ(storage->getOldValue(dataType, standardTag()), emptyOf(dataType));
    EXPECT_EQ(storage->getOldValue(dims, standardTag()), text(u"2"));

    signal->setDims(u"2"s);
    EXPECT_FALSE(storage->revertUnchanged(signal.get()));
    EXPECT_FALSE(storage->isChanged(dimsIndex));
    EXPECT_EQ(storage->getOldValue(dims, standardTag()), emptyOf(dims));

    // A property never recorded is answered by the base as well.
    EXPECT_EQ(storage->getOldValue(S::SignalAttributes::unit(), standardTag()),
              emptyOf(S::SignalAttributes::unit()));
}

TEST(ElementSnapshot, AbandonedTransactionRestoresEveryKind) {
    LoggedModel m;
    auto signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    auto prop = tn::PropagationAttributes::create(m.model, fm::newUuid());
    auto blocks = tn::BlockAttributes::create(m.model, fm::newUuid());
    auto root = tn::BusTypeRootAttributes::create(m.model, fm::newUuid());
    signal->setDataType(u"a"s);
    signal->setVirtuality(Virtuality::NON_VIRTUAL);
    prop->setGroundSource(port(1));
    prop->setTavBusDstIPort(5);
    blocks->getTavBlocksMutable().insert(block(1));
    const auto before = std::vector{stateOf(signal), stateOf(prop), stateOf(blocks), stateOf(root)};
    m.forget();

    try {
        fm::Transaction t = m->beginTransaction(false);
        signal->setDataType(boost::none);
        signal->setVirtuality(Virtuality::INHERIT);
        signal->setSampleTime(u"0.1"s);
        prop->setGroundSource(port(2));
        prop->setTavBusDstIPort(boost::none);
        prop->setIsMessage(false);
        blocks->getTavBlocksMutable().insert(block(2));
        blocks->getTavBlocksMutable().erase(block(1));
        root->setPropertyValue(S::BusTypeRootAttributes::checksum(), text(u"sum"), privilegedTag());
        // A refused write ends the caller's transaction through the exception.
        signal->setPropertyValue(S::SignalAttributes::dataType(), fm::Value::ofInteger(1), standardTag());
        t.commit(boost::none);
        FAIL() << "the wrongly typed write was accepted";
    } catch (const fm::CannotCastIncompatibleTypesException&) {
    }
    EXPECT_EQ(m->transactionDepth(), 0u);
    EXPECT_EQ((std::vector{stateOf(signal), stateOf(prop), stateOf(blocks), stateOf(root)}), before);
    EXPECT_EQ(m->undoStepCount(), 0u);
    EXPECT_TRUE(m.reports.empty());
}

TEST(ElementSnapshot, NestedAbandonRestoresOnlyWhatTheInnerTransactionChanged) {
    LoggedModel m;
    auto queue = tn::MessageQueueAttributes::create(m.model, fm::newUuid());
    auto blocks = tn::BlockAttributes::create(m.model, fm::newUuid());
    queue->setQueueCapacity(u"1"s);
    m.forget();

    {
        fm::Transaction outer = m->beginTransaction(false);
        queue->setQueueCapacity(u"2"s);
        queue->setQueueType(QueueType::Q_TYPE_LIFO);
        blocks->getTavBlocksMutable().insert(block(1));
        {
            fm::Transaction inner = m->beginTransaction(false);
            queue->setQueueCapacity(u"3"s);
            queue->setQueueOverwriting(true);
            queue->setQueueType(boost::none);
            blocks->getTavBlocksMutable().insert(block(2));
            inner.abandon();
        }
        EXPECT_EQ(queue->getQueueCapacity(), boost::optional<std::u16string>(u"2"s));
        EXPECT_EQ(queue->getQueueType(), boost::optional<QueueType>(QueueType::Q_TYPE_LIFO));
        EXPECT_FALSE(queue->hasQueueOverwriting());
        EXPECT_FALSE(queue->hasUseDefaultAttrs());
        EXPECT_EQ(blocks->getTavBlocks().size(), 1u);
        EXPECT_TRUE(blocks->getTavBlocks().contains(block(1)));
        outer.commit(boost::none);
    }
    EXPECT_EQ(m->undoStepCount(), 1u);
    m->undo();
    EXPECT_EQ(queue->getQueueCapacity(), boost::optional<std::u16string>(u"1"s));
    EXPECT_FALSE(queue->hasQueueType());
    EXPECT_FALSE(blocks->hasTavBlocks());
    m->redo();
    EXPECT_EQ(queue->getQueueCapacity(), boost::optional<std::u16string>(u"2"s));
    EXPECT_EQ(queue->getQueueType(), boost::optional<QueueType>(QueueType::Q_TYPE_LIFO));
    EXPECT_FALSE(queue->hasQueueOverwriting());
    EXPECT_EQ(blocks->getTavBlocks().size(), 1u);
}

TEST(ElementSnapshot, BlockAttributesReportTheirOldAndNewContents) {
    LoggedModel m;
    auto blocks = tn::BlockAttributes::create(m.model, fm::newUuid());
    m.forget();
    const auto& tavBlocks = S::BlockAttributes::tavBlocks();
    const fm::meta::Type& ptrType = S::nativeTypes::TavBlockPtr();
    auto entries = [&](std::initializer_list<int> is) {
        fm::Value::List list;
        for (int i : is) list.push_back(fm::Value::ofPointer(ptrType, block(i)));
        return list;
    };

    // From empty: the old contents are an empty set, not a missing value.
    {
        fm::Transaction t = m->beginTransaction(false);
        blocks->getTavBlocksMutable().insert(block(2));
        blocks->getTavBlocksMutable().insert(block(1));
        t.commit(boost::none);
    }
    ASSERT_EQ(m.reports.size(), 1u);
    const fm::PropertyChange* change = changeOf(m.reports[0], blocks, tavBlocks);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue.getFlags(), fm::ValueFlags::Set);
    EXPECT_TRUE(change->oldValue.getEntries().empty());
    EXPECT_EQ(change->newValue.getEntries(), entries({1, 2}));

    blocks->getTavBlocksMutable().erase(block(1));
    ASSERT_EQ(m.reports.size(), 2u);
    change = changeOf(m.reports[1], blocks, tavBlocks);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue.getEntries(), entries({1, 2}));
    EXPECT_EQ(change->newValue.getEntries(), entries({2}));

    // Undo tells the contents the other way round.
    m->undo();
    ASSERT_EQ(m.reports.size(), 3u);
    EXPECT_EQ(m.reports[2].cause(), fm::ChangeReport::Cause::Undo);
    change = changeOf(m.reports[2], blocks, tavBlocks);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue.getEntries(), entries({2}));
    EXPECT_EQ(change->newValue.getEntries(), entries({1, 2}));
}

// One element and a series of edits, each one undo step.
struct EditSeries {
    const char* name;
    fm::ModelElement element;
    std::vector<std::function<void()>> edits;
};

std::vector<EditSeries> editSeries(const fm::Model& model) {
    std::vector<EditSeries> all;
    auto inOneTransaction = [model](std::function<void()> edits) {
        return [model, edits] {
            fm::Transaction t = model->beginTransaction(false);
            edits();
            t.commit(boost::none);
        };
    };

    auto signal = tn::SignalAttributes::create(model, fm::newUuid());
    all.push_back({"SignalAttributes",
                   signal,
                   {
                       [=] { signal->setDataType(u"int16"s); },
                       [=] { signal->setDataType(u"int32"s); },
                       [=] { signal->setComplexity(Complexity::COMPLEX); },
                       [=] { signal->setVirtuality(Virtuality::INHERIT); },
                       inOneTransaction([=] {
                           signal->setMin(u"-1"s);
                           signal->setMax(u"1"s);
                           signal->setDataMode(DataMode::MESSAGE);
                           signal->setDimsMode(DimsMode::VARIABLE);
                           signal->setOutputWhenDisabled(OutputWhenDisabled::RESET);
                       }),
                       [=] { signal->setDataType(u""s); },
                       [=] { signal->setComplexity(Complexity::AUTO); },
                       inOneTransaction([=] {
                           signal->setMin(boost::none);
                           signal->setUnit(u"s"s);
                           signal->setDesc(u"d"s);
                           signal->setInitialOutput(u"0"s);
                           signal->setOutputSignalName(u"sig"s);
                           signal->setValueType(u"Bus: B"s);
                           signal->setSampleTime(u"-1"s);
                           signal->setDims(u"1"s);
                       }),
                       [=] {
                           signal->setPropertyValue(S::SignalAttributes::outputWhenDisabled(),
                                                    emptyOf(S::SignalAttributes::outputWhenDisabled()),
                                                    standardTag());
                       },
                       [=] { signal->setDataType(boost::none); },
                   }});

    auto element = tn::BusTypeElementAttributes::create(model, fm::newUuid());
    auto write = [element](const fm::meta::Property& p, fm::Value v) {
        return [element, &p, v] { element->setPropertyValue(p, v, privilegedTag()); };
    };
    using E = S::BusTypeElementAttributes;
    all.push_back({"BusTypeElementAttributes",
                   element,
                   {
                       write(E::complexity(), enumValue(S::Complexity::type(), Complexity::REAL)),
                       write(E::dataType(), text(u"double")),
                       write(E::dimsMode(), enumValue(S::DimsMode::type(), DimsMode::INHERIT)),
                       inOneTransaction([=] {
                           element->setPropertyValue(E::min(), text(u"0"), privilegedTag());
                           element->setPropertyValue(E::max(), text(u"9"), privilegedTag());
                           element->setPropertyValue(E::unit(), text(u"A"), privilegedTag());
                           element->setPropertyValue(E::dims(), text(u"4"), privilegedTag());
                           element->setPropertyValue(E::sampleTime(), text(u"inf"), privilegedTag());
                           element->setPropertyValue(E::valueType(), text(u""), privilegedTag());
                           element->setPropertyValue(E::desc(), text(u"e"), privilegedTag());
                       }),
                       write(E::complexity(), emptyOf(E::complexity())),
                       write(E::dataType(), fm::Value::singleWithoutPayload(stringType())),
                       write(E::dims(), emptyOf(E::dims())),
                   }});

    auto root = tn::BusTypeRootAttributes::create(model, fm::newUuid());
    auto checksum = [root](fm::Value v) {
        return
            [root, v] { root->setPropertyValue(S::BusTypeRootAttributes::checksum(), v, privilegedTag()); };
    };
    all.push_back({"BusTypeRootAttributes",
                   root,
                   {checksum(text(u"c1")), checksum(text(u"c2")), checksum(text(u"")),
                    checksum(emptyOf(S::BusTypeRootAttributes::checksum())), checksum(text(u"c1"))}});

    auto queue = tn::MessageQueueAttributes::create(model, fm::newUuid());
    all.push_back({"MessageQueueAttributes",
                   queue,
                   {
                       [=] { queue->setUseDefaultAttrs(true); },
                       [=] { queue->setUseDefaultAttrs(false); },
                       [=] { queue->setQueueCapacity(u"16"s); },
                       [=] { queue->setQueueType(QueueType::Q_TYPE_LIFO); },
                       [=] { queue->setQueueType(QueueType::Q_TYPE_FIFO); },
                       inOneTransaction([=] {
                           queue->setQueueOverwriting(false);
                           queue->setUseDefaultAttrs(boost::none);
                           queue->setQueueCapacity(u""s);
                       }),
                       [=] { queue->setQueueOverwriting(true); },
                   }});

    auto platform = tn::PlatformAttributes::create(model, fm::newUuid());
    all.push_back({"PlatformAttributes",
                   platform,
                   {
                       [=] { platform->setQosType(QoSType::STATUS); },
                       [=] { platform->setDataNode(u"node"s); },
                       [=] { platform->setQosType(QoSType::IS_UPDATED); },
                       [=] { platform->setQosType(QoSType::NONE); },
                       [=] { platform->setDataNode(boost::none); },
                       [=] { platform->setQosType(boost::none); },
                   }});

    auto prop = tn::PropagationAttributes::create(model, fm::newUuid());
    all.push_back({"PropagationAttributes",
                   prop,
                   {
                       [=] { prop->setPartialInfo(true); },
                       [=] { prop->setGroundSource(port(1)); },
                       [=] { prop->setGroundSource(port(2)); },
                       [=] { prop->setTavBusOrigSrc(block(1)); },
                       [=] { prop->setTavBusSrc(nullptr); },
                       [=] { prop->setTavBusSrcOPort(INT_MAX); },
                       [=] { prop->setTavBusSrcOPort(INT_MIN); },
                       inOneTransaction([=] {
                           prop->setTavBusDst(block(2));
                           prop->setTavBusDstIPort(0);
                           prop->setIsMessage(false);
                           prop->setTrivialBusName(u"bus"s);
                           prop->setPartialInfo(false);
                       }),
                       [=] { prop->setTavBusSrc(block(3)); },
                       [=] { prop->setTavBusOrigSrc(boost::none); },
                       [=] { prop->setGroundSource(boost::none); },
                   }});

    auto blocks = tn::BlockAttributes::create(model, fm::newUuid());
    all.push_back({"BlockAttributes",
                   blocks,
                   {
                       [=] { blocks->getTavBlocksMutable().insert(block(3)); },
                       inOneTransaction([=] {
                           blocks->getTavBlocksMutable().insert(block(1));
                           blocks->getTavBlocksMutable().insert(block(2));
                       }),
                       [=] { blocks->getTavBlocksMutable().erase(block(3)); },
                       [=] { blocks->getTavBlocksMutable().clear(); },
                       [=] { blocks->getTavBlocksMutable().insert(nullptr); },
                       [=] { blocks->getTavBlocksMutable().insert(block(1)); },
                   }});
    return all;
}

TEST(ElementSnapshot, UndoAndRedoOfEditSeriesRestoreExactly) {
    fm::Model model = fm::Model::create();
    std::vector<EditSeries> all = editSeries(model);
    // Every attribute class takes part.
    ASSERT_EQ(all.size(), 7u);

    for (EditSeries& series : all) {
        SCOPED_TRACE(series.name);
        model->clearHistory();
        std::vector<std::vector<PropertyState>> states{stateOf(series.element)};
        for (std::size_t k = 0; k < series.edits.size(); ++k) {
            series.edits[k]();
            states.push_back(stateOf(series.element));
            ASSERT_NE(states[k + 1], states[k]) << "edit " << k << " changed nothing";
            ASSERT_EQ(model->undoStepCount(), k + 1);
        }
        const std::size_t n = series.edits.size();
        for (std::size_t k = n; k-- > 0;) {
            model->undo();
            EXPECT_EQ(stateOf(series.element), states[k]) << "after undoing edit " << k;
        }
        EXPECT_FALSE(model->canUndo());
        for (std::size_t k = 1; k <= n; ++k) {
            model->redo();
            EXPECT_EQ(stateOf(series.element), states[k]) << "after redoing edit " << k - 1;
        }
        EXPECT_FALSE(model->canRedo());

        // Half way back, a new edit replaces what could have been redone.
        for (std::size_t k = 0; k < n / 2; ++k) model->undo();
        ASSERT_TRUE(model->canRedo());
        for (const auto& edit : series.edits) {
            const std::size_t steps = model->undoStepCount();
            edit();
            if (model->undoStepCount() > steps) break;
        }
        EXPECT_FALSE(model->canRedo());
        model->undo();
        EXPECT_EQ(stateOf(series.element), states[n - n / 2]);
    }
}

}  // namespace
}  // namespace elements_test
