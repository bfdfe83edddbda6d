// The tree stays a tree whatever a careless host asks: no cycles, a node held once and by one parent,
// unique keys on every path into the map, no edits of destroyed elements, one undo step per edit, and a
// refused or rolled-back creation leaves nothing behind.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

using ChildMap = ::fenmo::DoubleKeyElementMap<int, std::u16string, ChildAttributes>;

// A model state to compare against after refusals: the tree's description, the element count and the
// history's size.
struct Snapshot {
    Snapshot(const Model& model, std::vector<ModelElement> elements)
        : model(model),
          all(std::move(elements)),
          tree(describe(all)),
          count(model->elementCount()),
          undo(model->undoStepCount()),
          redo(model->redoStepCount()) {}
    void expectUnchanged() const {
        EXPECT_EQ(describe(all), tree);
        EXPECT_EQ(model->elementCount(), count);
        EXPECT_EQ(model->undoStepCount(), undo);
        EXPECT_EQ(model->redoStepCount(), redo);
    }
    Model model;
    std::vector<ModelElement> all;
    std::string tree;
    std::size_t count, undo, redo;
};

TEST(Integrity, CyclesAreRefusedAndTheTreeStaysWhole) {
    Model model = Model::create();
    TreeNode root =
        createRoot(model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 5, parentOf())))));
    TreeNode a = childNamed(root, u"a"), a1 = childNamed(a, u"a1");
    ReportLog log(model);
    const Snapshot before(model, subtrees({root}));

    // A node under itself or under its own descendant.
    EXPECT_EQ(failsWith("InvalidValue", [&] { a->getChildAttrs()->setParent(a); }).size(), 2u);
    failsWith("InvalidValue", [&] { a->getChildAttrs()->setParent(a1); });
    // An ancestor added to a descendant's children, typed and element-neutral.
    failsWith("InvalidValue", [&] { a1->getParentAttrs()->getChildrenMutable().add(a); });
    failsWith("InvalidValue", [&] { a1->getParentAttrs()->getChildrenMutable().generic().add(root); });
    failsWith("InvalidValue", [&] { a1->getParentAttrs()->getChildrenMutable().generic().insert(0, a); });
    // The root's parent attributes contained by its descendant, directly and reflectively.
    failsWith("InvalidValue", [&] { a1->setInheritedParentAttrs(root->getParentAttrs()); });
    failsWith("InvalidValue", [&] {
        Reflection().set(a1, schema::TreeNode::parentAttrs(), Value::ofElement(root->getParentAttrs()));
    });
    before.expectUnchanged();
    EXPECT_TRUE(log.reports.empty());

    // Destroying the root takes everything with it: nothing was left hanging under a cycle.
    root->destroy();
    EXPECT_EQ(model->elementCount(), 0u);
}

TEST(Integrity, ContainmentHoldsANodeOnceAndMovesItOnAGenericAdd) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2), childNode(u"c", 3)));
    TreeNode other = createRoot(model, parentOf());
    ParentAttributes attrs = root->getParentAttrs();
    TreeNode a = childNamed(root, u"a"), c = childNamed(root, u"c");
    auto children = attrs->getChildrenMutable().generic();

    // Adding a child again moves it; it is still held once and still contained.
    children.add(a);
    EXPECT_EQ(childNames(root), (Names{u"b", u"c", u"a"}));
    children.insert(0, a);
    EXPECT_EQ(childNames(root), (Names{u"a", u"b", u"c"}));
    EXPECT_EQ(a->container().get(), attrs.get());
    // Replacing a position by a node held elsewhere in the same children is refused.
    const Snapshot before(model, subtrees({root, other}));
    failsWith("CannotAddSecondObject", [&] { children.replace(1, c); });
    failsWith("CannotAddSecondObject", [&] { children.at(0) = c; });
    before.expectUnchanged();

    // Erasing the one copy uncontains it; it can then sit under one parent only.
    children.erase(0);
    EXPECT_FALSE(a->container().get());
    other->getParentAttrs()->getChildrenMutable().add(a);
    attrs->getChildrenMutable().add(a);
    EXPECT_EQ(a->container().get(), attrs.get());
    EXPECT_TRUE(other->getParentAttrs()->getChildren().empty());
    EXPECT_EQ(childNames(root), (Names{u"b", u"c", u"a"}));
}

TEST(Integrity, EveryPathIntoTheChildMapKeepsKeysUnique) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2)));
    ParentAttributes attrs = root->getParentAttrs();
    ChildAttributes::Builder builder(model);
    ChildAttributes sameName = builder.setName(u"a").setIndexOne(5).createChildAttributes(uuid());
    ChildAttributes sameIndex = builder.setName(u"z").setIndexOne(2).createChildAttributes(uuid());
    ChildMap& map = attrs->getAttrsOfChildrenMutable();
    ::fenmo::WrapperInterface<ChildMap> generic(map);
    const Snapshot before(model, subtrees({root}));

    EXPECT_EQ(failsWith("UniquenessConstraint", [&] { map.add(sameName); }),
              (Names{u"treeNode.ChildAttributes.name", u"a"}));
    EXPECT_EQ(failsWith("UniquenessConstraint", [&] { map.add(sameIndex); }),
              (Names{u"treeNode.ChildAttributes.indexOne", u"2"}));
    failsWith("UniquenessConstraint", [&] { generic.add(sameName); });
    failsWith("UniquenessConstraint", [&] { generic.add(sameIndex); });
    before.expectUnchanged();
    EXPECT_FALSE(sameName->getAttrsOfParent().get());

    // Out-of-range positions are a keyed error on both element-neutral collections.
    failsWith("InvalidValue", [&] { generic.get(generic.size()); });
    auto children = attrs->getChildrenMutable().generic();
    failsWith("InvalidValue", [&] { children.get(children.size()); });
    failsWith("InvalidValue", [&] { children.erase(children.size()); });
    failsWith("InvalidValue", [&] { children.replace(children.size(), childNamed(root, u"a")); });
    failsWith("InvalidValue", [&] { children.insert(children.size() + 1, childNamed(root, u"a")); });
    before.expectUnchanged();
}

TEST(Integrity, DestroyedElementsRefuseEveryEdit) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2)));
    TreeNode live = childNamed(root, u"a"), dead = childNamed(root, u"b");
    SignalAttributes signal = SignalAttributes::create(model, uuid());
    live->setSignalAttrs(signal);
    signal->setDataType(std::u16string(u"double"));
    ChildAttributes deadChild = dead->getChildAttrs();
    SignalAttributes deadSignal = SignalAttributes::create(model, uuid());
    deadSignal->setDataType(std::u16string(u"int8"));
    dead->destroy();
    deadSignal->destroy();
    ReportLog log(model);
    const Snapshot before(model, subtrees({root}));

    // The dead node would otherwise take the signal out of the live one.
    failsWith("CannotAddNonExistentObject", [&] { dead->setSignalAttrs(signal); });
    BlockAttributes::Builder block;
    failsWith("CannotAddNonExistentObject", [&] { dead->createIntoBlockAttrs(&block, uuid()); });
    failsWith("CannotAddNonExistentObject", [&] { deadSignal->setDataType(std::u16string(u"single")); });
    failsWith("CannotAddNonExistentObject",
              [&] { Reflection().set(deadSignal, schema::SignalAttributes::dims(), Value::ofString(u"2")); });
    failsWith("CannotAddNonExistentObject", [&] { deadChild->setName(u"c"); });
    failsWith("CannotAddNonExistentObject", [&] { deadChild->setParent(TreeNode()); });
    // Nor can a dead element be put into a live one.
    failsWith("CannotAddNonExistentObject", [&] { live->setSignalAttrs(deadSignal); });
    failsWith("CannotAddNonExistentObject", [&] { live->getChildAttrs()->setParent(dead); });
    before.expectUnchanged();
    EXPECT_TRUE(log.reports.empty());
    EXPECT_EQ(signal->container().get(), live.get());

    // Brought back by undo, the dead ones have the values they had.
    model->undo();
    model->undo();
    EXPECT_TRUE(deadSignal->getDataType() == boost::optional<std::u16string>(u"int8"));
    EXPECT_FALSE(dead->hasSignalAttrs());
    EXPECT_EQ(live->getSignalAttrs().get(), signal.get());
    EXPECT_EQ(childNames(root), (Names{u"a", u"b"}));
}

TEST(Integrity, SetParentIsOneStepAndOneReport) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1, parentOf()), childNode(u"b", 2)));
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b");
    const Snapshot before(model, subtrees({root}));
    ReportLog log(model);

    b->getChildAttrs()->setParent(a);
    EXPECT_EQ(model->undoStepCount(), before.undo + 1);
    EXPECT_EQ(log.reports.size(), 1u);
    EXPECT_EQ(childNames(a), (Names{u"b"}));
    EXPECT_EQ(b->getChildAttrs()->getParent().get(), a.get());
    // Asking again for the parent it has is no edit.
    b->getChildAttrs()->setParent(a);
    EXPECT_EQ(log.reports.size(), 1u);

    model->undo();
    EXPECT_EQ(describe(before.all), before.tree);
    EXPECT_EQ(b->getChildAttrs()->getParent().get(), root.get());
    EXPECT_EQ(childNamed(root, u"b").get(), b.get());

    // A listener that fails between the steps cannot leave half a move: there is no between.
    ::fenmo::ListenerToken thrower = model->addListener([](const ::fenmo::ChangeReport&) { throw 1; });
    b->getChildAttrs()->setParent(TreeNode());
    EXPECT_FALSE(b->getChildAttrs()->hasParent());
    EXPECT_EQ(childNames(root), (Names{u"a"}));
    EXPECT_FALSE(b->container().get());
    EXPECT_EQ(model->takeListenerErrors().size(), 1u);
}

TEST(Integrity, RefusedAndRolledBackCreationsLeaveNothingBehind) {
    Model model = Model::create(), other = Model::create();
    ChildAttributes::Builder childBuilder(model);
    ChildAttributes mine = childBuilder.setName(u"m").setIndexOne(1).createChildAttributes(uuid());
    ChildAttributes::Builder otherBuilder(other);
    ChildAttributes theirs = otherBuilder.setName(u"t").setIndexOne(2).createChildAttributes(uuid());
    ReportLog log(model);
    const Snapshot before(model, {mine});

    // Children from two models: the second is refused, and the first was never filed.
    ParentAttributes::Builder parent(model);
    parent.addAttrsOfChildren(mine).addAttrsOfChildren(theirs);
    const int references = mine->refCount();
    failsWith("CannotCreateCrossModelAssociation", [&] { parent.createParentAttributes(uuid()); });
    before.expectUnchanged();
    EXPECT_FALSE(mine->getAttrsOfParent().get());
    EXPECT_TRUE(log.reports.empty());
    EXPECT_EQ(mine->refCount(), references) << "the refused parent still holds the child";

    // A parent with children created in a transaction that is rolled back: the subtree is freed
    // (the handle kept here is the only reference left).
    TreeNode kept;
    {
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        TreeNode root = createRoot(model, parentOf(childNode(u"x", 1), childNode(u"y", 2)));
        kept = childNamed(root, u"y");
    }
    before.expectUnchanged();
    EXPECT_FALSE(kept);
    EXPECT_EQ(kept->refCount(), 1);
    EXPECT_FALSE(kept->getChildAttrs().get());

    // A builder refused for a taken key rolls back the same way.
    TreeNode root = createRoot(model, parentOf(childNode(u"x", 1)));
    auto clash = childNode(u"x", 2);
    clash->setModel(model);
    ParentAttributes attrs = root->getParentAttrs();
    failsWith("UniquenessConstraint", [&] { attrs->createIntoChildren(clash.get(), uuid()); });
    EXPECT_EQ(childNames(root), (Names{u"x"}));
}

// Inside a transaction the host keeps open, a refused edit made of several operations (each of which
// files, adds or creates something) takes back everything it did and nothing the host did before it;
// the host's commit is one undo step that takes all of its own edits back.
TEST(Integrity, ARefusalInsideAnOpenTransactionTakesBackItsOwnPartsOnly) {
    Model model = Model::create();
    TreeNode root = createRoot(
        model, parentOf(childNode(u"a", 1, parentOf(childNode(u"a1", 5, parentOf()))), childNode(u"b", 2)));
    TreeNode a = childNamed(root, u"a"), a1 = childNamed(a, u"a1"), b = childNamed(root, u"b");
    const Snapshot before(model, subtrees({root}));
    ReportLog log(model);
    {
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        b->getChildAttrs()->setName(u"renamed");
        const Snapshot renamed(model, before.all);
        // The move files `a` in a1's map first; adding `a` under its own descendant is refused after.
        failsWith("InvalidValue", [&] { a->getChildAttrs()->setParent(a1); });
        // A node created into the children, then refused by the map for a taken index.
        auto clash = childNode(u"c", 2);
        failsWith("UniquenessConstraint",
                  [&] { root->getParentAttrs()->createIntoChildren(clash.get(), uuid()); });
        // Renaming to a taken name is refused before anything moves.
        failsWith("UniquenessConstraint", [&] { b->getChildAttrs()->setName(u"a"); });
        renamed.expectUnchanged();
        EXPECT_FALSE(a1->getParentAttrs()->findChildByName(u"a"));
        EXPECT_EQ(childNamed(root, u"renamed").get(), b.get());
        transaction.commit();
    }
    EXPECT_EQ(log.reports.size(), 1u);
    EXPECT_EQ(model->undoStepCount(), before.undo + 1);
    model->undo();
    EXPECT_EQ(describe(before.all), before.tree);
    EXPECT_EQ(childNamed(root, u"b").get(), b.get());
    EXPECT_FALSE(childNamed(root, u"renamed"));
    model->redo();
    EXPECT_EQ(childNames(root), (Names{u"a", u"renamed"}));
    EXPECT_EQ(a->getChildAttrs()->getParent().get(), root.get());
    EXPECT_TRUE(childNames(a1).empty());

    // An orchestration of builders that the host holds open is a level that operations never join
    // either: the same refused move leaves nothing behind inside it.
    const Snapshot redone(model, before.all);
    {
        TreeNode::Builder holder(model);
        ::fenmo::ModelElement::Builder::Orchestrator orchestration(holder);
        failsWith("InvalidValue", [&] { a->getChildAttrs()->setParent(a1); });
        EXPECT_FALSE(a1->getParentAttrs()->findChildByName(u"a"));
        orchestration.commit();
    }
    redone.expectUnchanged();
}

}  // namespace
}  // namespace treetest
