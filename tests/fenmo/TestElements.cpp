#include "TestElements.hpp"

#include <fenmo/meta/StandardTypes.hpp>

#include <typeinfo>

namespace fenmo_test {

using fenmo::ValueFlags;
namespace pattern = fenmo::pattern;

// ---- Registration

const std::u16string TestMeta::kUri = u"https://arvelle.dev/tests/fenmo";

const TestMeta& TestMeta::get() {
    // Kept for the whole run, like the registry itself.
    static const TestMeta* instance = new TestMeta;
    return *instance;
}

meta::Property TestMeta::property(const meta::Class& owner, const std::u16string& name, ValueFlags kind,
                                  bool composite, const meta::Type& type, std::size_t index, const char* id) {
    meta::Property p = createProperty(name, kind, composite, fenmo::uuidFromLiteral(id));
    p->setOwningType(owner);
    p->setType(type);
    setPropertyIndex(p, index);
    return p;
}

TestMeta::TestMeta() {
    auto* registry = meta::MetaRegistry::getInstance();
    auto locked = registry->getMetaRegistryModel();
    fenmo::Transaction registration = locked->beginTransaction(true);

    m_package = createPackage(u"fenmoTest", kUri);
    m_part = createClass(u"Part", u"fenmoTest.Part", false, false,
                         fenmo::uuidFromLiteral("3752b1ef-6d5c-4fe7-8794-9c09b138fdc5"));
    m_item = createClass(u"Item", u"fenmoTest.Item", false, false,
                         fenmo::uuidFromLiteral("1446d29b-0041-42dd-9324-df73f4e6fd3f"));
    for (const meta::Class* cls : {&m_part, &m_item}) {
        (*cls)->setOwningPackage(m_package);
        (*cls)->addSuperclass(ModelElement::metaClass());
    }

    const meta::Type& string = meta::StandardTypes::stringMeta();
    const meta::Type& integer = meta::StandardTypes::integerMeta();
    m_partText = property(m_part, u"text", ValueFlags::Optional, false, string, 1,
                          "51944d3d-4919-430f-8a81-47075ff537b1");
    m_partRank = property(m_part, u"rank", ValueFlags::Single, false, integer, 2,
                          "3b3d7651-56ee-4d01-ac88-8ffa3e7835ea");
    m_itemLabel = property(m_item, u"label", ValueFlags::Optional, false, string, 1,
                           "4b8d48f2-dd9e-4a28-bd33-7dff67ebb1b9");
    m_itemCount = property(m_item, u"count", ValueFlags::Optional, false, integer, 2,
                           "27078849-7971-4286-a437-46addc9c56a2");
    m_itemChild = property(m_item, u"child", ValueFlags::Optional, true, m_part, 3,
                           "ebdd34f3-674b-4ba7-ba3e-688257ab209b");
    m_itemSpare = property(m_item, u"spare", ValueFlags::Optional, true, m_part, 4,
                           "84fe14f7-659e-45d8-a6f0-24037f544bd8");
    m_itemSub = property(m_item, u"sub", ValueFlags::Optional, true, m_item, 5,
                         "a7608010-6969-431a-b40a-170bea93e31a");

    registry->registerType(m_part, nullptr, [](const Model& model) -> std::unique_ptr<ModelElement::Builder> {
        return std::make_unique<Part::Builder>(model);
    });
    registry->registerType(m_item, nullptr, nullptr);
    registry->registerTypeNames(m_part, u"fenmo_test::Part", u"fenmoTest.Part", typeid(Part).name());
    registry->registerTypeNames(m_item, u"fenmo_test::Item", u"fenmoTest.Item", typeid(Item).name());
    registration.commit(boost::none);
    registerRootPackage(m_package);
}

// ---- Part

Part::Part(Impl* impl, bool addRef) noexcept : ElementHandle(impl, addRef) {}

Part Part::create(const Model& model, const uuid& id) {
    return pattern::createInModel<Part>(model, [&] { return Part(new Impl(model, id), true); });
}

const meta::Class& Part::metaClass() {
    return TestMeta::get().m_part;
}

void Part::Impl::setText(const boost::optional<std::u16string>& value) {
    pattern::setOptional(*this, m_text, value, 1);
}
void Part::Impl::setRank(const boost::optional<std::int32_t>& value) {
    pattern::setOptional(*this, m_rank, value, 2);
}

Part::Impl::~Impl() {
    markDeleting();
}

const meta::Class& Part::Impl::getMetaClass() const {
    return Part::metaClass();
}

bool Part::Impl::hasPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) const {
    bool result = false;
    if (pattern::tryHas<Properties>(*this, property, result)) return result;
    return ModelElement::Impl::hasPropertyValue(property, tag);
}

Value Part::Impl::getPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) {
    if (auto get = pattern::getterFor<Properties, Impl>(property)) return get(*this, tag);
    return ModelElement::Impl::getPropertyValue(property, tag);
}

void Part::Impl::setPropertyValue(const meta::Property& property, const Value& value,
                                  const ReflectionPrivateTag& tag) {
    if (!pattern::trySet<Properties>(*this, property, value, tag))
        ModelElement::Impl::setPropertyValue(property, value, tag);
}

ModelElement::Impl::Storage* Part::Impl::createStorage() const {
    return new Storage(getUuid(), getModel(), getMetaClass(), kCount + 1);
}

void Part::Impl::copyValue(ModelElement::Impl::Storage* storage, std::size_t index) const {
    ++HookCounts::copyValue;
    if (!pattern::tryCopyValue<Properties>(*this, *static_cast<Storage*>(storage), index))
        ModelElement::Impl::copyValue(storage, index);
}

void Part::Impl::copyStateFromStorage(ModelElement::Impl::Storage* storage) {
    ++HookCounts::copyStateFromStorage;
    pattern::restoreChanged<Properties>(*this, *static_cast<Storage*>(storage));
    ModelElement::Impl::copyStateFromStorage(storage);
}

meta::Property Part::Impl::getPropertyByIndex(std::size_t index) {
    meta::Property result;
    if (pattern::tryPropertyByIndex<Properties>(index, result)) return result;
    return ModelElement::Impl::getPropertyByIndex(index);
}

bool Part::Impl::Storage::revertUnchanged(ModelElement::Impl* element) {
    pattern::clearUnchanged<Properties>(*this, static_cast<const Impl&>(*element));
    return ModelElement::Impl::Storage::revertUnchanged(element);
}

Value Part::Impl::Storage::getOldValue(const meta::Property& property, const ReflectionPrivateTag& tag) {
    Value result;
    if (pattern::tryOldValue<Properties>(*this, property, result)) return result;
    return ModelElement::Impl::Storage::getOldValue(property, tag);
}

ModelElement Part::Builder::doCreate(bool unannounced, const uuid& id) {
    return pattern::createFromBuilder<Part>(
        *this, unannounced, [&] { return Part(new Impl(*this, id), true); }, [](Impl&) {});
}

// ---- Item

Item::Item(Impl* impl, bool addRef) noexcept : ElementHandle(impl, addRef) {}

Item Item::create(const Model& model, const uuid& id) {
    return pattern::createInModel<Item>(model, [&] { return Item(new Impl(model, id), true); });
}

const meta::Class& Item::metaClass() {
    return TestMeta::get().m_item;
}

void Item::Impl::setLabel(const boost::optional<std::u16string>& value) {
    pattern::setOptional(*this, m_label, value, 1);
}
void Item::Impl::setCount(const boost::optional<std::int32_t>& value) {
    pattern::setOptional(*this, m_count, value, 2);
}

Part Item::Impl::getChild() {
    return pattern::readSlot(*this, m_child);
}
void Item::Impl::setChild(const Part& value) {
    pattern::setContainedSlot(*this, m_child, value, TestMeta::itemChild());
}
Part Item::Impl::getSpare() {
    return pattern::readSlot(*this, m_spare);
}
void Item::Impl::setSpare(const Part& value) {
    pattern::setContainedSlot(*this, m_spare, value, TestMeta::itemSpare());
}
Item Item::Impl::getSub() {
    return pattern::readSlot(*this, m_sub);
}
void Item::Impl::setSub(const Item& value) {
    pattern::setContainedSlot(*this, m_sub, value, TestMeta::itemSub());
}

Item::Impl::~Impl() {
    markDeleting();
    pattern::releaseSlots<Properties>(*this);
}

const meta::Class& Item::Impl::getMetaClass() const {
    return Item::metaClass();
}

bool Item::Impl::hasPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) const {
    bool result = false;
    if (pattern::tryHas<Properties>(*this, property, result)) return result;
    return ModelElement::Impl::hasPropertyValue(property, tag);
}

Value Item::Impl::getPropertyValue(const meta::Property& property, const ReflectionPrivateTag& tag) {
    if (auto get = pattern::getterFor<Properties, Impl>(property)) return get(*this, tag);
    return ModelElement::Impl::getPropertyValue(property, tag);
}

void Item::Impl::setPropertyValue(const meta::Property& property, const Value& value,
                                  const ReflectionPrivateTag& tag) {
    if (!pattern::trySet<Properties>(*this, property, value, tag))
        ModelElement::Impl::setPropertyValue(property, value, tag);
}

void Item::Impl::doDestroy(bool notify, bool disassociate) {
    pattern::destroyContained<Properties>(*this, notify, disassociate);
    ModelElement::Impl::doDestroy(notify, disassociate);
}

void Item::Impl::inverseAdd(const ModelElement& element, const meta::Property& property) {
    if (!pattern::tryAssociate<Properties>(*this, element, property))
        ModelElement::Impl::inverseAdd(element, property);
}

void Item::Impl::inverseRemove(const ModelElement& element, const meta::Property& property) {
    if (!pattern::tryDissociate<Properties>(*this, property))
        ModelElement::Impl::inverseRemove(element, property);
}

void Item::Impl::basicAssociate(const ModelElement& element, const meta::Property& property) {
    if (!pattern::tryAssociate<Properties>(*this, element, property))
        ModelElement::Impl::basicAssociate(element, property);
}

void Item::Impl::basicDisassociateAll() {
    pattern::releaseSlotsInOrder<Properties>(*this);
}

ModelElement::Impl::Storage* Item::Impl::createStorage() const {
    return new Storage(getUuid(), getModel(), getMetaClass(), kCount + 1);
}

void Item::Impl::copyValue(ModelElement::Impl::Storage* storage, std::size_t index) const {
    ++HookCounts::copyValue;
    if (!pattern::tryCopyValue<Properties>(*this, *static_cast<Storage*>(storage), index))
        ModelElement::Impl::copyValue(storage, index);
}

void Item::Impl::copyStateFromStorage(ModelElement::Impl::Storage* storage) {
    ++HookCounts::copyStateFromStorage;
    pattern::restoreChanged<Properties>(*this, *static_cast<Storage*>(storage));
    ModelElement::Impl::copyStateFromStorage(storage);
}

meta::Property Item::Impl::getPropertyByIndex(std::size_t index) {
    meta::Property result;
    if (pattern::tryPropertyByIndex<Properties>(index, result)) return result;
    return ModelElement::Impl::getPropertyByIndex(index);
}

bool Item::Impl::Storage::revertUnchanged(ModelElement::Impl* element) {
    pattern::clearUnchanged<Properties>(*this, static_cast<const Impl&>(*element));
    return ModelElement::Impl::Storage::revertUnchanged(element);
}

Value Item::Impl::Storage::getOldValue(const meta::Property& property, const ReflectionPrivateTag& tag) {
    Value result;
    if (pattern::tryOldValue<Properties>(*this, property, result)) return result;
    return ModelElement::Impl::Storage::getOldValue(property, tag);
}

}  // namespace fenmo_test
