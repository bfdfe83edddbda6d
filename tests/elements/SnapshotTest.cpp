// Transaction snapshots of the attribute classes: what counts as changed at commit, undo and redo of
// series of edits of every value kind, and what a transaction ended by an error restores.

#include "Support.hpp"

#include <functional>
#include <memory>

namespace elements_test {
namespace {

using Edit = std::function<void()>;

Edit inOneTransaction(const fm::Model& model, Edit edits) {
    return [model, edits] {
        fm::Transaction t = model->beginTransaction(false);
        edits();
        t.commit(boost::none);
    };
}

TEST(Snapshot, SetAndSetBackInOneTransactionIsNotReported) {
    LoggedModel m;
    const std::vector<fm::ModelElement> elements = singleValuedElements(m.model);
    auto signal = fm::handleCast<tn::SignalAttributes>(elements.back());
    auto blocks = tn::BlockAttributes::create(m.model, fm::newUuid());
    signal->setDataType(u"a"s);
    m.forget();

    // Every property away from its value (a value or absence) and back, alongside one real change: only
    // the real change is reported.
    inOneTransaction(m.model, [&] {
        for (const fm::ModelElement& e : elements)
            for (const fm::meta::Property& p : storedProperties(e)) {
                const fm::Value before = reflect.get(e, p);
                write(e, p, valueOf(p, false));
                write(e, p, before);
            }
        blocks->getTavBlocksMutable().insert(block(3));
        blocks->getTavBlocksMutable().erase(block(3));
        signal->setMin(u"0"s);
    })();
    ASSERT_EQ(m.reports.size(), 1u);
    ASSERT_EQ(m.reports[0].modified().size(), 1u);
    EXPECT_EQ(m.reports[0].modified()[0].properties.size(), 1u);
    EXPECT_NE(changeOf(m.reports[0], signal, S::SignalAttributes::min()), nullptr);

    // In the snapshot, a property set back is no longer changed and its old value is the base's answer.
    const auto& dataType = S::SignalAttributes::dataType();
    const auto& min = S::SignalAttributes::min();
    std::unique_ptr<fm::ModelElement::Impl::Storage> storage(signal->createStorage());
    for (const fm::meta::Property* p : {&dataType, &min}) {
        signal->copyValue(storage.get(), (*p)->getIndex());
        storage->setChanged((*p)->getIndex());
    }
    signal->setDataType(u"b"s);
    signal->setMin(u"1"s);
    signal->setDataType(u"a"s);
    EXPECT_TRUE(storage->revertUnchanged(signal.get()));
    EXPECT_FALSE(storage->isChanged(dataType->getIndex()));
    EXPECT_EQ(storage->getOldValue(dataType, Tag::standard()), emptyOf(dataType));
    EXPECT_EQ(storage->getOldValue(min, Tag::standard()), text(u"0"));
}

TEST(Snapshot, UndoAndRedoOfEditSeriesRestoreExactly) {
    fm::Model model = fm::Model::create();
    // Each edit is one undo step: every property given a value, then all of them the zero value in one
    // transaction, then each cleared; the pointer set changed as a set.
    std::vector<std::pair<fm::ModelElement, std::vector<Edit>>> all;
    for (const fm::ModelElement& e : singleValuedElements(model)) {
        std::vector<Edit> edits;
        const std::vector<fm::meta::Property> properties = storedProperties(e);
        for (const fm::meta::Property& p : properties)
            edits.push_back([=] { write(e, p, valueOf(p, true)); });
        edits.push_back(inOneTransaction(model, [=] {
            for (const fm::meta::Property& p : properties) write(e, p, zeroOf(p));
        }));
        for (const fm::meta::Property& p : properties) edits.push_back([=] { write(e, p, emptyOf(p)); });
        all.emplace_back(e, std::move(edits));
    }
    auto blocks = tn::BlockAttributes::create(model, fm::newUuid());
    fm::PrimitiveSet<TAVBlock*>* set = &blocks->getTavBlocksMutable();
    auto insert = [set](TAVBlock* b) -> Edit { return [=] { set->insert(b); }; };
    all.emplace_back(
        blocks, std::vector<Edit>{insert(block(3)),
                                  inOneTransaction(model,
                                                   [=] {
                                                       for (int i : {1, 2}) set->insert(block(i));
                                                   }),
                                  [=] { set->erase(block(3)); }, insert(nullptr), [=] { set->clear(); }});
    ASSERT_EQ(all.size(), 7u);

    for (auto& [element, edits] : all) {
        SCOPED_TRACE(fm::narrow(element->getMetaClass()->getName()));
        model->clearHistory();
        std::vector<State> states{stateOf(element)};
        for (std::size_t k = 0; k < edits.size(); ++k) {
            edits[k]();
            states.push_back(stateOf(element));
            ASSERT_NE(states[k + 1], states[k]) << "edit " << k << " changed nothing";
            ASSERT_EQ(model->undoStepCount(), k + 1);
        }
        for (std::size_t k = edits.size(); k-- > 0;) {
            model->undo();
            EXPECT_EQ(stateOf(element), states[k]) << "after undoing edit " << k;
        }
        for (std::size_t k = 1; k <= edits.size(); ++k) {
            model->redo();
            EXPECT_EQ(stateOf(element), states[k]) << "after redoing edit " << k - 1;
        }
        // All the edits again in one transaction that a refused write ends: nothing of them stays.
        Edit replayThenFail = inOneTransaction(model, [&] {
            for (const Edit& edit : edits) edit();
            write(element, element->getPropertyByIndex(1), fm::Value::ofInteger(1));
        });
        EXPECT_THROW(replayThenFail(), fm::MessageIdException);
        EXPECT_EQ(model->transactionDepth(), 0u);
        EXPECT_EQ(stateOf(element), states.back());
        EXPECT_EQ(model->undoStepCount(), edits.size());
    }
}

}  // namespace
}  // namespace elements_test
