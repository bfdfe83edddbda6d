// Save, load, save again: the same bytes, the same elements, identities, order and values.

#include "PersistSupport.hpp"

#include "ExampleModel.hpp"

#include <cstdint>

namespace persisttest {
namespace {

template <class T>
T* host(std::uintptr_t address) {
    return reinterpret_cast<T*>(address);
}

// A random hierarchy: buses and signals with random attribute values, some unset, some empty.
std::unique_ptr<tn::TreeNode::Builder> randomNode(std::mt19937& random, int depth, int index) {
    auto node = std::make_unique<tn::TreeNode::Builder>();
    auto place = std::make_unique<tn::ChildAttributes::Builder>();
    place->setName(u"n" + ::fenmo::widenNumber(index) + randomText(random)).setIndexOne(index);
    node->setChildAttrs(std::move(place));
    if (depth > 0 && random() % 3 != 0) {
        auto children = std::make_unique<tn::ParentAttributes::Builder>();
        int count = static_cast<int>(random() % 5);
        for (int i = 1; i <= count; ++i) children->addChildren(randomNode(random, depth - 1, i * 2 - 1));
        node->setParentAttrs(std::move(children));
    } else {
        auto signal = std::make_unique<tn::SignalAttributes::Builder>();
        if (random() % 2) signal->setDataType(randomText(random));
        if (random() % 3 == 0) signal->setUnit(std::u16string());
        if (random() % 2)
            signal->setComplexity(random() % 2 ? tn::Complexity::REAL : tn::Complexity::COMPLEX);
        if (random() % 4 == 0) signal->setDesc(randomText(random));
        node->setSignalAttrs(std::move(signal));
    }
    if (random() % 4 == 0) {
        auto blocks = std::make_unique<tn::BlockAttributes::Builder>();
        for (int i = static_cast<int>(random() % 3); i > 0; --i)
            blocks->addTavBlocks(host<TAVBlock>(0x1000 + (random() % 64) * 16));
        node->setBlockAttrs(std::move(blocks));
    }
    if (random() % 5 == 0) {
        auto route = std::make_unique<tn::PropagationAttributes::Builder>();
        route->setTavBusSrc(host<TAVBlock>(0x55d0c3a40a20))
            .setTavBusSrcOPort(static_cast<int>(random() % 9) - 4);
        if (random() % 2) route->setIsMessage(random() % 2 == 0);
        node->setPropAttrs(std::move(route));
    }
    return node;
}

std::vector<tn::TreeNode> nodesBelow(const tn::TreeNode& root) {
    std::vector<tn::TreeNode> nodes{root};
    for (std::size_t i = 0; i < nodes.size(); ++i)
        if (tn::ParentAttributes parent = nodes[i]->getParentAttrs(); parent)
            for (const tn::TreeNode& child : parent->getChildren()) nodes.push_back(child);
    return nodes;
}

// Edits after creation, each its own transaction: renames, unsetting, emptying, destroying.
void randomEdits(std::mt19937& random, const tn::TreeNode& root) {
    for (int step = 0; step < 8; ++step) {
        std::vector<tn::TreeNode> nodes = nodesBelow(root);
        tn::TreeNode node = nodes[random() % nodes.size()];
        switch (random() % 4) {
            case 0:
                if (node->getChildAttrs())
                    node->getChildAttrs()->setName(u"renamed" + ::fenmo::widenNumber(step));
                break;
            case 1:
                if (node->getSignalAttrs()) node->getSignalAttrs()->setDataType(boost::none);
                break;
            case 2:
                if (node->getSignalAttrs()) node->getSignalAttrs()->setDims(std::u16string());
                break;
            default:
                if (node.get() != root.get()) node->destroy();
        }
    }
}

Model copyOf(const Model& model) {
    return ::fenmo::xml::readModel(::fenmo::xml::writeModel(model), "copy", {.newIdentity = true});
}

// The copy equals the model; once the model is closed, the file loads with its identity and saves
// to the same bytes.
void expectRoundTrip(Model model, const std::string& what) {
    const std::string first = ::fenmo::xml::writeModel(model);
    const uuid id = model->getId();
    const std::size_t count = model->elementCount();
    {
        Model copy = ::fenmo::xml::readModel(first, what, {.newIdentity = true});
        EXPECT_NE(copy->getId(), id);
        EXPECT_TRUE(::fenmo::compareModels(model, copy).empty()) << what;
        EXPECT_FALSE(copy->canUndo()) << what << ": loading is no undo step";
        EXPECT_TRUE(copy->isUndoRecording()) << what;
    }
    model = Model();
    Model loaded = ::fenmo::xml::readModel(first, what);
    EXPECT_EQ(loaded->getId(), id) << what;
    EXPECT_EQ(loaded->elementCount(), count) << what;
    EXPECT_EQ(::fenmo::xml::writeModel(loaded), first) << what;
}

TEST(RoundTrip, ExampleKeepsBytesIdentitiesAndValues) {
    Model model = Model::create();
    tn::TreeNode root = arvelle::tools::buildExample(model);
    const std::string text = ::fenmo::xml::writeModel(model);
    EXPECT_NE(text.find("uri=\"https://arvelle.dev/fenmo/arvelle/V0001a/treeNode\""), std::string::npos);
    EXPECT_NE(text.find("complexity=\"COMPLEX\""), std::string::npos) << "enumerators by literal name";
    Model loaded = copyOf(model);
    tn::TreeNode copy = ::fenmo::handleCast<tn::TreeNode>(loaded->findElement(root->getUuid()));
    ASSERT_TRUE(copy);
    std::vector<tn::TreeNode> a = nodesBelow(root), b = nodesBelow(copy);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i]->getUuid(), b[i]->getUuid()) << "children in the same order";
        if (a[i]->getChildAttrs()) {
            EXPECT_EQ(a[i]->getChildAttrs()->getName(), b[i]->getChildAttrs()->getName());
        }
    }
    // The loaded tree works like a built one: children are found by name through the restored map.
    tn::TreeNode inputs = b[1];
    ASSERT_TRUE(inputs->getParentAttrs());
    EXPECT_TRUE(inputs->getParentAttrs()->findChildByName(u"Vehicle"));
    // An edit after loading is the first undo step.
    inputs->getChildAttrs()->setName(u"In");
    EXPECT_TRUE(loaded->canUndo());
    loaded->undo();
    EXPECT_TRUE(::fenmo::compareModels(model, loaded).empty());
    expectRoundTrip(std::move(model), "example");
}

TEST(RoundTrip, RandomModelsAfterEditsManySeeds) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        Model model = Model::create();
        tn::TreeNode root;
        {  // The builder keeps the model open until it goes.
            tn::TreeNode::Builder rootBuilder(model);
            auto children = std::make_unique<tn::ParentAttributes::Builder>();
            for (int i = 1; i <= 4; ++i) children->addChildren(randomNode(random, 3, i));
            rootBuilder.setParentAttrs(std::move(children));
            root = rootBuilder.createTreeNode(uuid());
        }
        if (seed % 3 == 0) tn::TreeNode::create(model, uuid());  // a second top-level element
        randomEdits(random, root);
        expectRoundTrip(std::move(model), "seed " + std::to_string(seed));
    }
}

TEST(RoundTrip, UnsetAndEmptyStayApart) {
    Model model = Model::create();
    tn::TreeNode::Builder builder(model);
    auto signal = std::make_unique<tn::SignalAttributes::Builder>();
    signal->setDataType(std::u16string()).setUnit(std::u16string(u" \n\t<&\"\r"));
    builder.setSignalAttrs(std::move(signal));
    tn::TreeNode node = builder.createTreeNode(uuid());
    Model loaded = copyOf(model);
    auto copy = ::fenmo::handleCast<tn::TreeNode>(loaded->findElement(node->getUuid()));
    ASSERT_TRUE(copy && copy->getSignalAttrs());
    EXPECT_TRUE(copy->getSignalAttrs()->getDataType() == boost::optional<std::u16string>(std::u16string()));
    EXPECT_TRUE(copy->getSignalAttrs()->getUnit() == boost::optional<std::u16string>(u" \n\t<&\"\r"));
    EXPECT_FALSE(copy->getSignalAttrs()->getDims());
    EXPECT_FALSE(copy->getParentAttrs());
    EXPECT_EQ(copy->getSignalAttrs()->getUuid(), node->getSignalAttrs()->getUuid());
}

TEST(RoundTrip, ComparisonReportsEachKindOfDifference) {
    Model model = Model::create();
    tn::TreeNode root = arvelle::tools::buildExample(model);
    Model copy = copyOf(model);
    auto child = [](const tn::TreeNode& parent, std::u16string_view name) {
        return ::fenmo::handleCast<tn::TreeNode>(
            parent->getParentAttrs()->findChildByName(std::u16string(name))->container());
    };
    auto node = [&](const Model& m, std::u16string_view a, std::u16string_view b) {
        return child(child(::fenmo::handleCast<tn::TreeNode>(m->findElement(root->getUuid())), a), b);
    };
    child(node(copy, u"Inputs", u"Vehicle"), u"YawRate")->getSignalAttrs()->setUnit(std::u16string(u"deg/s"));
    tn::TreeNode gone = node(copy, u"Outputs", u"Display");
    const uuid goneId = gone->getUuid();
    gone->destroy();
    std::vector<::fenmo::ModelDifference> differences = ::fenmo::compareModels(model, copy);
    std::size_t removed = 0, changed = 0;
    for (const auto& d : differences) {
        if (d.kind == ::fenmo::ModelDifference::Kind::Removed) ++removed;
        if (d.kind == ::fenmo::ModelDifference::Kind::Changed) {
            ++changed;
            EXPECT_EQ(d.name, u"unit");
            EXPECT_EQ(d.oldText, "rad/s");
            EXPECT_EQ(d.newText, "deg/s");
        }
        EXPECT_NE(d.kind, ::fenmo::ModelDifference::Kind::Added);
    }
    EXPECT_EQ(changed, 1u);
    EXPECT_GT(removed, 4u) << "the bus, its attributes and its signals";
    EXPECT_TRUE(std::any_of(differences.begin(), differences.end(),
                            [&](const auto& d) { return d.element == goneId; }));
    EXPECT_TRUE(::fenmo::compareModels(copy, copy).empty());
}

TEST(RoundTrip, ComparisonReportsTheFewestMoves) {
    Model model = Model::create();
    tn::TreeNode root = tn::TreeNode::Builder(model).createTreeNode(uuid());
    tn::TreeNode other = tn::TreeNode::Builder(model).createTreeNode(uuid());
    tn::ParentAttributes::Builder parentAttributes(model);
    root->createIntoParentAttrs(&parentAttributes, uuid());
    other->createIntoParentAttrs(&parentAttributes, uuid());
    std::vector<tn::TreeNode> children;
    for (int k = 1; k <= 12; ++k) {
        tn::TreeNode::Builder child(model);
        auto attributes = std::make_unique<tn::ChildAttributes::Builder>();
        attributes->setName(u"s" + ::fenmo::toUtf16(std::to_string(k))).setIndexOne(k);
        child.setChildAttrs(std::move(attributes));
        children.push_back(root->getParentAttrs()->createIntoChildren(&child, uuid()));
    }
    auto movedIds = [&](const Model& copy) {
        std::vector<uuid> ids;
        for (const auto& d : ::fenmo::compareModels(model, copy))
            if (d.kind == ::fenmo::ModelDifference::Kind::Moved) ids.push_back(d.element);
        return ids;
    };
    auto inCopy = [](const Model& copy, const tn::TreeNode& node) {
        return ::fenmo::handleCast<tn::TreeNode>(copy->findElement(node->getUuid()));
    };

    // One child of twelve to the end: that child alone, not the eight it passed.
    Model copy = copyOf(model);
    inCopy(copy, children[3])->getChildAttrs()->setIndexOne(20);
    EXPECT_EQ(movedIds(copy), std::vector<uuid>{children[3]->getUuid()});
    // Two neighbours swapped: one move explains it.
    copy = copyOf(model);
    inCopy(copy, children[5])->getChildAttrs()->setIndexOne(30);
    inCopy(copy, children[6])->getChildAttrs()->setIndexOne(6);
    inCopy(copy, children[5])->getChildAttrs()->setIndexOne(7);
    EXPECT_EQ(movedIds(copy).size(), 1u);
    // The whole order reversed: all but one moved. Another parent: moved whatever the order.
    copy = copyOf(model);
    for (int k = 0; k < 12; ++k) inCopy(copy, children[k])->getChildAttrs()->setIndexOne(100 - k);
    EXPECT_EQ(movedIds(copy).size(), 11u);
    copy = copyOf(model);
    inCopy(copy, children[0])->getChildAttrs()->setParent(inCopy(copy, other));
    std::vector<::fenmo::ModelDifference> differences = ::fenmo::compareModels(model, copy);
    auto moved = std::find_if(differences.begin(), differences.end(),
                              [](const auto& d) { return d.kind == ::fenmo::ModelDifference::Kind::Moved; });
    ASSERT_NE(moved, differences.end());
    EXPECT_EQ(moved->element, children[0]->getUuid());
    EXPECT_EQ(moved->oldContainer, root->getParentAttrs()->getUuid());
    EXPECT_EQ(moved->newContainer, other->getParentAttrs()->getUuid());
    EXPECT_EQ(movedIds(copy).size(), 1u);
}

}  // namespace
}  // namespace persisttest
