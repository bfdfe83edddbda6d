// A parent with a hundred thousand children, built in ascending index order by one builder.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

std::u16string signalName(int index) {
    return u"s" + ::fenmo::widenNumber(index);
}

TEST(LargeTree, HundredThousandChildrenInOneBuilder) {
    constexpr int kChildren = 100000;
    Model model = Model::create();
    ReportLog reports(model);
    auto parent = std::make_unique<ParentAttributes::Builder>();
    for (int i = 1; i <= kChildren; ++i) parent->addChildren(childNode(signalName(i), i));
    TreeNode root = createRoot(model, std::move(parent));

    ASSERT_TRUE(root);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(model->elementCount(), 2u + 2u * kChildren);
    ParentAttributes attrs = root->getParentAttrs();
    ASSERT_EQ(attrs->getChildren().size(), static_cast<std::size_t>(kChildren));
    ASSERT_EQ(attrs->getAttrsOfChildren().size(), static_cast<std::size_t>(kChildren));
    int wrong = 0;
    for (int i = 1; i <= kChildren; ++i) {
        const TreeNode& child = attrs->getChildren()[static_cast<std::size_t>(i - 1)];
        ChildAttributes childAttrs = child->getChildAttrs();
        if (childAttrs->getIndexOne() != i || attrs->findChildByIndex(i).get() != childAttrs.get() ||
            attrs->findChildByName(signalName(i)).get() != childAttrs.get() ||
            childAttrs->getAttrsOfParent().get() != attrs.get() || child->container().get() != attrs.get())
            ++wrong;
    }
    EXPECT_EQ(wrong, 0);

    // Edits at both ends and in the middle of the big parent, and their undo.
    ChildAttributes first = attrs->findChildByIndex(1);
    first->setIndexOne(kChildren + 1);
    EXPECT_EQ(attrs->getChildren()[0]->getChildAttrs()->getIndexOne(), 2);
    EXPECT_EQ(attrs->getChildren()[kChildren - 1]->getChildAttrs().get(), first.get());
    ChildAttributes middle = attrs->findChildByName(signalName(kChildren / 2));
    middle->setName(u"middle");
    EXPECT_EQ(attrs->findChildByName(u"middle").get(), middle.get());
    EXPECT_FALSE(attrs->findChildByName(signalName(kChildren / 2)));
    model->undo();
    model->undo();
    EXPECT_EQ(attrs->getChildren()[0]->getChildAttrs().get(), first.get());
    EXPECT_EQ(attrs->findChildByIndex(1).get(), first.get());
    EXPECT_FALSE(attrs->findChildByIndex(kChildren + 1));
    EXPECT_EQ(attrs->findChildByName(signalName(kChildren / 2)).get(), middle.get());
    EXPECT_EQ(attrs->getChildren().size(), static_cast<std::size_t>(kChildren));
}

}  // namespace
}  // namespace treetest
