#pragma once
// The hierarchy as an indented tree: one line per node with its index and name, followed by the
// attribute objects it holds and their set properties, in aligned columns.

#include "ElementNames.hpp"
#include "Style.hpp"

#include <string>

namespace arvelle::tools {

// Example (without colour):
//   CruiseControl      busTypeRoot  checksum=5f0c2a91
//   ├─ 1 Inputs
//   │  ├─ 1 Speed      signal       unit=m/s dataType=double
//   │  └─ 2 Gear       signal       dataType=int8
// `maxDepth` levels below the root at most (negative: all); a node whose children are cut off shows
// how many it has, as "Inputs (+3)".
std::string printTree(const tn::TreeNode& root, const ElementNames& names, const Style& style,
                      int maxDepth = -1);

// The short label of a node's attribute slot: the property name without its "Attrs" ending.
std::string slotLabel(const ::fenmo::meta::Property& property);

}  // namespace arvelle::tools
