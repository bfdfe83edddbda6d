// Undo and redo: exact restoration many steps deep, the redo stack, recording switched off, and the
// bounds of the history in steps and bytes.

#include "Support.hpp"

#include <cstdint>
#include <stdexcept>

namespace fenmo_test {
namespace {

using fenmo::ChangeReport;
using fenmo::Transaction;

// A sequence of varied edits, each one transaction, on a model that starts with one item.
struct Script {
    Model model = Model::create();
    std::vector<Item> items;
    std::vector<Part> parts;

    Script() {
        items.push_back(Item::create(model));
        model->clearHistory();
    }

    template <class T>
    T pick(const std::vector<T>& list, std::size_t seed) {
        std::vector<T> live;
        for (const T& e : list)
            if (e) live.push_back(e);
        return live.empty() ? T() : live[seed % live.size()];
    }

    void step(int i) {
        Transaction t = model->beginTransaction(false);
        Item item = pick(items, i * 7);
        switch (i % 6) {
            case 0: {  // a new item, labelled, in the sub slot of an item without one
                Item n = Item::create(model);
                n->setLabel(std::u16string(u"n") + char16_t(u'a' + i % 26));
                for (const Item& holder : items)
                    if (holder && holder.get() != n.get() && !holder->getSub().get() &&
                        holder->container().get() != n.get()) {
                        holder->setSub(n);
                        break;
                    }
                items.push_back(n);
                break;
            }
            case 1:
                item->setCount(i);
                item->setLabel(i % 4 == 1 ? boost::none : text(u"relabelled"));
                break;
            case 2: {  // a new part with text, in an item's child slot (replacing any part there)
                Part p = Part::create(model);
                p->setText(std::u16string(u"p") + char16_t(u'0' + i % 10));
                p->setRank(i);
                item->setChild(p);
                parts.push_back(p);
                break;
            }
            case 3:  // move a part into another item's spare slot
                if (Part p = pick(parts, i); p) item->setSpare(p);
                break;
            case 4:  // destroy an item other than the first, with whatever it contains
                if (Item victim = pick(items, i + 1); victim && victim.get() != items[0].get())
                    victim->destroy();
                else
                    items[0]->setCount(-i);
                break;
            case 5:
                if (Part p = pick(parts, i * 3); p) p->setText(boost::none);
                item->setCount(boost::none);
                break;
        }
        // Every step changes at least this, so that each one is an undo step.
        items[0]->setLabel(u"step " + fenmo::widenNumber(i));
        t.commit(boost::none);
    }
};

TEST(Undo, RestoresExactlyManyStepsDeepAndRedoReapplies) {
    Script s;
    std::vector<std::map<std::string, std::string>> states{dump(s.model)};
    std::vector<std::size_t> counts{s.model->elementCount()};
    const int kSteps = 36;
    for (int i = 0; i < kSteps; ++i) {
        s.step(i);
        states.push_back(dump(s.model));
        counts.push_back(s.model->elementCount());
    }
    // Every step changed something, so every step is one undo step.
    ASSERT_EQ(s.model->undoStepCount(), static_cast<std::size_t>(kSteps));
    for (int i = 1; i <= kSteps; ++i) ASSERT_NE(states[i], states[i - 1]) << "step " << i;

    for (int i = kSteps; i > 0; --i) {
        ASSERT_TRUE(s.model->canUndo());
        s.model->undo();
        ASSERT_EQ(dump(s.model), states[i - 1]) << "after undoing step " << i;
        ASSERT_EQ(s.model->elementCount(), counts[i - 1]);
    }
    EXPECT_FALSE(s.model->canUndo());
    EXPECT_EQ(s.model->redoStepCount(), static_cast<std::size_t>(kSteps));
    s.model->undo();  // nothing left to undo: no effect
    EXPECT_EQ(dump(s.model), states[0]);

    for (int i = 1; i <= kSteps; ++i) {
        ASSERT_TRUE(s.model->canRedo());
        s.model->redo();
        ASSERT_EQ(dump(s.model), states[i]) << "after redoing step " << i;
    }
    EXPECT_FALSE(s.model->canRedo());
    s.model->redo();
    EXPECT_EQ(dump(s.model), states[kSteps]);

    // And back down again half-way: undo after redo is as exact as the first time.
    for (int i = kSteps; i > kSteps / 2; --i) s.model->undo();
    EXPECT_EQ(dump(s.model), states[kSteps / 2]);
}

TEST(Undo, ElementsKeepTheirIdentityAcrossUndoAndRedo) {
    Model model = Model::create();
    Item holder = Item::create(model);
    Item made = Item::create(model);
    made->setLabel(text(u"made"));
    holder->setSub(made);
    Part part = Part::create(model);
    made->setChild(part);

    model->undo();  // part put into made
    EXPECT_FALSE(made->getChild().get());
    EXPECT_FALSE(part->container().get());
    model->undo();  // part created
    EXPECT_FALSE(part);
    EXPECT_NE(part.get(), nullptr);
    model->undo();  // made put into holder
    EXPECT_FALSE(holder->getSub().get());
    EXPECT_FALSE(made->container().get());
    model->undo();  // label
    EXPECT_FALSE(made->getLabel());
    model->undo();  // made created
    EXPECT_FALSE(made);
    EXPECT_FALSE(model->findElement(made->getUuid()).get());

    for (int i = 0; i < 5; ++i) model->redo();
    EXPECT_TRUE(made);
    EXPECT_TRUE(part);
    EXPECT_EQ(model->findElement(made->getUuid()).get(), made.get());
    EXPECT_EQ(model->findElement(part->getUuid()).get(), part.get());
    EXPECT_EQ(holder->getSub().get(), made.get());
    EXPECT_EQ(made->getChild().get(), part.get());
    EXPECT_EQ(part->container().get(), made.get());
    EXPECT_EQ(made->getLabel(), text(u"made"));
}

TEST(Undo, NewEditClearsRedo) {
    Model model = Model::create();
    Item a = Item::create(model);
    for (int i = 1; i <= 4; ++i) a->setCount(i);
    model->undo();
    model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(2));
    EXPECT_EQ(model->redoStepCount(), 2u);

    a->setLabel(text(u"new"));
    EXPECT_FALSE(model->canRedo());
    EXPECT_EQ(model->redoStepCount(), 0u);
    model->redo();  // nothing to redo
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(2));
    model->undo();
    EXPECT_FALSE(a->getLabel());
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(2));
    model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(1));

    // An element created by a step that is dropped from the redo stack is let go.
    model->redo();
    model->redo();
    Item temp = Item::create(model);
    model->undo();
    EXPECT_FALSE(temp);
    a->setCount(100);
    EXPECT_EQ(temp->refCount(), 1) << "only the test's handle should keep the element now";
}

TEST(Undo, ReportsOfUndoAndRedo) {
    Model model = Model::create();
    Item a = Item::create(model);
    a->setLabel(text(u"before"));
    Recorder recorder(model);
    Item n;
    {
        Transaction t = model->beginTransaction(false);
        a->setLabel(text(u"after"));
        n = Item::create(model);
        t.commit(boost::none);
    }
    model->undo();
    model->redo();
    ASSERT_EQ(recorder.reports.size(), 3u);
    const ChangeReport& undo = recorder.reports[1];
    const ChangeReport& redo = recorder.reports[2];
    EXPECT_EQ(undo.cause(), ChangeReport::Cause::Undo);
    EXPECT_EQ(redo.cause(), ChangeReport::Cause::Redo);

    // Undoing a creation reports a destruction, and values run backwards.
    EXPECT_TRUE(undo.created().empty());
    EXPECT_TRUE(contains(undo.destroyed(), n));
    const fenmo::PropertyChange* back = findChange(undo, a, TestMeta::itemLabel());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->oldValue.getString(), u"after");
    EXPECT_EQ(back->newValue.getString(), u"before");

    EXPECT_TRUE(contains(redo.created(), n));
    EXPECT_TRUE(redo.destroyed().empty());
    const fenmo::PropertyChange* forth = findChange(redo, a, TestMeta::itemLabel());
    ASSERT_NE(forth, nullptr);
    EXPECT_EQ(forth->oldValue.getString(), u"before");
    EXPECT_EQ(forth->newValue.getString(), u"after");
}

TEST(Undo, NotPossibleInsideATransaction) {
    Model model = Model::create();
    Item a = Item::create(model);
    a->setCount(1);
    Transaction t = model->beginTransaction(false);
    a->setCount(2);
    EXPECT_THROW(model->undo(), std::logic_error);
    EXPECT_THROW(model->redo(), std::logic_error);
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(2));
    t.commit(boost::none);
    model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(1));
}

TEST(Undo, RecordingSwitchedOffAndRevertibleTransactions) {
    Model model = Model::create();
    Item a = Item::create(model);
    a->setLabel(text(u"recorded"));
    const std::size_t steps = model->undoStepCount();
    Recorder recorder(model);

    model->setUndoRecording(false);
    EXPECT_FALSE(model->isUndoRecording());
    a->setLabel(text(u"bulk"));
    std::vector<Item> bulk;
    for (int i = 0; i < 50; ++i) bulk.push_back(Item::create(model));
    EXPECT_EQ(model->undoStepCount(), steps);
    // Listeners are told all the same.
    EXPECT_EQ(recorder.reports.size(), 51u);

    // A revertible transaction becomes an undo step even now.
    {
        Transaction t = model->beginRevertibleTransaction();
        a->setCount(3);
        t.commit(boost::none);
    }
    EXPECT_EQ(model->undoStepCount(), steps + 1);
    model->undo();
    EXPECT_FALSE(a->getCount());
    EXPECT_EQ(a->getLabel(), text(u"bulk"));  // the unrecorded edit stays
    model->redo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(3));

    // An abandoned revertible transaction rolls back like any other.
    abandonedEdit(model, [&] {
        Transaction t = model->beginRevertibleTransaction();
        a->setCount(4);
        t.commit(boost::none);
    });
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(3));

    model->setUndoRecording(true);
    a->setCount(5);
    EXPECT_EQ(model->undoStepCount(), steps + 2);
    model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(3));
    for (const Item& e : bulk) EXPECT_TRUE(e);
}

TEST(Undo, HistoryLimitedInStepsDropsTheOldest) {
    Model model = Model::create();
    Item a = Item::create(model);
    model->setHistoryLimits(3, SIZE_MAX);
    for (int i = 1; i <= 6; ++i) a->setCount(i);
    EXPECT_EQ(model->undoStepCount(), 3u);
    while (model->canUndo()) model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(3));

    // Lowering the bound trims at once, keeping the newest steps.
    for (int i = 0; i < 3; ++i) model->redo();
    model->setHistoryLimits(1, SIZE_MAX);
    EXPECT_EQ(model->undoStepCount(), 1u);
    model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(5));
    EXPECT_FALSE(model->canUndo());

    // No history at all: edits still apply and are reported.
    model->setHistoryLimits(0, SIZE_MAX);
    EXPECT_FALSE(model->canUndo());
    Recorder recorder(model);
    a->setCount(42);
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(42));
    EXPECT_FALSE(model->canUndo());
    EXPECT_EQ(recorder.reports.size(), 1u);
}

TEST(Undo, DroppedStepsLetGoOfWhatOnlyTheyKept) {
    Model model = Model::create();
    model->setHistoryLimits(1, SIZE_MAX);
    Item holder = Item::create(model);
    Item victim = Item::create(model);
    Part part = Part::create(model);
    victim->setChild(part);
    holder->setSub(victim);
    victim->destroy();
    EXPECT_FALSE(victim);
    EXPECT_FALSE(part);
    EXPECT_FALSE(holder->getSub().get());
    holder->setCount(1);  // drops the step that could bring victim back
    EXPECT_EQ(victim->refCount(), 1);
    EXPECT_EQ(part->refCount(), 1);
    model->undo();
    EXPECT_FALSE(victim);
    EXPECT_FALSE(model->canUndo());
}

TEST(Undo, HistoryBytesFollowWhatTheHistoryHolds) {
    Model model = Model::create();
    std::vector<Item> items;
    for (int i = 0; i < 100; ++i) items.push_back(Item::create(model));
    model->clearHistory();
    EXPECT_EQ(model->historyBytes(), 0u);

    Item& a = items[0];
    a->setCount(1);
    const std::size_t one = model->historyBytes();
    EXPECT_GT(one, 0u);
    a->setCount(2);
    const std::size_t two = model->historyBytes();
    EXPECT_GT(two, one);

    // A step touching many elements holds more than a step touching one.
    {
        Transaction t = model->beginTransaction(false);
        for (Item& item : items) item->setLabel(text(u"wide"));
        t.commit(boost::none);
    }
    const std::size_t wide = model->historyBytes() - two;
    EXPECT_GT(wide, 10 * one);

    // Moving a step between the undo and redo stacks does not change what the history holds.
    model->undo();
    EXPECT_EQ(model->historyBytes(), two + wide);
    model->redo();
    EXPECT_EQ(model->historyBytes(), two + wide) << "undo and redo of one step must not grow the history";
    for (int i = 0; i < 5; ++i) {
        model->undo();
        model->redo();
    }
    EXPECT_EQ(model->historyBytes(), two + wide);

    // Replacing the undone wide step by a small one gives back what the wide one held.
    model->undo();
    a->setCount(3);
    EXPECT_EQ(model->historyBytes(), two + (two - one)) << "the dropped redo step must not be counted";

    model->clearHistory();
    EXPECT_EQ(model->historyBytes(), 0u);
}

TEST(Undo, HistoryLimitedInBytesDropsTheOldest) {
    Model model = Model::create();
    Item a = Item::create(model);
    model->clearHistory();
    a->setCount(0);
    const std::size_t step = model->historyBytes();
    model->clearHistory();

    const std::size_t limit = 3 * step + step / 2;
    model->setHistoryLimits(SIZE_MAX, limit);
    for (int i = 1; i <= 10; ++i) a->setCount(i);
    EXPECT_EQ(model->undoStepCount(), 3u);
    EXPECT_LE(model->historyBytes(), limit);
    while (model->canUndo()) model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(7));

    // The bound holds through any mix of undo and new edits: the newest edit can always be undone.
    for (int i = 0; i < 3; ++i) model->redo();
    for (int i = 0; i < 20; ++i) {
        a->setCount(100 + i);
        model->undo();
    }
    a->setCount(1000);
    EXPECT_TRUE(model->canUndo()) << "history bytes " << model->historyBytes() << ", limit " << limit;
    EXPECT_LE(model->historyBytes(), limit);
    model->undo();
    EXPECT_EQ(a->getCount(), boost::optional<std::int32_t>(10));
}

TEST(Undo, BoundsAlsoHoldWithRedoStepsPresent) {
    Model model = Model::create();
    Item a = Item::create(model);
    model->clearHistory();
    for (int i = 1; i <= 6; ++i) a->setCount(i);
    const std::size_t all = model->historyBytes();
    for (int i = 0; i < 5; ++i) model->undo();
    ASSERT_EQ(model->historyBytes(), all);

    // Room for two of the six steps: the history must shrink to fit, whichever stack holds them.
    const std::size_t limit = all / 3 + all / 12;
    model->setHistoryLimits(SIZE_MAX, limit);
    EXPECT_LE(model->historyBytes(), limit);
    EXPECT_LE(model->undoStepCount() + model->redoStepCount(), 2u);
    // What is left still undoes and redoes consistently.
    while (model->canRedo()) model->redo();
    while (model->canUndo()) model->undo();
    const boost::optional<std::int32_t> bottom = a->getCount();
    while (model->canRedo()) model->redo();
    EXPECT_GE(a->getCount().value_or(0), bottom.value_or(0));

    // No steps at all means no redo either.
    model->undo();
    model->setHistoryLimits(0, SIZE_MAX);
    EXPECT_FALSE(model->canUndo());
    EXPECT_FALSE(model->canRedo());
    EXPECT_EQ(model->historyBytes(), 0u);
}

}  // namespace
}  // namespace fenmo_test
