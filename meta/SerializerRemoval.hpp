#pragma once
// Removing one of the library's serializers at tear-down, and only if it is still the library's.

#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <typeinfo>

namespace tav::fenmo {

// Deletes the serializer registered for (type, key) if it is of class Expected; leaves a serializer
// someone else registered there alone.
template <class Expected>
void removeSerializer(const ::fenmo::meta::Type& type, const std::u16string& key) noexcept {
    if (!type.get()) return;
    try {
        auto* registry = ::fenmo::meta::PropertySerializerRegistry::getInstance();
        ::fenmo::meta::PropertySerializerRegistry::LockGuard guard(*registry);
        ::fenmo::meta::PropertySerializer* found = registry->findPropertySerializer(type, key);
        if (found && typeid(*found) == typeid(Expected)) registry->erasePropertySerializer(type, key);
    } catch (...) {
        // Runs at tear-down, where nothing can take an error: the serializer then stays registered.
    }
}

}  // namespace tav::fenmo
