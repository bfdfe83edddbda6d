// The tree printer, the value texts and the change report printer on a small hierarchy.

#include "ElementNames.hpp"
#include "ReportPrinter.hpp"
#include "TreePrinter.hpp"
#include "ValueText.hpp"

#include <fenmo/ModelImpl.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Transaction.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace arvelle::tools {
namespace {

using Text = boost::optional<std::u16string>;

std::unique_ptr<tn::TreeNode::Builder> child(std::u16string name, int index) {
    auto node = std::make_unique<tn::TreeNode::Builder>();
    auto place = std::make_unique<tn::ChildAttributes::Builder>();
    place->setName(name).setIndexOne(index);
    node->setChildAttrs(std::move(place));
    return node;
}

std::unique_ptr<tn::TreeNode::Builder> signal(std::u16string name, int index, std::u16string dataType) {
    auto node = child(std::move(name), index);
    auto attributes = std::make_unique<tn::SignalAttributes::Builder>();
    attributes->setDataType(Text(dataType));
    node->setSignalAttrs(std::move(attributes));
    return node;
}

// Top (bus type root) with Speed (1), Sub (2) holding Flag (1), and Gear (10).
class SmallTree : public ::testing::Test {
protected:
    SmallTree() : model(::fenmo::Model::create()) {
        tn::TreeNode::Builder top(model);
        auto place = std::make_unique<tn::ChildAttributes::Builder>();
        place->setName(u"Top").setIndexOne(1);
        top.setChildAttrs(std::move(place));
        auto busType = std::make_unique<tn::BusTypeRootAttributes::Builder>();
        busType->setChecksum(Text(u"c0ffee"));
        top.setBusTypeRootAttrs(std::move(busType));

        auto children = std::make_unique<tn::ParentAttributes::Builder>();
        auto speed = child(u"Speed", 1);
        auto speedAttributes = std::make_unique<tn::SignalAttributes::Builder>();
        speedAttributes->setComplexity(tn::Complexity::REAL)
            .setUnit(Text(u"m/s"))
            .setDataType(Text(u"double"));
        speed->setSignalAttrs(std::move(speedAttributes));
        children->addChildren(std::move(speed));
        auto sub = child(u"Sub", 2);
        auto subChildren = std::make_unique<tn::ParentAttributes::Builder>();
        subChildren->addChildren(signal(u"Flag", 1, u"boolean"));
        sub->setParentAttrs(std::move(subChildren));
        auto queue = std::make_unique<tn::MessageQueueAttributes::Builder>();
        queue->setQueueType(tn::QueueType::Q_TYPE_LIFO);
        sub->setMsgQueueAttrs(std::move(queue));
        children->addChildren(std::move(sub));
        children->addChildren(signal(u"Gear", 10, u"Enum: Gear"));
        top.setParentAttrs(std::move(children));
        root = top.createTreeNode(::fenmo::uuid());

        listening = model->addListener([this](const ::fenmo::ChangeReport& r) { report.emplace(r); });
    }

    // Runs `edit` in one transaction and returns the printed report of its commit.
    std::string edit(const std::function<void()>& change) {
        names.remember(root);
        report.reset();
        ::fenmo::Transaction transaction = model->beginTransaction(false);
        change();
        transaction.commit(boost::none);
        EXPECT_TRUE(report.has_value());
        return report ? printReport(*report, names, Style(false)) : std::string();
    }

    tn::TreeNode node(std::u16string_view path) const { return findNode(root, path); }

    ::fenmo::Model model;
    tn::TreeNode root;
    ElementNames names;
    ::fenmo::ListenerToken listening;
    std::optional<::fenmo::ChangeReport> report;
};

TEST_F(SmallTree, PrintsNodesWithIndicesAndAttributesInAlignedColumns) {
    EXPECT_EQ(printTree(root, names, Style(false)),
              "Top           busTypeRoot  checksum=c0ffee\n"
              "├─  1 Speed   signal       complexity=REAL unit=m/s dataType=double\n"
              "├─  2 Sub     msgQueue     queueType=Q_TYPE_LIFO\n"
              "│  └─ 1 Flag  signal       dataType=boolean\n"
              "└─ 10 Gear    signal       dataType=\"Enum: Gear\"\n");
}

TEST_F(SmallTree, ColourWrapsTextWithoutMovingColumns) {
    std::string plain = printTree(root, names, Style(false));
    std::string coloured = printTree(root, names, Style(true));
    EXPECT_NE(coloured.find("\x1b[1mSpeed\x1b[0m"), std::string::npos);
    std::string stripped;
    for (std::size_t i = 0; i < coloured.size(); ++i) {
        if (coloured[i] == '\x1b')
            i = coloured.find('m', i);
        else
            stripped += coloured[i];
    }
    EXPECT_EQ(stripped, plain);
}

TEST_F(SmallTree, FindsNodesByPath) {
    EXPECT_EQ(nodeName(node(u"Sub/Flag")), "Flag");
    EXPECT_EQ(pathOf(node(u"Sub/Flag")), "Top/Sub/Flag");
    EXPECT_EQ(node(u"").get(), root.get());
    EXPECT_FALSE(node(u"Sub/Nothing"));
    EXPECT_FALSE(node(u"Speed/Deeper"));
}

TEST_F(SmallTree, ReportsARenameWithOldAndNewName) {
    std::string text = edit([&] { node(u"Speed")->getChildAttrs()->setName(u"Velocity"); });
    EXPECT_NE(text.find("~ Top/Velocity [childAttrs]\n      name  Speed → Velocity\n"), std::string::npos)
        << text;
}

TEST_F(SmallTree, ReportsAMoveAsRemovedFromOneBusAndAddedToTheOther) {
    std::string text = edit([&] { node(u"Gear")->getChildAttrs()->setParent(node(u"Sub")); });
    EXPECT_NE(text.find("attrsOfParent  Top [parentAttrs] → Top/Sub [parentAttrs]"), std::string::npos)
        << text;
    EXPECT_NE(text.find("~ Top [parentAttrs]\n      children         − Gear\n"), std::string::npos) << text;
    EXPECT_NE(text.find("~ Top/Sub [parentAttrs]\n      children         + Gear\n"), std::string::npos)
        << text;
}

TEST_F(SmallTree, ReportsAnIndexSwapAsNewOrder) {
    std::string text = edit([&] {
        node(u"Speed")->getChildAttrs()->setIndexOne(5);
        node(u"Sub")->getChildAttrs()->setIndexOne(1);
        node(u"Speed")->getChildAttrs()->setIndexOne(2);
    });
    EXPECT_NE(text.find("children         reordered: Sub, Speed, Gear"), std::string::npos) << text;
    EXPECT_NE(text.find("indexOne  1 → 2"), std::string::npos) << text;
    EXPECT_EQ(text.find("5"), std::string::npos)
        << "the intermediate index is not part of the change: " << text;
}

TEST_F(SmallTree, NamesDestroyedElementsByWhatWasRemembered) {
    std::string text = edit([&] { node(u"Sub")->destroy(); });
    EXPECT_NE(text.find("  − Top/Sub       node, parentAttrs, childAttrs, msgQueueAttrs\n"
                        "  − Top/Sub/Flag  node, childAttrs, signalAttrs\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("children         − Sub"), std::string::npos) << text;
}

TEST_F(SmallTree, ReportsUnsetValuesAsNone) {
    std::string text = edit([&] { node(u"Gear")->getSignalAttrs()->setUnit(Text(u"1")); });
    EXPECT_NE(text.find("unit  (none) → 1"), std::string::npos) << text;
}

TEST(ValueText, QuotesOnlyWhatWouldNotReadAsOneWord) {
    EXPECT_EQ(quoteIfNeeded("double"), "double");
    EXPECT_EQ(quoteIfNeeded("m/s^2"), "m/s^2");
    EXPECT_EQ(quoteIfNeeded(""), "\"\"");
    EXPECT_EQ(quoteIfNeeded("Bus: A"), "\"Bus: A\"");
    EXPECT_EQ(quoteIfNeeded("[2 3]"), "\"[2 3]\"");
    EXPECT_EQ(quoteIfNeeded("a\"b\\c"), "\"a\\\"b\\\\c\"");
}

TEST(ValueText, WritesEnumeratorsAndHostPointersAsTheirSerializersDo) {
    ElementNames names;
    auto* block = reinterpret_cast<TAVBlock*>(std::uintptr_t{0x1a2b});
    EXPECT_EQ(valueText(::fenmo::Value::ofPointer(tn::schema::nativeTypes::TavBlockPtr(), block), names),
              "0x0000000000001a2b");
    EXPECT_EQ(valueText(::fenmo::Value::ofPointer(tn::schema::nativeTypes::TavPortPtr(), nullptr), names),
              "0x0000000000000000");
    EXPECT_EQ(valueText(::fenmo::Value::ofEnum(tn::schema::Complexity::type(), 2), names), "COMPLEX");
    EXPECT_EQ(valueText(::fenmo::Value::ofInteger(-7), names), "-7");
    EXPECT_EQ(valueText(::fenmo::Value::ofBoolean(true), names), "true");
    EXPECT_EQ(valueText(::fenmo::Value(tn::schema::Virtuality::type(), boost::none), names), "(none)");
}

TEST(ValueText, WritesASetOfHostPointersInAddressOrder) {
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::BlockAttributes::Builder builder(model);
    builder.addTavBlocks({reinterpret_cast<TAVBlock*>(std::uintptr_t{0x20}),
                          reinterpret_cast<TAVBlock*>(std::uintptr_t{0x10})});
    tn::BlockAttributes blocks = builder.createBlockAttributes(::fenmo::uuid());
    ::fenmo::Value value = blocks->getPropertyValue(tn::schema::BlockAttributes::tavBlocks(),
                                                    ::fenmo::ReflectionPrivateTag::standard());
    EXPECT_EQ(valueText(value, ElementNames()), "{0x0000000000000010, 0x0000000000000020}");
}

}  // namespace
}  // namespace arvelle::tools
