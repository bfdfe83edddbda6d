#include <fenmo/Collection.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/StandardTypes.hpp>

namespace fenmo {

namespace {
const ModelElement::Impl* implOf(const meta::Type& type) noexcept { return type.get(); }
}  // namespace

meta::Type ValueMeta::getEntryType() const {
    return handleCast<meta::Type>(ModelElement(const_cast<ModelElement::Impl*>(m_entryType), true));
}

Value::Value(const meta::Type& type, boost::none_t) noexcept : m_meta(implOf(type), ValueKind::Optional) {}

Value Value::ofString(std::u16string text) {
    return Value(ValueMeta(implOf(meta::StandardTypes::stringMeta()), ValueKind::Single), std::move(text));
}

Value Value::ofInteger(std::int32_t value) {
    return Value(ValueMeta(implOf(meta::StandardTypes::integerMeta()), ValueKind::Single), value);
}

Value Value::ofBoolean(bool value) {
    return Value(ValueMeta(implOf(meta::StandardTypes::booleanMeta()), ValueKind::Single), value);
}

Value Value::ofEnum(const meta::Type& type, std::int32_t value) {
    return Value(ValueMeta(implOf(type), ValueKind::Single), value);
}

Value Value::ofPointer(const meta::Type& type, const void* pointer) {
    return Value(ValueMeta(implOf(type), ValueKind::Single), pointer);
}

Value Value::ofElement(const ModelElement& element) {
    const ModelElement::Impl* type = element.get() ? element->getMetaClass().get() : nullptr;
    return Value(ValueMeta(type, ValueKind::Single), element);
}

Value Value::ofElement(const meta::Type& declared, const ModelElement& element) {
    const ModelElement::Impl* type = element && element->getMetaClass().get() ? element->getMetaClass().get()
                                                                              : implOf(declared);
    if (!element.get()) return Value(ValueMeta(type, ValueKind::Optional), Payload());
    return Value(ValueMeta(type, ValueKind::Single), element);
}

Value Value::singleWithoutPayload(const meta::Type& type) {
    return Value(ValueMeta(implOf(type), ValueKind::Single), Payload());
}

Value Value::ofList(const meta::Type& entryType, ValueKind flags, List entries) {
    return Value(ValueMeta(implOf(entryType), flags), std::make_shared<const List>(std::move(entries)), true);
}

Value Value::createElementCollectionValue(const meta::Property& property, const AbstractCollection& collection) {
    return Value(ValueMeta(property->typeImpl(), property->getKind()),
                 CollectionView{&collection, collection.ownerElement()});
}

Value Value::createPrimitiveCollectionValue(const meta::Property& property, const AbstractCollection& collection) {
    return createElementCollectionValue(property, collection);
}

meta::Type Value::getType() const { return m_meta.getEntryType(); }

std::u16string Value::typeName() const {
    const auto* type = static_cast<const meta::Type::Impl*>(typeImpl());
    return type ? type->getQualifiedName() : std::u16string(u"<none>");
}

void Value::throwIncompatible() const { throw CannotCastIncompatibleTypesException({typeName()}); }

std::u16string Value::getString() const {
    if (!hasPayload()) return {};
    if (auto* s = getIf<std::u16string>()) return *s;
    throwIncompatible();
}

bool Value::getBoolean() const {
    if (!hasPayload()) return false;
    if (auto* b = getIf<bool>()) return *b;
    throwIncompatible();
}

std::int32_t Value::getInteger() const {
    if (!hasPayload()) return 0;
    if (auto* i = getIf<std::int32_t>()) return *i;
    throwIncompatible();
}

const void* Value::getPointer() const {
    if (!hasPayload()) return nullptr;
    if (auto* p = getIf<const void*>()) return *p;
    throwIncompatible();
}

ModelElement Value::getElement() const {
    if (!hasPayload()) return ModelElement();
    if (auto* e = getIf<ModelElement>()) return *e;
    throwIncompatible();
}

Value::List Value::getEntries() const {
    if (auto* list = getIf<std::shared_ptr<const List>>()) return **list;
    if (auto* view = getIf<CollectionView>()) return view->collection->toValues();
    if (!hasPayload()) return {};
    return {*this};
}

const AbstractCollection* Value::getCollection() const noexcept {
    auto* view = getIf<CollectionView>();
    return view ? view->collection : nullptr;
}

bool operator==(const Value& a, const Value& b) noexcept {
    if (!(a.m_meta == b.m_meta) || a.m_payload.index() != b.m_payload.index()) return false;
    if (auto* la = a.getIf<std::shared_ptr<const Value::List>>()) {
        auto* lb = b.getIf<std::shared_ptr<const Value::List>>();
        return **la == **lb;
    }
    return a.m_payload == b.m_payload;
}

namespace internal {
bool isEnumType(const meta::Type& type) { return dynamic_cast<const meta::Enum::Impl*>(type.get()) != nullptr; }
}  // namespace internal

// ---- ReflectionPrivateTag

const ReflectionPrivateTag& ReflectionPrivateTag::standard() noexcept {
    static constexpr ReflectionPrivateTag tag(false, true);
    return tag;
}

const ReflectionPrivateTag& ReflectionPrivateTag::privileged() noexcept {
    static constexpr ReflectionPrivateTag tag(true, true);
    return tag;
}

const ReflectionPrivateTag& ReflectionPrivateTag::unresolved() noexcept {
    static constexpr ReflectionPrivateTag tag(false, false);
    return tag;
}

}  // namespace fenmo
