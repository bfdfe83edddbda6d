// Transactions: rollback of abandoned ones (also nested), the one report per outermost commit, and what
// counts as a change.

#include "Support.hpp"

#include <stdexcept>

namespace fenmo_test {
namespace {

using fenmo::ChangeReport;
using fenmo::Transaction;

// A small model: a (label, count, part p in child), d (label, part q in child, item s in sub).
struct World {
    Model model = Model::create();
    Item a = Item::create(model);
    Part p = Part::create(model);
    Item d = Item::create(model);
    Part q = Part::create(model);
    Item s = Item::create(model);
    World() {
        a->setLabel(text(u"a"));
        a->setCount(1);
        a->setChild(p);
        p->setText(text(u"p"));
        d->setLabel(text(u"d"));
        d->setChild(q);
        d->setSub(s);
        model->clearHistory();
    }
};

TEST(Transaction, AbandonRestoresValuesContainmentAndElements) {
    World w;
    Recorder recorder(w.model);
    const auto before = dump(w.model);
    const std::size_t count = w.model->elementCount();

    Item created;
    abandonedEdit(w.model, [&] {
        w.a->setLabel(text(u"changed"));
        w.a->setCount(boost::none);
        w.p->setText(boost::none);
        created = Item::create(w.model);
        created->setLabel(text(u"new"));
        created->setChild(w.p);  // moves p out of a
        w.d->destroy();          // takes q and s with it
        EXPECT_FALSE(w.d);
        EXPECT_FALSE(w.a->getChild().get());
        EXPECT_EQ(w.model->elementCount(), count + 1 - 3);
    });

    EXPECT_EQ(dump(w.model), before);
    EXPECT_EQ(w.model->elementCount(), count);
    EXPECT_FALSE(w.model->isInTransaction());
    // The created element is gone; its handle stays non-null but tests false.
    ASSERT_NE(created.get(), nullptr);
    EXPECT_FALSE(created);
    EXPECT_FALSE(w.model->findElement(created->getUuid()).get());
    // The destroyed ones are back, with the same identity and implementation.
    EXPECT_TRUE(w.d);
    EXPECT_TRUE(w.q);
    EXPECT_TRUE(w.s);
    EXPECT_EQ(w.model->findElement(w.d->getUuid()).get(), w.d.get());
    EXPECT_EQ(w.d->getChild().get(), w.q.get());
    EXPECT_EQ(w.q->container().get(), w.d.get());
    EXPECT_EQ(w.p->container().get(), w.a.get());
    EXPECT_EQ(w.p->containingProperty().get(), TestMeta::itemChild().get());
    // Nothing happened as far as listeners and the history know.
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(w.model->canUndo());

    // The model is fully usable afterwards, and the revived elements can be edited and destroyed again.
    w.d->setLabel(text(u"again"));
    w.d->destroy();
    EXPECT_FALSE(w.q);
    ASSERT_EQ(recorder.reports.size(), 2u);
    EXPECT_EQ(recorder.reports[1].destroyed().size(), 3u);
}

TEST(Transaction, ExplicitAbandonAndMoveOnlyScope) {
    World w;
    Transaction t = w.model->beginTransaction(false);
    w.a->setLabel(text(u"x"));
    Transaction moved = std::move(t);
    EXPECT_FALSE(t.isOpen());
    EXPECT_TRUE(moved.isOpen());
    EXPECT_THROW(t.commit(boost::none), std::logic_error);
    moved.abandon();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_EQ(w.a->getLabel(), text(u"a"));
    moved.abandon();  // a second abandon does nothing
    EXPECT_THROW(moved.commit(boost::none), std::logic_error);

    // Move-assigning over an open transaction abandons it.
    Transaction first = w.model->beginTransaction(false);
    w.a->setCount(50);
    first = Transaction();
    EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(1));
    EXPECT_FALSE(w.model->isInTransaction());
    EXPECT_FALSE(w.model->canUndo());
}

TEST(Transaction, NestedAbandonKeepsOuterChanges) {
    World w;
    Recorder recorder(w.model);
    const auto initial = dump(w.model);

    Transaction outer = w.model->beginTransaction(false);
    w.a->setLabel(text(u"outer"));
    Item kept = Item::create(w.model);
    kept->setChild(w.q);  // moves q out of d
    w.d->setLabel(text(u"outer d"));
    const auto afterOuter = dump(w.model);

    abandonedEdit(w.model, [&] {
        EXPECT_EQ(w.model->transactionDepth(), 2u);
        w.a->setLabel(text(u"inner"));
        w.a->setCount(7);
        kept->setLabel(text(u"inner"));
        w.a->setSpare(w.q);  // moves q again
        Item dropped = Item::create(w.model);
        dropped->setChild(w.p);
        w.d->destroy();
    });
    EXPECT_EQ(w.model->transactionDepth(), 1u);
    EXPECT_EQ(dump(w.model), afterOuter);
    EXPECT_TRUE(recorder.reports.empty());

    outer.commit(boost::none);
    ASSERT_EQ(recorder.reports.size(), 1u);
    const ChangeReport& report = recorder.reports[0];
    EXPECT_EQ(report.created().size(), 1u);
    EXPECT_TRUE(contains(report.created(), kept));
    EXPECT_TRUE(report.destroyed().empty());
    const fenmo::PropertyChange* label = findChange(report, w.a, TestMeta::itemLabel());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->oldValue.getString(), u"a");
    EXPECT_EQ(label->newValue.getString(), u"outer");
    EXPECT_EQ(findChange(report, w.a, TestMeta::itemCount()), nullptr);
    EXPECT_EQ(findChange(report, w.a, TestMeta::itemSpare()), nullptr);

    // One undo step for the whole, back to the state before the outer transaction.
    EXPECT_EQ(w.model->undoStepCount(), 1u);
    w.model->undo();
    EXPECT_EQ(dump(w.model), initial);
    w.model->redo();
    EXPECT_EQ(dump(w.model), afterOuter);
}

TEST(Transaction, NestedAbandonWhenOuterHasNotTouchedTheElementYet) {
    World w;
    const auto initial = dump(w.model);

    // The inner level is the first to change the element: its old value is kept by the outer level.
    Transaction outer = w.model->beginTransaction(false);
    abandonedEdit(w.model, [&] {
        w.a->setLabel(text(u"inner"));
        w.a->setChild(Part());
    });
    EXPECT_EQ(dump(w.model), initial);
    w.a->setCount(2);
    outer.commit(boost::none);
    EXPECT_EQ(w.a->getLabel(), text(u"a"));
    EXPECT_EQ(w.a->getChild().get(), w.p.get());
    w.model->undo();
    EXPECT_EQ(dump(w.model), initial);

    // Three levels, each changing the same property; each abandon goes back exactly one level.
    Transaction l1 = w.model->beginTransaction(false);
    w.a->setLabel(text(u"1"));
    {
        Transaction l2 = w.model->beginTransaction(false);
        w.a->setLabel(text(u"2"));
        {
            Transaction l3 = w.model->beginTransaction(false);
            w.a->setLabel(text(u"3"));
            w.a->setCount(3);
        }
        EXPECT_EQ(w.a->getLabel(), text(u"2"));
        EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(1));
    }
    EXPECT_EQ(w.a->getLabel(), text(u"1"));
    l1.commit(boost::none);
    w.model->undo();
    EXPECT_EQ(dump(w.model), initial);
}

TEST(Transaction, InnerCommitIsUndoneByOuterAbandon) {
    World w;
    const auto initial = dump(w.model);
    const std::size_t count = w.model->elementCount();
    Item made;
    abandonedEdit(w.model, [&] {
        w.s->setLabel(text(u"outer"));
        Transaction inner = w.model->beginTransaction(false);
        w.a->setLabel(text(u"inner"));
        made = Item::create(w.model);
        w.s->destroy();
        inner.commit(boost::none);
    });
    EXPECT_EQ(dump(w.model), initial);
    EXPECT_EQ(w.model->elementCount(), count);
    EXPECT_FALSE(made);
    EXPECT_TRUE(w.s);
    EXPECT_EQ(w.d->getSub().get(), w.s.get());
}

TEST(Transaction, TransactionsEndInnermostFirst) {
    World w;
    Transaction outer = w.model->beginTransaction(false);
    Transaction inner = w.model->beginTransaction(false);
    w.a->setLabel(text(u"x"));
    EXPECT_THROW(outer.commit(boost::none), std::logic_error);
    // The refused commit changed nothing: both levels are still open.
    EXPECT_EQ(w.model->transactionDepth(), 2u);
    EXPECT_TRUE(outer.isOpen());
    inner.commit(boost::none);
    outer.commit(boost::none);
    EXPECT_EQ(w.a->getLabel(), text(u"x"));
    EXPECT_EQ(w.model->undoStepCount(), 1u);

    // Abandoning the outer level while an inner one is open rolls back both.
    Transaction o = w.model->beginTransaction(false);
    w.a->setLabel(text(u"y"));
    Transaction i = w.model->beginTransaction(false);
    w.a->setCount(9);
    o.abandon();
    EXPECT_FALSE(w.model->isInTransaction());
    EXPECT_EQ(w.a->getLabel(), text(u"x"));
    EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(1));
    EXPECT_THROW(i.commit(boost::none), std::logic_error);
}

TEST(Transaction, AnEndedTransactionDoesNotEndALaterOne) {
    World w;
    // The inner transaction ends with its outer one; later transactions reach the same depth.
    Transaction outer = w.model->beginTransaction(false);
    Transaction inner = w.model->beginTransaction(false);
    w.a->setLabel(text(u"gone"));
    outer.abandon();
    EXPECT_EQ(w.a->getLabel(), text(u"a"));

    Transaction first = w.model->beginTransaction(false);
    Transaction second = w.model->beginTransaction(false);
    w.a->setCount(9);
    EXPECT_THROW(inner.commit(boost::none), std::logic_error);
    EXPECT_EQ(w.model->transactionDepth(), 2u);
    inner.abandon();  // as its destructor would
    EXPECT_EQ(w.model->transactionDepth(), 2u) << "a stale transaction ended a later one";
    EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(9));
    EXPECT_NO_THROW(second.commit(boost::none));
    EXPECT_NO_THROW(first.commit(boost::none));
    EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(9));
    EXPECT_FALSE(w.model->isInTransaction());
}

TEST(Transaction, OneReportPerOutermostCommit) {
    World w;
    Recorder recorder(w.model);

    Transaction outer = w.model->beginTransaction(false);
    Item n = Item::create(w.model);
    n->setLabel(text(u"n"));
    w.a->setLabel(text(u"first"));
    {
        Transaction inner = w.model->beginTransaction(false);
        w.a->setLabel(text(u"second"));
        w.a->setCount(5);
        w.p->setRank(3);
        inner.commit(boost::none);
    }
    w.d->destroy();
    EXPECT_TRUE(recorder.reports.empty());
    outer.commit(boost::none);

    ASSERT_EQ(recorder.reports.size(), 1u);
    const ChangeReport& r = recorder.reports[0];
    EXPECT_EQ(r.cause(), ChangeReport::Cause::Commit);
    ASSERT_EQ(r.created().size(), 1u);
    EXPECT_EQ(r.created()[0].get(), n.get());
    EXPECT_EQ(r.destroyed().size(), 3u);
    for (const ModelElement& e : {ModelElement(w.d), ModelElement(w.q), ModelElement(w.s)})
        EXPECT_TRUE(contains(r.destroyed(), e));

    // Created and destroyed elements are not reported as modified; a and p are.
    ASSERT_EQ(r.modified().size(), 2u);
    for (const fenmo::ElementChange& change : r.modified()) {
        EXPECT_NE(change.element.get(), n.get());
        EXPECT_NE(change.element.get(), w.d.get());
    }
    const fenmo::PropertyChange* label = findChange(r, w.a, TestMeta::itemLabel());
    const fenmo::PropertyChange* count = findChange(r, w.a, TestMeta::itemCount());
    const fenmo::PropertyChange* rank = findChange(r, w.p, TestMeta::partRank());
    ASSERT_TRUE(label && count && rank);
    EXPECT_EQ(label->oldValue.getString(), u"a");
    EXPECT_EQ(label->newValue.getString(), u"second");
    EXPECT_EQ(count->oldValue.getInteger(), 1);
    EXPECT_EQ(count->newValue.getInteger(), 5);
    // Old value of an boost::none mandatory property: reported as no value; the new one is readable.
    EXPECT_FALSE(rank->oldValue.hasPayload());
    EXPECT_EQ(rank->newValue.getInteger(), 3);
    EXPECT_EQ(label->newValue.getType().get(), TestMeta::itemLabel()->getType().get());

    // Properties of one element are reported in index order.
    for (const fenmo::ElementChange& change : r.modified()) {
        std::size_t last = 0;
        for (const fenmo::PropertyChange& pc : change.properties) {
            EXPECT_GT(pc.property->getIndex(), last);
            last = pc.property->getIndex();
        }
    }

    // Each edit outside a transaction is a transaction of its own.
    w.a->setLabel(text(u"third"));
    w.a->setCount(6);
    EXPECT_EQ(recorder.reports.size(), 3u);
}

TEST(Transaction, SetAndSetBackIsNoChange) {
    World w;
    Recorder recorder(w.model);
    w.a->setLabel(text(u"v1"));
    w.model->undo();  // leaves a redo step
    ASSERT_TRUE(w.model->canRedo());
    const std::size_t steps = w.model->undoStepCount();
    recorder.reports.clear();

    // Only set-and-back changes: no report, no undo step, the redo step survives.
    {
        Transaction t = w.model->beginTransaction(false);
        w.a->setLabel(text(u"tmp"));
        w.a->setLabel(text(u"a"));
        w.a->setCount(boost::none);
        w.a->setCount(1);
        w.p->setRank(4);
        w.p->setRank(boost::none);
        w.a->setChild(Part());
        w.a->setChild(w.p);
        t.commit(boost::none);
    }
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_EQ(w.model->undoStepCount(), steps);
    EXPECT_TRUE(w.model->canRedo());
    EXPECT_EQ(w.p->container().get(), w.a.get());

    // Mixed with a real change only that change is reported.
    {
        Transaction t = w.model->beginTransaction(false);
        w.a->setLabel(text(u"tmp"));
        w.a->setCount(8);
        w.a->setLabel(text(u"a"));
        t.commit(boost::none);
    }
    ASSERT_EQ(recorder.reports.size(), 1u);
    ASSERT_EQ(recorder.reports[0].modified().size(), 1u);
    ASSERT_EQ(recorder.reports[0].modified()[0].properties.size(), 1u);
    EXPECT_EQ(recorder.reports[0].modified()[0].properties[0].property.get(), TestMeta::itemCount().get());
    w.model->undo();
    EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(1));
    EXPECT_EQ(w.a->getLabel(), text(u"a"));

    // An element created and destroyed in one transaction leaves no trace.
    const std::size_t count = w.model->elementCount();
    const std::size_t undoSteps = w.model->undoStepCount();
    recorder.reports.clear();
    {
        Transaction t = w.model->beginTransaction(false);
        Item temp = Item::create(w.model);
        temp->setChild(Part::create(w.model));
        temp->destroy();
        t.commit(boost::none);
    }
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_EQ(w.model->elementCount(), count);
    EXPECT_EQ(w.model->undoStepCount(), undoSteps);
}

TEST(Transaction, UnchangedValueOpensNoTransaction) {
    World w;
    Recorder recorder(w.model);
    w.a->setLabel(text(u"a"));
    w.a->setCount(1);
    w.a->setChild(w.p);
    w.s->setLabel(boost::none);
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(w.model->canUndo());

    // An engaged empty text differs from no text, both ways.
    w.s->setLabel(std::u16string());
    ASSERT_EQ(recorder.reports.size(), 1u);
    const fenmo::PropertyChange* change = findChange(recorder.reports[0], w.s, TestMeta::itemLabel());
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->oldValue.getFlags(), fenmo::ValueFlags::Optional);
    EXPECT_EQ(change->newValue.getFlags(), fenmo::ValueFlags::Single);
    EXPECT_EQ(change->newValue.getString(), u"");
    w.s->setLabel(boost::none);
    EXPECT_EQ(recorder.reports.size(), 2u);
    EXPECT_EQ(w.model->undoStepCount(), 2u);
}

TEST(Transaction, OldValuesAreCopiedOnceThroughNestedLevels) {
    World w;
    const auto initial = dump(w.model);

    // Levels opened before any change: the first change of a property copies its old value once, at
    // the outermost level, not once per open level; committing copies nothing back.
    HookCounts::reset();
    {
        Transaction l1 = w.model->beginTransaction(false);
        Transaction l2 = w.model->beginTransaction(false);
        Transaction l3 = w.model->beginTransaction(false);
        w.a->setCount(-1);
        EXPECT_EQ(HookCounts::copyValue.load(), 1);
        w.a->setLabel(text(u"deep"));
        EXPECT_EQ(HookCounts::copyValue.load(), 2);
        l3.commit(boost::none);
        l2.commit(boost::none);
        l1.commit(boost::none);
    }
    EXPECT_EQ(HookCounts::copyValue.load(), 2);
    EXPECT_EQ(HookCounts::copyStateFromStorage.load(), 0);

    // What was copied at the outermost level is what undo restores, and what the inner levels roll
    // back to when they are abandoned.
    w.model->undo();
    EXPECT_EQ(dump(w.model), initial);
    Transaction l1 = w.model->beginTransaction(false);
    {
        Transaction l2 = w.model->beginTransaction(false);
        w.a->setCount(-1);
        w.a->setCount(-2);
    }
    EXPECT_EQ(dump(w.model), initial);
    l1.commit(boost::none);
    EXPECT_FALSE(w.model->canUndo());
}

TEST(Transaction, ListenerMayEditTheModelItIsToldAbout) {
    World w;
    const auto initial = dump(w.model);
    // Keeps count equal to the label's length, as a host's derived data would.
    fenmo::ListenerToken token = w.model->addListener([&](const ChangeReport& r) {
        if (r.cause() != ChangeReport::Cause::Commit || !findChange(r, w.a, TestMeta::itemLabel())) return;
        w.a->setCount(static_cast<std::int32_t>(w.a->getLabel().value_or(u"").size()));
    });
    w.a->setLabel(text(u"four"));
    EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(4));
    EXPECT_FALSE(w.model->isInTransaction());
    EXPECT_EQ(w.model->undoStepCount(), 2u);
    w.model->undo();
    w.model->undo();
    EXPECT_EQ(dump(w.model), initial);
    w.model->redo();
    w.model->redo();
    EXPECT_EQ(w.a->getCount(), boost::optional<std::int32_t>(4));
}

TEST(Transaction, InternalTransactionsAreNeitherRecordedNorReported) {
    World w;
    Recorder recorder(w.model);
    Transaction t = w.model->beginTransaction(true);
    w.a->setLabel(text(u"internal"));
    Item n = Item::create(w.model);
    t.commit(boost::none);
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(w.model->canUndo());
    EXPECT_EQ(w.a->getLabel(), text(u"internal"));
    EXPECT_TRUE(n);
}

TEST(Transaction, ListenerThatThrowsDoesNotLeaveTheTransactionOpen) {
    World w;
    fenmo::ListenerToken token =
        w.model->addListener([](const ChangeReport&) { throw std::runtime_error("x"); });
    EXPECT_THROW(w.a->setLabel(text(u"x")), std::runtime_error);
    EXPECT_FALSE(w.model->isInTransaction());
    token.reset();
    w.a->setLabel(text(u"y"));
    EXPECT_EQ(w.a->getLabel(), text(u"y"));
}

}  // namespace
}  // namespace fenmo_test
