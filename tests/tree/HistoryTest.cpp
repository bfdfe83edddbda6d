// Undo and redo of tree edits: each state of a long edit session comes back exactly, in both directions
// and more than once.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

struct State {
    std::string label;
    std::size_t undoSteps;
    std::string tree;
};

TEST(History, UndoAndRedoRestoreEveryStateOfAnEditSession) {
    Model model = Model::create();
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1,
                                             parentOf(childNode(u"a1", 1),
                                                      childNode(u"a2", 2, parentOf(childNode(u"a2x", 1))))),
                                   childNode(u"b", 2), childNode(u"c", 3), childNode(u"d", 4)));
    TreeNode extra = createDetached(model, u"extra", 11);
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b"), c = childNamed(root, u"c"),
             d = childNamed(root, u"d");
    TreeNode a2 = childNamed(a, u"a2");
    ChildAttributes a2Attrs = a2->getChildAttrs(), cAttrs = c->getChildAttrs(), dAttrs = d->getChildAttrs(),
                    extraAttrs = extra->getChildAttrs();

    std::vector<ModelElement> all;
    collectSubtree(root, all);
    collectSubtree(extra, all);
    auto snapshot = [&] {
        return describe(all) + "elements " + std::to_string(model->elementCount()) + "\n";
    };
    std::vector<State> states{{"built", model->undoStepCount(), snapshot()}};
    auto edit = [&](const std::string& label, auto&& action) {
        action();
        ASSERT_GT(model->undoStepCount(), states.back().undoSteps) << label;
        states.push_back({label, model->undoStepCount(), snapshot()});
    };

    edit("rename a grandchild", [&] { a2Attrs->setName(u"A2"); });
    edit("re-index a child", [&] { b->getChildAttrs()->setIndexOne(10); });
    edit("move a subtree up", [&] { a2Attrs->setParent(root); });
    edit("detach a child", [&] { cAttrs->setParent(TreeNode()); });
    edit("destroy a subtree", [&] { a->destroy(); });
    edit("attach under the moved subtree", [&] { cAttrs->setParent(a2); });
    edit("rename and re-index in one transaction", [&] {
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        dAttrs->setName(u"dd");
        dAttrs->setIndexOne(5);
        transaction.commit(boost::none);
    });
    edit("attach a free node", [&] { extraAttrs->setParent(root); });
    edit("move it to the front", [&] { extraAttrs->setIndexOne(0); });
    edit("destroy the moved subtree", [&] { a2->destroy(); });

    // The session did what it says.
    EXPECT_EQ(childNames(root), (std::vector<std::u16string>{u"extra", u"dd", u"b"}));
    EXPECT_FALSE(a);
    EXPECT_FALSE(a2);
    EXPECT_FALSE(c) << "destroyed with the subtree it was attached to";
    EXPECT_EQ(states[7].undoSteps, states[6].undoSteps + 1) << "one transaction, one step";

    // A creation into the children comes last; it is undone and redone on its own.
    auto builder = childNode(u"new", 3);
    TreeNode created = root->getParentAttrs()->createIntoChildren(builder.get(), ::fenmo::newUuid());
    std::vector<ModelElement> withCreated = all;
    collectSubtree(created, withCreated);
    const std::string afterCreation = describe(withCreated);
    model->undo();
    EXPECT_FALSE(created);
    EXPECT_EQ(snapshot(), states.back().tree);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (std::size_t i = states.size() - 1; i > 0; --i) {
            while (model->undoStepCount() > states[i - 1].undoSteps) model->undo();
            EXPECT_EQ(snapshot(), states[i - 1].tree) << "undoing \"" << states[i].label << "\"";
        }
        EXPECT_FALSE(extraAttrs->hasParent());
        EXPECT_EQ(childNames(root), (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
        for (std::size_t i = 1; i < states.size(); ++i) {
            while (model->undoStepCount() < states[i].undoSteps) model->redo();
            EXPECT_EQ(snapshot(), states[i].tree) << "redoing \"" << states[i].label << "\"";
        }
    }
    ASSERT_TRUE(model->canRedo());
    model->redo();
    EXPECT_TRUE(created);
    EXPECT_EQ(describe(withCreated), afterCreation);
    EXPECT_FALSE(model->canRedo());

    // Back to the start, a new edit drops what could have been redone.
    while (model->undoStepCount() > states.front().undoSteps) model->undo();
    EXPECT_EQ(snapshot(), states.front().tree);
    dAttrs->setName(u"delta");
    EXPECT_FALSE(model->canRedo());
    EXPECT_FALSE(created);
    EXPECT_EQ(root->getParentAttrs()->findChildByName(u"delta").get(), dAttrs.get());
}

TEST(History, RenamingAndAttachingInOneStepKeepsLookupsThroughRedo) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2), childNode(u"c", 3)));
    ParentAttributes attrs = root->getParentAttrs();
    // The free node's old name sorts after its future siblings, its new one before them.
    TreeNode node = createDetached(model, u"zzz", 4);
    ChildAttributes nodeAttrs = node->getChildAttrs();
    {
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        nodeAttrs->setName(u"0");
        nodeAttrs->setParent(root);
        transaction.commit(boost::none);
    }
    std::vector<ModelElement> all;
    collectSubtree(root, all);
    const std::string after = describe(all);
    ASSERT_EQ(attrs->findChildByName(u"0").get(), nodeAttrs.get());

    model->undo();
    EXPECT_EQ(nodeAttrs->getName(), u"zzz");
    EXPECT_FALSE(nodeAttrs->hasParent());
    EXPECT_FALSE(attrs->findChildByName(u"0"));
    EXPECT_FALSE(attrs->findChildByName(u"zzz"));
    for (const char16_t* name : {u"a", u"b", u"c"})
        EXPECT_TRUE(attrs->findChildByName(name)) << ::fenmo::toUtf8(name);

    model->redo();
    EXPECT_EQ(nodeAttrs->getName(), u"0");
    EXPECT_EQ(attrs->findChildByName(u"0").get(), nodeAttrs.get());
    for (const char16_t* name : {u"a", u"b", u"c"})
        EXPECT_TRUE(attrs->findChildByName(name)) << ::fenmo::toUtf8(name);
    EXPECT_EQ(describe(all), after);
    // A sibling may not take the name, as it is known to be in use.
    failsWith("UniquenessConstraint", [&] { attrs->findChildByName(u"a")->setName(u"0"); });
}

TEST(History, AbandonedTransactionRestoresTheTree) {
    Model model = Model::create();
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 3))), childNode(u"b", 2)));
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b");
    std::vector<ModelElement> all;
    collectSubtree(root, all);
    const std::string before = describe(all);
    const std::size_t steps = model->undoStepCount();

    {
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        b->getChildAttrs()->setName(u"bee");
        b->getChildAttrs()->setIndexOne(0);
        childNamed(a, u"a1")->getChildAttrs()->setParent(root);
        a->destroy();
        auto builder = childNode(u"n", 9);
        root->getParentAttrs()->createIntoChildren(builder.get(), uuid());
        EXPECT_EQ(childNames(root), (std::vector<std::u16string>{u"bee", u"a1", u"n"}));
        // A nested transaction abandoned on its own rolls back only its part.
        {
            ::fenmo::Transaction inner = model->beginTransaction(false);
            b->getChildAttrs()->setIndexOne(20);
            EXPECT_EQ(childNames(root), (std::vector<std::u16string>{u"a1", u"n", u"bee"}));
        }
        EXPECT_EQ(childNames(root), (std::vector<std::u16string>{u"bee", u"a1", u"n"}));
        EXPECT_EQ(root->getParentAttrs()->findChildByIndex(0).get(), b->getChildAttrs().get());
        EXPECT_FALSE(root->getParentAttrs()->findChildByIndex(20));
    }
    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(model->elementCount(), all.size());
    EXPECT_EQ(model->undoStepCount(), steps);
}

}  // namespace
}  // namespace treetest
