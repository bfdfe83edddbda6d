// What the registered types offer reflective code: the collection object built for a multi-valued property
// (only ParentAttributes.children and BlockAttributes.tavBlocks get one), and the invokers of
// ParentAttributes' operations addChild and removeChild.

#include "MetaTestSupport.hpp"

#include <fenmo/ElementSequence.hpp>
#include <fenmo/PrimitiveSet.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/CollectionInstantiator.hpp>
#include <fenmo/meta/Operation.hpp>

#include <memory>

using namespace arvelle_test;

namespace {

TEST(CollectionInstantiators, OnlyChildrenAndTavBlocksGetACollection) {
    ::fenmo::Model model = ::fenmo::Model::create();
    int checked = 0;
    for (const ::fenmo::ModelElement& element : schema::treeNodePackage()->getContents()) {
        const meta::Class cls = ::fenmo::handleCast<meta::Class>(element);
        if (!cls.get()) continue;
        const ::fenmo::ModelElement owner = cls->instantiateBuilder(model)->create(::fenmo::uuid{});
        for (const meta::Property& p : cls->getProperties()) {
            SCOPED_TRACE(u8(cls->getName()) + "." + u8(p->getName()));
            ++checked;
            const auto* instantiator = p->getType()->getCollectionInstantiator();
            std::unique_ptr<::fenmo::AbstractCollection> collection(
                instantiator ? instantiator->instantiate(*owner.get(), p) : nullptr);
            if (p == schema::ParentAttributes::children()) {
                EXPECT_NE(dynamic_cast<::fenmo::ElementSequence<tn::TreeNode>*>(collection.get()), nullptr);
            } else if (p == schema::BlockAttributes::tavBlocks()) {
                EXPECT_NE(dynamic_cast<::fenmo::PrimitiveSet<TAVBlock*>*>(collection.get()), nullptr);
            } else {
                // Single-valued properties get none, the block pointers of PropagationAttributes included.
                EXPECT_EQ(collection, nullptr);
            }
            if (auto* owned = dynamic_cast<::fenmo::AbstractOwnedCollection*>(collection.get())) {
                EXPECT_EQ(owned->ownerElement(), owner);
                EXPECT_EQ(owned->propertyHandle(), p);
            }
        }
    }
    EXPECT_EQ(checked, 59);
}

TEST(Invokers, AddAndRemoveChildAndWhatTheyRefuse) {
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::ParentAttributes parent = tn::ParentAttributes::create(model, ::fenmo::uuid{});
    tn::TreeNode node = tn::TreeNode::create(model, ::fenmo::uuid{});
    tn::ChildAttributes otherClass = tn::ChildAttributes::create(model, ::fenmo::uuid{});
    const ::fenmo::Value child = ::fenmo::Value::ofElement(node);
    auto children = [&] {
        return std::vector<tn::TreeNode>(parent->getChildren().begin(), parent->getChildren().end());
    };
    const meta::AbstractMethodInvoker& add = *schema::ParentAttributes::addChild()->getInvoker();
    const meta::AbstractMethodInvoker& remove = *schema::ParentAttributes::removeChild()->getInvoker();

    for (const meta::AbstractMethodInvoker* invoker : {&add, &remove}) {
        for (const auto& arguments :
             {std::vector<::fenmo::Value>{}, std::vector<::fenmo::Value>{child, child}})
            expectMessage([&] { invoker->invoke(parent, arguments); }, "InvalidValue");
        // A target of another class: a tree node holds parent attributes but is not one.
        for (const ::fenmo::ModelElement& target :
             {::fenmo::ModelElement(node), ::fenmo::ModelElement(otherClass)})
            expectMessage([&] { invoker->invoke(target, {child}); }, "InvalidValue");
        expectMessage([&] { invoker->invoke(parent, {::fenmo::Value::ofString(u"a")}); },
                      "CannotCastIncompatibleTypes");
        // None of the refused calls changed anything.
        EXPECT_TRUE(children().empty());
        EXPECT_FALSE(node->container());
    }

    EXPECT_FALSE(add.invoke(parent, {child}).has_value());
    EXPECT_EQ(children(), std::vector<tn::TreeNode>{node});
    EXPECT_EQ(node->container(), parent) << "children is a containment";
    expectMessage([&] { remove.invoke(parent, {}); }, "InvalidValue");
    EXPECT_EQ(children(), std::vector<tn::TreeNode>{node});
    EXPECT_FALSE(remove.invoke(parent, {child}).has_value());
    EXPECT_TRUE(children().empty());
}

}  // namespace
