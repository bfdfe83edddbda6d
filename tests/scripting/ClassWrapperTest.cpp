// The ten element classes: what each declares, how each kind of property value crosses, the constructor's
// argument forms, the creating methods, and the refusals (each checked to leave the model as it was).

#include "Support.hpp"

#include <arvelle/treeNode/All.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Uuid.hpp>

#include <map>

namespace scripting_test {
namespace {

using namespace plexo;
namespace tn = tav::fenmo::treeNode;
namespace fq = fenmo::qorin;

const char* const kId1 = "8f8b1f7e-0a55-4c1b-9e63-5a2f0c1d2e3f";
const char* const kId2 = "1c2d3e4f-5a6b-4c7d-8e9f-a0b1c2d3e4f5";

std::string cls(const char* name) {
    return std::string("tav.fenmo.treeNode.") + name;
}

struct Declared {
    std::string name, type;
    std::uint32_t word;
    bool settable;
};

std::vector<Declared> declaredProperties(const std::string& className) {
    std::vector<Declared> out;
    for (const auto& p : getClass(makeInterned(className))->properties())
        out.push_back({p->getName(), p->getTypeName(), p->getAttributes(), p->hasSetter()});
    return out;
}

std::string describe(const std::vector<Declared>& properties) {
    std::string out;
    for (const Declared& p : properties)
        out += p.name + ":" + p.type + ":" + std::to_string(p.word) + (p.settable ? "" : ":R") + "\n";
    return out;
}

TEST_F(ScriptingTest, EveryClassDeclaresItsPropertiesWithTypesWordsAndSetters) {
    const std::string text = "PlexoFactoryString scalar";
    auto rows = [](std::initializer_list<Declared> list) { return describe(std::vector<Declared>(list)); };
    std::map<std::string, std::string> expected;
    expected["BlockAttributes"] = "";
    expected["BusTypeElementAttributes"] = rows({{"complexity", cls("Complexity"), 0, false},
                                                 {"min", text, 0, false},
                                                 {"max", text, 0, false},
                                                 {"unit", text, 0, false},
                                                 {"dataType", text, 0, false},
                                                 {"dims", text, 0, false},
                                                 {"dimsMode", cls("DimsMode"), 0, false},
                                                 {"sampleTime", text, 0, false},
                                                 {"valueType", text, 0, false},
                                                 {"desc", text, 0, false}});
    expected["BusTypeRootAttributes"] = rows({{"checksum", text, 0, false}});
    expected["ChildAttributes"] = rows({{"name", text, 0, true},
                                        {"indexOne", "int32 scalar", 0, true},
                                        {"attrsOfParent", cls("ParentAttributes"), 0, true},
                                        {"parent", cls("TreeNode"), 8192, true}});
    expected["MessageQueueAttributes"] = rows({{"useDefaultAttrs", "logical", 0, true},
                                               {"queueCapacity", text, 0, true},
                                               {"queueType", cls("QueueType"), 0, true},
                                               {"queueOverwriting", "logical", 0, true}});
    expected["ParentAttributes"] =
        rows({{"children", "fenmo.Set", 0, false}, {"attrsOfChildren", "fenmo.Set", 0, false}});
    expected["PlatformAttributes"] =
        rows({{"qosType", cls("QoSType"), 0, true}, {"dataNode", text, 0, true}});
    expected["PropagationAttributes"] = rows({{"partialInfo", "logical", 0, true},
                                              {"trivialBusName", text, 0, true},
                                              {"tavBusSrcOPort", "int32", 0, true},
                                              {"tavBusDstIPort", "int32", 0, true},
                                              {"isMessage", "logical", 0, true}});
    expected["SignalAttributes"] = rows({{"complexity", cls("Complexity"), 0, true},
                                         {"min", text, 0, true},
                                         {"max", text, 0, true},
                                         {"unit", text, 0, true},
                                         {"dataType", text, 0, true},
                                         {"dims", text, 0, true},
                                         {"dimsMode", cls("DimsMode"), 0, true},
                                         {"sampleTime", text, 0, true},
                                         {"virtuality", cls("Virtuality"), 0, true},
                                         {"dataMode", cls("DataMode"), 0, true},
                                         {"valueType", text, 0, true},
                                         {"desc", text, 0, true},
                                         {"outputSignalName", text, 0, true},
                                         {"initialOutput", text, 0, true},
                                         {"outputWhenDisabled", cls("OutputWhenDisabled"), 0, true}});
    std::vector<Declared> node;
    for (const char* slot :
         {"parentAttrs", "childAttrs", "signalAttrs", "busTypeRootAttrs", "busTypeElementAttrs", "blockAttrs",
          "propAttrs", "msgQueueAttrs", "inheritedParentAttrs", "platformAttrs"}) {
        static const std::map<std::string, const char*> types = {
            {"parentAttrs", "ParentAttributes"},
            {"childAttrs", "ChildAttributes"},
            {"signalAttrs", "SignalAttributes"},
            {"busTypeRootAttrs", "BusTypeRootAttributes"},
            {"busTypeElementAttrs", "BusTypeElementAttributes"},
            {"blockAttrs", "BlockAttributes"},
            {"propAttrs", "PropagationAttributes"},
            {"msgQueueAttrs", "MessageQueueAttributes"},
            {"inheritedParentAttrs", "ParentAttributes"},
            {"platformAttrs", "PlatformAttributes"}};
        node.push_back({slot, cls(types.at(slot)), 0, true});
    }
    node.push_back({"isInherited", "logical scalar", 8192, false});
    expected["TreeNode"] = describe(node);

    for (const auto& [name, properties] : expected)
        EXPECT_EQ(describe(declaredProperties(cls(name.c_str()))), properties) << name;

    // Methods, in the order declared: the constructor, the creating methods, "StaticMetaClass".
    std::vector<std::string> methods;
    for (const auto& m : getClass(makeInterned(kTreeNode))->declaredMethods())
        methods.push_back(m->getName());
    EXPECT_EQ(methods,
              (std::vector<std::string>{
                  "TreeNode", "createIntoParentAttrs", "createIntoChildAttrs", "createIntoSignalAttrs",
                  "createIntoBusTypeRootAttrs", "createIntoBusTypeElementAttrs", "createIntoBlockAttrs",
                  "createIntoPropAttrs", "createIntoMsgQueueAttrs", "createIntoInheritedParentAttrs",
                  "createIntoPlatformAttrs", "StaticMetaClass"}));
    methods.clear();
    for (const auto& m : getClass(makeInterned(kParent))->declaredMethods()) methods.push_back(m->getName());
    EXPECT_EQ(methods,
              (std::vector<std::string>{"ParentAttributes", "createIntoChildren", "StaticMetaClass"}));
    const Signature& create =
        getClass(makeInterned(kTreeNode))->findMethod("createIntoSignalAttrs")->getSignature();
    EXPECT_EQ(create.inputs, (std::vector<std::string>{kTreeNode, "any", "char"}));
    EXPECT_EQ(create.outputs, (std::vector<std::string>{kSignal}));
    EXPECT_EQ(create.requiredInputs, 1u);
    const Signature& ctor = getClass(makeInterned(kSignal))->findMethod("SignalAttributes")->getSignature();
    EXPECT_EQ(ctor.inputs, (std::vector<std::string>{"fenmo.Model", "any", "any"}));
    EXPECT_EQ(ctor.argumentNames, (std::vector<std::string>{"model", "opt_init", "opt_uuid"}));
    EXPECT_EQ(ctor.outputs, (std::vector<std::string>{kSignal}));
}

TEST_F(ScriptingTest, PropertyValuesCrossInTheShapesOfTheirKinds) {
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    Array node = construct(kTreeNode, {model.get()});

    // Element slots: an empty array of the declared class when unset, the one object when set.
    Array noBlock = getProperty(*node, "blockAttrs");
    EXPECT_TRUE(isClass(noBlock.get(), kBlock));
    EXPECT_TRUE(isEmpty(noBlock.get()));
    Array block = construct(kBlock, {model.get()});
    setProperty(*node, "blockAttrs", *block);
    EXPECT_TRUE(sameObject(*getProperty(*node, "blockAttrs"), *block));
    EXPECT_TRUE(sameObject(*getProperty(*node, "blockAttrs"), *getProperty(*node, "blockAttrs")));
    setProperty(*node, "blockAttrs", *emptyDouble());
    EXPECT_TRUE(isEmpty(getProperty(*node, "blockAttrs").get())) << "an empty array clears";
    setProperty(*node, "blockAttrs", *block);
    Array signal = construct(kSignal, {model.get()});
    setProperty(*node, "blockAttrs", *signal);
    EXPECT_TRUE(isEmpty(getProperty(*node, "blockAttrs").get())) << "an object of another class clears";
    EXPECT_TRUE(isEmpty(getProperty(*node, "signalAttrs").get()));

    // Text: set and empty; optional int32 and logical: 1x1 when set, 0x0 when not.
    Array child = construct(kChild, {model.get()});
    setProperty(*child, "name", *str("sig"));
    EXPECT_EQ(text(getProperty(*child, "name")), u"sig");
    Array emptyText = str("");
    EXPECT_TRUE(isChar(emptyText.get()));
    setProperty(*child, "name", *emptyText);
    EXPECT_EQ(text(getProperty(*child, "name")), u"");
    Array index = getProperty(*child, "indexOne");
    EXPECT_TRUE(isClass(index.get(), "int32"));
    EXPECT_EQ(index->numel(), 1u);
    setProperty(*child, "indexOne", *num(4));
    EXPECT_EQ(getProperty(*child, "indexOne")->int32s()[0], 4);

    Array prop = construct("tav.fenmo.treeNode.PropagationAttributes", {model.get()});
    Array port = getProperty(*prop, "tavBusSrcOPort");
    EXPECT_TRUE(isClass(port.get(), "int32"));
    EXPECT_EQ(port->rows(), 0u);
    EXPECT_EQ(port->cols(), 0u);
    setProperty(*prop, "tavBusSrcOPort", *num(3));
    EXPECT_EQ(getProperty(*prop, "tavBusSrcOPort")->int32s()[0], 3);
    setProperty(*prop, "tavBusSrcOPort", *emptyDouble());
    EXPECT_TRUE(isEmpty(getProperty(*prop, "tavBusSrcOPort").get()));
    EXPECT_TRUE(isClass(getProperty(*prop, "isMessage").get(), "logical"));
    EXPECT_TRUE(isEmpty(getProperty(*prop, "isMessage").get()));
    setProperty(*prop, "isMessage", *Array(createLogicalScalar(true)));
    EXPECT_TRUE(getScalarDouble(*getProperty(*prop, "isMessage")));

    // Enumerations: members, text, empty; another value reads back as the first literal.
    Array sig = construct(kSignal, {model.get()});
    EXPECT_TRUE(isClass(getProperty(*sig, "complexity").get(), kComplexity));
    EXPECT_TRUE(isEmpty(getProperty(*sig, "complexity").get()));
    setProperty(*sig, "complexity", *enumerationMember(kComplexity, "REAL"));
    EXPECT_EQ(underlying(getProperty(*sig, "complexity")), 1);
    setProperty(*sig, "complexity", *str("COMPLEX"));
    EXPECT_EQ(underlying(getProperty(*sig, "complexity")), 2);
    setProperty(*sig, "complexity", *enumerationMember("tav.fenmo.treeNode.Virtuality", "NON_VIRTUAL"));
    EXPECT_EQ(underlying(getProperty(*sig, "complexity")), 0);
    setProperty(*sig, "complexity", *emptyDouble());
    EXPECT_TRUE(isEmpty(getProperty(*sig, "complexity").get()));

    // Logical scalar (derived, read-only) and collections.
    Array inherited = getProperty(*node, "isInherited");
    EXPECT_TRUE(isClass(inherited.get(), "logical"));
    EXPECT_EQ(inherited->numel(), 1u);
    EXPECT_FALSE(getScalarDouble(*inherited));
    expectHostError([&] { setProperty(*node, "isInherited", *Array(createLogicalScalar(true))); },
                    kHostCatalog, "ReadOnlyProperty");
    Array parent = construct(kParent, {model.get()});
    EXPECT_TRUE(isClass(getProperty(*parent, "children").get(), "fenmo.Sequence"));
    EXPECT_TRUE(isClass(getProperty(*parent, "attrsOfChildren").get(), "fenmo.Map"));
    EXPECT_TRUE(sameObject(*getProperty(*parent, "children"), *getProperty(*parent, "children")));

    // Read-only attribute values refuse scripts.
    Array root = construct("tav.fenmo.treeNode.BusTypeRootAttributes", {model.get()});
    EXPECT_EQ(text(getProperty(*root, "checksum")), u"");
    expectHostError([&] { setProperty(*root, "checksum", *str("x")); }, kHostCatalog, "ReadOnlyProperty");

    // Refused values change nothing.
    const std::size_t steps = m->undoStepCount();
    expectHostError([&] { setProperty(*prop, "tavBusDstIPort", *str("three")); }, "fenmo:messages",
                    "CannotCastIncompatibleTypes");
    expectHostError([&] { setProperty(*child, "indexOne", *emptyDouble()); }, "fenmo:messages",
                    "CannotCastIncompatibleTypes");
    expectHostError([&] { setProperty(*sig, "dataMode", *str("LOUD")); }, "fenmo:messages", "InvalidValue");
    expectHostError([&] { setProperty(*child, "name", *num(1)); }, kHostCatalog, "NotText");
    EXPECT_TRUE(isEmpty(getProperty(*prop, "tavBusDstIPort").get()));
    EXPECT_EQ(getProperty(*child, "indexOne")->int32s()[0], 4);
    EXPECT_TRUE(isEmpty(getProperty(*sig, "dataMode").get()));
    EXPECT_EQ(m->undoStepCount(), steps);

    // The metaclass, the same object each time.
    Array meta = one(callStatic(kSignal, "StaticMetaClass"));
    EXPECT_TRUE(isClass(meta.get(), "fenmo.meta.Class"));
    EXPECT_EQ(text(getProperty(*meta, "qualifiedName")), u"tav.fenmo.treeNode.SignalAttributes");
    EXPECT_TRUE(sameObject(*meta, *one(callStatic(kSignal, "StaticMetaClass", {}, 0))))
        << "no output asked for still gives one";
}

TEST_F(ScriptingTest, ConstructorsTakeModelInitAndIdentityAndRefuseTheRest) {
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    Array init(createStructMatrix(1, 1, {}));
    init->setField(0, "dataType", createString("double"));

    Array a = construct(kSignal, {model.get(), str(kId1).get(), init.get()});
    Array b = construct(kSignal, {model.get(), init.get(), str(kId2).get()});
    EXPECT_EQ(text(getProperty(*a, "uuid")), fenmo::toU16String(fenmo::uuidFromLiteral(kId1)));
    EXPECT_EQ(text(getProperty(*b, "uuid")), fenmo::toU16String(fenmo::uuidFromLiteral(kId2)));
    EXPECT_EQ(text(getProperty(*a, "dataType")), u"double");
    EXPECT_EQ(text(getProperty(*b, "dataType")), u"double");
    Array c = construct(kSignal, {model.get(), init.get()});
    EXPECT_EQ(text(getProperty(*c, "dataType")), u"double");
    auto held = fenmo::handleCast<tn::SignalAttributes>(m->findElement(fenmo::uuidFromLiteral(kId1)));
    ASSERT_TRUE(held);
    EXPECT_TRUE(sameObject(*Array(fq::elementToHost(held, tn::SignalAttributes::metaClass())), *a))
        << "the constructed object is the element's one object";

    const std::size_t count = m->elementCount();
    const std::size_t bound = factory::BindingRegistry::size();
    expectHostError([&] { construct(kSignal, {emptyDouble().get()}); }, "fenmo:messages",
                    "CannotCreateWithoutModel");
    expectHostError([&] { construct(kSignal, {a.get()}); }, "fenmo:messages", "CannotCreateWithoutModel");
    expectHostError(
        [&] {
            construct(kSignal, {model.get(), str("not a uuid").get()});
        },
        "fenmo:messages", "InvalidValue");
    expectHostError(
        [&] {
            construct(kSignal, {model.get(), str(kId1).get(), str(kId2).get()});
        },
        "fenmo:messages", "InvalidValue");
    expectHostError(
        [&] {
            construct(kSignal, {model.get(), init.get(), init.get()});
        },
        "fenmo:messages", "InvalidValue");
    auto taken = expectHostError(
        [&] {
            construct(kSignal, {model.get(), str(kId1).get()});
        },
        "fenmo:messages", "InvalidValue");
    EXPECT_NE(taken.text().find("already in the model"), std::string::npos) << taken.text();
    EXPECT_EQ(m->elementCount(), count) << "a refused construction creates nothing";
    EXPECT_EQ(factory::BindingRegistry::size(), bound) << "and binds nothing";
}

TEST_F(ScriptingTest, CreatingMethodsMakeElementsIntoTheirSlots) {
    Array model = construct("fenmo.Model");
    fenmo::Model m = fq::modelFromHost(*model);
    Array node = construct(kTreeNode, {model.get()});

    // Self only: a fresh identity, returned and held by the slot.
    Array block = one(call("createIntoBlockAttrs", {node.get()}));
    EXPECT_TRUE(isClass(block.get(), kBlock));
    EXPECT_TRUE(sameObject(*block, *getProperty(*node, "blockAttrs")));
    EXPECT_EQ(text(getProperty(*block, "uuid")).size(), 36u);
    EXPECT_TRUE(sameObject(*one(call("getContainer", {block.get()})), *node));

    // Self and identity; self and struct; self, struct and identity.
    Array signal = one(call("createIntoSignalAttrs", {node.get(), str(kId1).get()}));
    EXPECT_EQ(text(getProperty(*signal, "uuid")), fenmo::toU16String(fenmo::uuidFromLiteral(kId1)));
    Array init(createStructMatrix(1, 1, {}));
    init->setField(0, "name", createString("a"));
    init->setField(0, "indexOne", createDoubleScalar(2));
    Array child = one(call("createIntoChildAttrs", {node.get(), init.get()}));
    EXPECT_EQ(text(getProperty(*child, "name")), u"a");
    EXPECT_EQ(getProperty(*child, "indexOne")->int32s()[0], 2);
    Array qInit(createStructMatrix(1, 1, {}));
    qInit->setField(0, "queueCapacity", createString("8"));
    Array queue = one(call("createIntoMsgQueueAttrs", {node.get(), qInit.get(), str(kId2).get()}));
    EXPECT_EQ(text(getProperty(*queue, "uuid")), fenmo::toU16String(fenmo::uuidFromLiteral(kId2)));
    EXPECT_EQ(text(getProperty(*queue, "queueCapacity")), u"8");
    EXPECT_TRUE(sameObject(*queue, *getProperty(*node, "msgQueueAttrs")));

    // Creating again replaces the slot's element (the old one is destroyed with its containment).
    Array block2 = one(call("createIntoBlockAttrs", {node.get()}));
    EXPECT_FALSE(sameObject(*block2, *block));
    EXPECT_TRUE(sameObject(*block2, *getProperty(*node, "blockAttrs")));

    // createIntoChildren appends nodes to a parent's children.
    Array parent = one(call("createIntoParentAttrs", {node.get()}));
    Array first = one(call("createIntoChildren", {parent.get()}));
    Array second = one(call("createIntoChildren", {parent.get()}));
    EXPECT_TRUE(isClass(first.get(), kTreeNode));
    Array children = getProperty(*parent, "children");
    EXPECT_EQ(getScalarDouble(*one(call("size", {children.get()}))), 2);
    EXPECT_TRUE(sameObject(*one(call("at", {children.get(), num(2).get()})), *second));

    // Refusals, each leaving the node and the model as they were.
    const std::size_t count = m->elementCount();
    const std::size_t steps = m->undoStepCount();
    expectHostError(
        [&] {
            call("createIntoPropAttrs", {node.get(), str("nope").get()});
        },
        "fenmo:messages", "InvalidValue");
    expectHostError(
        [&] {
            call("createIntoPropAttrs", {node.get(), str(kId1).get(), str(kId2).get()});
        },
        "fenmo:messages", "InvalidValue");
    Array pInit(createStructMatrix(1, 1, {}));
    expectHostError(
        [&] {
            call("createIntoPropAttrs", {node.get(), pInit.get(), str("nope").get()});
        },
        "fenmo:messages", "InvalidValue");
    expectHostError(
        [&] {
            call("createIntoPropAttrs", {node.get(), str(kId1).get()});
        },
        "fenmo:messages",
        "InvalidValue");  // the identity is taken
    Array badInit(createStructMatrix(1, 1, {}));
    badInit->setField(0, "colour", createString("red"));
    expectHostError(
        [&] {
            call("createIntoPropAttrs", {node.get(), badInit.get()});
        },
        "fenmo:messages", "InvalidValue");
    EXPECT_TRUE(isEmpty(getProperty(*node, "propAttrs").get()));
    EXPECT_EQ(m->elementCount(), count);
    EXPECT_EQ(m->undoStepCount(), steps);

    // Self that is not a live node of the class.
    PlexoMethodInfo* create = getClass(makeInterned(kTreeNode))->findMethod("createIntoPropAttrs");
    int n = 1;
    HostArray* out[1] = {nullptr};
    const HostArray* notNode[1] = {signal.get()};
    expectHostError([&] { create->invoke(n, out, 1, notNode); }, "Qorin:class", "InvalidHandle");
    Array doomed = construct(kTreeNode, {model.get()});
    call("destroy", {doomed.get()}, 0);
    expectHostError([&] { call("createIntoPropAttrs", {doomed.get()}); }, "Qorin:class", "InvalidHandle");
    EXPECT_EQ(out[0], nullptr);
}

}  // namespace
}  // namespace scripting_test
