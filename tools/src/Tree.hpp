#pragma once
// Navigation of a signal and bus hierarchy as the tools see it: a node's name, its children, the
// attribute objects it holds, and paths such as "CruiseControl/Inputs/Vehicle".

#include <arvelle/treeNode/All.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace arvelle::tools {

namespace tn = tav::fenmo::treeNode;

// The name under which a node sits below its parent; empty if the node has no child attributes.
std::string nodeName(const tn::TreeNode& node);
// The node's index among its siblings; 0 if it has no child attributes.
int nodeIndex(const tn::TreeNode& node);
// The node's children in the order its parent attributes keep them (none for a signal).
std::vector<tn::TreeNode> childrenOf(const tn::TreeNode& node);
// The node that contains `node` as a child; empty for the root or a detached node.
tn::TreeNode parentOf(const tn::TreeNode& node);
// The names from the root down to `node`, joined by '/'.
std::string pathOf(const tn::TreeNode& node);
// The node at `path` below `root` ("Inputs/Vehicle"); empty if there is none. An empty path is `root`.
tn::TreeNode findNode(const tn::TreeNode& root, std::u16string_view path);

// An attribute object of a node and the node's property that holds it.
struct Slot {
    ::fenmo::meta::Property property;
    ::fenmo::ModelElement element;
};
// The attribute objects a node holds besides those forming the tree (its parent and child attributes),
// in property order.
std::vector<Slot> attributeSlots(const tn::TreeNode& node);

}  // namespace arvelle::tools
