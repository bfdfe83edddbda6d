// Refused tree edits: duplicate keys among siblings, associations across models, and element-neutral
// collection access with elements of the wrong class or none. A refusal leaves everything as it was.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

using Names = std::vector<std::u16string>;

struct Family {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2), childNode(u"c", 3)));
    ParentAttributes attrs = root->getParentAttrs();
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b"), c = childNamed(root, u"c");

    std::vector<ModelElement> everything() const {
        std::vector<ModelElement> all;
        collectSubtree(root, all);
        return all;
    }
};

TEST(Refusal, DuplicateKeysAmongSiblingsChangeNothing) {
    Family f;
    TreeNode stranger = createDetached(f.model, u"a", 9);
    std::vector<ModelElement> all = f.everything();
    all.push_back(stranger);
    all.push_back(stranger->getChildAttrs());
    const std::string before = describe(all);
    const std::size_t steps = f.model->undoStepCount();
    ReportLog reports(f.model);
    ChildAttributes b = f.b->getChildAttrs();

    failsWith("UniquenessConstraint", [&] { b->setName(u"a"); });
    failsWith("UniquenessConstraint", [&] { b->setIndexOne(1); });
    failsWith("UniquenessConstraint", [&] { b->setIndexOne(3); });
    // Attaching a node whose name or index a child already has.
    failsWith("UniquenessConstraint", [&] { stranger->getChildAttrs()->setParent(f.root); });
    failsWith("UniquenessConstraint", [&] { stranger->getChildAttrs()->setAttrsOfParent(f.attrs); });
    stranger->getChildAttrs()->setName(u"s");
    stranger->getChildAttrs()->setIndexOne(2);
    failsWith("UniquenessConstraint", [&] { stranger->getChildAttrs()->setParent(f.root); });
    stranger->getChildAttrs()->setName(u"a");
    stranger->getChildAttrs()->setIndexOne(9);
    // A reflective write goes through the same checks.
    failsWith("UniquenessConstraint", [&] {
        b->setPropertyValue(schema::ChildAttributes::name(), Value::ofString(u"c"),
                            ReflectionPrivateTag::standard());
    });

    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(childNames(f.root), (Names{u"a", u"b", u"c"}));
    EXPECT_EQ(b->getName(), u"b");
    EXPECT_EQ(b->getIndexOne(), 2);
    EXPECT_EQ(b->getParent().get(), f.root.get());
    EXPECT_EQ(f.attrs->findChildByIndex(2).get(), b.get());
    EXPECT_EQ(f.attrs->findChildByName(u"b").get(), b.get());
    EXPECT_FALSE(stranger->getChildAttrs()->getAttrsOfParent().get());
    EXPECT_FALSE(stranger->container().get());
    // The attempts between the refusals were edits of the stranger alone (four of them).
    EXPECT_EQ(f.model->undoStepCount(), steps + 4);
    EXPECT_EQ(reports.size(), 4u);

    // Setting a key to its current value is no edit; the tree still works afterwards.
    b->setName(u"b");
    b->setIndexOne(2);
    EXPECT_EQ(f.model->undoStepCount(), steps + 4);
    b->setIndexOne(4);
    b->setName(u"a2");
    EXPECT_EQ(f.attrs->findChildByIndex(4).get(), b.get());
    EXPECT_EQ(f.attrs->findChildByName(u"a2").get(), b.get());
    EXPECT_EQ(childNames(f.root), (Names{u"a", u"c", u"a2"}));
}

TEST(Refusal, AssociationsAcrossModelsAreRefused) {
    Family f;
    Family other;
    ChildAttributes mine = f.b->getChildAttrs();
    ChildAttributes theirs = other.c->getChildAttrs();
    std::vector<ModelElement> all = f.everything();
    const std::string before = describe(all);
    const std::string otherBefore = describe(other.everything());
    const std::size_t steps = f.model->undoStepCount();

    failsWith("CannotCreateCrossModelAssociation", [&] { mine->setAttrsOfParent(other.attrs); });
    failsWith("CannotCreateCrossModelAssociation", [&] { mine->setParent(other.root); });
    failsWith("CannotCreateCrossModelAssociation", [&] {
        mine->setPropertyValue(schema::ChildAttributes::attrsOfParent(), Value::ofElement(other.attrs),
                               ReflectionPrivateTag::standard());
    });
    failsWith("CannotCreateCrossModelAssociation", [&] { f.attrs->getAttrsOfChildrenMutable().add(theirs); });
    TreeNode free = createDetached(other.model, u"free", 8);
    failsWith("CannotCreateCrossModelAssociation", [&] { f.attrs->getChildrenMutable().add(free); });
    failsWith("CannotCreateCrossModelAssociation",
              [&] { f.root->setBlockAttrs(BlockAttributes::create(other.model, uuid())); });

    // A proxy naming another model is refused too, before anything is looked up.
    ParentAttributes proxy = ::fenmo::handleCast<ParentAttributes>(f.model->createProxy(
        ParentAttributes::metaClass(), ProxyId(other.attrs->getUuid(), other.model->getId())));
    ASSERT_TRUE(proxy);
    failsWith("CannotCreateCrossModelAssociation", [&] { mine->setAttrsOfParent(proxy); });

    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(describe(other.everything()), otherBefore);
    EXPECT_EQ(f.model->undoStepCount(), steps);
    EXPECT_FALSE(free->container().get());
    EXPECT_EQ(theirs->getAttrsOfParent().get(), other.attrs.get());
}

TEST(Refusal, GenericCollectionAccessChecksTheElements) {
    Family f;
    ::fenmo::ElementSequence<TreeNode>::GenericSequence children = f.attrs->getChildrenMutable().generic();
    ::fenmo::WrapperInterface<ChildMap> map(f.attrs->getAttrsOfChildrenMutable());
    ChildAttributes loose = ChildAttributes::create(f.model, uuid());
    TreeNode extra = createDetached(f.model, u"extra", 7);
    std::vector<ModelElement> all = f.everything();
    all.push_back(extra);
    all.push_back(loose);
    const std::string before = describe(all);
    const std::size_t steps = f.model->undoStepCount();

    EXPECT_EQ(children.elementClass().get(), TreeNode::metaClass().get());
    EXPECT_EQ(map.elementClass().get(), ChildAttributes::metaClass().get());
    EXPECT_EQ(children.size(), 3u);
    EXPECT_EQ(children.get(1).get(), f.b.get());

    // Elements of another class, with both class names.
    const std::vector<std::u16string> wrongNode{u"tav.fenmo.treeNode.ChildAttributes",
                                                u"tav.fenmo.treeNode.TreeNode"};
    EXPECT_EQ(failsWith("CannotAddIncompatibleTypes", [&] { children.add(loose); }), wrongNode);
    EXPECT_EQ(failsWith("CannotAddIncompatibleTypes", [&] { children.insert(0, loose); }), wrongNode);
    EXPECT_EQ(failsWith("CannotAddIncompatibleTypes", [&] { children.replace(0, loose); }), wrongNode);
    EXPECT_EQ(failsWith("CannotAddIncompatibleTypes", [&] { children.at(0) = loose; }), wrongNode);
    EXPECT_EQ(
        failsWith("CannotAddIncompatibleTypes", [&] { map.add(extra); }),
        (std::vector<std::u16string>{u"tav.fenmo.treeNode.TreeNode", u"tav.fenmo.treeNode.ChildAttributes"}));

    // Through a position reference, no element at all is refused; elsewhere it is ignored.
    failsWith("CannotAddNonExistentObject", [&] { children.at(1) = ModelElement(); });
    TreeNode gone = createDetached(f.model, u"gone", 8);
    gone->destroy();
    failsWith("CannotAddNonExistentObject", [&] { children.at(1) = gone; });
    children.add(ModelElement());
    children.add(gone);
    children.insert(0, ModelElement());
    children.replace(2, ModelElement());
    children.replace(2, gone);
    map.add(ModelElement());
    // Replacing a node by itself is no edit.
    children.at(2) = f.c;
    children.replace(0, f.a);

    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(children.size(), 3u);
    EXPECT_EQ(map.size(), 3u);
    // Only creating and destroying `gone` were edits.
    EXPECT_EQ(f.model->undoStepCount(), steps + 2);

    // Well-typed access works and links what it adds.
    map.add(extra->getChildAttrs());
    EXPECT_EQ(extra->getChildAttrs()->getAttrsOfParent().get(), f.attrs.get());
    EXPECT_EQ(f.attrs->findChildByName(u"extra").get(), extra->getChildAttrs().get());
    children.at(1) = extra;
    EXPECT_EQ(extra->container().get(), f.attrs.get());
    EXPECT_FALSE(f.b->container().get()) << "the replaced node is no longer contained";
    EXPECT_EQ(children.get(1).get(), extra.get());
}

}  // namespace
}  // namespace treetest
