#pragma once
// Serializers by (type, key). The registry owns them.

#include <fenmo/Export.hpp>
#include <fenmo/meta/PropertySerializer.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

FENMO_API_BEGIN

namespace fenmo::meta {

// The keys a type's serializers are registered under: the default text form, the form by identifier
// (an enumerator's value) and the form by public identifier.
struct SerializerKey {
    static constexpr const char16_t* Default = u"";
    static constexpr const char16_t* Id = u"ID";
    static constexpr const char16_t* PublicId = u"PublicID";
};

class PropertySerializerRegistry {
public:
    // Holds the registry's lock; find and erase may be called while it is held.
    class LockGuard {
    public:
        explicit LockGuard(PropertySerializerRegistry& registry) : m_lock(registry.m_mutex) {}

    private:
        std::unique_lock<std::recursive_mutex> m_lock;
    };

    static PropertySerializerRegistry* getInstance();

    // Takes ownership of `serializer`; replaces (and deletes) one registered under the same pair.
    void registerPropertySerializer(const Type& type, PropertySerializer* serializer, const std::u16string& key);
    // The serializer of (type, key), or null.
    PropertySerializer* findPropertySerializer(const Type& type, const std::u16string& key) const;
    PropertySerializer* findPropertySerializer(const ModelElement::Impl* type, const std::u16string& key) const;
    // Removes the entry and hands its serializer back to the caller (null if there was none).
    std::unique_ptr<PropertySerializer> erasePropertySerializer(const Type& type, const std::u16string& key);
    std::size_t size() const;

private:
    PropertySerializerRegistry() = default;
    // Entries are keyed by the type's identity, which stays the same when a library registers its
    // metamodel again after being reloaded.
    using Key = std::pair<uuid, std::u16string>;
    mutable std::recursive_mutex m_mutex;
    std::map<Key, std::unique_ptr<PropertySerializer>> m_serializers;
};

}  // namespace fenmo::meta

FENMO_API_END
