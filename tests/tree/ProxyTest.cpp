// References into another model held as proxies: a node's slot and a child's attrsOfParent resolve to the
// real element once its model is open and holds it, and not before.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

const ReflectionPrivateTag& unresolved() {
    return ReflectionPrivateTag::unresolved();
}

TEST(Proxies, NodeSlotResolvesOnceTheTargetModelIsOpen) {
    Model model = Model::create();
    const uuid targetModelId = ::fenmo::newUuid();
    const uuid targetId = ::fenmo::newUuid();
    TreeNode node = TreeNode::create(model, uuid());
    SignalAttributes proxy = ::fenmo::handleCast<SignalAttributes>(
        model->createProxy(SignalAttributes::metaClass(), ProxyId(targetId, targetModelId)));
    ASSERT_TRUE(proxy);
    node->setSignalAttrs(proxy);

    // The target model is not open: reads keep answering the proxy.
    SignalAttributes read = node->getSignalAttrs();
    EXPECT_EQ(read.get(), proxy.get());
    EXPECT_TRUE(read->isProxy());
    EXPECT_EQ(read->getUuid(), targetId);

    // Open, but without the element: still the proxy.
    Model target = Model::create(targetModelId);
    EXPECT_EQ(node->getSignalAttrs().get(), proxy.get());

    SignalAttributes real = SignalAttributes::create(target, targetId);
    real->setDataType(std::u16string(u"boolean"));
    // A read that does not resolve leaves the proxy in place.
    EXPECT_EQ(node->getPropertyValue(schema::TreeNode::signalAttrs(), unresolved()).getElement().get(),
              proxy.get());
    read = node->getSignalAttrs();
    EXPECT_EQ(read.get(), real.get());
    EXPECT_FALSE(read->isProxy());
    ASSERT_TRUE(read->getDataType());
    EXPECT_EQ(*read->getDataType(), u"boolean");
    // The slot now holds the real element, also for reads that do not resolve.
    EXPECT_EQ(node->getPropertyValue(schema::TreeNode::signalAttrs(), unresolved()).getElement().get(),
              real.get());

    // When the other model closes, its element becomes invalid and the slot lets go of it on read.
    real.reset();
    read.reset();
    target = Model();
    EXPECT_FALSE(node->getSignalAttrs().get());
    EXPECT_FALSE(node->hasSignalAttrs());
}

TEST(Proxies, AttrsOfParentResolvesOnceTheParentsModelIsOpen) {
    Model model = Model::create();
    const uuid parentModelId = ::fenmo::newUuid();
    const uuid parentId = ::fenmo::newUuid();
    ChildAttributes::Builder builder(model);
    ChildAttributes child = builder.setName(u"x").setIndexOne(1).createChildAttributes(uuid());
    ParentAttributes proxy = ::fenmo::handleCast<ParentAttributes>(
        model->createProxy(ParentAttributes::metaClass(), ProxyId(parentId, parentModelId)));
    ASSERT_TRUE(proxy);
    {
        // What a loader does when it meets a reference into another model.
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        child->basicAssociate(proxy, schema::ChildAttributes::attrsOfParent());
        transaction.commit(boost::none);
    }

    EXPECT_EQ(child->getAttrsOfParent().get(), proxy.get());
    EXPECT_TRUE(child->getAttrsOfParent()->isProxy());
    EXPECT_FALSE(child->hasParent());
    EXPECT_FALSE(child->getParent().get());

    // The parent's model opens with the parent, but the parent does not list this child: no resolution.
    Model parentModel = Model::create(parentModelId);
    TreeNode parentNode = TreeNode::create(parentModel, uuid());
    ParentAttributes real = ParentAttributes::create(parentModel, parentId);
    parentNode->setParentAttrs(real);
    EXPECT_EQ(child->getAttrsOfParent().get(), proxy.get());

    // Once the parent's map holds (a proxy of) this child, the reference resolves to the real parent.
    ChildAttributes childProxy = ::fenmo::handleCast<ChildAttributes>(
        parentModel->createProxy(ChildAttributes::metaClass(), ProxyId(child->getUuid(), model->getId())));
    real->getAttrsOfChildrenMutable().add(childProxy);
    EXPECT_EQ(
        child->getPropertyValue(schema::ChildAttributes::attrsOfParent(), unresolved()).getElement().get(),
        proxy.get());
    ParentAttributes resolved = child->getAttrsOfParent();
    EXPECT_EQ(resolved.get(), real.get());
    EXPECT_FALSE(resolved->isProxy());
    EXPECT_TRUE(child->hasParent());
    EXPECT_EQ(child->getParent().get(), parentNode.get());
    EXPECT_EQ(
        child->getPropertyValue(schema::ChildAttributes::attrsOfParent(), unresolved()).getElement().get(),
        real.get());
}

TEST(Proxies, ProxiesRefuseEditsAndRollBackWhatWasCreatedForThem) {
    Model model = Model::create();
    ParentAttributes parent = ParentAttributes::create(model, uuid());
    auto proxyOf = [&](const ::fenmo::meta::Class& metaClass) {
        return model->createProxy(metaClass, ProxyId(::fenmo::newUuid()));
    };
    ChildAttributes child = ::fenmo::handleCast<ChildAttributes>(proxyOf(ChildAttributes::metaClass()));
    ParentAttributes parentProxy =
        ::fenmo::handleCast<ParentAttributes>(proxyOf(ParentAttributes::metaClass()));
    TreeNode node = ::fenmo::handleCast<TreeNode>(proxyOf(TreeNode::metaClass()));
    ASSERT_TRUE(child && parentProxy && node);
    const std::size_t elements = model->elementCount();
    const std::size_t steps = model->undoStepCount();

    failsWith("CannotModifyProxy", [&] { child->setName(u"n"); });
    failsWith("CannotModifyProxy", [&] { child->setIndexOne(3); });
    failsWith("CannotModifyProxy", [&] { child->setAttrsOfParent(parent); });
    failsWith("CannotModifyProxy", [&] { parentProxy->getChildren(); });
    failsWith("CannotModifyProxy", [&] { parentProxy->getAttrsOfChildrenMutable(); });
    SignalAttributes signal = SignalAttributes::create(model, uuid());
    const std::size_t withSignal = model->elementCount();
    failsWith("CannotModifyProxy", [&] { node->setSignalAttrs(signal); });
    EXPECT_FALSE(signal->container().get());

    // Creating into a proxy is refused after the creation, which is then undone.
    const uuid id = ::fenmo::newUuid();
    auto builder = childNode(u"c", 1);
    failsWith("CannotModifyProxy", [&] { parentProxy->createIntoChildren(builder.get(), id); });
    EXPECT_FALSE(model->findElement(id).get());
    SignalAttributes::Builder signalBuilder;
    const uuid signalId = ::fenmo::newUuid();
    failsWith("CannotModifyProxy", [&] { node->createIntoSignalAttrs(&signalBuilder, signalId); });
    EXPECT_FALSE(model->findElement(signalId).get());

    EXPECT_EQ(model->elementCount(), withSignal);
    EXPECT_EQ(withSignal, elements + 1);
    EXPECT_EQ(model->undoStepCount(), steps + 1);
    EXPECT_EQ(child->getName(), u"");
    EXPECT_TRUE(parent->getAttrsOfChildren().empty());
}

}  // namespace
}  // namespace treetest
