// Builders of the attribute classes: set bits and collected values, reflective setOrAdd, and creation
// as one committed transaction that announces the element with its values in place.

#include "Support.hpp"

namespace elements_test {
namespace {

using Cast = fm::CannotCastIncompatibleTypesException;

TEST(Builder, TheLastCallDecidesWhatIsCollectedAndAnErrorChangesNothing) {
    fm::Model model = fm::Model::create();
    tn::SignalAttributes::Builder b(model);
    auto bit = [&](const fm::meta::Property& p) { return b.isSet(p->getIndex()); };
    b.setDataType(boost::none);
    EXPECT_TRUE(bit(S::SignalAttributes::dataType()));
    b.setUnit(u"m"s).setUnit(boost::none).setMin(boost::none).setMin(u"0"s).setDesc(u"d"s).unsetDesc();
    EXPECT_FALSE(bit(S::SignalAttributes::desc()));
    // Reflectively, an empty value is like a disengaged optional, one without payload the zero value.
    b.setOrAdd(S::SignalAttributes::dims(), emptyOf(S::SignalAttributes::dims()));
    b.setOrAdd(S::SignalAttributes::complexity(), zeroOf(S::SignalAttributes::complexity()));
    EXPECT_TRUE(bit(S::SignalAttributes::dims()) && bit(S::SignalAttributes::complexity()));

    tn::SignalAttributes signal = b.createSignalAttributes(fm::newUuid());
    EXPECT_FALSE(signal->hasDataType() || signal->hasUnit() || signal->hasDesc() || signal->hasDims());
    EXPECT_EQ(signal->getMin(), opt<std::u16string>(u"0"s));
    EXPECT_EQ(signal->getComplexity(), opt<tn::Complexity>(tn::Complexity::AUTO));
    // Creation leaves the builder as it was: a second element gets the same values.
    EXPECT_EQ(stateOf(b.createSignalAttributes(fm::newUuid())), stateOf(signal));

    // A wrongly typed value names its type and changes neither the value nor the bit.
    b.setOrAdd(S::SignalAttributes::dataType(), text(u"int8"));
    auto e = thrown<Cast>([&] { b.setOrAdd(S::SignalAttributes::dataType(), fm::Value::ofInteger(5)); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->arguments(), std::vector<std::u16string>{Std::integerMeta()->getQualifiedName()});
    EXPECT_EQ(b.createSignalAttributes(fm::newUuid())->getDataType(), opt<std::u16string>(u"int8"s));

    // A set builder collects pointers in order and collapses duplicates at creation.
    tn::BlockAttributes::Builder bb(model);
    const auto& tavBlocks = S::BlockAttributes::tavBlocks();
    EXPECT_THROW(bb.setOrAdd(tavBlocks, fm::Value::ofPointer(S::nativeTypes::TavPortPtr(), port(1))), Cast);
    EXPECT_FALSE(bb.isSet(1));
    bb.addTavBlocks({block(9), block(1), block(9)}).addTavBlocks(block(1));
    bb.setOrAdd(tavBlocks, blockValue(block(4)));
    bb.setOrAdd(tavBlocks, zeroOf(tavBlocks));
    bb.setOrAdd(tavBlocks, blockValue(block(4)));
    auto blocks = bb.createBlockAttributes(fm::newUuid());
    EXPECT_EQ(std::vector<TAVBlock*>(blocks->getTavBlocks().begin(), blocks->getTavBlocks().end()),
              (std::vector<TAVBlock*>{nullptr, block(1), block(4), block(9)}));

    // Clearing empties the collected pointers and the bit.
    bb.clearTavBlocks();
    EXPECT_FALSE(bb.isSet(1));
    EXPECT_FALSE(bb.createBlockAttributes(fm::newUuid())->hasTavBlocks());
}

// A builder refuses an enumerator that no literal has, typed or reflectively, and keeps what it had
// collected for the property, set or not.
TEST(Builder, EnumeratorsWithoutLiteralKeepTheCollectedValueAndBit) {
    fm::Model model = fm::Model::create();
    tn::SignalAttributes::Builder b(model);
    const auto& complexity = S::SignalAttributes::complexity();
    const auto& dimsMode = S::SignalAttributes::dimsMode();
    b.setComplexity(tn::Complexity::COMPLEX);
    expectUnknownEnumerator([&] { b.setComplexity(tn::Complexity(99)); }, 99);
    expectUnknownEnumerator([&] { b.setOrAdd(complexity, fm::Value::ofEnum(S::Complexity::type(), -7)); },
                            -7);
    expectUnknownEnumerator([&] { b.setDimsMode(tn::DimsMode(3)); }, 3);
    expectUnknownEnumerator([&] { b.setOrAdd(dimsMode, fm::Value::ofEnum(S::DimsMode::type(), 3)); }, 3);
    EXPECT_TRUE(b.isSet(complexity->getIndex()));
    EXPECT_FALSE(b.isSet(dimsMode->getIndex()));

    tn::SignalAttributes signal = b.createSignalAttributes(fm::newUuid());
    EXPECT_EQ(signal->getComplexity(), opt<tn::Complexity>(tn::Complexity::COMPLEX));
    EXPECT_FALSE(signal->hasDimsMode());
}

TEST(Builder, CreationIsOneCommitAnnouncingTheElementWithItsValues) {
    LoggedModel m;
    std::vector<State> seen;
    fm::ListenerToken reader = m->addListener([&](const fm::ChangeReport& r) {
        for (const fm::ModelElement& e : r.created()) seen.push_back(stateOf(e));
    });

    tn::PropagationAttributes::Builder b(m.model);
    b.setPartialInfo(false).setGroundSource(port(1)).setTrivialBusName(u""s).setTavBusOrigSrc(nullptr);
    auto prop = b.setTavBusSrcOPort(INT_MIN).createPropagationAttributes(fm::newUuid());
    EXPECT_EQ(m->undoStepCount(), 1u);
    ASSERT_EQ(m.reports.size(), 1u);
    EXPECT_EQ(m.reports[0].cause(), fm::ChangeReport::Cause::Commit);
    ASSERT_EQ(m.reports[0].created().size(), 1u);
    EXPECT_EQ(m.reports[0].created()[0].get(), prop.get());
    EXPECT_TRUE(m.reports[0].modified().empty());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], stateOf(prop));
    EXPECT_EQ(prop->getTavBusOrigSrc(), opt<TAVBlock*>(nullptr));
    EXPECT_EQ(prop->getTavBusSrcOPort(), opt<int>(INT_MIN));
    m->undo();
    EXPECT_FALSE(m->findElement(prop->getUuid()));
    m->redo();
    EXPECT_EQ(seen.back(), seen.front());

    // A failed creation leaves the model and the builder as they were.
    m.forget();
    const std::size_t elements = m->elementCount();
    b.setTavBusSrcOPort(7);
    EXPECT_THROW(b.createPropagationAttributes(prop->getUuid()), fm::MessageIdException);
    EXPECT_EQ(m->transactionDepth(), 0u);
    EXPECT_EQ(m->elementCount(), elements);
    EXPECT_EQ(prop->getTavBusSrcOPort(), opt<int>(INT_MIN));
    EXPECT_TRUE(m.reports.empty());
    EXPECT_EQ(b.createPropagationAttributes(fm::newUuid())->getTavBusSrcOPort(), opt<int>(7));
}

}  // namespace
}  // namespace elements_test
