#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/PropertySerializer.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

namespace fenmo::meta {

boost::optional<std::u16string> PropertySerializer::serializeOptionalValue(const Value& value) const {
    if (!value.hasPayload() && value.getFlags() == ValueKind::Optional) return boost::none;
    return serializeValue(value);
}

Value PropertySerializer::toOptionalValue(const Value& value) const {
    return Value(ValueMeta(value.typeImpl(), ValueKind::Optional), value.payload());
}

void PropertySerializer::releaseValue(Value& value, const Type&) const { value = Value(); }

namespace detail {

bool isValueOfType(const Value& value, const ModelElement::Impl* serializerType, const std::type_info& info,
                   bool byTypeId) {
    if (byTypeId) return MetaRegistry::getInstance()->isCorrectTypeForTypeId(value.typeImpl(), info);
    return value.typeImpl() == serializerType;
}

}  // namespace detail

// ---- PropertySerializerRegistry

PropertySerializerRegistry* PropertySerializerRegistry::getInstance() {
    static PropertySerializerRegistry* registry = new PropertySerializerRegistry;  // see MetaRegistry
    return registry;
}

void PropertySerializerRegistry::registerPropertySerializer(const Type& type, PropertySerializer* serializer,
                                                            const std::u16string& key) {
    std::unique_ptr<PropertySerializer> owned(serializer);
    std::lock_guard lock(m_mutex);
    m_serializers[Key(type->getUuid(), key)] = std::move(owned);
}

PropertySerializer* PropertySerializerRegistry::findPropertySerializer(const Type& type,
                                                                       const std::u16string& key) const {
    return findPropertySerializer(type.get(), key);
}

PropertySerializer* PropertySerializerRegistry::findPropertySerializer(const ModelElement::Impl* type,
                                                                       const std::u16string& key) const {
    if (!type) return nullptr;
    std::lock_guard lock(m_mutex);
    auto it = m_serializers.find(Key(type->getUuid(), key));
    return it == m_serializers.end() ? nullptr : it->second.get();
}

std::unique_ptr<PropertySerializer> PropertySerializerRegistry::erasePropertySerializer(const Type& type,
                                                                                        const std::u16string& key) {
    std::lock_guard lock(m_mutex);
    auto it = m_serializers.find(Key(type->getUuid(), key));
    if (it == m_serializers.end()) return nullptr;
    std::unique_ptr<PropertySerializer> serializer = std::move(it->second);
    m_serializers.erase(it);
    return serializer;
}

std::size_t PropertySerializerRegistry::size() const {
    std::lock_guard lock(m_mutex);
    return m_serializers.size();
}

}  // namespace fenmo::meta
