// Undo and redo: exact restoration many steps deep, the redo stack, recording switched off, and the
// bounds of the history in steps and bytes.

#include "Support.hpp"

#include <cstdint>

namespace fenmo_test {
namespace {

// A sequence of varied edits, each one transaction, on a model that starts with one node.
struct Script {
    Model model = Model::create();
    std::vector<Node> nodes{Node::create(model)};
    Script() { model->clearHistory(); }

    Node pick(std::size_t seed) {
        std::vector<Node> live;
        for (const Node& e : nodes)
            if (e) live.push_back(e);
        return live[seed % live.size()];
    }

    void step(int i) {
        Transaction t = model->beginTransaction(false);
        Node node = pick(i * 7);
        switch (i % 4) {
            case 0: {  // a new node, filled, in a node's slot (replacing what was there)
                Node n = nodes.emplace_back(Node::create(model));
                n->setText(u"n" + fenmo::widenNumber(i));
                n->setNumber(i);
                node->setChild(n);
                break;
            }
            case 1:  // set or clear values
                node->setNumber(i % 3 ? boost::optional<std::int32_t>(i) : boost::none);
                node->setText(i % 4 == 1 ? boost::none : txt(u"relabelled"));
                break;
            case 2:  // move a node into the first one, which is never contained itself
                if (Node moved = pick(i * 3); moved.get() != nodes[0].get()) nodes[0]->setChild(moved);
                break;
            case 3:  // destroy a node other than the first, with whatever it contains, or empty a slot
                if (Node victim = pick(i + 1); victim.get() != nodes[0].get())
                    victim->destroy();
                else
                    node->setChild(Node());
                break;
        }
        nodes[0]->setText(u"step " + fenmo::widenNumber(i));  // so that every step changes something
        t.commit(boost::none);
    }
};

TEST(Undo, RestoresExactlyManyStepsDeepAndRedoReapplies) {
    Script s;
    std::vector<std::map<std::string, std::string>> states{dump(s.model)};
    const int kSteps = 40;
    for (int i = 0; i < kSteps; ++i) {
        s.step(i);
        states.push_back(dump(s.model));
    }
    ASSERT_EQ(s.model->undoStepCount(), static_cast<std::size_t>(kSteps));
    for (int i = kSteps; i > 0; --i) {
        s.model->undo();
        ASSERT_EQ(dump(s.model), states[i - 1]) << "after undoing step " << i;
    }
    EXPECT_FALSE(s.model->canUndo());
    for (int i = 1; i <= kSteps; ++i) {
        ASSERT_TRUE(s.model->canRedo());
        s.model->redo();
        ASSERT_EQ(dump(s.model), states[i]) << "after redoing step " << i;
    }
    EXPECT_FALSE(s.model->canRedo());
    // Live elements are the very ones the handles hold, not copies.
    for (const Node& n : s.nodes) EXPECT_EQ(s.model->findElement(n->getUuid()).get(), n ? n.get() : nullptr);
    for (int i = kSteps; i > kSteps / 2; --i) s.model->undo();
    EXPECT_EQ(dump(s.model), states[kSteps / 2]);
}

TEST(Undo, NewEditClearsRedo) {
    Model model = Model::create();
    Node a = Node::create(model);
    for (int i = 1; i <= 4; ++i) a->setNumber(i);
    model->undo();
    model->undo();
    EXPECT_EQ(model->redoStepCount(), 2u);
    Node temp = Node::create(model);
    EXPECT_FALSE(model->canRedo());
    model->undo();
    EXPECT_FALSE(temp);
    model->undo();
    EXPECT_EQ(a->getNumber(), 1);

    // An element created by a step that is dropped from the redo stack is let go.
    model->redo();
    a->setNumber(100);
    EXPECT_EQ(temp->refCount(), 1) << "only the test's handle should keep the element now";
}

TEST(Undo, RecordingSwitchedOffAndRevertibleTransactions) {
    Model model = Model::create();
    Node a = Node::create(model);
    a->setText(txt(u"recorded"));
    Recorder recorder(model);
    model->setUndoRecording(false);
    a->setText(txt(u"bulk"));
    Node bulk = Node::create(model);
    EXPECT_EQ(model->undoStepCount(), 2u);
    EXPECT_EQ(recorder.reports.size(), 2u);  // listeners are told all the same

    // A revertible transaction is an undo step even now.
    Transaction t = model->beginRevertibleTransaction();
    a->setNumber(3);
    t.commit(boost::none);
    EXPECT_EQ(model->undoStepCount(), 3u);
    model->undo();
    EXPECT_FALSE(a->getNumber());
    EXPECT_EQ(a->getText(), txt(u"bulk"));  // the unrecorded edit stays
    model->redo();
    EXPECT_EQ(a->getNumber(), 3);
    EXPECT_TRUE(bulk);
}

TEST(Undo, HistoryLimitedInStepsDropsTheOldest) {
    Model model = Model::create();
    Node a = Node::create(model), b = Node::create(model);
    model->setHistoryLimits(3, SIZE_MAX);
    for (int i = 1; i <= 6; ++i) a->setNumber(i);
    EXPECT_EQ(model->undoStepCount(), 3u);
    while (model->canUndo()) model->undo();
    EXPECT_EQ(a->getNumber(), 3);

    // Lowering the bound trims at once, undo and redo steps alike.
    model->redo();
    model->setHistoryLimits(1, SIZE_MAX);
    EXPECT_EQ(model->undoStepCount() + model->redoStepCount(), 1u);

    // A dropped step lets go of what only it kept.
    while (model->canRedo()) model->redo();
    b->destroy();
    a->setNumber(7);
    EXPECT_EQ(b->refCount(), 1);
    model->undo();
    EXPECT_FALSE(b);

    // No history at all: edits still apply.
    model->setHistoryLimits(0, SIZE_MAX);
    a->setNumber(42);
    EXPECT_EQ(a->getNumber(), 42);
    EXPECT_FALSE(model->canUndo());
}

TEST(Undo, HistoryBytesAndTheirBound) {
    Model model = Model::create();
    Node a = Node::create(model);
    model->clearHistory();
    EXPECT_EQ(model->historyBytes(), 0u);
    a->setNumber(0);
    const std::size_t step = model->historyBytes();
    EXPECT_GT(step, 0u);
    for (int i = 1; i <= 5; ++i) a->setNumber(i);
    const std::size_t all = model->historyBytes();
    EXPECT_EQ(all, 6 * step);

    // Moving steps between the undo and redo stacks does not change what the history holds.
    for (int i = 0; i < 5; ++i) model->undo();
    EXPECT_EQ(model->historyBytes(), all);
    model->redo();
    EXPECT_EQ(model->historyBytes(), all);
    // A new edit gives back what the dropped redo steps held.
    a->setNumber(10);
    EXPECT_EQ(model->historyBytes(), 3 * step);

    // Room for two steps and a half: the oldest go, whichever stack holds them.
    for (int i = 0; i < 3; ++i) a->setNumber(20 + i);
    model->undo();
    model->undo();
    const std::size_t limit = 2 * step + step / 2;
    model->setHistoryLimits(SIZE_MAX, limit);
    EXPECT_LE(model->historyBytes(), limit);
    EXPECT_EQ(model->undoStepCount() + model->redoStepCount(), 2u);
    while (model->canRedo()) model->redo();
    EXPECT_EQ(a->getNumber(), 22);
    // The bound holds for new edits; the newest can always be undone.
    a->setNumber(1000);
    EXPECT_LE(model->historyBytes(), limit);
    model->undo();
    EXPECT_EQ(a->getNumber(), 22);

    model->clearHistory();
    EXPECT_EQ(model->historyBytes(), 0u);
}

TEST(Undo, TextsKeptByTheHistoryCountTowardsItsBound) {
    Model model = Model::create();
    Node a = Node::create(model);
    model->clearHistory();
    const std::u16string big(1 << 20, u'x');  // 2 MiB of UTF-16
    a->setText(big);
    a->setText(big + u"y");
    EXPECT_GT(model->historyBytes(), big.size() * sizeof(char16_t)) << "the old text is in the history";
    // Undo swaps old and new values: the count follows what the step holds then.
    model->undo();
    EXPECT_GT(model->historyBytes(), big.size() * sizeof(char16_t));
    model->redo();

    // With a bound of 1 MiB, no step holding such a text can stay; memory stays bounded too.
    const std::size_t limit = 1 << 20;
    model->setHistoryLimits(SIZE_MAX, limit);
    for (int i = 0; i < 20; ++i) a->setText(big + fenmo::widenNumber(i));
    EXPECT_LE(model->historyBytes(), limit);
    EXPECT_LE(model->undoStepCount(), 1u);
    EXPECT_EQ(a->getText(), boost::optional<std::u16string>(big + u"19"));
}

TEST(Undo, AnIdentityTakenMeanwhileRefusesTheRevivalAndTwoModelsCannotShareOne) {
    Model model = Model::create();
    const fenmo::uuid id = fenmo::newUuid();
    Node keep = Node::create(model), old = Node::create(model, id);
    old->setText(txt(u"old"));
    old->destroy();
    // Unrecorded, a new element takes the identity; undoing the destruction must not make two.
    model->setUndoRecording(false);
    Node taker = Node::create(model, id);
    Recorder recorder(model);
    const auto state = dump(model);
    const std::size_t steps = model->undoStepCount();
    EXPECT_THROW(model->undo(), fenmo::MessageIdException);
    EXPECT_EQ(dump(model), state);
    EXPECT_EQ(model->undoStepCount(), steps) << "the refused step stays";
    EXPECT_TRUE(recorder.reports.empty());
    EXPECT_FALSE(old);
    EXPECT_EQ(model->findElement(id).get(), taker.get());
    // Once the identity is free again the step applies.
    taker->destroy();
    model->undo();
    EXPECT_TRUE(old);
    EXPECT_EQ(model->findElement(id).get(), old.get());

    // Within one transaction an identity passes from a destroyed element to a new one and back.
    model->setUndoRecording(true);
    {
        Transaction t = model->beginTransaction(false);
        old->destroy();
        Node::create(model, id)->setText(txt(u"new"));
        t.commit(boost::none);
    }
    model->undo();
    EXPECT_EQ(model->findElement(id).get(), old.get());
    model->redo();
    EXPECT_EQ(fenmo::handleCast<Node>(model->findElement(id))->getText(), txt(u"new"));
    abandonedEdit(model, [&] {
        model->findElement(id)->destroy();
        Node::create(model, id);
    });
    EXPECT_EQ(fenmo::handleCast<Node>(model->findElement(id))->getText(), txt(u"new"));

    EXPECT_THROW(Model::create(model->getId()), fenmo::MessageIdException);
    const fenmo::uuid modelId = model->getId();
    model = Model();
    EXPECT_TRUE(Model::create(modelId).get());
}

}  // namespace
}  // namespace fenmo_test
