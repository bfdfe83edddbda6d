// Refused tree edits: keys taken among siblings, associations across models, and element-neutral
// collection access with elements of the wrong class or none. A refusal leaves everything as it was.
// References into another model held as proxies resolve once their model is open and holds the targets.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

TEST(Refusal, TakenKeysAmongSiblingsChangeNothing) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2), childNode(u"c", 3)));
    ParentAttributes attrs = root->getParentAttrs();
    ChildAttributes b = childNamed(root, u"b")->getChildAttrs();
    TreeNode sameName = createDetached(model, u"a", 9), sameIndex = createDetached(model, u"s", 2);
    const std::vector<ModelElement> all = subtrees({root, sameName, sameIndex});
    const std::string before = describe(all);
    const std::size_t steps = model->undoStepCount(), elements = model->elementCount();

    failsWith("UniquenessConstraint", [&] { b->setName(u"a"); });
    failsWith("UniquenessConstraint", [&] { b->setIndexOne(3); });
    failsWith("UniquenessConstraint",
              [&] { Reflection().set(b, schema::ChildAttributes::name(), Value::ofString(u"c")); });
    for (const TreeNode& node : {sameName, sameIndex}) {
        failsWith("UniquenessConstraint", [&] { node->getChildAttrs()->setParent(root); });
        failsWith("UniquenessConstraint", [&] { node->getChildAttrs()->setAttrsOfParent(attrs); });
    }
    // A node created into the children with a taken key is refused, and its creation rolled back.
    auto clash = childNode(u"c", 77);
    failsWith("UniquenessConstraint", [&] { attrs->createIntoChildren(clash.get(), ::fenmo::newUuid()); });

    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(model->undoStepCount(), steps);
    EXPECT_EQ(model->elementCount(), elements);
    b->setIndexOne(4);
    EXPECT_EQ(childNames(root), (Names{u"a", u"c", u"b"}));
}

TEST(Refusal, AssociationsAcrossModels) {
    Model model = Model::create(), other = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1)));
    TreeNode theirs = createRoot(other, parentOf(childNode(u"b", 2)));
    ChildAttributes mine = childNamed(root, u"a")->getChildAttrs();
    const std::vector<ModelElement> all = subtrees({root, theirs});
    const std::string before = describe(all);

    failsWith("CannotCreateCrossModelAssociation", [&] { mine->setAttrsOfParent(theirs->getParentAttrs()); });
    failsWith("CannotCreateCrossModelAssociation", [&] { mine->setParent(theirs); });
    failsWith("CannotCreateCrossModelAssociation", [&] {
        root->getParentAttrs()->getAttrsOfChildrenMutable().add(childNamed(theirs, u"b")->getChildAttrs());
    });
    failsWith("CannotCreateCrossModelAssociation",
              [&] { root->getParentAttrs()->getChildrenMutable().add(theirs); });
    failsWith("CannotCreateCrossModelAssociation",
              [&] { root->setBlockAttrs(BlockAttributes::create(other, uuid())); });
    ParentAttributes proxy = ::fenmo::handleCast<ParentAttributes>(model->createProxy(
        ParentAttributes::metaClass(), ProxyId(theirs->getParentAttrs()->getUuid(), other->getId())));
    failsWith("CannotCreateCrossModelAssociation", [&] { mine->setAttrsOfParent(proxy); });

    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(model->undoStepCount(), 1u);
}

TEST(Refusal, GenericCollectionAccessChecksTheElements) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2)));
    ParentAttributes attrs = root->getParentAttrs();
    auto children = attrs->getChildrenMutable().generic();
    ::fenmo::WrapperInterface<::fenmo::DoubleKeyElementMap<int, std::u16string, ChildAttributes>> map(
        attrs->getAttrsOfChildrenMutable());
    ChildAttributes loose = ChildAttributes::create(model, uuid());
    TreeNode extra = createDetached(model, u"extra", 7), gone = createDetached(model, u"gone", 8);
    gone->destroy();
    std::vector<ModelElement> all = subtrees({root, extra});
    all.push_back(loose);
    const std::string before = describe(all);
    const std::size_t steps = model->undoStepCount();

    const Names wrongNode{u"tav.fenmo.treeNode.ChildAttributes", u"tav.fenmo.treeNode.TreeNode"};
    EXPECT_EQ(failsWith("CannotAddIncompatibleTypes", [&] { children.add(loose); }), wrongNode);
    EXPECT_EQ(failsWith("CannotAddIncompatibleTypes", [&] { children.at(0) = loose; }), wrongNode);
    EXPECT_EQ(failsWith("CannotAddIncompatibleTypes", [&] { map.add(extra); }),
              (Names{wrongNode[1], wrongNode[0]}));
    failsWith("CannotAddNonExistentObject", [&] { children.at(1) = ModelElement(); });
    failsWith("CannotAddNonExistentObject", [&] { children.at(1) = gone; });
    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(model->undoStepCount(), steps);
}

TEST(Proxies, SlotAndAttrsOfParentResolveOnceTheTargetModelIsOpen) {
    Model model = Model::create();
    const uuid targetModel = ::fenmo::newUuid(), signalId = ::fenmo::newUuid(), parentId = ::fenmo::newUuid();
    TreeNode node = TreeNode::create(model, uuid());
    SignalAttributes signal = ::fenmo::handleCast<SignalAttributes>(
        model->createProxy(SignalAttributes::metaClass(), ProxyId(signalId, targetModel)));
    node->setSignalAttrs(signal);
    ChildAttributes::Builder builder(model);
    ChildAttributes child = builder.setName(u"x").setIndexOne(1).createChildAttributes(uuid());
    ParentAttributes parent = ::fenmo::handleCast<ParentAttributes>(
        model->createProxy(ParentAttributes::metaClass(), ProxyId(parentId, targetModel)));
    {  // What a loader does when it meets a reference into another model.
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        child->basicAssociate(parent, schema::ChildAttributes::attrsOfParent());
        transaction.commit(boost::none);
    }
    const ::fenmo::meta::Property& slot = schema::TreeNode::signalAttrs();
    const Reflection unresolved(Access::Public, Proxies::Keep);
    EXPECT_EQ(node->getSignalAttrs().get(), signal.get());
    EXPECT_EQ(child->getAttrsOfParent().get(), parent.get());
    EXPECT_FALSE(child->getParent().get());

    // Open, but the signal is missing and the parent does not list this child: still the proxies.
    Model target = Model::create(targetModel);
    TreeNode parentNode = TreeNode::create(target, uuid());
    ParentAttributes realParent = ParentAttributes::create(target, parentId);
    parentNode->setParentAttrs(realParent);
    EXPECT_EQ(node->getSignalAttrs().get(), signal.get());
    EXPECT_EQ(child->getAttrsOfParent().get(), parent.get());

    SignalAttributes realSignal = SignalAttributes::create(target, signalId);
    realParent->getAttrsOfChildrenMutable().add(::fenmo::handleCast<ChildAttributes>(
        target->createProxy(ChildAttributes::metaClass(), ProxyId(child->getUuid(), model->getId()))));
    EXPECT_EQ(unresolved.get(node, slot).getElement().get(), signal.get())
        << "a read that does not resolve leaves the proxy";
    EXPECT_EQ(node->getSignalAttrs().get(), realSignal.get());
    EXPECT_EQ(unresolved.get(node, slot).getElement().get(), realSignal.get())
        << "the slot now holds the real element";
    EXPECT_EQ(child->getAttrsOfParent().get(), realParent.get());
    EXPECT_EQ(child->getParent().get(), parentNode.get());
}

}  // namespace
}  // namespace treetest
