// The reflection entry point: unset by property kind, refusals that change nothing, the property order it
// walks, and invoking operations and creating elements by their metaclass.

#include "tree/TreeSupport.hpp"

namespace treetest {
namespace {

using ::fenmo::meta::Property;

TAVBlock* block(std::uintptr_t address) {
    return reinterpret_cast<TAVBlock*>(address);
}

std::vector<std::u16string> namesOf(const std::vector<Property>& properties) {
    std::vector<std::u16string> names;
    for (const Property& property : properties) names.push_back(property->getName());
    return names;
}

TEST(Reflection, UnsetTakesTheValueAwayByKindAsOneUndoableStep) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1), childNode(u"b", 2)));
    TreeNode a = childNamed(root, u"a"), b = childNamed(root, u"b");
    auto signalBuilder = std::make_unique<SignalAttributes::Builder>();
    signalBuilder->setDataType(std::u16string(u"double"));
    auto blockBuilder = std::make_unique<BlockAttributes::Builder>();
    blockBuilder->addTavBlocks({block(0x10), block(0x20)});
    a->createIntoSignalAttrs(signalBuilder.get(), uuid());
    a->createIntoBlockAttrs(blockBuilder.get(), uuid());
    SignalAttributes signal = a->getSignalAttrs();
    BlockAttributes blocks = a->getBlockAttrs();
    const Reflection reflection;
    const std::vector<ModelElement> all = subtrees({root});
    const std::string before = describe(all);
    const std::size_t steps = model->undoStepCount();

    // An optional scalar becomes unset; unsetting it again is no change and no step.
    const Property& dataType = schema::SignalAttributes::dataType();
    reflection.unset(signal, dataType);
    EXPECT_FALSE(reflection.has(signal, dataType));
    EXPECT_EQ(reflection.get(signal, dataType), Value(dataType->getType(), boost::none));
    reflection.unset(signal, dataType);
    EXPECT_EQ(model->undoStepCount(), steps + 1);

    // A containment slot is emptied: the attributes stay alive, contained by nobody.
    reflection.unset(a, schema::TreeNode::signalAttrs());
    EXPECT_FALSE(a->getSignalAttrs());
    EXPECT_TRUE(signal);
    EXPECT_FALSE(signal->container().get());

    // A collection is cleared in one step.
    const Property& tavBlocks = schema::BlockAttributes::tavBlocks();
    reflection.unset(blocks, tavBlocks);
    EXPECT_FALSE(reflection.has(blocks, tavBlocks));
    EXPECT_TRUE(reflection.get(blocks, tavBlocks).getEntries().empty());
    reflection.unset(blocks, tavBlocks);

    // A reference to the parent (derived from the tree) is cut: the node leaves its parent.
    reflection.unset(b->getChildAttrs(), schema::ChildAttributes::parent());
    EXPECT_FALSE(b->getChildAttrs()->getParent());
    EXPECT_EQ(childNames(root), Names{u"a"});
    EXPECT_FALSE(root->getParentAttrs()->findChildByName(u"b"));
    EXPECT_EQ(model->undoStepCount(), steps + 4);

    // Each unset was one step: undoing them in turn brings back what each took.
    model->undo();
    EXPECT_EQ(childNames(root), (Names{u"a", u"b"}));
    model->undo();
    EXPECT_EQ(blocks->getTavBlocks().size(), 2u);
    EXPECT_FALSE(a->getSignalAttrs());
    model->undo();
    EXPECT_EQ(a->getSignalAttrs().get(), signal.get());
    EXPECT_FALSE(signal->getDataType());
    model->undo();
    EXPECT_TRUE(signal->getDataType() == std::u16string(u"double"));
    EXPECT_EQ(describe(all), before);
}

TEST(Reflection, RefusedWritesAndUnsetsChangeNothing) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1)));
    TreeNode a = childNamed(root, u"a");
    ChildAttributes child = a->getChildAttrs();
    auto blockBuilder = std::make_unique<BlockAttributes::Builder>();
    blockBuilder->addTavBlocks({block(0x10)});
    a->createIntoBlockAttrs(blockBuilder.get(), uuid());
    a->createIntoBusTypeRootAttrs(
        std::make_unique<tav::fenmo::treeNode::BusTypeRootAttributes::Builder>().get(), uuid());
    ModelElement busType = a->getBusTypeRootAttrs();
    ModelElement signalProxy = model->createProxy(SignalAttributes::metaClass(), ProxyId(::fenmo::newUuid()));
    ModelElement blockProxy = model->createProxy(BlockAttributes::metaClass(), ProxyId(::fenmo::newUuid()));
    std::vector<ModelElement> all = subtrees({root});
    const std::string before = describe(all);
    const std::size_t steps = model->undoStepCount(), elements = model->elementCount();
    ReportLog log(model);
    const Reflection reflection;
    const Reflection privileged(Access::Privileged);

    // A scalar that always has a value has nothing to become; a read-only one cannot be written at all.
    EXPECT_EQ(failsWith("InvalidValue", [&] { reflection.unset(child, schema::ChildAttributes::name()); }),
              Names{u"treeNode.ChildAttributes.name"});
    failsWith("InvalidValue", [&] { privileged.unset(child, schema::ChildAttributes::indexOne()); });
    EXPECT_EQ(
        failsWith("CannotSetReadOnlyProperty", [&] { privileged.unset(a, schema::TreeNode::isInherited()); }),
        Names{u"treeNode.TreeNode.isInherited"});
    // A property without public mutator needs privileged access, for unset as for set.
    const Property& checksum = schema::BusTypeRootAttributes::checksum();
    failsWith("CannotSetReadOnlyProperty", [&] { reflection.set(busType, checksum, Value::ofString(u"x")); });
    failsWith("CannotSetReadOnlyProperty", [&] { reflection.unset(busType, checksum); });
    // A property of another class, and no element at all.
    failsWith("InvalidValue", [&] { reflection.unset(a, schema::SignalAttributes::dataType()); });
    failsWith("InvalidValue", [&] { reflection.get(a, schema::SignalAttributes::dataType()); });
    failsWith("InvalidValue",
              [&] { reflection.unset(ModelElement(), schema::SignalAttributes::dataType()); });
    failsWith("InvalidValue", [&] { reflection.has(ModelElement(), schema::SignalAttributes::dataType()); });
    // A proxy refuses, even when nothing would change (its block set is empty).
    failsWith("CannotModifyProxy",
              [&] { reflection.unset(signalProxy, schema::SignalAttributes::dataType()); });
    failsWith("CannotModifyProxy",
              [&] { reflection.unset(blockProxy, schema::BlockAttributes::tavBlocks()); });

    EXPECT_EQ(describe(all), before);
    EXPECT_EQ(a->getBlockAttrs()->getTavBlocks().size(), 1u);
    EXPECT_EQ(model->undoStepCount(), steps);
    EXPECT_EQ(model->elementCount(), elements);
    EXPECT_TRUE(log.reports.empty());

    // With privileged access the same writes go through.
    privileged.set(busType, checksum, Value::ofString(u"x"));
    EXPECT_TRUE(reflection.has(busType, checksum));
    privileged.unset(busType, checksum);
    EXPECT_FALSE(reflection.has(busType, checksum));
    EXPECT_EQ(model->undoStepCount(), steps + 2);
}

TEST(Reflection, PropertiesInDeclarationOrderWithDerivedOnesInPlace) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1)));
    TreeNode a = childNamed(root, u"a");
    const Reflection reflection;

    const std::vector<Property> properties = reflection.properties(a->getChildAttrs());
    EXPECT_EQ(namesOf(properties), (Names{u"name", u"indexOne", u"parent", u"attrsOfParent"}));
    std::size_t lastIndex = 0;
    for (const Property& property : properties) {
        if (!property->hasIndex()) continue;
        EXPECT_GT(property->getIndex(), lastIndex);
        lastIndex = property->getIndex();
    }
    std::vector<Property> visited;
    reflection.forEachProperty(a, [&](const Property& property) { visited.push_back(property); });
    EXPECT_EQ(namesOf(visited), namesOf(TreeNode::metaClass()->getAllProperties()));
    EXPECT_EQ(namesOf(visited).back(), u"isInherited");

    // Every property of every element of a small tree reads, stored or derived.
    for (const ModelElement& element : subtrees({root}))
        reflection.forEachProperty(element, [&](const Property& property) {
            EXPECT_NO_THROW(reflection.get(element, property))
                << ::fenmo::toUtf8(property->getQualifiedName());
        });
    EXPECT_EQ(reflection.get(a->getChildAttrs(), schema::ChildAttributes::parent()).getElement().get(),
              root.get());
}

TEST(Reflection, CreateByClassAndInvokeOperations) {
    Model model = Model::create();
    TreeNode root = createRoot(model, parentOf(childNode(u"a", 1)));
    const Reflection reflection;
    const std::size_t steps = model->undoStepCount(), elements = model->elementCount();
    ReportLog log(model);

    // Refused creations create nothing: no builder for the class, no model, a value the class does not
    // take or of the wrong type, an identity already in use.
    const uuid id = ::fenmo::newUuid();
    failsWith("InvalidValue", [&] { reflection.create(model, ModelElement::metaClass(), id); });
    failsWith("CannotCreateWithoutModel",
              [&] { reflection.create(Model(), SignalAttributes::metaClass(), id); });
    failsWith("InvalidValue", [&] {
        reflection.create(model, SignalAttributes::metaClass(),
                          {{schema::ChildAttributes::name(), Value::ofString(u"x")}}, id);
    });
    failsWith("CannotCastIncompatibleTypes", [&] {
        reflection.create(model, SignalAttributes::metaClass(),
                          {{schema::SignalAttributes::dataType(), Value::ofInteger(1)}}, id);
    });
    failsWith("InvalidValue",
              [&] { reflection.create(model, SignalAttributes::metaClass(), root->getUuid()); });
    EXPECT_FALSE(model->findElement(id));
    EXPECT_EQ(model->elementCount(), elements);
    EXPECT_EQ(model->undoStepCount(), steps);
    EXPECT_TRUE(log.reports.empty());

    // A node with child attributes, made by class and values alone, and joined to the tree by invoking
    // the parent's operation.
    ModelElement attributes = reflection.create(model, ChildAttributes::metaClass(),
                                                {{schema::ChildAttributes::name(), Value::ofString(u"b")},
                                                 {schema::ChildAttributes::indexOne(), Value::ofInteger(2)}});
    ModelElement node = reflection.create(model, TreeNode::metaClass(), id);
    EXPECT_EQ(model->findElement(id).get(), node.get());
    reflection.set(node, schema::TreeNode::childAttrs(), Value::ofElement(attributes));
    EXPECT_EQ(model->undoStepCount(), steps + 3);

    ParentAttributes parent = root->getParentAttrs();
    const ::fenmo::meta::Operation& addChild = schema::ParentAttributes::addChild();
    failsWith("InvalidValue", [&] { reflection.invoke(parent, addChild, {}); });
    failsWith("InvalidValue", [&] { reflection.invoke(node, addChild, {Value::ofElement(node)}); });
    EXPECT_EQ(childNames(root), Names{u"a"});
    EXPECT_FALSE(reflection.invoke(parent, addChild, {Value::ofElement(node)}).has_value());
    EXPECT_EQ(childNames(root), (Names{u"a", u"b"}));
    EXPECT_EQ(node->container().get(), parent.get());

    model->undo();
    model->undo();
    model->undo();
    EXPECT_EQ(childNames(root), Names{u"a"});
    model->undo();
    EXPECT_FALSE(model->findElement(id));
    EXPECT_FALSE(attributes);
    EXPECT_EQ(model->elementCount(), elements);
}

}  // namespace
}  // namespace treetest
