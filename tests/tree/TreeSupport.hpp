#pragma once
// Shared helpers of the tree tests: builders of small hierarchies, error expectations, change report and
// invalidation recorders, and a full description of a tree for before/after comparisons.

#include <arvelle/treeNode/All.hpp>

#include <fenmo/ChangeReport.hpp>
#include <fenmo/ElementImpl.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/GenericCollection.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/Value.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace treetest {

using ::fenmo::ChangeReport;
using ::fenmo::Model;
using ::fenmo::ModelElement;
using ::fenmo::ProxyId;
using ::fenmo::ReflectionPrivateTag;
using ::fenmo::uuid;
using ::fenmo::Value;
using tav::fenmo::treeNode::BlockAttributes;
using tav::fenmo::treeNode::ChildAttributes;
using tav::fenmo::treeNode::ParentAttributes;
using tav::fenmo::treeNode::PlatformAttributes;
using tav::fenmo::treeNode::SignalAttributes;
using tav::fenmo::treeNode::TreeNode;
namespace schema = tav::fenmo::treeNode::schema;

using ChildMap = ::fenmo::DoubleKeyElementMap<int, std::u16string, ChildAttributes>;

// Runs `action`, which must fail with the given key of the framework's catalog; answers the arguments.
template <class F>
std::vector<std::u16string> failsWith(const std::string& key, F&& action) {
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

// The children of a node (through its parent attributes), in order.
inline std::vector<TreeNode> childrenOf(const TreeNode& node) {
    ParentAttributes parent = node->getParentAttrs();
    if (!parent) return {};
    return parent->getChildren().elements();
}

inline std::vector<std::u16string> childNames(const TreeNode& node) {
    std::vector<std::u16string> names;
    for (const TreeNode& child : childrenOf(node)) names.push_back(child->getChildAttrs()->getName());
    return names;
}

inline std::vector<int> childIndices(const TreeNode& node) {
    std::vector<int> indices;
    for (const TreeNode& child : childrenOf(node)) indices.push_back(child->getChildAttrs()->getIndexOne());
    return indices;
}

// The child of `node` filed under `name` in its map, as a node.
inline TreeNode childNamed(const TreeNode& node, const std::u16string& name) {
    ChildAttributes attributes = node->getParentAttrs()->findChildByName(name);
    return attributes ? ::fenmo::handleCast<TreeNode>(attributes->container()) : TreeNode();
}

// Collects every change report a model publishes.
class ReportLog {
public:
    explicit ReportLog(const Model& model)
        : m_token(model->addListener([this](const ChangeReport& report) { m_reports.push_back(report); })) {}
    ReportLog(const ReportLog&) = delete;
    ReportLog& operator=(const ReportLog&) = delete;

    std::size_t size() const noexcept { return m_reports.size(); }
    const ChangeReport& last() const { return m_reports.back(); }

private:
    std::vector<ChangeReport> m_reports;
    ::fenmo::ListenerToken m_token;
};

// Records the order in which elements are invalidated while it lives.
class InvalidationLog {
public:
    InvalidationLog() : m_previous(::fenmo::ElementImpl::m_callback.exchange(&record)) { log().clear(); }
    ~InvalidationLog() {
        ::fenmo::ElementImpl::m_callback.store(m_previous);
        log().clear();
    }
    InvalidationLog(const InvalidationLog&) = delete;
    InvalidationLog& operator=(const InvalidationLog&) = delete;

    const std::vector<const ::fenmo::ElementImpl*>& order() const { return log(); }
    // Position of an element in the order, or -1.
    long positionOf(const ModelElement& element) const {
        for (std::size_t i = 0; i < log().size(); ++i)
            if (log()[i] == element.get()) return static_cast<long>(i);
        return -1;
    }

private:
    static std::vector<const ::fenmo::ElementImpl*>& log() {
        static std::vector<const ::fenmo::ElementImpl*> entries;
        return entries;
    }
    static void record(::fenmo::ElementImpl& element, ::fenmo::AbstractCollection* collection) {
        if (!collection) log().push_back(&element);
    }
    ::fenmo::ElementImpl::Callback m_previous;
};

// A text naming an element by identity (or "-" for none).
inline std::string idOf(const ModelElement& element) {
    return element.get() ? ::fenmo::toString(element->getUuid()) : std::string("-");
}

// Everything the tree keeps about the given elements: validity, container, the ten slots of nodes, the
// keys and parent of child attributes, the children and the map (in key order, with both lookups) of
// parent attributes. Two equal descriptions mean the same tree.
inline std::string describe(const std::vector<ModelElement>& elements) {
    std::ostringstream out;
    for (const ModelElement& element : elements) {
        out << idOf(element) << (element ? " valid" : " invalid") << " in " << idOf(element->container())
            << "\n";
        if (TreeNode node = ::fenmo::handleCast<TreeNode>(element); node.get()) {
            TreeNode::Impl& n = *node.get();
            out << "  slots " << idOf(n.getParentAttrs()) << " " << idOf(n.getChildAttrs()) << " "
                << idOf(n.getSignalAttrs()) << " " << idOf(n.getBusTypeRootAttrs()) << " "
                << idOf(n.getBusTypeElementAttrs()) << " " << idOf(n.getBlockAttrs()) << " "
                << idOf(n.getPropAttrs()) << " " << idOf(n.getMsgQueueAttrs()) << " "
                << idOf(n.getInheritedParentAttrs()) << " " << idOf(n.getPlatformAttrs()) << "\n";
        } else if (ChildAttributes child = ::fenmo::handleCast<ChildAttributes>(element); child.get()) {
            out << "  key " << child->getIndexOne() << " '" << ::fenmo::toUtf8(child->getName()) << "' of "
                << idOf(child->getAttrsOfParent()) << " parent " << idOf(child->getParent()) << "\n";
        } else if (ParentAttributes parent = ::fenmo::handleCast<ParentAttributes>(element); parent.get()) {
            out << "  children";
            for (const TreeNode& c : parent->getChildren()) out << " " << idOf(c);
            out << "\n  map";
            for (const ChildAttributes& c : parent->getAttrsOfChildren()) {
                out << " " << c->getIndexOne() << ":" << ::fenmo::toUtf8(c->getName()) << "=" << idOf(c);
                out << (parent->findChildByIndex(c->getIndexOne()).get() == c.get()
                            ? ""
                            : " (index lookup differs)");
                out << (parent->findChildByName(c->getName()).get() == c.get() ? ""
                                                                               : " (name lookup differs)");
            }
            out << "\n";
        }
    }
    return out.str();
}

// A node and everything it holds, recursively (attribute objects, children and their subtrees).
inline void collectSubtree(const TreeNode& node, std::vector<ModelElement>& into) {
    into.push_back(node);
    TreeNode::Impl& n = *node.get();
    for (ModelElement slot : {ModelElement(n.getParentAttrs()), ModelElement(n.getChildAttrs()),
                              ModelElement(n.getSignalAttrs()), ModelElement(n.getBlockAttrs()),
                              ModelElement(n.getInheritedParentAttrs()), ModelElement(n.getPlatformAttrs())})
        if (slot) into.push_back(slot);
    if (ParentAttributes parent = n.getParentAttrs())
        for (const TreeNode& child : parent->getChildren()) collectSubtree(child, into);
}

}  // namespace treetest
