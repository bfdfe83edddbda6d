// Typed and reflective writes of the attribute classes: proxies are refused before anything but the type
// check, an unchanged value has no effect at all, and every real change is one recorded step.

#include "Support.hpp"

#include <fenmo/PrimitiveSet.hpp>
#include <fenmo/meta/Enum.hpp>

namespace elements_test {
namespace {

using Proxy = fm::CannotModifyProxyException;
using ReadOnly = fm::CannotSetReadOnlyPropertyException;

TEST(Setter, UnchangedValueOpensNoTransactionAndAnnouncesNothing) {
    LoggedModel m;
    Recording<tn::SignalAttributes>* rec = nullptr;
    tn::SignalAttributes signal = createRecording(m.model, rec);
    m.forget();

    signal->setDataType(boost::none);
    signal->setComplexity(boost::none);
    EXPECT_TRUE(rec->snapshots.empty());
    // A change is announced once, from inside the transaction the setter opened.
    signal->setDataType(u"int8"s);
    signal->setComplexity(tn::Complexity::COMPLEX);
    const std::vector<std::pair<std::size_t, std::size_t>> announced = {
        {S::SignalAttributes::dataType()->getIndex(), 1}, {S::SignalAttributes::complexity()->getIndex(), 1}};
    EXPECT_EQ(rec->snapshots, announced);

    // The same values again, the text from another string object, also inside a caller's transaction.
    signal->setDataType(std::u16string(u"int8"));
    signal->setComplexity(tn::Complexity::COMPLEX);
    {
        fm::Transaction outer = m->beginTransaction(false);
        signal->setDataType(u"int8"s);
        outer.commit(boost::none);
    }
    EXPECT_EQ(rec->snapshots, announced);
    EXPECT_EQ(m->undoStepCount(), 2u);
    EXPECT_EQ(m.reports.size(), 2u);
    // Nor does it cut off the redo history.
    m->undo();
    signal->setDataType(u"int8"s);
    signal->setComplexity(boost::none);
    EXPECT_TRUE(m->canRedo());

    // An engaged empty string is a value, and unsetting it a change.
    signal->setDesc(u""s);
    EXPECT_EQ(signal->getDesc(), opt<std::u16string>(u""s));
    signal->setDesc(boost::none);
    EXPECT_FALSE(signal->hasDesc());
    m->undo();
    EXPECT_EQ(signal->getDesc(), opt<std::u16string>(u""s));
    m->undo();
    EXPECT_FALSE(signal->hasDesc());

    // Elements that outlived their model cannot open a transaction: only a write that would change
    // something tries to.
    fm::Model model = fm::Model::create();
    std::vector<fm::ModelElement> orphans = singleValuedElements(model);
    for (const fm::ModelElement& e : orphans)
        for (const fm::meta::Property& p : storedProperties(e)) write(e, p, valueOf(p, true));
    model = fm::Model();
    for (const fm::ModelElement& e : orphans) {
        ASSERT_EQ(e->getModelImpl(), nullptr);
        for (const fm::meta::Property& p : storedProperties(e)) {
            EXPECT_NO_THROW(write(e, p, valueOf(p, true)));
            EXPECT_THROW(write(e, p, emptyOf(p)), fm::MessageIdException);
            EXPECT_EQ(reflect.get(e, p), valueOf(p, true));
        }
    }
}

// A value whose type differs from `t` in the way that matters for its kind.
fm::Value wronglyTyped(const fm::meta::Type& t) {
    if (t.get() == Std::stringMeta().get()) return fm::Value(Std::integerMeta(), boost::none);
    if (t.get() == Std::integerMeta().get()) return fm::Value::ofBoolean(true);
    if (t.get() == Std::booleanMeta().get()) return fm::Value::ofInteger(1);
    if (t.get() == S::nativeTypes::TavBlockPtr().get())
        return fm::Value::ofPointer(S::nativeTypes::TavPortPtr(), port(1));
    if (t.get() == S::nativeTypes::TavPortPtr().get()) return blockValue(block(1));
    return fm::Value::ofEnum(
        t.get() == S::QueueType::type().get() ? S::DimsMode::type() : S::QueueType::type(), 1);
}

// Every stored property of every single-valued attribute class, written reflectively, on an element and
// on a proxy of its class.
TEST(Reflection, WritesCheckTheTypeThenTheProxyAndConvertEmptyAndPayloadlessValues) {
    LoggedModel m;
    for (const fm::ModelElement& e : singleValuedElements(m.model)) {
        const fm::meta::Class& cls = e->getMetaClass();
        const bool busType = cls.get() == tn::BusTypeRootAttributes::metaClass().get() ||
                             cls.get() == tn::BusTypeElementAttributes::metaClass().get();
        fm::ModelElement proxy = m->createProxy(cls, fm::ProxyId(fm::newUuid(), fm::newUuid()));
        ASSERT_TRUE(proxy);
        for (const fm::meta::Property& p : storedProperties(e)) {
            SCOPED_TRACE(fm::narrow(cls->getName() + u"." + p->getName()));
            const fm::Reflection& access = busType ? privileged : reflect;
            auto set = [&](const fm::Value& v) { access.set(e, p, v); };
            m.forget();

            // Without privileged access a bus-type write goes to the base, which has no mutator for it.
            EXPECT_EQ(p->hasPublicMutator(), !busType);
            if (busType) {
                EXPECT_THROW(reflect.set(e, p, valueOf(p, true)), ReadOnly);
                EXPECT_THROW(reflect.set(proxy, p, emptyOf(p)), ReadOnly);
            }
            // A wrongly typed value is refused naming the type offered, on a proxy too; otherwise a proxy
            // refuses even a write that would change nothing.
            const fm::Value wrong = wronglyTyped(p->getType());
            auto error = thrown<fm::CannotCastIncompatibleTypesException>([&] { set(wrong); });
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->key(), "CannotCastIncompatibleTypes");
            EXPECT_EQ(error->arguments(), std::vector<std::u16string>{wrong.getType()->getQualifiedName()});
            EXPECT_THROW(access.set(proxy, p, wrong), fm::CannotCastIncompatibleTypesException);
            EXPECT_THROW(access.set(proxy, p, emptyOf(p)), Proxy);
            EXPECT_FALSE(reflect.has(e, p) || reflect.has(proxy, p));
            EXPECT_EQ(m->transactionDepth() + m->undoStepCount() + m.reports.size(), 0u);

            // An empty value of the property's type clears; clearing what is absent changes nothing.
            set(valueOf(p, true));
            EXPECT_EQ(reflect.get(e, p), valueOf(p, true));
            set(emptyOf(p));
            EXPECT_FALSE(reflect.has(e, p));
            EXPECT_EQ(reflect.get(e, p), emptyOf(p));
            set(emptyOf(p));
            // A value without payload sets the zero value, once.
            set(zeroOf(p));
            EXPECT_TRUE(reflect.has(e, p));
            EXPECT_EQ(reflect.get(e, p), valueOf(p, false));
            set(zeroOf(p));
            EXPECT_EQ(m->undoStepCount(), 3u);
            ASSERT_EQ(m.reports.size(), 3u);
            const fm::PropertyChange* change = changeOf(m.reports[1], e, p);
            ASSERT_NE(change, nullptr);
            EXPECT_EQ(change->oldValue, valueOf(p, true));
            EXPECT_EQ(change->newValue, emptyOf(p));
        }
    }
}

// An enumerator that no literal has is refused by typed and reflective writes of every enumeration
// property, and by a set of enumerators; nothing is stored, opened or recorded.
TEST(Setter, EnumeratorsWithoutLiteralAreRefusedEverywhere) {
    LoggedModel m;
    tn::SignalAttributes signal = tn::SignalAttributes::create(m.model, fm::newUuid());
    signal->setComplexity(tn::Complexity::REAL);
    m.forget();
    expectUnknownEnumerator([&] { signal->setComplexity(tn::Complexity(99)); }, 99);
    expectUnknownEnumerator([&] { signal->setComplexity(tn::Complexity(3)); }, 3);
    expectUnknownEnumerator([&] { signal->setOutputWhenDisabled(tn::OutputWhenDisabled(-1)); }, -1);
    EXPECT_EQ(signal->getComplexity(), opt<tn::Complexity>(tn::Complexity::REAL));
    EXPECT_FALSE(signal->hasOutputWhenDisabled());

    int enumerations = 0;
    for (const fm::ModelElement& e : singleValuedElements(m.model)) {
        for (const fm::meta::Property& p : storedProperties(e)) {
            const auto type = fm::handleCast<fm::meta::Enum>(p->getType());
            if (!type.get()) continue;
            SCOPED_TRACE(fm::narrow(p->getQualifiedName()));
            ++enumerations;
            const auto literals = static_cast<std::int32_t>(type->getLiterals().size());
            write(e, p, valueOf(p, true));
            const State before = stateOf(e);
            m.forget();
            for (std::int32_t number : {literals, -7, INT32_MIN})
                expectUnknownEnumerator([&] { write(e, p, fm::Value::ofEnum(type, number)); }, number);
            EXPECT_EQ(stateOf(e), before);
            // The last literal is still a value.
            write(e, p, fm::Value::ofEnum(type, literals - 1));
            EXPECT_EQ(reflect.get(e, p), fm::Value::ofEnum(type, literals - 1));
        }
    }
    EXPECT_EQ(enumerations, 9);
    EXPECT_EQ(signal->getComplexity(), opt<tn::Complexity>(tn::Complexity::REAL));

    // A set of enumerators (no property of the metamodel has one) refuses them too.
    fm::PrimitiveSet<tn::Complexity> set(S::SignalAttributes::complexity());
    set._basicInsert(tn::Complexity::COMPLEX);
    expectUnknownEnumerator([&] { set._basicInsert(tn::Complexity(7)); }, 7);
    EXPECT_EQ(std::vector<tn::Complexity>(set.begin(), set.end()), std::vector{tn::Complexity::COMPLEX});
}

TEST(Setter, ProxyRefusesTypedWritesAndTheSetEvenWhenNothingWouldChange) {
    fm::Model model = fm::Model::create();
    auto proxyOf = [&](const fm::meta::Class& cls) {
        return model->createProxy(cls, fm::ProxyId(fm::newUuid(), fm::newUuid()));
    };
    auto prop = fm::handleCast<tn::PropagationAttributes>(proxyOf(tn::PropagationAttributes::metaClass()));
    auto blocks = fm::handleCast<tn::BlockAttributes>(proxyOf(tn::BlockAttributes::metaClass()));
    ASSERT_TRUE(prop.get() && blocks.get());
    EXPECT_THROW(prop->setTavBusSrc(boost::none), Proxy);
    EXPECT_THROW(prop->setTrivialBusName(u"x"s), Proxy);
    EXPECT_THROW(blocks->getTavBlocksMutable().insert(block(1)), Proxy);
    EXPECT_FALSE(prop->hasTrivialBusName() || blocks->hasTavBlocks());
    EXPECT_EQ(model->undoStepCount(), 0u);
}

}  // namespace
}  // namespace elements_test
