// The tree formed by ParentAttributes and ChildAttributes: building it, keeping children in index order,
// and finding children by key; also a parent with a hundred thousand children.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

TEST(Hierarchy, ThreeLevelTreeBuiltInOneCommitFindsEachChildByBothKeys) {
    Model model = Model::create();
    ReportLog log(model);
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 1), childNode(u"a2", 2))),
                                   childNode(u"b", 2), childNode(u"c", 3)));
    ASSERT_EQ(log.reports.size(), 1u);
    // root and its attributes, three children with child attributes, a's attributes, two grandchildren.
    EXPECT_EQ(log.reports.back().created().size(), 13u);

    TreeNode a = childNamed(root, u"a");
    EXPECT_EQ(childNames(root), (Names{u"a", u"b", u"c"}));
    EXPECT_EQ(childNames(a), (Names{u"a1", u"a2"}));
    for (const TreeNode& parent : {root, a}) {
        ParentAttributes attrs = parent->getParentAttrs();
        EXPECT_EQ(attrs->container().get(), parent.get());
        for (const TreeNode& child : attrs->getChildren()) {
            ChildAttributes keys = child->getChildAttrs();
            EXPECT_EQ(child->container().get(), attrs.get());
            EXPECT_EQ(keys->getAttrsOfParent().get(), attrs.get());
            EXPECT_EQ(keys->getParent().get(), parent.get());
            EXPECT_EQ(attrs->findChildByIndex(keys->getIndexOne()).get(), keys.get());
            EXPECT_EQ(attrs->findChildByName(keys->getName()).get(), keys.get());
        }
    }
    EXPECT_FALSE(root->getParentAttrs()->findChildByName(u"a1")) << "grandchildren are in their parent's map";
    model->undo();
    EXPECT_EQ(model->elementCount(), 0u);
}

TEST(Hierarchy, ChildrenFollowIndexOneAndTheMapForgetsOldKeys) {
    Model model = Model::create();
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 1), childNode(u"a2", 6))),
                                   childNode(u"b", 2), childNode(u"c", 3), childNode(u"d", 5)));
    ParentAttributes attrs = root->getParentAttrs();
    TreeNode a = childNamed(root, u"a"), c = childNamed(root, u"c"), d = childNamed(root, u"d");
    ChildAttributes b = childNamed(root, u"b")->getChildAttrs();

    b->setIndexOne(7);
    EXPECT_EQ(childNames(root), (Names{u"a", u"c", u"d", u"b"}));
    EXPECT_EQ(attrs->findChildByIndex(7).get(), b.get());
    EXPECT_FALSE(attrs->findChildByIndex(2)) << "still found under the old index";
    b->setIndexOne(0);
    EXPECT_EQ(childNames(root), (Names{u"b", u"a", u"c", u"d"}));
    b->setName(u"bee");
    EXPECT_EQ(attrs->findChildByName(u"bee").get(), b.get());
    EXPECT_FALSE(attrs->findChildByName(u"b")) << "still found under the old name";

    // setParent moves a grandchild to its place among its new siblings; an empty node detaches.
    ChildAttributes a2 = childNamed(a, u"a2")->getChildAttrs();
    a2->setParent(root);
    EXPECT_EQ(childNames(root), (Names{u"bee", u"a", u"c", u"d", u"a2"}));
    EXPECT_EQ(childNames(a), (Names{u"a1"}));
    EXPECT_FALSE(a->getParentAttrs()->findChildByIndex(6));
    EXPECT_EQ(attrs->findChildByIndex(6).get(), a2.get());
    c->getChildAttrs()->setParent(TreeNode());
    EXPECT_TRUE(c);
    EXPECT_FALSE(c->container().get());
    EXPECT_FALSE(attrs->findChildByName(u"c"));
    EXPECT_EQ(childNames(root), (Names{u"bee", u"a", u"d", u"a2"}));

    // The host's addChild puts a node before a sibling of equal index; removeChild takes the given one.
    TreeNode twin = createDetached(model, u"twin", 5);
    const Reflection reflection;
    reflection.invoke(attrs, schema::ParentAttributes::addChild(), {Value::ofElement(twin)});
    EXPECT_EQ(childNames(root), (Names{u"bee", u"a", u"twin", u"d", u"a2"}));
    reflection.invoke(attrs, schema::ParentAttributes::removeChild(), {Value::ofElement(d)});
    EXPECT_EQ(childNames(root), (Names{u"bee", u"a", u"twin", u"a2"}));
    EXPECT_TRUE(d);
    EXPECT_FALSE(d->container().get());
}

TEST(Hierarchy, HundredThousandChildrenInOneBuilder) {
    constexpr int kChildren = 100000;
    auto name = [](int index) { return u"s" + ::fenmo::widenNumber(index); };
    Model model = Model::create();
    ReportLog log(model);
    auto parent = std::make_unique<ParentAttributes::Builder>();
    for (int i = 1; i <= kChildren; ++i) parent->addChildren(childNode(name(i), i));
    TreeNode root = createRoot(model, std::move(parent));

    EXPECT_EQ(log.reports.size(), 1u);
    EXPECT_EQ(model->elementCount(), 2u + 2u * kChildren);
    ParentAttributes attrs = root->getParentAttrs();
    ASSERT_EQ(attrs->getChildren().size(), static_cast<std::size_t>(kChildren));
    ASSERT_EQ(attrs->getAttrsOfChildren().size(), static_cast<std::size_t>(kChildren));
    int wrong = 0;
    for (int i = 1; i <= kChildren; ++i) {
        const TreeNode& child = attrs->getChildren()[static_cast<std::size_t>(i - 1)];
        ChildAttributes keys = child->getChildAttrs();
        wrong += keys->getIndexOne() != i || attrs->findChildByIndex(i).get() != keys.get() ||
                 attrs->findChildByName(name(i)).get() != keys.get() ||
                 keys->getAttrsOfParent().get() != attrs.get() || child->container().get() != attrs.get();
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace treetest
