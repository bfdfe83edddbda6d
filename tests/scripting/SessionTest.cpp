// A scripted session from start to end: a small bus hierarchy built through the scripting classes
// (nodes, attribute objects, enumerations given as members and as text, host pointers set by the host),
// edited, undone and redone, read back as the same objects, and dropped with nothing left bound.

#include "Support.hpp"

#include <arvelle/treeNode/All.hpp>
#include <fenmo/ModelImpl.hpp>

namespace scripting_test {
namespace {

using namespace plexo;
namespace tn = tav::fenmo::treeNode;
namespace fq = fenmo::qorin;

Array nodeInit(const char* name, int index, const char* dataType) {
    Array init(createStructMatrix(1, 1, {}));
    HostArray* child = createStructMatrix(1, 1, {});
    child->setField(0, "name", createString(name));
    child->setField(0, "indexOne", createDoubleScalar(index));
    init->setField(0, "childAttrs", child);
    HostArray* signal = createStructMatrix(1, 1, {});
    signal->setField(0, "dataType", createString(dataType));
    init->setField(0, "signalAttrs", signal);
    return init;
}

template <class T>
T handleOf(const Array& object) {
    return fenmo::handleCast<T>(fq::elementFromHost(*object, T::metaClass()));
}

TEST_F(ScriptingTest, AHierarchyIsBuiltEditedUndoneAndRedoneThroughScripts) {
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    ASSERT_TRUE(m);

    // The bus: a root node with parent attributes and two signals below it.
    Array root = construct(kTreeNode, {model.get()});
    Array rootSignal = one(call("createIntoBusTypeRootAttrs", {root.get()}));
    Array parent = one(call("createIntoParentAttrs", {root.get()}));
    Array a = one(call("createIntoChildren", {parent.get(), nodeInit("a", 1, "double").get()}));
    Array b = one(call("createIntoChildren", {parent.get(), nodeInit("b", 2, "int8").get()}));
    Array aSignal = getProperty(*a, "signalAttrs");
    Array bSignal = getProperty(*b, "signalAttrs");
    EXPECT_EQ(text(getProperty(*aSignal, "dataType")), u"double");
    setProperty(*aSignal, "complexity", *enumerationMember(kComplexity, "REAL"));
    setProperty(*bSignal, "complexity", *str("COMPLEX"));
    setProperty(*bSignal, "dimsMode", *str("VARIABLE"));
    setProperty(*bSignal, "virtuality", *enumerationMember("tav.fenmo.treeNode.Virtuality", "NON_VIRTUAL"));
    Array aProp = one(call("createIntoPropAttrs", {a.get()}));
    setProperty(*aProp, "tavBusSrcOPort", *num(1));
    Array aBlock = one(call("createIntoBlockAttrs", {a.get()}));

    // Host pointers are the host's: set through the element API on the elements the scripts made.
    auto* block = reinterpret_cast<TAVBlock*>(0x1000);
    auto* port = reinterpret_cast<tavPort*>(0x2000);
    handleOf<tn::PropagationAttributes>(aProp)->setTavBusSrc(block);
    handleOf<tn::PropagationAttributes>(aProp)->setGroundSource(port);
    handleOf<tn::BlockAttributes>(aBlock)->getTavBlocksMutable().insert(block);

    // The tree as the scripts see it: children in order, child attributes filed by the parent, the
    // child's parent node, all as the objects already handed out.
    Array children = getProperty(*parent, "children");
    ASSERT_EQ(getScalarDouble(*one(call("size", {children.get()}))), 2);
    EXPECT_TRUE(sameObject(*one(call("at", {children.get(), num(1).get()})), *a));
    EXPECT_TRUE(sameObject(*one(call("at", {children.get(), num(2).get()})), *b));
    Array aChild = getProperty(*a, "childAttrs");
    EXPECT_TRUE(sameObject(*getProperty(*aChild, "parent"), *root));
    EXPECT_TRUE(sameObject(*getProperty(*aChild, "attrsOfParent"), *parent));
    EXPECT_EQ(underlying(getProperty(*bSignal, "complexity")), 2);
    EXPECT_EQ(underlying(getProperty(*bSignal, "dimsMode")), 2);
    EXPECT_EQ(underlying(getProperty(*bSignal, "virtuality")), 2);
    EXPECT_EQ(text(getProperty(*rootSignal, "checksum")), u"");

    // Edits, each one undo step.
    const std::size_t steps = m->undoStepCount();
    setProperty(*aChild, "name", *str("alpha"));
    setProperty(*aSignal, "complexity", *str("AUTO"));
    setProperty(*aProp, "tavBusSrcOPort", *emptyDouble());
    Array extra = one(call("createIntoMsgQueueAttrs", {b.get()}));
    setProperty(*extra, "queueType", *str("Q_TYPE_LIFO"));
    EXPECT_EQ(m->undoStepCount(), steps + 5);
    EXPECT_EQ(text(getProperty(*aChild, "name")), u"alpha");
    EXPECT_TRUE(handleOf<tn::ParentAttributes>(parent)->findChildByName(u"alpha") ==
                handleOf<tn::ChildAttributes>(aChild))
        << "the parent files the child under its new name";
    EXPECT_FALSE(isEmpty(getProperty(*b, "msgQueueAttrs").get()));

    for (int i = 0; i < 5; ++i) call("undo", {model.get()}, 0);
    EXPECT_EQ(text(getProperty(*aChild, "name")), u"a");
    EXPECT_EQ(underlying(getProperty(*aSignal, "complexity")), 1);
    EXPECT_EQ(getProperty(*aProp, "tavBusSrcOPort")->int32s()[0], 1);
    EXPECT_TRUE(isEmpty(getProperty(*b, "msgQueueAttrs").get())) << "the created element is gone again";
    EXPECT_TRUE(*handleOf<tn::PropagationAttributes>(aProp)->getTavBusSrc() == block);

    for (int i = 0; i < 5; ++i) call("redo", {model.get()}, 0);
    EXPECT_EQ(text(getProperty(*aChild, "name")), u"alpha");
    EXPECT_EQ(underlying(getProperty(*aSignal, "complexity")), 0);
    EXPECT_TRUE(isEmpty(getProperty(*aProp, "tavBusSrcOPort").get()));
    EXPECT_TRUE(sameObject(*getProperty(*b, "msgQueueAttrs"), *extra))
        << "the element comes back as its object";
    EXPECT_EQ(underlying(getProperty(*extra, "queueType")), 1);

    // Everything reads back as the objects handed out at the start.
    EXPECT_TRUE(sameObject(*getProperty(*root, "parentAttrs"), *parent));
    EXPECT_TRUE(sameObject(*getProperty(*a, "signalAttrs"), *aSignal));
    EXPECT_TRUE(sameObject(*getProperty(*a, "propAttrs"), *aProp));
    EXPECT_TRUE(sameObject(*getProperty(*parent, "children"), *children));
    EXPECT_TRUE(*handleOf<tn::PropagationAttributes>(aProp)->getGroundSource() == port);
    EXPECT_TRUE(handleOf<tn::BlockAttributes>(aBlock)->getTavBlocks().contains(block));

    // Undoing the whole build leaves an empty model; the scripting objects outlive their elements.
    while (m->canUndo()) call("undo", {model.get()}, 0);
    EXPECT_EQ(m->elementCount(), 0u);
    expectHostError([&] { getProperty(*aSignal, "dataType"); }, "Qorin:class", "InvalidHandle");
    while (m->canRedo()) call("redo", {model.get()}, 0);
    EXPECT_EQ(text(getProperty(*aSignal, "dataType")), u"double");
    EXPECT_TRUE(sameObject(*getProperty(*a, "signalAttrs"), *aSignal));

    // Each object holds one reference on its element, dropped with the object.
    tn::SignalAttributes held = handleOf<tn::SignalAttributes>(aSignal);
    const auto refs = held->refCount();
    Array again = getProperty(*a, "signalAttrs");
    EXPECT_EQ(held->refCount(), refs) << "copies of the object share the one reference";
    again.reset();
    aSignal.reset();
    EXPECT_EQ(held->refCount(), refs - 1);
    Array fresh = getProperty(*a, "signalAttrs");
    EXPECT_EQ(held->refCount(), refs) << "a new object takes a new reference";
}

}  // namespace
}  // namespace scripting_test
