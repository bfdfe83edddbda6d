#include "TestElements.hpp"

#include <fenmo/meta/StandardTypes.hpp>

namespace fenmo_test {

namespace pattern = fenmo::pattern;

const TestMeta& TestMeta::get() {
    // Kept for the whole run, like the registry itself.
    static const TestMeta* instance = new TestMeta;
    return *instance;
}

TestMeta::TestMeta() {
    auto* registry = meta::MetaRegistry::getInstance();
    auto locked = registry->getMetaRegistryModel();
    fenmo::Transaction registration = locked->beginTransaction(true);
    m_package = createPackage(u"fenmoTest", u"https://arvelle.dev/tests/fenmo");
    m_node = createClass(u"Node", u"fenmoTest.Node", false, false,
                         fenmo::uuidFromLiteral("3752b1ef-6d5c-4fe7-8794-9c09b138fdc5"));
    m_node->setOwningPackage(m_package);
    m_node->addSuperclass(ModelElement::metaClass());
    auto property = [&](const char16_t* name, bool composite, const meta::Type& type, std::size_t index,
                        const char* id) {
        meta::Property p =
            createProperty(name, fenmo::ValueKind::Optional, composite, fenmo::uuidFromLiteral(id));
        p->setOwningType(m_node);
        p->setType(type);
        setPropertyIndex(p, index);
        return p;
    };
    m_text = property(u"text", false, meta::StandardTypes::stringMeta(), 1,
                      "51944d3d-4919-430f-8a81-47075ff537b1");
    m_number = property(u"number", false, meta::StandardTypes::integerMeta(), 2,
                        "3b3d7651-56ee-4d01-ac88-8ffa3e7835ea");
    m_child = property(u"child", true, m_node, 3, "ebdd34f3-674b-4ba7-ba3e-688257ab209b");
    registry->registerType(m_node, nullptr, nullptr);
    registration.commit(boost::none);
    registerRootPackage(m_package);
}

Node::Node(Impl* impl, bool addRef) noexcept : ElementHandle(impl, addRef) {}

Node Node::create(const Model& model, const fenmo::uuid& id) {
    return pattern::createInModel<Node>(model, [&] { return Node(new Impl(model, id), true); });
}

void Node::Impl::setChild(const Node& value) {
    pattern::setContainedSlot(*this, m_child, value, TestMeta::childProp());
}

Node::Impl::~Impl() {
    markDeleting();
    pattern::releaseSlots<Properties>(*this);
}

Value Node::Impl::getPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) {
    if (auto get = pattern::getterFor<Properties, Impl>(property)) return get(*this, tag);
    return ModelElement::Impl::getPropertyValue(property, tag);
}

void Node::Impl::setPropertyValue(const meta::Property& property, const Value& value,
                                  const ReflectionPrivateTag& tag) {
    if (!pattern::trySet<Properties>(*this, property, value, tag))
        ModelElement::Impl::setPropertyValue(property, value, tag);
}

void Node::Impl::doDestroy(bool notify, bool disassociate) {
    pattern::destroyContained<Properties>(*this, notify, disassociate);
    ModelElement::Impl::doDestroy(notify, disassociate);
}

void Node::Impl::inverseAdd(const ModelElement& element, const meta::Property& property) {
    if (!pattern::tryAssociate<Properties>(*this, element, property))
        ModelElement::Impl::inverseAdd(element, property);
}

void Node::Impl::inverseRemove(const ModelElement& element, const meta::Property& property) {
    if (!pattern::tryDissociate<Properties>(*this, property))
        ModelElement::Impl::inverseRemove(element, property);
}

void Node::Impl::basicDisassociateAll() {
    pattern::releaseSlotsInOrder<Properties>(*this);
}

ModelElement::Impl::Storage* Node::Impl::createStorage() const {
    return new Storage(getUuid(), getModel(), getMetaClass(), 4);
}

void Node::Impl::copyValue(ModelElement::Impl::Storage* storage, std::size_t index) const {
    if (!pattern::tryCopyValue<Properties>(*this, *static_cast<Storage*>(storage), index))
        ModelElement::Impl::copyValue(storage, index);
}

void Node::Impl::copyStateFromStorage(ModelElement::Impl::Storage* storage) {
    pattern::restoreChanged<Properties>(*this, *static_cast<Storage*>(storage));
    ModelElement::Impl::copyStateFromStorage(storage);
}

meta::Property Node::Impl::getPropertyByIndex(std::size_t index) {
    meta::Property result;
    if (pattern::tryPropertyByIndex<Properties>(index, result)) return result;
    return ModelElement::Impl::getPropertyByIndex(index);
}

bool Node::Impl::Storage::revertUnchanged(ModelElement::Impl* element) {
    pattern::clearUnchanged<Properties>(*this, static_cast<const Impl&>(*element));
    return ModelElement::Impl::Storage::revertUnchanged(element);
}

Value Node::Impl::Storage::getOldValue(const meta::Property& property, const ReflectionPrivateTag& tag) {
    Value result;
    if (pattern::tryOldValue<Properties>(*this, property, result)) return result;
    return ModelElement::Impl::Storage::getOldValue(property, tag);
}

}  // namespace fenmo_test
