// Collection instantiators: which collection object each registered type offers for a multi-valued
// property. Only ParentAttributes.children (a sequence of TreeNode) and BlockAttributes.tavBlocks (a set of
// block pointers) get one.

#include "MetaTestSupport.hpp"

#include <arvelle/MetaPackageArvelle.hpp>
#include <arvelle/treeNode/All.hpp>

#include <fenmo/ElementSequence.hpp>
#include <fenmo/PrimitiveSet.hpp>
#include <fenmo/meta/CollectionInstantiator.hpp>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace arvelle_test;
namespace schema = tav::fenmo::treeNode::schema;
namespace tn = tav::fenmo::treeNode;

namespace {

using Collection = std::unique_ptr<::fenmo::AbstractCollection>;

// A new element of `cls` in `model`, made through the class's registered builder factory.
::fenmo::ModelElement makeElement(const meta::Class& cls, const ::fenmo::Model& model) {
    std::unique_ptr<::fenmo::ModelElement::Builder> builder = cls->instantiateBuilder(model);
    return builder ? builder->create(::fenmo::uuid{}) : ::fenmo::ModelElement();
}

// What the instantiator of the property's type builds for `property` of `owner`.
Collection instantiate(const ::fenmo::ModelElement& owner, const meta::Property& property) {
    const meta::Type& type = property->getType();
    const meta::detail::CollectionInstantiator* instantiator =
        type.get() ? type->getCollectionInstantiator() : nullptr;
    return Collection(instantiator ? instantiator->instantiate(*owner.get(), property) : nullptr);
}

TEST(CollectionInstantiators, ChildrenGetAnElementSequenceOfTreeNodes) {
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::ParentAttributes parent = tn::ParentAttributes::create(model, ::fenmo::uuid{});
    ASSERT_TRUE(parent);
    Collection collection = instantiate(parent, schema::ParentAttributes::children());
    auto* sequence = dynamic_cast<::fenmo::ElementSequence<tn::TreeNode>*>(collection.get());
    ASSERT_NE(sequence, nullptr);
    EXPECT_EQ(sequence->ownerElement(), parent);
    EXPECT_EQ(sequence->propertyHandle(), schema::ParentAttributes::children());
    EXPECT_EQ(sequence->opposite(), nullptr) << "built with no opposite property";
    EXPECT_TRUE(sequence->isContainment());
    EXPECT_TRUE(sequence->empty());
    // Building the collection leaves the owner as it was.
    EXPECT_TRUE(parent->getChildren().empty());
}

TEST(CollectionInstantiators, TavBlocksGetAPrimitiveSetOfBlockPointers) {
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::BlockAttributes block = tn::BlockAttributes::create(model, ::fenmo::uuid{});
    ASSERT_TRUE(block);
    Collection collection = instantiate(block, schema::BlockAttributes::tavBlocks());
    auto* set = dynamic_cast<::fenmo::PrimitiveSet<TAVBlock*>*>(collection.get());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->ownerElement(), block);
    EXPECT_EQ(set->propertyHandle(), schema::BlockAttributes::tavBlocks());
    EXPECT_TRUE(set->empty());
    // A free-standing set of distinct pointers, ordered by address.
    set->_basicInsert(reinterpret_cast<TAVBlock*>(0x30));
    set->_basicInsert(reinterpret_cast<TAVBlock*>(0x10));
    set->_basicInsert(reinterpret_cast<TAVBlock*>(0x30));
    EXPECT_EQ(std::vector<TAVBlock*>(set->begin(), set->end()),
              (std::vector<TAVBlock*>{reinterpret_cast<TAVBlock*>(0x10), reinterpret_cast<TAVBlock*>(0x30)}));
}

TEST(CollectionInstantiators, NothingForAnyOtherProperty) {
    ::fenmo::Model model = ::fenmo::Model::create();
    int withCollection = 0, checked = 0;
    for (const Identity& identity : goldenIdentities()) {
        if (identity.kind != "class") continue;
        meta::Class cls =
            ::fenmo::handleCast<meta::Class>(registry().findElement(::fenmo::uuidFromLiteral(identity.id)));
        ASSERT_TRUE(cls) << identity.name;
        ::fenmo::ModelElement owner = makeElement(cls, model);
        ASSERT_TRUE(owner) << identity.name;
        for (const meta::Property& p : cls->getProperties()) {
            const std::string name = u8(cls->getName()) + "." + u8(p->getName());
            // Whether the set instantiator of block pointers serves single-valued properties is the
            // framework's choice; no single-valued property asks for a collection.
            if (p->getType() == schema::nativeTypes::TavBlockPtr() && !p->isMany()) continue;
            ++checked;
            Collection collection = instantiate(owner, p);
            if (name == "ParentAttributes.children" || name == "BlockAttributes.tavBlocks") {
                EXPECT_NE(collection, nullptr) << name;
                ++withCollection;
            } else {
                EXPECT_EQ(collection, nullptr) << name;
            }
        }
    }
    EXPECT_EQ(withCollection, 2);
    EXPECT_EQ(checked, 56);
}

TEST(CollectionInstantiators, OneInstantiatorPerRegisteredTypeAndNoQualifiedCollections) {
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::ParentAttributes owner = tn::ParentAttributes::create(model, ::fenmo::uuid{});
    int types = 0;
    for (const Identity& identity : goldenIdentities()) {
        if (identity.kind != "class" && identity.kind != "enum" && identity.kind != "primitive") continue;
        ++types;
        meta::Type type =
            ::fenmo::handleCast<meta::Type>(registry().findElement(::fenmo::uuidFromLiteral(identity.id)));
        ASSERT_TRUE(type) << identity.name;
        const meta::detail::CollectionInstantiator* instantiator = type->getCollectionInstantiator();
        ASSERT_NE(instantiator, nullptr) << identity.name;
        for (const meta::Property& p : schema::ParentAttributes::metaClass()->getProperties())
            EXPECT_EQ(Collection(instantiator->instantiateQualified(*owner.get(), p)), nullptr)
                << identity.name;
    }
    EXPECT_EQ(types, 22);
}

TEST(CollectionInstantiators, SequencesOnlyFromTheTwoElementTypesOfKindOne) {
    // A sequence property of each element type, declared in a scratch model: ChildAttributes and TreeNode
    // offer an ElementSequence of themselves; the other classes offer nothing, even for a sequence.
    ::fenmo::Model scratch = ::fenmo::Model::create();
    meta::Property sequence =
        meta::Property::create(scratch, ::fenmo::newUuid(), ::fenmo::ValueFlags::Sequence, false);
    meta::Property single =
        meta::Property::create(scratch, ::fenmo::newUuid(), ::fenmo::ValueFlags::Single, false);
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::ParentAttributes owner = tn::ParentAttributes::create(model, ::fenmo::uuid{});

    auto build = [&](const meta::Type& type, const meta::Property& property) {
        return Collection(type->getCollectionInstantiator()->instantiate(*owner.get(), property));
    };
    Collection children = build(schema::ChildAttributes::metaClass(), sequence);
    EXPECT_NE(dynamic_cast<::fenmo::ElementSequence<tn::ChildAttributes>*>(children.get()), nullptr);
    Collection nodes = build(schema::TreeNode::metaClass(), sequence);
    EXPECT_NE(dynamic_cast<::fenmo::ElementSequence<tn::TreeNode>*>(nodes.get()), nullptr);
    EXPECT_EQ(build(schema::ChildAttributes::metaClass(), single), nullptr);
    EXPECT_EQ(build(schema::TreeNode::metaClass(), single), nullptr);

    for (const meta::Class* cls :
         {&schema::BlockAttributes::metaClass(), &schema::BusTypeElementAttributes::metaClass(),
          &schema::BusTypeRootAttributes::metaClass(), &schema::MessageQueueAttributes::metaClass(),
          &schema::ParentAttributes::metaClass(), &schema::PlatformAttributes::metaClass(),
          &schema::PropagationAttributes::metaClass(), &schema::SignalAttributes::metaClass()})
        EXPECT_EQ(build(*cls, sequence), nullptr) << u8((*cls)->getName());
    for (const meta::Type* type : {static_cast<const meta::Type*>(&schema::Complexity::type()),
                                   static_cast<const meta::Type*>(&schema::Virtuality::type()),
                                   static_cast<const meta::Type*>(&schema::nativeTypes::TavPortPtr()),
                                   static_cast<const meta::Type*>(&schema::nativeTypes::VoidPtr())})
        EXPECT_EQ(build(*type, sequence), nullptr) << u8((*type)->getName());
}

}  // namespace
