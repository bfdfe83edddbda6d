#include "ElementNames.hpp"

#include <fenmo/Text.hpp>

namespace arvelle::tools {

std::string ElementName::leaf() const {
    std::size_t slash = node.rfind('/');
    return slash == std::string::npos ? node : node.substr(slash + 1);
}

ElementName ElementNames::of(const ::fenmo::ModelElement& element) const {
    if (!element.get()) return {"(none)", {}};
    if (element) {
        if (auto node = ::fenmo::handleCast<tn::TreeNode>(element)) return {pathOf(node), {}};
        if (auto owner = ::fenmo::handleCast<tn::TreeNode>(element->container()))
            return {pathOf(owner), ::fenmo::toUtf8(element->containingProperty()->getName())};
    }
    auto known = m_remembered.find(element->getUuid());
    if (known != m_remembered.end()) return known->second;
    return {::fenmo::toUtf8(element->getMetaClass()->getName()), {}};
}

void ElementNames::remember(const tn::TreeNode& root) {
    auto keep = [this](const ::fenmo::ModelElement& element) {
        if (element) m_remembered[element->getUuid()] = of(element);
    };
    keep(root);
    keep(root->getParentAttrs());
    keep(root->getChildAttrs());
    for (const Slot& slot : attributeSlots(root)) keep(slot.element);
    for (const tn::TreeNode& child : childrenOf(root)) remember(child);
}

}  // namespace arvelle::tools
