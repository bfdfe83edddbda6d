// TreeNode: creation with a nested attribute builder, the containment slots, the derived isInherited, and
// destruction of what a node contains.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

// Records the elements invalidated while it lives, in order.
struct InvalidationLog {
    InvalidationLog() : previous(::fenmo::ElementImpl::m_callback.exchange(&record)) { entries().clear(); }
    ~InvalidationLog() { ::fenmo::ElementImpl::m_callback.store(previous); }
    static std::vector<const ::fenmo::ElementImpl*>& entries() {
        static std::vector<const ::fenmo::ElementImpl*> log;
        return log;
    }
    static void record(::fenmo::ElementImpl& element, ::fenmo::AbstractCollection* collection) {
        if (!collection) entries().push_back(&element);
    }
    ::fenmo::ElementImpl::Callback previous;
};

TEST(TreeNode, BuildEditUndoAndDestroy) {
    Model model = Model::create();
    ReportLog log(model);
    auto signal = std::make_unique<SignalAttributes::Builder>();
    signal->setDataType(std::u16string(u"double"));
    TreeNode::Builder builder(model);
    builder.setSignalAttrs(std::move(signal));
    TreeNode node = builder.createTreeNode(uuid());

    // One orchestration, one commit: both elements in one report, one undo step.
    SignalAttributes attrs = node->getSignalAttrs();
    ASSERT_TRUE(attrs);
    EXPECT_EQ(attrs->container().get(), node.get());
    ASSERT_EQ(log.reports.size(), 1u);
    EXPECT_EQ(log.reports.back().created().size(), 2u);
    EXPECT_EQ(model->undoStepCount(), 1u);

    attrs->setDataType(std::u16string(u"single"));
    ASSERT_EQ(log.reports.size(), 2u);
    ASSERT_EQ(log.reports.back().modified().size(), 1u);
    EXPECT_EQ(log.reports.back().modified()[0].properties.at(0).oldValue.getString(), u"double");
    model->undo();
    EXPECT_EQ(attrs->getDataType().value_or(u""), u"double");
    model->redo();
    EXPECT_EQ(attrs->getDataType().value_or(u""), u"single");

    // Destruction: the attribute objects first, in index order, then the node; one step to undo.
    ParentAttributes parent = ParentAttributes::create(model, uuid());
    PlatformAttributes platform = PlatformAttributes::create(model, uuid());
    node->setPlatformAttrs(platform);
    node->setParentAttrs(parent);
    const std::vector<ModelElement> all = subtrees({node});
    const std::string before = describe(all);
    {
        InvalidationLog invalidated;
        node->destroy();
        EXPECT_EQ(InvalidationLog::entries(), (std::vector<const ::fenmo::ElementImpl*>{
                                                  parent.get(), attrs.get(), platform.get(), node.get()}));
    }
    EXPECT_EQ(log.reports.back().destroyed().size(), 4u);
    model->undo();
    EXPECT_EQ(describe(all), before);
}

TEST(TreeNode, SlotsReplaceAndEmptyWithoutDestroyingAndIsInheritedIsDerived) {
    Model model = Model::create();
    TreeNode node = TreeNode::create(model, uuid());
    BlockAttributes first = BlockAttributes::create(model, uuid());
    BlockAttributes second = BlockAttributes::create(model, uuid());
    node->setBlockAttrs(first);
    node->setBlockAttrs(second);
    EXPECT_TRUE(first) << "a replaced attribute object is uncontained, not destroyed";
    EXPECT_FALSE(first->container().get());
    EXPECT_EQ(second->container().get(), node.get());
    model->undo();
    EXPECT_EQ(node->getBlockAttrs().get(), first.get());
    EXPECT_EQ(first->container().get(), node.get());
    EXPECT_FALSE(second->container().get());
    node->setBlockAttrs(BlockAttributes());
    EXPECT_FALSE(node->hasBlockAttrs());
    EXPECT_TRUE(first);
    EXPECT_FALSE(first->container().get());

    // isInherited answers whether inheritedParentAttrs holds something, and cannot be written.
    const ::fenmo::meta::Property& isInherited = schema::TreeNode::isInherited();
    ParentAttributes inherited = ParentAttributes::create(model, uuid());
    EXPECT_FALSE(node->getIsInherited());
    node->setInheritedParentAttrs(inherited);
    EXPECT_TRUE(node->getIsInherited());
    EXPECT_TRUE(Reflection().get(node, isInherited).getBoolean());
    const std::size_t steps = model->undoStepCount();
    for (bool value : {false, true}) {
        Names arguments = failsWith("CannotSetReadOnlyProperty", [&] {
            Reflection(Access::Privileged).set(node, isInherited, Value::ofBoolean(value));
        });
        EXPECT_EQ(arguments, Names{u"treeNode.TreeNode.isInherited"});
    }
    EXPECT_TRUE(node->getIsInherited());
    EXPECT_EQ(model->undoStepCount(), steps);
    node->setInheritedParentAttrs(ParentAttributes());
    EXPECT_FALSE(node->getIsInherited());
    model->undo();
    EXPECT_TRUE(node->getIsInherited());
}

}  // namespace
}  // namespace treetest
