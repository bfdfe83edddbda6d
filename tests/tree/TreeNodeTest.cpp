// TreeNode: creation with nested attribute builders, the containment slots, the derived isInherited,
// reflective access, and destruction of what a node contains.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

std::u16string text(const boost::optional<std::u16string>& value) {
    return value ? *value : u"<none>";
}

TEST(TreeNodeRequest, BuildEditUndoAndDestroyEndToEnd) {
    Model model = Model::create();
    ReportLog reports(model);

    auto signal = std::make_unique<SignalAttributes::Builder>();
    signal->setDataType(std::u16string(u"double"));
    TreeNode::Builder builder(model);
    builder.setSignalAttrs(std::move(signal));
    const uuid id = ::fenmo::newUuid();
    TreeNode node = builder.createTreeNode(id);

    // One orchestration, one commit: both elements in one report, one undo step.
    ASSERT_TRUE(node);
    EXPECT_EQ(node->getUuid(), id);
    EXPECT_EQ(model->findElement(id).get(), node.get());
    SignalAttributes attrs = node->getSignalAttrs();
    ASSERT_TRUE(attrs);
    EXPECT_EQ(text(attrs->getDataType()), u"double");
    EXPECT_EQ(attrs->container().get(), node.get());
    EXPECT_EQ(attrs->containingProperty().get(), schema::TreeNode::signalAttrs().get());
    EXPECT_FALSE(node->hasParentAttrs());
    EXPECT_FALSE(node->hasChildAttrs());
    EXPECT_FALSE(node->getIsInherited());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.last().created().size(), 2u);
    EXPECT_TRUE(reports.last().modified().empty());
    EXPECT_EQ(model->undoStepCount(), 1u);
    EXPECT_EQ(model->elementCount(), 2u);

    // The setter: one transaction, the old and new values reported; setting the same value does nothing.
    attrs->setDataType(std::u16string(u"single"));
    ASSERT_EQ(reports.size(), 2u);
    ASSERT_EQ(reports.last().modified().size(), 1u);
    const ::fenmo::ElementChange& change = reports.last().modified().front();
    EXPECT_EQ(change.element.get(), attrs.get());
    ASSERT_EQ(change.properties.size(), 1u);
    EXPECT_EQ(change.properties[0].property.get(), schema::SignalAttributes::dataType().get());
    EXPECT_EQ(change.properties[0].oldValue.getString(), u"double");
    EXPECT_EQ(change.properties[0].newValue.getString(), u"single");
    attrs->setDataType(std::u16string(u"single"));
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(model->undoStepCount(), 2u);

    model->undo();
    EXPECT_EQ(text(attrs->getDataType()), u"double");
    model->redo();
    EXPECT_EQ(text(attrs->getDataType()), u"single");
    model->undo();
    EXPECT_EQ(text(attrs->getDataType()), u"double");

    // Undoing the creation takes both away; redoing brings the node back with its attributes contained.
    model->undo();
    EXPECT_FALSE(node);
    EXPECT_FALSE(attrs);
    EXPECT_EQ(model->elementCount(), 0u);
    model->redo();
    ASSERT_TRUE(node);
    ASSERT_TRUE(attrs);
    EXPECT_EQ(node->getSignalAttrs().get(), attrs.get());
    EXPECT_EQ(attrs->container().get(), node.get());
    EXPECT_EQ(text(attrs->getDataType()), u"double");

    // Destruction: the attribute objects go first, in index order, then the node.
    ParentAttributes parent = ParentAttributes::create(model, uuid());
    PlatformAttributes platform = PlatformAttributes::create(model, uuid());
    node->setPlatformAttrs(platform);
    node->setParentAttrs(parent);
    const std::size_t before = reports.size();
    {
        InvalidationLog log;
        node->destroy();
        ASSERT_EQ(log.order().size(), 4u);
        EXPECT_EQ(log.positionOf(parent), 0);
        EXPECT_EQ(log.positionOf(attrs), 1);
        EXPECT_EQ(log.positionOf(platform), 2);
        EXPECT_EQ(log.positionOf(node), 3);
    }
    EXPECT_FALSE(node);
    EXPECT_FALSE(parent);
    EXPECT_FALSE(attrs);
    EXPECT_FALSE(platform);
    EXPECT_EQ(model->elementCount(), 0u);
    ASSERT_EQ(reports.size(), before + 1);
    EXPECT_EQ(reports.last().destroyed().size(), 4u);

    // One undo step brings all four back, contained as before.
    model->undo();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->getParentAttrs().get(), parent.get());
    EXPECT_EQ(node->getSignalAttrs().get(), attrs.get());
    EXPECT_EQ(node->getPlatformAttrs().get(), platform.get());
    EXPECT_EQ(parent->container().get(), node.get());
    EXPECT_EQ(attrs->container().get(), node.get());
    EXPECT_EQ(platform->container().get(), node.get());
    EXPECT_EQ(model->elementCount(), 4u);
}

TEST(TreeNodeSlots, ReplacingMovingAndEmptyingKeepTheOldElementAlive) {
    Model model = Model::create();
    TreeNode node = TreeNode::create(model, uuid());
    TreeNode other = TreeNode::create(model, uuid());
    BlockAttributes first = BlockAttributes::create(model, uuid());
    BlockAttributes second = BlockAttributes::create(model, uuid());

    node->setBlockAttrs(first);
    const std::size_t steps = model->undoStepCount();
    node->setBlockAttrs(first);
    EXPECT_EQ(model->undoStepCount(), steps) << "setting the held element again must change nothing";

    node->setBlockAttrs(second);
    EXPECT_TRUE(first) << "a replaced attribute object is uncontained, not destroyed";
    EXPECT_FALSE(first->container().get());
    EXPECT_EQ(second->container().get(), node.get());
    EXPECT_EQ(node->getBlockAttrs().get(), second.get());

    // Containing an element elsewhere moves it out of its first container.
    other->setBlockAttrs(second);
    EXPECT_FALSE(node->hasBlockAttrs());
    EXPECT_EQ(second->container().get(), other.get());

    model->undo();
    EXPECT_EQ(node->getBlockAttrs().get(), second.get());
    EXPECT_FALSE(other->hasBlockAttrs());
    EXPECT_EQ(second->container().get(), node.get());
    model->undo();
    EXPECT_EQ(node->getBlockAttrs().get(), first.get());
    EXPECT_EQ(first->container().get(), node.get());
    EXPECT_FALSE(second->container().get());

    // An empty handle empties the slot and releases the element.
    ParentAttributes parent = ParentAttributes::create(model, uuid());
    node->setParentAttrs(parent);
    node->setParentAttrs(ParentAttributes());
    EXPECT_FALSE(node->hasParentAttrs());
    EXPECT_FALSE(node->getParentAttrs().get());
    EXPECT_TRUE(parent);
    EXPECT_FALSE(parent->container().get());

    // createInto puts a new element with the caller's identity into the slot, as one step.
    const std::size_t beforeCreate = model->undoStepCount();
    SignalAttributes::Builder signal;
    signal.setDataType(std::u16string(u"int8"));
    const uuid id = ::fenmo::newUuid();
    SignalAttributes created = node->createIntoSignalAttrs(&signal, id);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->getUuid(), id);
    EXPECT_EQ(node->getSignalAttrs().get(), created.get());
    EXPECT_EQ(created->container().get(), node.get());
    EXPECT_EQ(model->undoStepCount(), beforeCreate + 1);
    model->undo();
    EXPECT_FALSE(created);
    EXPECT_FALSE(node->hasSignalAttrs());
}

TEST(TreeNodeSlots, IsInheritedFollowsInheritedParentAttrsAndIsReadOnly) {
    Model model = Model::create();
    TreeNode node = TreeNode::create(model, uuid());
    ParentAttributes inherited = ParentAttributes::create(model, uuid());
    ChildAttributes child = ChildAttributes::create(model, uuid());
    const ::fenmo::meta::Property& isInherited = schema::TreeNode::isInherited();
    const ::fenmo::meta::Property& slot = schema::TreeNode::inheritedParentAttrs();
    const ReflectionPrivateTag& tag = ReflectionPrivateTag::standard();

    EXPECT_FALSE(node->getIsInherited());
    EXPECT_TRUE(node->hasPropertyValue(isInherited, tag));
    EXPECT_FALSE(node->getPropertyValue(isInherited, tag).getBoolean());

    node->setInheritedParentAttrs(inherited);
    EXPECT_TRUE(node->getIsInherited());
    EXPECT_TRUE(node->hasPropertyValue(isInherited, tag));
    EXPECT_TRUE(node->getPropertyValue(isInherited, tag).getBoolean());
    EXPECT_EQ(inherited->container().get(), node.get());

    // Writing the derived property is refused whatever the value; nothing changes.
    const std::size_t steps = model->undoStepCount();
    for (const Value& value : {Value::ofBoolean(false), Value::ofBoolean(true)}) {
        auto arguments = failsWith("CannotSetReadOnlyProperty", [&] {
            node->setPropertyValue(isInherited, value, ReflectionPrivateTag::privileged());
        });
        EXPECT_EQ(arguments, std::vector<std::u16string>{u"treeNode.TreeNode.isInherited"});
    }
    EXPECT_TRUE(node->getIsInherited());
    EXPECT_EQ(model->undoStepCount(), steps);

    // The slot takes a ParentAttributes value and refuses a ChildAttributes one, keeping what it held.
    ParentAttributes replacement = ParentAttributes::create(model, uuid());
    failsWith("CannotCastIncompatibleTypes",
              [&] { node->setPropertyValue(slot, Value::ofElement(child), tag); });
    EXPECT_EQ(node->getInheritedParentAttrs().get(), inherited.get());
    EXPECT_FALSE(child->container().get());
    node->setPropertyValue(slot, Value::ofElement(replacement), tag);
    EXPECT_EQ(node->getInheritedParentAttrs().get(), replacement.get());
    EXPECT_EQ(replacement->container().get(), node.get());
    EXPECT_FALSE(inherited->container().get());
    EXPECT_EQ(node->getPropertyValue(slot, tag).getElement().get(), replacement.get());

    // An empty value of the slot's type empties it.
    node->setPropertyValue(slot, Value(ParentAttributes::metaClass(), boost::none), tag);
    EXPECT_FALSE(node->getIsInherited());
    EXPECT_TRUE(node->hasPropertyValue(isInherited, tag));
    EXPECT_FALSE(node->hasPropertyValue(slot, tag));
    EXPECT_FALSE(node->getPropertyValue(slot, tag).hasPayload());

    node->setInheritedParentAttrs(inherited);
    EXPECT_TRUE(node->getIsInherited());
    node->setInheritedParentAttrs(ParentAttributes());
    EXPECT_FALSE(node->getIsInherited());
    model->undo();
    EXPECT_TRUE(node->getIsInherited());
    EXPECT_EQ(node->getInheritedParentAttrs().get(), inherited.get());
}

TEST(TreeNodeSlots, PropertiesByIndexAreTheTenSlotsInOrder) {
    Model model = Model::create();
    TreeNode node = TreeNode::create(model, uuid());
    const std::vector<const ::fenmo::meta::Property*> slots = {&schema::TreeNode::parentAttrs(),
                                                               &schema::TreeNode::childAttrs(),
                                                               &schema::TreeNode::signalAttrs(),
                                                               &schema::TreeNode::busTypeRootAttrs(),
                                                               &schema::TreeNode::busTypeElementAttrs(),
                                                               &schema::TreeNode::blockAttrs(),
                                                               &schema::TreeNode::propAttrs(),
                                                               &schema::TreeNode::msgQueueAttrs(),
                                                               &schema::TreeNode::inheritedParentAttrs(),
                                                               &schema::TreeNode::platformAttrs()};
    for (std::size_t i = 1; i <= slots.size(); ++i) {
        EXPECT_EQ(node->getPropertyByIndex(i).get(), slots[i - 1]->get()) << "index " << i;
        EXPECT_NE(node->getPropertyByIndex(i).get(), schema::TreeNode::isInherited().get());
    }
    failsWith("InvalidValue", [&] { node->getPropertyByIndex(11); });
}

}  // namespace
}  // namespace treetest
