// ParentAttributes: a parent node's children, kept in indexOne order, and the ChildAttributes of those
// children, found by index or by name.

#include <arvelle/treeNode/ParentAttributes.hpp>

namespace tav::fenmo::treeNode {

namespace {

// The indexOne under which a node is ordered (0 for a node without child attributes). Real attributes
// are read where the node holds them: a search reads a node per step, and a handle copy per step costs
// two atomic counts.
int indexOneOf(const TreeNode& node) {
    if (!node.get()) return 0;
    if (const ChildAttributes& held = node->peekChildAttrs();
        held.get() && held->isValid() && !held->isProxy())
        return held->getIndexOne();
    ChildAttributes attributes = node->getChildAttrs();
    return attributes.get() ? attributes->getIndexOne() : 0;
}

bool isChildren(const ::fenmo::meta::Property& p) { return p.get() == schema::ParentAttributes::children().get(); }
bool isChildMap(const ::fenmo::meta::Property& p) {
    return p.get() == schema::ParentAttributes::attrsOfChildren().get();
}

}  // namespace

ChildAttributes ParentAttributes::Impl::findChildByIndex(int indexOne) const {
    return m_attrsOfChildren.findByFirstKey(indexOne);
}

ChildAttributes ParentAttributes::Impl::findChildByName(const std::u16string& name) const {
    return m_attrsOfChildren.findBySecondKey(name);
}

// The first position whose child's indexOne is not less than `indexOne`: one descent of the children's
// tree, or, when that meets a proxy (whose index is not known until it is resolved), a bisection that
// resolves the proxies it meets in place.
std::size_t ParentAttributes::Impl::positionFor(int indexOne) {
    bool metProxy = false;
    const std::size_t found = m_children.partitionPoint([&](const TreeNode& node) {
        if (node.get() && node->isValid() && node->isProxy()) metProxy = true;
        return indexOneOf(node) < indexOne;
    });
    if (!metProxy) return found;
    std::size_t low = 0, high = m_children.size();
    while (low < high) {
        std::size_t middle = low + (high - low) / 2;
        const TreeNode& node = m_children[middle];
        if (node.get() && node->isValid() && node->isProxy())
            if (::fenmo::Model::Impl* model = getModelImpl())
                if (auto real = ::fenmo::handleCast<TreeNode>(model->resolveProxy(This(), node)); real)
                    m_children._basicReplaceAt(middle, real);
        if (indexOneOf(m_children[middle]) < indexOne) low = middle + 1;
        else high = middle;
    }
    return low;
}

// A node created into this parent by a builder, or by createIntoChildren, joins the map of children by
// its child attributes (unless they already name a parent). The map refuses a key already taken. A model
// being restored from a file files each child's attributes where the file says, not here.
void ParentAttributes::Impl::adoptChild(const TreeNode& child) {
    if (::fenmo::Model::Impl* model = getModelImpl(); model && model->isRestoring()) return;
    ChildAttributes attributes = child ? child->getChildAttrs() : ChildAttributes();
    if (!attributes || attributes->hasAttrsOfParent()) return;
    m_attrsOfChildren._basicAdd(attributes);
    attributes->basicAssociate(This(), schema::ChildAttributes::attrsOfParent());
}

TreeNode ParentAttributes::Impl::createIntoChildren(TreeNode::BuilderWrapper builder, const ::fenmo::uuid& id) {
    if (!builder.get()) throw ::fenmo::InvalidValueException();
    builder->setModel(getModel());
    ::fenmo::Transaction transaction = ::fenmo::pattern::beginEdit(*this);
    TreeNode child = ::fenmo::handleCast<TreeNode>(builder->create(id));
    // Refused only now, so that abandoning the transaction also takes the new node away.
    checkChangeable();
    m_children._addInTransaction(child);
    adoptChild(child);
    transaction.commit(boost::none);
    return child;
}

void ParentAttributes::Impl::addChild(const TreeNode& child) {
    checkChangeable();
    // A node already among the children moves to the place of its index instead of being held twice.
    ::fenmo::Transaction transaction = ::fenmo::pattern::beginEdit(*this);
    if (child.get() && child->containerImpl() == this)
        if (std::size_t held = m_children.indexOf(child); held != ::fenmo::ElementSequence<TreeNode>::npos)
            m_children.erase(held);
    m_children.insert(positionFor(indexOneOf(child)), child);
    transaction.commit(boost::none);
}

void ParentAttributes::Impl::removeChild(const TreeNode& child) {
    checkChangeable();
    std::size_t position = positionFor(indexOneOf(child));
    // Children sharing the index sit together from `position`; a node elsewhere is looked for.
    while (position < m_children.size() && m_children[position].get() != child.get() &&
           indexOneOf(m_children[position]) == indexOneOf(child))
        ++position;
    if (position >= m_children.size() || m_children[position].get() != child.get())
        position = m_children.indexOf(child);
    if (position != ::fenmo::ElementSequence<TreeNode>::npos) m_children.erase(position);
}

void ParentAttributes::Impl::doDestroy(bool notify, bool disassociate) {
    std::vector<TreeNode> children(m_children.begin(), m_children.end());
    for (const TreeNode& child : children)
        if (child.get() && !child->isProxy()) destroyRecursively(child, notify, false, disassociate);
    m_children._basicClear();
    ::fenmo::ModelElement::Impl::doDestroy(notify, disassociate);
}

void ParentAttributes::Impl::inverseAdd(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) {
    if (isChildren(property)) m_children._basicAdd(::fenmo::handleCast<TreeNode>(element));
    else if (isChildMap(property)) m_attrsOfChildren._basicAdd(::fenmo::handleCast<ChildAttributes>(element));
    else ::fenmo::ModelElement::Impl::inverseAdd(element, property);
}

void ParentAttributes::Impl::inverseRemove(const ::fenmo::ModelElement& element,
                                           const ::fenmo::meta::Property& property) {
    if (isChildren(property)) m_children._basicRemove(element);
    else if (isChildMap(property)) m_attrsOfChildren._basicRemove(element);
    else ::fenmo::ModelElement::Impl::inverseRemove(element, property);
}

bool ParentAttributes::Impl::inverseContainsProxyTo(const ::fenmo::ModelElement& element,
                                                    const ::fenmo::meta::Property& property) const {
    if (isChildMap(property)) return m_attrsOfChildren._basicContainsProxyTo(element);
    return ::fenmo::ModelElement::Impl::inverseContainsProxyTo(element, property);
}

void ParentAttributes::Impl::basicDisassociateAll() {
    m_children._basicClear();
    m_attrsOfChildren._basicClear();
}

void ParentAttributes::Impl::disassociateIncoming() {
    std::vector<ChildAttributes> children(m_attrsOfChildren.begin(), m_attrsOfChildren.end());
    for (const ChildAttributes& child : children) _inverseRemoveThis(child, schema::ChildAttributes::attrsOfParent());
    m_attrsOfChildren._basicClear();
}

void ParentAttributes::Impl::convertReferencesToProxies(bool otherModelsOnly, boost::optional<::fenmo::ProxyId>& id) {
    if (otherModelsOnly) {
        std::vector<ChildAttributes> children(m_attrsOfChildren.begin(), m_attrsOfChildren.end());
        for (const ChildAttributes& child : children) {
            if (!child || child->isProxy() || child->getModelLink() == getModelLink()) continue;
            if (!id) id = _getPersistentProxyId();
            _convertToProxy(This(), child, schema::ChildAttributes::attrsOfParent(), *id);
        }
    }
    m_attrsOfChildren._basicClear();
}

}  // namespace tav::fenmo::treeNode
