// The tree formed by ParentAttributes and ChildAttributes: building it, keeping children in index order,
// finding children by key, re-parenting, creating into children, and destroying a parent's attributes.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

using Names = std::vector<std::u16string>;
using Indices = std::vector<int>;

const ReflectionPrivateTag& standard() {
    return ReflectionPrivateTag::standard();
}

// Calls the parent attributes' protected addChild or removeChild through reflection, as the host does.
void invokeOn(const ParentAttributes& parent, const ::fenmo::meta::Operation& operation,
              const TreeNode& child) {
    parent->invoke(operation, {Value::ofElement(child)}, standard());
}

TEST(Hierarchy, ThreeLevelTreeBuiltInOneCommit) {
    Model model = Model::create();
    ReportLog reports(model);
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 1), childNode(u"a2", 2))),
                                   childNode(u"b", 2), childNode(u"c", 3)));

    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(model->undoStepCount(), 1u);
    // root + its attributes, three children with child attributes, a's attributes, two grandchildren.
    EXPECT_EQ(reports.last().created().size(), 13u);
    EXPECT_EQ(model->elementCount(), 13u);

    ParentAttributes rootAttrs = root->getParentAttrs();
    ASSERT_TRUE(rootAttrs);
    EXPECT_EQ(rootAttrs->container().get(), root.get());
    EXPECT_EQ(childNames(root), (Names{u"a", u"b", u"c"}));
    EXPECT_EQ(rootAttrs->getAttrsOfChildren().size(), 3u);
    for (const TreeNode& child : childrenOf(root)) {
        ChildAttributes attrs = child->getChildAttrs();
        SCOPED_TRACE(::fenmo::toUtf8(attrs->getName()));
        EXPECT_EQ(child->container().get(), rootAttrs.get());
        EXPECT_EQ(attrs->container().get(), child.get());
        EXPECT_EQ(attrs->getAttrsOfParent().get(), rootAttrs.get());
        EXPECT_EQ(attrs->getParent().get(), root.get());
        EXPECT_EQ(rootAttrs->findChildByIndex(attrs->getIndexOne()).get(), attrs.get());
        EXPECT_EQ(rootAttrs->findChildByName(attrs->getName()).get(), attrs.get());
    }
    TreeNode a = childNamed(root, u"a");
    ASSERT_TRUE(a);
    EXPECT_EQ(childNames(a), (Names{u"a1", u"a2"}));
    TreeNode a2 = childNamed(a, u"a2");
    ASSERT_TRUE(a2);
    EXPECT_EQ(a2->getChildAttrs()->getParent().get(), a.get());
    EXPECT_EQ(a->getParentAttrs()->findChildByIndex(2).get(), a2->getChildAttrs().get());
    EXPECT_FALSE(rootAttrs->findChildByName(u"a1")) << "grandchildren belong to their own parent's map";
    EXPECT_FALSE(rootAttrs->findChildByIndex(4));
    EXPECT_FALSE(rootAttrs->findChildByName(u""));

    // The reflective views answer the same collections.
    EXPECT_TRUE(rootAttrs->hasPropertyValue(schema::ParentAttributes::children(), standard()));
    EXPECT_EQ(
        rootAttrs->getPropertyValue(schema::ParentAttributes::children(), standard()).getEntries().size(),
        3u);
    EXPECT_EQ(a2->getChildAttrs()
                  ->getPropertyValue(schema::ChildAttributes::parent(), standard())
                  .getElement()
                  .get(),
              a.get());

    // One undo step takes the whole tree away.
    model->undo();
    EXPECT_EQ(model->elementCount(), 0u);
    EXPECT_FALSE(root);
    EXPECT_FALSE(a2);
}

TEST(Hierarchy, ChildrenStayInIndexOrderThroughEdits) {
    Model model = Model::create();
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 1), childNode(u"a2", 4))),
                                   childNode(u"b", 2), childNode(u"c", 3), childNode(u"d", 5)));
    ParentAttributes rootAttrs = root->getParentAttrs();
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b"), c = childNamed(root, u"c");
    TreeNode a2 = childNamed(a, u"a2");
    ChildAttributes bAttrs = b->getChildAttrs();

    // Re-indexing moves the node to its new place, and the map to its new key.
    bAttrs->setIndexOne(7);
    EXPECT_EQ(childNames(root), (Names{u"a", u"c", u"d", u"b"}));
    EXPECT_EQ(childIndices(root), (Indices{1, 3, 5, 7}));
    EXPECT_EQ(rootAttrs->findChildByIndex(7).get(), bAttrs.get());
    EXPECT_FALSE(rootAttrs->findChildByIndex(2)) << "still found under the old index";
    EXPECT_EQ(rootAttrs->findChildByName(u"b").get(), bAttrs.get());
    EXPECT_EQ(b->container().get(), rootAttrs.get());

    bAttrs->setIndexOne(0);
    EXPECT_EQ(childNames(root), (Names{u"b", u"a", u"c", u"d"}));
    bAttrs->setIndexOne(4);
    EXPECT_EQ(childNames(root), (Names{u"a", u"c", u"b", u"d"}));
    EXPECT_EQ(rootAttrs->findChildByIndex(4).get(), bAttrs.get());
    EXPECT_FALSE(rootAttrs->findChildByIndex(0));

    // Renaming re-files the child under its new name only.
    bAttrs->setName(u"bee");
    EXPECT_EQ(rootAttrs->findChildByName(u"bee").get(), bAttrs.get());
    EXPECT_FALSE(rootAttrs->findChildByName(u"b"));
    EXPECT_EQ(rootAttrs->findChildByIndex(4).get(), bAttrs.get());

    // setParent moves a grandchild up, to the place of its index (4 is taken at the root, so 6 first).
    ChildAttributes a2Attrs = a2->getChildAttrs();
    a2Attrs->setIndexOne(6);
    a2Attrs->setParent(root);
    EXPECT_EQ(a2Attrs->getParent().get(), root.get());
    EXPECT_EQ(a2Attrs->getAttrsOfParent().get(), rootAttrs.get());
    EXPECT_EQ(a2->container().get(), rootAttrs.get());
    EXPECT_EQ(childNames(root), (Names{u"a", u"c", u"bee", u"d", u"a2"}));
    EXPECT_EQ(childNames(a), (Names{u"a1"}));
    EXPECT_FALSE(a->getParentAttrs()->findChildByName(u"a2"));
    EXPECT_FALSE(a->getParentAttrs()->findChildByIndex(6));
    EXPECT_EQ(rootAttrs->findChildByName(u"a2").get(), a2Attrs.get());
    EXPECT_EQ(rootAttrs->findChildByIndex(6).get(), a2Attrs.get());

    // setParent with an empty node detaches.
    ChildAttributes cAttrs = c->getChildAttrs();
    cAttrs->setParent(TreeNode());
    EXPECT_FALSE(cAttrs->hasParent());
    EXPECT_FALSE(cAttrs->getParent().get());
    EXPECT_FALSE(cAttrs->getAttrsOfParent().get());
    EXPECT_FALSE(c->container().get());
    EXPECT_TRUE(c) << "a detached node stays alive";
    EXPECT_EQ(childNames(root), (Names{u"a", u"bee", u"d", u"a2"}));
    EXPECT_FALSE(rootAttrs->findChildByName(u"c"));
    EXPECT_FALSE(rootAttrs->findChildByIndex(3));

    // A detached child can be re-indexed freely and re-attached at its place.
    cAttrs->setIndexOne(5);
    failsWith("UniquenessConstraint", [&] { cAttrs->setParent(root); });
    cAttrs->setIndexOne(2);
    cAttrs->setParent(root);
    EXPECT_EQ(childNames(root), (Names{u"a", u"c", u"bee", u"d", u"a2"}));
    EXPECT_EQ(childIndices(root), (Indices{1, 2, 4, 5, 6}));
}

TEST(Hierarchy, AddChildAndRemoveChildKeepOrderAndRemoveTheRightNode) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 3), childNode(u"c", 5)));
    ParentAttributes rootAttrs = root->getParentAttrs();
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b"), c = childNamed(root, u"c");
    const auto& addChild = schema::ParentAttributes::addChild();
    const auto& removeChild = schema::ParentAttributes::removeChild();

    invokeOn(rootAttrs, removeChild, b);
    EXPECT_EQ(childNames(root), (Names{u"a", u"c"}));
    EXPECT_FALSE(b->container().get());
    EXPECT_TRUE(b);

    // A node whose index equals a child's goes before it; removing it then takes that node, not its twin.
    TreeNode twin = createDetached(model, u"twin", 5);
    invokeOn(rootAttrs, addChild, twin);
    EXPECT_EQ(childNames(root), (Names{u"a", u"twin", u"c"}));
    invokeOn(rootAttrs, addChild, b);
    EXPECT_EQ(childNames(root), (Names{u"a", u"b", u"twin", u"c"}));
    invokeOn(rootAttrs, removeChild, c);
    EXPECT_EQ(childNames(root), (Names{u"a", u"b", u"twin"}));
    EXPECT_TRUE(c);
    EXPECT_FALSE(c->container().get());
    invokeOn(rootAttrs, removeChild, twin);
    EXPECT_EQ(childNames(root), (Names{u"a", u"b"}));

    // Index 0 goes first, a large index last.
    TreeNode first = createDetached(model, u"first", 0);
    TreeNode last = createDetached(model, u"last", 1000);
    invokeOn(rootAttrs, addChild, last);
    invokeOn(rootAttrs, addChild, first);
    EXPECT_EQ(childNames(root), (Names{u"first", u"a", u"b", u"last"}));
    EXPECT_EQ(first->container().get(), rootAttrs.get());

    // Each call was one step; undo walks them back.
    model->undo();
    EXPECT_EQ(childNames(root), (Names{u"a", u"b", u"last"}));
    EXPECT_FALSE(first->container().get());
}

TEST(Hierarchy, CreateIntoChildrenAppendsInCreationOrder) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"x", 4)));
    ParentAttributes rootAttrs = root->getParentAttrs();

    std::vector<TreeNode> created;
    std::vector<uuid> ids;
    for (auto [name, index] : std::vector<std::pair<std::u16string, int>>{{u"p", 9}, {u"q", 1}, {u"r", 5}}) {
        auto builder = childNode(name, index);
        ids.push_back(::fenmo::newUuid());
        const std::size_t steps = model->undoStepCount();
        created.push_back(rootAttrs->createIntoChildren(builder.get(), ids.back()));
        EXPECT_EQ(model->undoStepCount(), steps + 1);
    }
    EXPECT_EQ(childNames(root), (Names{u"x", u"p", u"q", u"r"}));
    for (std::size_t i = 0; i < created.size(); ++i) {
        ASSERT_TRUE(created[i]);
        EXPECT_EQ(created[i]->getUuid(), ids[i]);
        EXPECT_EQ(created[i]->container().get(), rootAttrs.get());
        ChildAttributes attrs = created[i]->getChildAttrs();
        EXPECT_EQ(rootAttrs->findChildByName(attrs->getName()).get(), attrs.get());
        EXPECT_EQ(rootAttrs->findChildByIndex(attrs->getIndexOne()).get(), attrs.get());
        EXPECT_EQ(attrs->getParent().get(), root.get());
    }

    // A created node whose key is taken is refused, and the creation is rolled back with it.
    const std::size_t count = model->elementCount();
    auto clash = childNode(u"q", 77);
    const uuid clashId = ::fenmo::newUuid();
    failsWith("UniquenessConstraint", [&] { rootAttrs->createIntoChildren(clash.get(), clashId); });
    EXPECT_EQ(model->elementCount(), count);
    EXPECT_FALSE(model->findElement(clashId).get());
    EXPECT_EQ(childNames(root), (Names{u"x", u"p", u"q", u"r"}));
    EXPECT_FALSE(rootAttrs->findChildByIndex(77));

    model->undo();
    EXPECT_FALSE(created.back());
    EXPECT_EQ(childNames(root), (Names{u"x", u"p", u"q"}));
    EXPECT_FALSE(rootAttrs->findChildByName(u"r"));
    EXPECT_FALSE(rootAttrs->findChildByIndex(5));
}

TEST(Hierarchy, BuilderAddsExistingChildAttributesToTheMap) {
    Model model = Model::create();
    ChildAttributes::Builder first, second;
    first.setModel(model);
    second.setModel(model);
    ChildAttributes one = first.setName(u"one").setIndexOne(1).createChildAttributes(uuid());
    ChildAttributes two = second.setName(u"two").setIndexOne(2).createChildAttributes(uuid());

    ParentAttributes::Builder builder(model);
    builder.addAttrsOfChildren(two).addAttrsOfChildren(one).addAttrsOfChildren(two);
    ParentAttributes parent = builder.createParentAttributes(uuid());
    EXPECT_EQ(parent->getAttrsOfChildren().size(), 2u) << "an element already present is ignored";
    EXPECT_EQ(parent->findChildByIndex(1).get(), one.get());
    EXPECT_EQ(parent->findChildByName(u"two").get(), two.get());
    EXPECT_EQ(one->getAttrsOfParent().get(), parent.get());
    EXPECT_EQ(two->getAttrsOfParent().get(), parent.get());
    EXPECT_EQ(parent->getAttrsOfChildren().begin()->get(), one.get()) << "entries in first-key order";

    // A ChildAttributes builder naming its parent joins that parent's map on creation.
    ChildAttributes::Builder third(model);
    third.setName(u"three").setIndexOne(3).setAttrsOfParent(parent);
    ChildAttributes three = third.createChildAttributes(uuid());
    EXPECT_EQ(three->getAttrsOfParent().get(), parent.get());
    EXPECT_EQ(parent->findChildByName(u"three").get(), three.get());

    // The same with a taken key fails and leaves no element behind.
    ChildAttributes::Builder fourth(model);
    fourth.setName(u"one").setIndexOne(4).setAttrsOfParent(parent);
    const std::size_t count = model->elementCount();
    failsWith("UniquenessConstraint", [&] { fourth.createChildAttributes(uuid()); });
    EXPECT_EQ(model->elementCount(), count);
    EXPECT_EQ(parent->getAttrsOfChildren().size(), 3u);
}

TEST(Hierarchy, DestroyingParentAttributesDestroysTheChildNodes) {
    Model model = Model::create();
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 1))), childNode(u"b", 2)));
    ParentAttributes rootAttrs = root->getParentAttrs();
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b");
    TreeNode a1 = childNamed(a, u"a1");
    std::vector<ModelElement> all;
    collectSubtree(root, all);
    ASSERT_EQ(all.size(), model->elementCount());
    const std::string before = describe(all);

    rootAttrs->destroy();
    EXPECT_TRUE(root);
    EXPECT_FALSE(root->hasParentAttrs());
    for (const ModelElement& element : all)
        if (element.get() != root.get()) EXPECT_FALSE(element) << idOf(element);
    EXPECT_EQ(model->elementCount(), 1u);

    model->undo();
    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(model->elementCount(), all.size());
    model->redo();
    EXPECT_FALSE(a1);
    EXPECT_FALSE(b);
    EXPECT_EQ(model->elementCount(), 1u);
}

}  // namespace
}  // namespace treetest
