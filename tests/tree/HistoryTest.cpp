// Undo and redo of tree edits: each state of a long edit session comes back exactly, in both directions
// and more than once; an abandoned transaction leaves no trace.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

TEST(History, UndoAndRedoRestoreEveryStateOfAnEditSession) {
    Model model = Model::create();
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1,
                                             parentOf(childNode(u"a1", 1),
                                                      childNode(u"a2", 2, parentOf(childNode(u"a2x", 1))))),
                                   childNode(u"b", 2), childNode(u"c", 3), childNode(u"d", 4)));
    TreeNode extra = createDetached(model, u"zzz", 11);
    TreeNode a = childNamed(root, u"a"), c = childNamed(root, u"c"), a2 = childNamed(a, u"a2");
    ChildAttributes a2Attrs = a2->getChildAttrs(), cAttrs = c->getChildAttrs(),
                    dAttrs = childNamed(root, u"d")->getChildAttrs(), extraAttrs = extra->getChildAttrs();
    const std::vector<ModelElement> all = subtrees({root, extra});
    auto snapshot = [&] { return describe(all) + "\nelements " + std::to_string(model->elementCount()); };
    const std::size_t built = model->undoStepCount();
    std::vector<std::pair<std::string, std::string>> states{{"built", snapshot()}};  // label, tree
    // Each edit is committed as one transaction: one undo step.
    auto edit = [&](const std::string& label, auto&& action) {
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        action();
        transaction.commit(boost::none);
        ASSERT_EQ(model->undoStepCount(), built + states.size()) << label;
        states.emplace_back(label, snapshot());
    };

    edit("rename a grandchild", [&] { a2Attrs->setName(u"A2"); });
    edit("re-index a child", [&] { childNamed(root, u"b")->getChildAttrs()->setIndexOne(10); });
    edit("move a subtree up", [&] { a2Attrs->setParent(root); });
    edit("detach a child", [&] { cAttrs->setParent(TreeNode()); });
    edit("destroy a subtree", [&] { a->destroy(); });
    edit("attach under the moved subtree", [&] { cAttrs->setParent(a2); });
    edit("rename and re-index", [&] {
        dAttrs->setName(u"dd");
        dAttrs->setIndexOne(5);
    });
    // The free node's old name sorts after its new siblings, its new one before them.
    edit("rename and attach", [&] {
        extraAttrs->setName(u"0");
        extraAttrs->setParent(root);
    });
    edit("move it to the front", [&] { extraAttrs->setIndexOne(0); });
    edit("destroy the moved subtree", [&] { a2->destroy(); });
    EXPECT_EQ(childNames(root), (Names{u"0", u"dd", u"b"}));
    EXPECT_FALSE(c) << "destroyed with the subtree it was attached to";

    {  // Abandoned: everything it did is rolled back.
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        dAttrs->setIndexOne(20);
        extra->destroy();
        auto builder = childNode(u"n", 9);
        root->getParentAttrs()->createIntoChildren(builder.get(), uuid());
        EXPECT_EQ(childNames(root), (Names{u"b", u"dd", u"n"}));
    }
    EXPECT_EQ(snapshot(), states.back().second);
    EXPECT_EQ(model->undoStepCount(), built + states.size() - 1);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (std::size_t i = states.size() - 1; i > 0; --i) {
            model->undo();
            EXPECT_EQ(snapshot(), states[i - 1].second) << "undoing \"" << states[i].first << "\"";
        }
        for (std::size_t i = 1; i < states.size(); ++i) {
            model->redo();
            EXPECT_EQ(snapshot(), states[i].second) << "redoing \"" << states[i].first << "\"";
        }
    }
    // A sibling may not take the name the redone rename gave.
    failsWith("UniquenessConstraint", [&] { dAttrs->setName(u"0"); });
}

}  // namespace
}  // namespace treetest
