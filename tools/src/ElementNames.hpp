#pragma once
// Readable names of elements: a node by its path, an attribute object by its node's path and the
// property that holds it. Names of destroyed elements come from what was remembered before.

#include "Tree.hpp"

#include <fenmo/Uuid.hpp>

#include <string>
#include <unordered_map>

namespace arvelle::tools {

struct ElementName {
    std::string node;  // the path of the node the element is or belongs to
    std::string slot;  // the node's property holding the element; empty for the node itself

    // "Root/Bus/Signal" or "Root/Bus/Signal [signalAttrs]".
    std::string text() const { return slot.empty() ? node : node + " [" + slot + "]"; }
    // The last name of the path.
    std::string leaf() const;
};

class ElementNames {
public:
    // The element's current name while it is part of a tree, else the one remembered for it, else its
    // class name.
    ElementName of(const ::fenmo::ModelElement& element) const;
    // Remembers the names of `root` and everything below it.
    void remember(const tn::TreeNode& root);

private:
    std::unordered_map<::fenmo::uuid, ElementName, ::fenmo::UuidHash> m_remembered;
};

}  // namespace arvelle::tools
