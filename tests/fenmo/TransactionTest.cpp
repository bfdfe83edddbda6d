// Transactions: rollback of abandoned ones (also nested), the one report per outermost commit, what
// counts as a change, and listeners.

#include "Support.hpp"

namespace fenmo_test {
namespace {

// a (text a, number 1) contains p (text p); d (text d) contains q, which contains s.
struct World {
    Model model = Model::create();
    Node a = Node::create(model), p = Node::create(model);
    Node d = Node::create(model), q = Node::create(model), s = Node::create(model);
    World() {
        a->setText(txt(u"a"));
        a->setNumber(1);
        a->setChild(p);
        p->setText(txt(u"p"));
        d->setText(txt(u"d"));
        d->setChild(q);
        q->setChild(s);
        model->clearHistory();
    }
};

TEST(Transaction, AbandonRestoresValuesRemovesCreatedAndRevivesDestroyed) {
    World w;
    Recorder recorder(w.model);
    const auto before = dump(w.model);
    Node created;
    abandonedEdit(w.model, [&] {
        w.a->setText(boost::none);
        w.a->setNumber(2);
        created = Node::create(w.model);
        created->setChild(w.p);  // moves p out of a
        // A committed inner level is rolled back with its outer one.
        Transaction inner = w.model->beginTransaction(false);
        w.d->destroy();  // takes q and s with it
        inner.commit(boost::none);
    });
    EXPECT_EQ(dump(w.model), before);
    EXPECT_FALSE(w.model->isInTransaction());
    ASSERT_NE(created.get(), nullptr);
    EXPECT_FALSE(created);
    EXPECT_FALSE(w.model->findElement(created->getUuid()).get());
    // The destroyed ones are back with the same implementation, not copies.
    EXPECT_TRUE(w.d && w.q && w.s);
    EXPECT_EQ(w.model->findElement(w.s->getUuid()).get(), w.s.get());
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(w.model->canUndo());

    // The revived elements can be destroyed again.
    w.d->destroy();
    EXPECT_FALSE(w.s);
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0].destroyed().size(), 3u);
}

TEST(Transaction, AnEndedTransactionCannotEndALaterOne) {
    World w;
    Transaction outer = w.model->beginTransaction(false);
    Transaction inner = w.model->beginTransaction(false);
    w.a->setText(txt(u"gone"));
    EXPECT_THROW(outer.commit(boost::none), fenmo::InvalidOperationException);  // innermost first
    EXPECT_EQ(w.model->transactionDepth(), 2u);
    outer.abandon();  // ends the inner one as well
    EXPECT_FALSE(w.model->isInTransaction());
    EXPECT_EQ(w.a->getText(), txt(u"a"));

    // Later transactions reach the same depth; the ended one must not touch them.
    Transaction first = w.model->beginTransaction(false);
    Transaction second = w.model->beginTransaction(false);
    w.a->setNumber(9);
    EXPECT_THROW(inner.commit(boost::none), fenmo::InvalidOperationException);
    inner.abandon();  // as its destructor would
    EXPECT_EQ(w.model->transactionDepth(), 2u) << "a stale transaction ended a later one";
    second.commit(boost::none);
    first.commit(boost::none);
    EXPECT_EQ(w.a->getNumber(), 9);
    EXPECT_FALSE(w.model->isInTransaction());
}

// Calls that the model's state does not allow fail with the keyed "InvalidOperation" and change nothing;
// the model goes on as before.
TEST(Transaction, MisuseIsAKeyedErrorThatChangesNothing) {
    World w;
    Recorder recorder(w.model);
    w.a->setText(txt(u"one"));
    const auto before = dump(w.model);
    auto failsWith = [](auto&& call, const std::u16string& reason) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const fenmo::MessageIdException& e) {
            EXPECT_EQ(e.catalog(), "fenmo:messages");
            EXPECT_EQ(e.key(), "InvalidOperation");
            EXPECT_EQ(e.arguments(), std::vector<std::u16string>{reason}) << e.what();
        }
    };

    Transaction edit = w.model->beginEdit();
    w.a->setNumber(5);
    failsWith([&] { w.model->undo(); }, u"undo and redo are not possible inside a transaction");
    failsWith([&] { w.model->redo(); }, u"undo and redo are not possible inside a transaction");
    EXPECT_EQ(w.model->transactionDepth(), 1u);
    EXPECT_EQ(w.model->undoStepCount(), 1u);
    edit.commit();
    failsWith([&] { edit.commit(); }, u"the transaction is no longer open");
    failsWith([&] { edit.commit(boost::none); }, u"the transaction is no longer open");
    EXPECT_EQ(w.model->undoStepCount(), 2u);
    EXPECT_EQ(recorder.reports.size(), 2u);

    // beginEdit and commit() are beginTransaction(false) and commit(boost::none): one undo step each.
    w.model->undo();
    EXPECT_EQ(dump(w.model), before);
    w.model->redo();
    EXPECT_EQ(w.a->getNumber(), 5);
}

TEST(Transaction, NestedAbandonKeepsTheOuterChangesAndTheCommitReportsOnce) {
    World w;
    Recorder recorder(w.model);
    const auto initial = dump(w.model);
    Transaction outer = w.model->beginTransaction(false);
    Node n = Node::create(w.model);
    w.a->setText(txt(u"first"));
    {
        Transaction inner = w.model->beginTransaction(false);
        w.a->setText(txt(u"second"));
        w.p->setNumber(3);
        inner.commit(boost::none);
    }
    const auto kept = dump(w.model);
    abandonedEdit(w.model, [&] {
        w.a->setNumber(7);  // first changed at this level
        w.p->setNumber(4);
        n->setChild(w.s);  // moves s out of q
        Node::create(w.model)->setChild(w.p);
        {
            Transaction third = w.model->beginTransaction(false);
            w.a->setText(txt(u"third"));
        }  // abandoned: back one level only
        EXPECT_EQ(w.a->getText(), txt(u"second"));
    });
    EXPECT_EQ(w.model->transactionDepth(), 1u);
    EXPECT_EQ(dump(w.model), kept);
    w.d->destroy();  // takes q and s with it
    EXPECT_TRUE(recorder.reports.empty());
    outer.commit(boost::none);

    ASSERT_EQ(recorder.reports.size(), 1u);
    const ChangeReport& r = recorder.reports[0];
    EXPECT_EQ(r.cause(), ChangeReport::Cause::Commit);
    ASSERT_EQ(r.created().size(), 1u);
    EXPECT_EQ(r.created()[0].get(), n.get());
    EXPECT_EQ(r.destroyed().size(), 3u);
    for (const Node& e : {w.d, w.q, w.s}) EXPECT_TRUE(contains(r.destroyed(), e));
    // Created and destroyed elements are not reported as modified: only a and p are.
    ASSERT_EQ(r.modified().size(), 2u);
    const fenmo::PropertyChange* text = findChange(r, w.a, TestMeta::textProp());
    const fenmo::PropertyChange* number = findChange(r, w.p, TestMeta::numberProp());
    ASSERT_TRUE(text && number);
    EXPECT_EQ(text->oldValue.getString(), u"a");
    EXPECT_EQ(text->newValue.getString(), u"second");
    EXPECT_FALSE(number->oldValue.hasPayload());
    EXPECT_EQ(number->newValue.getInteger(), 3);
    EXPECT_EQ(findChange(r, w.a, TestMeta::numberProp()), nullptr);

    // One undo step for the whole.
    const auto after = dump(w.model);
    EXPECT_EQ(w.model->undoStepCount(), 1u);
    w.model->undo();
    EXPECT_EQ(dump(w.model), initial);
    w.model->redo();
    EXPECT_EQ(dump(w.model), after);
}

TEST(Transaction, SetAndSetBackIsNoChange) {
    World w;
    Recorder recorder(w.model);
    w.a->setText(txt(u"a"));  // the value it has
    w.a->setText(txt(u"v1"));
    w.model->undo();  // leaves a redo step
    recorder.reports.clear();
    {
        Transaction t = w.model->beginTransaction(false);
        w.a->setText(txt(u"tmp"));
        w.a->setText(txt(u"a"));
        w.p->setNumber(4);
        w.p->setNumber(boost::none);
        w.a->setChild(Node());
        w.a->setChild(w.p);
        Node temp = Node::create(w.model);  // created and destroyed: no trace
        temp->setChild(Node::create(w.model));
        temp->destroy();
        t.commit(boost::none);
    }
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_EQ(w.model->undoStepCount(), 0u);
    EXPECT_TRUE(w.model->canRedo()) << "a transaction without changes must not clear the redo steps";

    // Mixed with a real change, only that change is reported and undone.
    {
        Transaction t = w.model->beginTransaction(false);
        w.a->setText(txt(u"tmp"));
        w.a->setNumber(8);
        w.a->setText(txt(u"a"));
        t.commit(boost::none);
    }
    ASSERT_EQ(recorder.reports.size(), 1u);
    ASSERT_EQ(recorder.reports[0].modified().size(), 1u);
    ASSERT_EQ(recorder.reports[0].modified()[0].properties.size(), 1u);
    EXPECT_EQ(recorder.reports[0].modified()[0].properties[0].property.get(), TestMeta::numberProp().get());
    w.model->undo();
    EXPECT_EQ(w.a->getNumber(), 1);
}

TEST(Transaction, Listeners) {
    World w;
    // A listener dropped by another one during a report is not called for that report.
    bool dropped = false;
    int calledAfterDrop = 0;
    fenmo::ListenerToken victim;
    fenmo::ListenerToken dropper = w.model->addListener([&](const ChangeReport&) {
        victim.reset();
        dropped = true;
    });
    victim = w.model->addListener([&](const ChangeReport&) { calledAfterDrop += dropped; });
    w.a->setNumber(2);
    EXPECT_EQ(calledAfterDrop, 0) << "a listener was called after its token was dropped";
    dropper.reset();

    // A listener that throws changes nothing about the edit: it is committed, the listeners after it
    // hear it, the history is trimmed, and the failure is handed on afterwards.
    w.model->setHistoryLimits(2, SIZE_MAX);
    fenmo::ListenerToken thrower =
        w.model->addListener([](const ChangeReport&) { throw std::runtime_error("x"); });
    Recorder after(w.model);
    for (int i = 0; i < 5; ++i) EXPECT_NO_THROW(w.a->setNumber(100 + i));
    EXPECT_EQ(w.a->getNumber(), 104);
    EXPECT_FALSE(w.model->isInTransaction());
    EXPECT_EQ(after.reports.size(), 5u);
    EXPECT_EQ(w.model->undoStepCount(), 2u);
    std::vector<std::exception_ptr> errors = w.model->takeListenerErrors();
    ASSERT_EQ(errors.size(), 5u);
    EXPECT_THROW(std::rethrow_exception(errors[0]), std::runtime_error);
    EXPECT_TRUE(w.model->takeListenerErrors().empty());
    // Undo and redo report the same way; a handler receives the failures instead.
    int handled = 0;
    w.model->setListenerErrorHandler([&](std::exception_ptr) { ++handled; });
    EXPECT_NO_THROW(w.model->undo());
    EXPECT_EQ(w.a->getNumber(), 103);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(after.reports.size(), 6u);
    thrower.reset();
    w.a->setText(txt(u"y"));
    EXPECT_EQ(w.a->getText(), txt(u"y"));
    EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace fenmo_test
