#pragma once
// Shared helpers of the tree tests: builders of small hierarchies, expected refusals, a change report log,
// and a description of a tree for before/after comparisons.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/ChangeReport.hpp>
#include <fenmo/ElementImpl.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/Value.hpp>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace treetest {

using ::fenmo::Access;
using ::fenmo::Model;
using ::fenmo::ModelElement;
using ::fenmo::Proxies;
using ::fenmo::ProxyId;
using ::fenmo::Reflection;
using ::fenmo::uuid;
using ::fenmo::Value;
using tav::fenmo::treeNode::BlockAttributes;
using tav::fenmo::treeNode::ChildAttributes;
using tav::fenmo::treeNode::ParentAttributes;
using tav::fenmo::treeNode::PlatformAttributes;
using tav::fenmo::treeNode::SignalAttributes;
using tav::fenmo::treeNode::TreeNode;
namespace schema = tav::fenmo::treeNode::schema;
using Names = std::vector<std::u16string>;

// Runs `action`, which must fail with the given key of the framework's catalog; answers the arguments.
template <class F>
Names failsWith(const std::string& key, F&& action) {
    try {
        action();
    } catch (const ::fenmo::MessageIdException& e) {
        EXPECT_EQ(e.catalog(), "fenmo:messages");
        EXPECT_EQ(e.key(), key) << e.what();
        return e.arguments();
    }
    ADD_FAILURE() << "no exception, expected " << key;
    return {};
}

// A node builder with child attributes (name, index) and, optionally, parent attributes.
inline std::unique_ptr<TreeNode::Builder> childNode(
    const std::u16string& name, int index, std::unique_ptr<ParentAttributes::Builder> parent = nullptr) {
    auto attributes = std::make_unique<ChildAttributes::Builder>();
    attributes->setName(name).setIndexOne(index);
    auto node = std::make_unique<TreeNode::Builder>();
    node->setChildAttrs(std::move(attributes));
    if (parent) node->setParentAttrs(std::move(parent));
    return node;
}

// Parent attributes whose children are the given node builders, in that order.
template <class... Children>
std::unique_ptr<ParentAttributes::Builder> parentOf(Children&&... children) {
    auto parent = std::make_unique<ParentAttributes::Builder>();
    (parent->addChildren(std::move(children)), ...);
    return parent;
}

// A root node (no child attributes) holding the given parent attributes, created in `model`.
inline TreeNode createRoot(const Model& model, std::unique_ptr<ParentAttributes::Builder> parent) {
    TreeNode::Builder root(model);
    root.setParentAttrs(std::move(parent));
    return root.createTreeNode(uuid());
}

// A free node with child attributes (name, index) and no parent, created in `model`.
inline TreeNode createDetached(const Model& model, const std::u16string& name, int index) {
    auto builder = childNode(name, index);
    builder->setModel(model);
    return builder->createTreeNode(uuid());
}

inline Names childNames(const TreeNode& node) {
    Names names;
    if (ParentAttributes parent = node->getParentAttrs())
        for (const TreeNode& child : parent->getChildren())
            names.push_back(child->getChildAttrs()->getName());
    return names;
}

// The child of `node` filed under `name` in its map, as a node.
inline TreeNode childNamed(const TreeNode& node, const std::u16string& name) {
    ChildAttributes attributes = node->getParentAttrs()->findChildByName(name);
    return attributes ? ::fenmo::handleCast<TreeNode>(attributes->container()) : TreeNode();
}

// Collects every change report a model publishes.
struct ReportLog {
    explicit ReportLog(const Model& model)
        : token(model->addListener(
              [this](const ::fenmo::ChangeReport& report) { reports.push_back(report); })) {}
    std::vector<::fenmo::ChangeReport> reports;
    ::fenmo::ListenerToken token;
};

// The ten containment slots of a node, in property order.
inline std::vector<ModelElement> slotsOf(const TreeNode& node) {
    TreeNode::Impl& n = *node.get();
    return {n.getParentAttrs(),          n.getChildAttrs(),   n.getSignalAttrs(), n.getBusTypeRootAttrs(),
            n.getBusTypeElementAttrs(),  n.getBlockAttrs(),   n.getPropAttrs(),   n.getMsgQueueAttrs(),
            n.getInheritedParentAttrs(), n.getPlatformAttrs()};
}

// The given nodes and everything they hold, recursively.
inline std::vector<ModelElement> subtrees(std::initializer_list<TreeNode> nodes) {
    std::vector<ModelElement> all;
    for (const TreeNode& node : nodes) {
        all.push_back(node);
        for (const ModelElement& slot : slotsOf(node))
            if (slot) all.push_back(slot);
        if (ParentAttributes parent = node->getParentAttrs())
            for (const TreeNode& child : parent->getChildren())
                for (const ModelElement& element : subtrees({child})) all.push_back(element);
    }
    return all;
}

inline std::string idOf(const ModelElement& element) {
    return element.get() ? ::fenmo::toString(element->getUuid()) : std::string("-");
}

// Everything the tree keeps about the given elements, a line each: identity, validity, container, the
// slots of nodes, the keys and parent of child attributes, the children and the map of parent attributes
// with both lookups checked. Equal descriptions mean the same tree.
inline std::string describe(const std::vector<ModelElement>& elements) {
    std::ostringstream out;
    for (const ModelElement& element : elements) {
        out << "\n" << idOf(element) << (element ? "" : " invalid") << " in " << idOf(element->container());
        if (TreeNode node = ::fenmo::handleCast<TreeNode>(element); node.get()) {
            for (const ModelElement& slot : slotsOf(node)) out << " " << idOf(slot);
        } else if (ChildAttributes child = ::fenmo::handleCast<ChildAttributes>(element); child.get()) {
            out << " key " << child->getIndexOne() << " '" << ::fenmo::toUtf8(child->getName()) << "' of "
                << idOf(child->getAttrsOfParent()) << " parent " << idOf(child->getParent());
        } else if (ParentAttributes parent = ::fenmo::handleCast<ParentAttributes>(element); parent.get()) {
            for (const TreeNode& c : parent->getChildren()) out << " " << idOf(c);
            out << " map";
            for (const ChildAttributes& c : parent->getAttrsOfChildren())
                out << " " << c->getIndexOne() << ":" << ::fenmo::toUtf8(c->getName()) << "=" << idOf(c)
                    << (parent->findChildByIndex(c->getIndexOne()).get() == c.get() &&
                                parent->findChildByName(c->getName()).get() == c.get()
                            ? ""
                            : " (lookup differs)");
        }
    }
    return out.str();
}

}  // namespace treetest
