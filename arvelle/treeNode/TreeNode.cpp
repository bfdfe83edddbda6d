// What is particular to TreeNode: its derived property.

#include <arvelle/treeNode/TreeNode.hpp>

namespace tav::fenmo::treeNode {

// A node is inherited when it holds parent attributes inherited from elsewhere.
bool TreeNode::Impl::getIsInherited() const { return hasInheritedParentAttrs(); }

}  // namespace tav::fenmo::treeNode
