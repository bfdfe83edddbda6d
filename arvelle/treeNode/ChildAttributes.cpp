// ChildAttributes: a node's name and 1-based index under its parent, unique among its siblings, and the
// reference to the parent's ParentAttributes (the opposite end of their attrsOfChildren).

#include <arvelle/treeNode/ChildAttributes.hpp>

#include <fenmo/Text.hpp>

namespace tav::fenmo::treeNode {

namespace {

using ::fenmo::pattern::beginEdit;

const ::fenmo::meta::Property& childrenMap() { return schema::ParentAttributes::attrsOfChildren(); }

[[noreturn]] void refuseDuplicate(const ::fenmo::meta::Property& property, std::u16string value) {
    throw ::fenmo::UniquenessConstraintException({property->getQualifiedName(), std::move(value)});
}

// A parent's children, filed by index and by name.
using ChildMap = ::fenmo::DoubleKeyElementMap<int, std::u16string, ChildAttributes>;

// A sibling (another valid child than `self`) that already has the key.
bool taken(const ChildAttributes& found, const ChildAttributes::Impl* self) {
    return found && found.get() != self;
}

}  // namespace

void ChildAttributes::Impl::setName(const std::u16string& name) {
    ::fenmo::pattern::refuseProxy(*this);
    if (name == m_name) return;
    checkChangeable();
    ParentAttributes::Impl* parent = m_attrsOfParent.get();
    // The search that finds a sibling with the name also finds where this child goes by name.
    std::size_t place = ChildMap::npos;
    if (parent && !parent->isProxy()) {
        auto [sibling, position] = parent->m_attrsOfChildren.placeBySecondKey(name);
        if (taken(sibling, this)) refuseDuplicate(schema::ChildAttributes::name(), name);
        place = position;
    } else if (parent && taken(parent->findChildByName(name), this)) {
        refuseDuplicate(schema::ChildAttributes::name(), name);
    }
    ::fenmo::Transaction transaction = beginEdit(*this);
    auto rename = [&] {
        notifyModifying(Index::name);
        m_name = name;
    };
    // The parent's map files children under both keys: only the order by name moves.
    if (parent && !parent->isProxy()) {
        parent->m_attrsOfChildren._rekeySecond(This(), rename, place);
    } else {
        if (parent) _inverseRemoveThis(m_attrsOfParent, childrenMap());
        rename();
        if (parent) _inverseAddThis(m_attrsOfParent, childrenMap(), 1);
    }
    transaction.commit(boost::none);
}

void ChildAttributes::Impl::setIndexOne(int index) {
    ::fenmo::pattern::refuseProxy(*this);
    if (index == m_indexOne) return;
    checkChangeable();
    // One transaction for the whole change, so that a refusal also puts the node back in its place.
    ::fenmo::Transaction transaction = beginEdit(*this);
    aboutToSetIndexOne(index);
    if (m_attrsOfParent.get() && taken(m_attrsOfParent->findChildByIndex(index), this))
        refuseDuplicate(schema::ChildAttributes::indexOne(), ::fenmo::widenNumber(index));
    if (m_attrsOfParent.get()) _inverseRemoveThis(m_attrsOfParent, childrenMap());
    notifyModifying(Index::indexOne);
    const int old = m_indexOne;
    m_indexOne = index;
    if (m_attrsOfParent.get()) _inverseAddThis(m_attrsOfParent, childrenMap(), 1);
    didSetIndexOne(old);
    transaction.commit(boost::none);
}

void ChildAttributes::Impl::aboutToSetIndexOne(int) {
    if (hasParent()) m_attrsOfParent->removeChild(::fenmo::handleCast<TreeNode>(container()));
}

void ChildAttributes::Impl::didSetIndexOne(int) {
    if (hasParent()) m_attrsOfParent->addChild(::fenmo::handleCast<TreeNode>(container()));
}

void ChildAttributes::Impl::setAttrsOfParent(const ParentAttributes& parent) {
    ::fenmo::pattern::refuseProxy(*this);
    if (parent.get() == m_attrsOfParent.get()) return;
    checkChangeable();
    const ::fenmo::meta::Property& property = schema::ChildAttributes::attrsOfParent();
    if (parent.get()) {
        if (!parent->isValid()) throw ::fenmo::CannotAddNonExistentObjectException();
        bool otherModel;
        if (parent->isProxy()) {
            ::fenmo::Model::Impl* model = parent->getModelImpl();
            const ::fenmo::ProxyId* id = model ? model->proxyIdOf(*parent.get()) : nullptr;
            otherModel = id && id->getModelId();
        } else {
            otherModel = parent->getModelLink() != getModelLink();
        }
        if (otherModel) throw ::fenmo::CannotCreateCrossModelAssociationException({property->getQualifiedName()});
        if (taken(parent->findChildByIndex(m_indexOne), this))
            refuseDuplicate(schema::ChildAttributes::indexOne(), ::fenmo::widenNumber(m_indexOne));
        if (taken(parent->findChildByName(m_name), this)) refuseDuplicate(schema::ChildAttributes::name(), m_name);
    }
    checkCompatibleModel(parent, property);
    ::fenmo::Transaction transaction = beginEdit(*this);
    notifyModifying(Index::attrsOfParent);
    if (m_attrsOfParent.get()) _inverseRemoveThis(m_attrsOfParent, childrenMap());
    basicSetAttrsOfParent(parent);
    if (parent.get()) _inverseAddThis(parent, childrenMap(), 1);
    transaction.commit(boost::none);
}

ParentAttributes ChildAttributes::Impl::getAttrsOfParent() {
    ParentAttributes& held = m_attrsOfParent;
    if (!held.get()) return held;
    if (!held->isValid()) {
        if (held->getModelLink() != getModelLink()) held.reset();
        return held;
    }
    if (held->isProxy())
        if (::fenmo::Model::Impl* model = getModelImpl()) {
            auto real = ::fenmo::handleCast<ParentAttributes>(model->resolveProxy(This(), held));
            if (real && !real->isProxy() && _inverseContainsThis(real, childrenMap())) held = real;
        }
    return held;
}

bool ChildAttributes::Impl::hasParent() const {
    const ::fenmo::ModelElement::Impl* node = m_attrsOfParent.get() ? m_attrsOfParent->containerImpl() : nullptr;
    return node && node->isValid();
}

TreeNode ChildAttributes::Impl::getParent() {
    // Only a TreeNode's slots hold ParentAttributes, so their container is a node.
    return hasParent() ? ::fenmo::uncheckedHandleCast<TreeNode>(m_attrsOfParent->container()) : TreeNode();
}

void ChildAttributes::Impl::setParent(const TreeNode& parent) {
    checkChangeable();
    if (parent.get() && !parent) throw ::fenmo::CannotAddNonExistentObjectException();
    TreeNode node = ::fenmo::handleCast<TreeNode>(container());
    ParentAttributes attributes;
    if (parent) {
        attributes = parent->getParentAttrs();
        if (!attributes) throw ::fenmo::InvalidValueException({schema::TreeNode::parentAttrs()->getQualifiedName()});
        if (attributes.get() == m_attrsOfParent.get() && (!node || node->containerImpl() == attributes.get()))
            return;
    } else if (!m_attrsOfParent.get()) {
        return;
    }
    // Both steps in one transaction: one undo step, one report, and a refusal of the second step (a
    // cycle, say) takes the first back too.
    ::fenmo::Transaction transaction = beginEdit(*this);
    if (attributes) {
        setAttrsOfParent(attributes);
        if (node) attributes->addChild(node);
    } else {
        if (m_attrsOfParent && node) m_attrsOfParent->removeChild(node);
        setAttrsOfParent(ParentAttributes());
    }
    transaction.commit(boost::none);
}

// ---- Association hooks: the opposite end (a ParentAttributes' map) links and unlinks this element.

void ChildAttributes::Impl::inverseAdd(const ::fenmo::ModelElement& element, const ::fenmo::meta::Property& property) {
    if (property.get() != schema::ChildAttributes::attrsOfParent().get())
        return ::fenmo::ModelElement::Impl::inverseAdd(element, property);
    notifyModifying(Index::attrsOfParent);
    if (m_attrsOfParent.get() && m_attrsOfParent.get() != element.get())
        _inverseRemoveThis(m_attrsOfParent, childrenMap());
    m_attrsOfParent = ::fenmo::handleCast<ParentAttributes>(element);
}

void ChildAttributes::Impl::inverseRemove(const ::fenmo::ModelElement& element,
                                          const ::fenmo::meta::Property& property) {
    if (property.get() != schema::ChildAttributes::attrsOfParent().get())
        return ::fenmo::ModelElement::Impl::inverseRemove(element, property);
    notifyModifying(Index::attrsOfParent);
    m_attrsOfParent.reset();
}

bool ChildAttributes::Impl::inverseContainsProxyTo(const ::fenmo::ModelElement& element,
                                                   const ::fenmo::meta::Property& property) const {
    if (property.get() != schema::ChildAttributes::attrsOfParent().get())
        return ::fenmo::ModelElement::Impl::inverseContainsProxyTo(element, property);
    if (m_attrsOfParent.get() == element.get()) return true;
    if (!m_attrsOfParent.get() || !m_attrsOfParent->isProxy()) return false;
    ::fenmo::Model::Impl* model = getModelImpl();
    if (!model || model->peekResolveProxy(m_attrsOfParent).get() != element.get()) return false;
    const_cast<Impl*>(this)->m_attrsOfParent = ::fenmo::handleCast<ParentAttributes>(element);
    return true;
}

void ChildAttributes::Impl::basicAssociate(const ::fenmo::ModelElement& element,
                                           const ::fenmo::meta::Property& property) {
    if (property.get() != schema::ChildAttributes::attrsOfParent().get())
        return ::fenmo::ModelElement::Impl::basicAssociate(element, property);
    notifyModifying(Index::attrsOfParent);
    m_attrsOfParent = ::fenmo::handleCast<ParentAttributes>(element);
}

void ChildAttributes::Impl::basicDisassociateAll() { m_attrsOfParent.reset(); }

void ChildAttributes::Impl::disassociateIncoming() { setAttrsOfParent(ParentAttributes()); }

void ChildAttributes::Impl::convertReferencesToProxies(bool otherModelsOnly, boost::optional<::fenmo::ProxyId>& id) {
    ParentAttributes held = std::move(m_attrsOfParent);
    m_attrsOfParent.reset();
    if (!otherModelsOnly || !held || held->isProxy() || held->getModelLink() == getModelLink()) return;
    if (!id) id = _getPersistentProxyId();
    _convertToProxy(This(), held, childrenMap(), *id);
}

}  // namespace tav::fenmo::treeNode
