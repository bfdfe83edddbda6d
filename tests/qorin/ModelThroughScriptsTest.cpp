// A small model built entirely through the embedding API, as a script would: objects constructed, every
// kind of property value set and read, collections walked and changed, static methods called, every
// refusal hit (with the model checked unchanged after it), everything dropped with nothing left bound.

#include "Support.hpp"

#include <arvelle/treeNode/ParentAttributes.hpp>
#include <arvelle/treeNode/TreeNode.hpp>
#include <fenmo/ModelImpl.hpp>

namespace qorin_test {
namespace {

using namespace plexo;
using fenmo_test::Node;
namespace fq = fenmo::qorin;

const char* const kId1 = "8f8b1f7e-0a55-4c1b-9e63-5a2f0c1d2e3f";
const char* const kId2 = "1c2d3e4f-5a6b-4c7d-8e9f-a0b1c2d3e4f5";

TEST_F(QorinTest, NodesAreBuiltEditedAndDroppedThroughScripts) {
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    ASSERT_TRUE(m);

    Array a = construct("fenmoTest.Node", {model.get()});
    Array b = construct("fenmoTest.Node", {model.get(), str(kId1).get()});
    EXPECT_TRUE(isClass(a.get(), "fenmoTest.Node"));
    EXPECT_TRUE(isA(a.get(), "fenmo.ModelElement"));
    EXPECT_EQ(text(getProperty(*b, "uuid")), u"8f8b1f7e-0a55-4c1b-9e63-5a2f0c1d2e3f");
    EXPECT_EQ(m->elementCount(), 2u);

    // Text, optional int32 and element values, set and read back.
    setProperty(*a, "text", *str("alpha"));
    EXPECT_EQ(text(getProperty(*a, "text")), u"alpha");
    setProperty(*a, "text", *str(""));
    EXPECT_EQ(text(getProperty(*a, "text")), u"");
    Array number = getProperty(*a, "number");
    EXPECT_TRUE(isClass(number.get(), "int32"));
    EXPECT_TRUE(isEmpty(number.get())) << "an unset optional int32 reads as 0x0";
    setProperty(*a, "number", *num(42));
    number = getProperty(*a, "number");
    ASSERT_EQ(number->numel(), 1u);
    EXPECT_EQ(number->int32s()[0], 42);
    setProperty(*a, "number", *emptyDouble());
    EXPECT_TRUE(isEmpty(getProperty(*a, "number").get())) << "an empty array unsets";

    Array noChild = getProperty(*a, "child");
    EXPECT_TRUE(isEmpty(noChild.get()));
    EXPECT_TRUE(isClass(noChild.get(), "fenmoTest.Node"));
    setProperty(*a, "child", *b);
    Array child = getProperty(*a, "child");
    EXPECT_TRUE(sameObject(*child, *b)) << "an element crossing again is the same scripting object";
    EXPECT_TRUE(sameObject(*one(call("getContainer", {b.get()})), *a));
    EXPECT_TRUE(getScalarDouble(*getProperty(*a, "hasChild")));

    // Reflective access through the marshalers of the property types.
    Array viaReflection = one(call("getPropertyValue", {a.get(), str("child").get()}));
    EXPECT_TRUE(sameObject(*viaReflection, *b));
    call("setPropertyValue", {b.get(), str("number").get(), num(7).get()}, 0);
    EXPECT_EQ(one(call("getPropertyValue", {b.get(), str("number").get()}))->int32s()[0], 7);
    call("setPropertyValue", {b.get(), str("number").get(), emptyDouble().get()}, 0);
    EXPECT_TRUE(isEmpty(getProperty(*b, "number").get()));

    // Found by identity: the same object again.
    Array found = one(call("findElement", {model.get(), str(kId1).get()}));
    EXPECT_TRUE(sameObject(*found, *b));
    EXPECT_TRUE(isEmpty(one(call("findElement", {model.get(), str(kId2).get()})).get()));

    // Static methods: the metaclass object, the same each time.
    Array metaClass = one(callStatic("fenmoTest.Node", "StaticMetaClass"));
    EXPECT_TRUE(isClass(metaClass.get(), "fenmo.meta.Class"));
    EXPECT_EQ(text(getProperty(*metaClass, "name")), u"Node");
    EXPECT_EQ(text(getProperty(*metaClass, "qualifiedName")), u"fenmoTest.Node");
    EXPECT_TRUE(sameObject(*metaClass, *one(callStatic("fenmoTest.Node", "StaticMetaClass"))));
    EXPECT_TRUE(sameObject(*metaClass, *one(call("getMetaClass", {a.get()}))));
    EXPECT_TRUE(isA(metaClass.get(), "fenmo.ModelElement")) << "metaclasses are elements of the registry";
    EXPECT_TRUE(sameObject(*metaClass,
                           *Array(fq::elementToHost(Node::metaClass(), fenmo::ModelElement::metaClass()))));
    EXPECT_TRUE(isEmpty(one(call("getMetaClass", {metaClass.get()})).get()));
    Array names = one(call("getPropertyNames", {metaClass.get()}));
    EXPECT_EQ(names->numel(), 3u);

    // Undo and redo of committed edits; a rolled-back transaction leaves nothing.
    setProperty(*b, "text", *str("before"));
    setProperty(*b, "text", *str("after"));
    call("undo", {model.get()}, 0);
    EXPECT_EQ(text(getProperty(*b, "text")), u"before");
    call("redo", {model.get()}, 0);
    EXPECT_EQ(text(getProperty(*b, "text")), u"after");
    call("beginTransaction", {model.get()}, 0);
    setProperty(*b, "text", *str("uncommitted"));
    setProperty(*a, "number", *num(5));
    call("rollback", {model.get()}, 0);
    EXPECT_EQ(text(getProperty(*b, "text")), u"after");
    EXPECT_TRUE(isEmpty(getProperty(*a, "number").get()));
    call("beginTransaction", {model.get()}, 0);
    setProperty(*a, "number", *num(6));
    setProperty(*b, "number", *num(6));
    call("commit", {model.get()}, 0);
    call("undo", {model.get()}, 0);
    EXPECT_TRUE(isEmpty(getProperty(*a, "number").get())) << "one committed transaction is one undo step";
    EXPECT_TRUE(isEmpty(getProperty(*b, "number").get()));
    expectHostError([&] { call("commit", {model.get()}, 0); }, "fenmo:messages", "InvalidOperation");

    // Dropping the scripting objects releases their references; the elements stay in the model.
    Node held = fenmo::handleCast<Node>(m->findElement(fenmo::uuidFromLiteral(kId1)));
    const auto refs = held->refCount();
    child.reset();
    found.reset();
    viaReflection.reset();
    EXPECT_EQ(held->refCount(), refs) << "copies of the object share one reference";
    b.reset();
    EXPECT_EQ(held->refCount(), refs - 1);
    EXPECT_TRUE(held);
    Array again = getProperty(*a, "child");
    EXPECT_EQ(held->refCount(), refs) << "a new object takes a new reference";
}

TEST_F(QorinTest, RefusalsLeaveTheModelAsItWas) {
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    Array a = construct("fenmoTest.Node", {model.get(), str(kId1).get()});
    Array b = construct("fenmoTest.Node", {model.get()});
    setProperty(*a, "child", *b);
    setProperty(*a, "number", *num(1));
    const std::size_t steps = m->undoStepCount();

    // Construction without a model, with two identities, with a bad identity, with an identity taken.
    expectHostError([&] { construct("fenmoTest.Node", {emptyDouble().get()}); }, "fenmo:messages",
                    "CannotCreateWithoutModel");
    expectHostError([&] { construct("fenmoTest.Node", {a.get()}); }, "fenmo:messages",
                    "CannotCreateWithoutModel");
    expectHostError(
        [&] {
            construct("fenmoTest.Node", {model.get(), str(kId2).get(), str(kId2).get()});
        },
        "fenmo:messages", "InvalidValue");
    expectHostError(
        [&] {
            construct("fenmoTest.Node", {model.get(), str("not-a-uuid").get()});
        },
        "fenmo:messages", "InvalidValue");
    expectHostError([&] { construct("fenmoTest.Node"); }, kHostCatalog, "WrongNumberOfInputs");
    EXPECT_EQ(m->elementCount(), 2u);

    // Values the property refuses: a cycle, text for a number, an element of another class.
    plexo::HostError cycle =
        expectHostError([&] { setProperty(*b, "child", *a); }, "fenmo:messages", "InvalidValue");
    expectHostError([&] { setProperty(*a, "number", *str("seven")); }, "fenmo:messages",
                    "CannotCastIncompatibleTypes");
    EXPECT_EQ(getProperty(*a, "number")->int32s()[0], 1);
    EXPECT_TRUE(sameObject(*getProperty(*a, "child"), *b));
    EXPECT_TRUE(isEmpty(getProperty(*b, "child").get()));
    // An object of an unrelated class clears an element property, as an empty array does.
    setProperty(*b, "child", *model);
    EXPECT_TRUE(isEmpty(getProperty(*b, "child").get()));

    // Reflective refusals name what they refuse.
    plexo::HostError unknown = expectHostError(
        [&] {
            call("getPropertyValue", {a.get(), str("colour").get()});
        },
        "fenmo:messages", "InvalidValue");
    EXPECT_EQ(unknown.arguments(), std::vector<std::u16string>{u"colour"});
    expectHostError(
        [&] {
            call("setPropertyValue", {a.get(), str("number").get(), str("x").get()}, 0);
        },
        "fenmo:messages", "CannotCastIncompatibleTypes");
    expectHostError(
        [&] {
            call("undo", {model.get()}, 0);
            call("undo", {model.get()}, 0);
            call("undo", {model.get()}, 0);
            call("undo", {model.get()}, 0);
            call("undo", {model.get()}, 0);
        },
        "fenmo:messages", "InvalidOperation");
    while (m->canRedo()) m->redo();
    EXPECT_EQ(m->undoStepCount(), steps) << "refusals recorded no undo step";

    // A destroyed element: its object stays, refuses every access, and answers isValid.
    call("destroy", {b.get()}, 0);
    EXPECT_FALSE(getScalarDouble(*one(call("isValid", {b.get()}))));
    EXPECT_TRUE(getScalarDouble(*one(call("isValid", {a.get()}))));
    expectHostError([&] { getProperty(*b, "text"); }, "Qorin:class", "InvalidHandle");
    expectHostError([&] { setProperty(*b, "text", *str("x")); }, "Qorin:class", "InvalidHandle");
    expectHostError([&] { call("getModel", {b.get()}); }, "Qorin:class", "InvalidHandle");
    EXPECT_TRUE(isEmpty(getProperty(*a, "child").get())) << "the destroyed child left its container";
    EXPECT_EQ(m->elementCount(), 1u);
    EXPECT_NE(cycle.text().find("InvalidValue"), std::string::npos);
}

TEST_F(QorinTest, CollectionsAreWalkedAndChangedThroughTheCollectionApi) {
    namespace tn = tav::fenmo::treeNode;
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    Array root = construct("tav.fenmo.treeNode.TreeNode", {model.get()});
    Array parent = construct("tav.fenmo.treeNode.ParentAttributes", {model.get()});
    setProperty(*root, "parentAttrs", *parent);
    EXPECT_TRUE(sameObject(*getProperty(*root, "parentAttrs"), *parent));

    Array children = getProperty(*parent, "children");
    EXPECT_TRUE(isClass(children.get(), "fenmo.Sequence"));
    EXPECT_TRUE(isA(children.get(), "fenmo.Set"));
    EXPECT_TRUE(sameObject(*children, *getProperty(*parent, "children")));
    EXPECT_TRUE(isClass(getProperty(*parent, "attrsOfChildren").get(), "fenmo.Map"));

    std::vector<Array> nodes;
    for (int i = 0; i < 3; ++i) {
        nodes.push_back(construct("tav.fenmo.treeNode.TreeNode", {model.get()}));
        call("add", {children.get(), nodes.back().get()}, 0);
    }
    EXPECT_EQ(getScalarDouble(*one(call("size", {children.get()}))), 3);
    EXPECT_TRUE(sameObject(*one(call("at", {children.get(), num(2).get()})), *nodes[1]));
    Array all = one(call("elements", {children.get()}));
    ASSERT_EQ(all->numel(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(sameObject(*all->getCell(i), *nodes[i]));
    EXPECT_TRUE(sameObject(*one(call("getContainer", {nodes[0].get()})), *parent));

    // Positions: insert moves an element held already, erase and remove take it out.
    call("insert", {children.get(), num(1).get(), nodes[2].get()}, 0);
    EXPECT_TRUE(sameObject(*one(call("at", {children.get(), num(1).get()})), *nodes[2]));
    EXPECT_EQ(getScalarDouble(*one(call("size", {children.get()}))), 3);
    call("erase", {children.get(), num(1).get()}, 0);
    EXPECT_FALSE(getScalarDouble(*one(call("contains", {children.get(), nodes[2].get()}))));
    EXPECT_TRUE(getScalarDouble(*one(call("remove", {children.get(), nodes[0].get()}))));
    EXPECT_FALSE(getScalarDouble(*one(call("remove", {children.get(), nodes[0].get()}))));
    EXPECT_EQ(getScalarDouble(*one(call("size", {children.get()}))), 1);
    call("undo", {model.get()}, 0);
    EXPECT_EQ(getScalarDouble(*one(call("size", {children.get()}))), 2)
        << "undo puts the removed element back";

    // Refusals, each leaving the collection as it was.
    const std::size_t before = getScalarDouble(*one(call("size", {children.get()})));
    Array node = construct("fenmoTest.Node", {model.get()});
    expectHostError(
        [&] {
            call("add", {children.get(), node.get()}, 0);
        },
        "fenmo:messages", "CannotAddIncompatibleTypes");
    expectHostError(
        [&] {
            call("add", {children.get(), model.get()}, 0);
        },
        "fenmo:messages", "CannotAddNonExistentObject");
    expectHostError([&] { call("at", {children.get(), num(0).get()}); }, "fenmo:messages", "InvalidValue");
    expectHostError([&] { call("at", {children.get(), num(9).get()}); }, "fenmo:messages", "InvalidValue");
    expectHostError(
        [&] {
            call("erase", {children.get(), num(9).get()}, 0);
        },
        "fenmo:messages", "InvalidValue");
    Array otherModel = construct("fenmo.Model");
    Array stranger = construct("tav.fenmo.treeNode.TreeNode", {otherModel.get()});
    expectHostError(
        [&] {
            call("add", {children.get(), stranger.get()}, 0);
        },
        "fenmo:messages", "CannotCreateCrossModelAssociation");
    expectHostError(
        [&] {
            call("insert", {children.get(), num(1).get(), root.get()}, 0);
        },
        "fenmo:messages",
        "InvalidValue");  // the container itself: a cycle
    EXPECT_EQ(getScalarDouble(*one(call("size", {children.get()}))), before);

    // Read-only views (a collection reached reflectively) refuse changes but can be walked.
    Array view = one(call("getPropertyValue", {parent.get(), str("children").get()}));
    EXPECT_TRUE(sameObject(*view, *children)) << "one object per collection, whichever way it was reached";
    call("clear", {view.get()}, 0);  // the object was first made with the collection API: it can change
    EXPECT_EQ(getScalarDouble(*one(call("size", {children.get()}))), 0);

    // A collection whose owner is destroyed refuses everything.
    call("destroy", {parent.get()}, 0);
    expectHostError([&] { call("size", {children.get()}); }, "Qorin:class", "InvalidHandle");
}

TEST_F(QorinTest, ConstructorsTakeAnInitialisingStructAndAnIdentityInEitherOrder) {
    namespace tn = tav::fenmo::treeNode;
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    Array init(createStructMatrix(1, 1, {}));
    Array parentInit(createStructMatrix(1, 1, {}));
    init->setField(0, "parentAttrs", duplicateArray(*parentInit));

    Array first = construct("tav.fenmo.treeNode.TreeNode", {model.get(), str(kId1).get(), init.get()});
    Array second = construct("tav.fenmo.treeNode.TreeNode", {model.get(), init.get(), str(kId2).get()});
    EXPECT_EQ(text(getProperty(*first, "uuid")), fenmo::toU16String(fenmo::uuidFromLiteral(kId1)));
    EXPECT_EQ(text(getProperty(*second, "uuid")), fenmo::toU16String(fenmo::uuidFromLiteral(kId2)));
    EXPECT_FALSE(isEmpty(getProperty(*first, "parentAttrs").get()))
        << "the nested struct made contained attributes";
    const std::size_t count = m->elementCount();

    expectHostError(
        [&] {
            construct("tav.fenmo.treeNode.TreeNode", {model.get(), str(kId1).get(), str(kId2).get()});
        },
        "fenmo:messages", "InvalidValue");
    Array bad(createStructMatrix(1, 1, {}));
    bad->setField(0, "noSuchProperty", createDoubleScalar(1));
    plexo::HostError e = expectHostError(
        [&] {
            construct("tav.fenmo.treeNode.TreeNode", {model.get(), bad.get()});
        },
        "fenmo:messages", "InvalidValue");
    ASSERT_FALSE(e.arguments().empty());
    EXPECT_EQ(e.arguments()[0], u"noSuchProperty");
    EXPECT_EQ(m->elementCount(), count) << "a refused construction creates nothing";
    first.reset();
    second.reset();
}

}  // namespace
}  // namespace qorin_test
