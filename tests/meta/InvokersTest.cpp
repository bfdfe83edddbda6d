// Reflective calls of ParentAttributes' operations addChild and removeChild through their invokers.

#include "MetaTestSupport.hpp"

#include <arvelle/MetaPackageArvelle.hpp>
#include <arvelle/treeNode/All.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/Value.hpp>

#include <gtest/gtest.h>

using namespace arvelle_test;
namespace schema = tav::fenmo::treeNode::schema;
namespace tn = tav::fenmo::treeNode;

namespace {

class Invokers : public ::testing::Test {
protected:
    void SetUp() override {
        parent = tn::ParentAttributes::create(model, ::fenmo::uuid{});
        node = tn::TreeNode::create(model, ::fenmo::uuid{});
        node->setChildAttrs(
            tn::ChildAttributes::Builder(model).setName(u"a").setIndexOne(1).createChildAttributes(
                ::fenmo::uuid{}));
        ASSERT_TRUE(parent);
        ASSERT_TRUE(node);
    }

    static const meta::AbstractMethodInvoker& invoker(const meta::Operation& operation) {
        const meta::AbstractMethodInvoker* found = operation->getInvoker();
        if (!found) throw std::logic_error("no invoker for " + u8(operation->getName()));
        return *found;
    }

    // Invokes `operation`, expecting the message key `key` of catalog "fenmo:messages".
    static void expectFailure(const meta::Operation& operation, const ::fenmo::ModelElement& target,
                              const std::vector<::fenmo::Value>& arguments, const std::string& key) {
        try {
            invoker(operation).invoke(target, arguments);
            ADD_FAILURE() << u8(operation->getName()) << ": expected " << key;
        } catch (const ::fenmo::MessageIdException& e) {
            EXPECT_EQ(e.catalog(), "fenmo:messages") << u8(operation->getName());
            EXPECT_EQ(e.key(), key) << u8(operation->getName());
        }
    }

    std::vector<tn::TreeNode> children() const {
        const auto& sequence = parent->getChildren();
        return {sequence.begin(), sequence.end()};
    }

    ::fenmo::Model model = ::fenmo::Model::create();
    tn::ParentAttributes parent;
    tn::TreeNode node;
};

TEST_F(Invokers, AddChildAndRemoveChildCallTheirOwnOperation) {
    const ::fenmo::Value child = ::fenmo::Value::ofElement(node);
    EXPECT_FALSE(invoker(schema::ParentAttributes::addChild()).invoke(parent, {child}).has_value());
    EXPECT_EQ(children(), std::vector<tn::TreeNode>{node});
    EXPECT_EQ(node->container(), parent) << "children is a containment";

    EXPECT_FALSE(invoker(schema::ParentAttributes::removeChild()).invoke(parent, {child}).has_value());
    EXPECT_TRUE(children().empty());
}

TEST_F(Invokers, WrongArgumentCountOrTargetIsAnInvalidValue) {
    const ::fenmo::Value child = ::fenmo::Value::ofElement(node);
    tn::ChildAttributes otherClass = tn::ChildAttributes::create(model, ::fenmo::uuid{});
    for (const meta::Operation* operation :
         {&schema::ParentAttributes::addChild(), &schema::ParentAttributes::removeChild()}) {
        expectFailure(*operation, parent, {}, "InvalidValue");
        expectFailure(*operation, parent, {child, child}, "InvalidValue");
        // A target of another class: a tree node (which holds parent attributes) is not one.
        expectFailure(*operation, node, {child}, "InvalidValue");
        expectFailure(*operation, otherClass, {child}, "InvalidValue");
        expectFailure(*operation, ::fenmo::ModelElement(), {child}, "InvalidValue");
        // An argument that is not a tree node fails in its conversion.
        expectFailure(*operation, parent, {::fenmo::Value::ofElement(otherClass)},
                      "CannotCastIncompatibleTypes");
        expectFailure(*operation, parent, {::fenmo::Value::ofString(u"a")}, "CannotCastIncompatibleTypes");
    }
    // None of the failed calls changed anything.
    EXPECT_TRUE(children().empty());
    EXPECT_FALSE(node->container());

    // The invokers still work afterwards.
    invoker(schema::ParentAttributes::addChild()).invoke(parent, {child});
    EXPECT_EQ(children(), std::vector<tn::TreeNode>{node});
    expectFailure(schema::ParentAttributes::removeChild(), parent, {}, "InvalidValue");
    EXPECT_EQ(children(), std::vector<tn::TreeNode>{node});
}

}  // namespace
