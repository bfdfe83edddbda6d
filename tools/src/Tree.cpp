#include "Tree.hpp"

#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>

namespace arvelle::tools {

std::string nodeName(const tn::TreeNode& node) {
    tn::ChildAttributes child = node->getChildAttrs();
    return child ? ::fenmo::toUtf8(child->getName()) : std::string();
}

int nodeIndex(const tn::TreeNode& node) {
    tn::ChildAttributes child = node->getChildAttrs();
    return child ? child->getIndexOne() : 0;
}

std::vector<tn::TreeNode> childrenOf(const tn::TreeNode& node) {
    tn::ParentAttributes parent = node->getParentAttrs();
    if (!parent) return {};
    const auto& children = parent->getChildren();
    return std::vector<tn::TreeNode>(children.begin(), children.end());
}

// A child node is contained by its parent's parent attributes, which the parent node contains: the
// path follows containment, which holds even while a node's child attributes are being changed.
tn::TreeNode parentOf(const tn::TreeNode& node) {
    ::fenmo::ModelElement attributes = node->container();
    if (!attributes) return {};
    return ::fenmo::handleCast<tn::TreeNode>(attributes->container());
}

std::string pathOf(const tn::TreeNode& node) {
    std::string path = nodeName(node);
    int depth = 0;
    for (tn::TreeNode up = parentOf(node); up && depth < 1000; up = parentOf(up), ++depth)
        path = nodeName(up) + "/" + path;
    return path;
}

tn::TreeNode findNode(const tn::TreeNode& root, std::u16string_view path) {
    tn::TreeNode node = root;
    while (node && !path.empty()) {
        std::size_t slash = path.find(u'/');
        std::u16string name(path.substr(0, slash));
        path = slash == std::u16string_view::npos ? std::u16string_view() : path.substr(slash + 1);
        tn::ParentAttributes parent = node->getParentAttrs();
        tn::ChildAttributes child = parent ? parent->findChildByName(name) : tn::ChildAttributes();
        node = child ? ::fenmo::handleCast<tn::TreeNode>(child->container()) : tn::TreeNode();
    }
    return node;
}

std::vector<Slot> attributeSlots(const tn::TreeNode& node) {
    namespace schema = tn::schema;
    const ::fenmo::Reflection reflection;
    std::vector<Slot> slots;
    reflection.forEachProperty(node, [&](const ::fenmo::meta::Property& property) {
        if (!property->isComposite() || property == schema::TreeNode::parentAttrs() ||
            property == schema::TreeNode::childAttrs())
            return;
        ::fenmo::ModelElement element = reflection.get(node, property).getElement();
        if (element) slots.push_back({property, element});
    });
    return slots;
}

}  // namespace arvelle::tools
