#pragma once
// The process-wide registry of metamodels: a model holding every registered package and type, with
// look-up by identity and by name. Thread-safe; its lock can be taken again by its holder.

#include <fenmo/Export.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Package.hpp>

#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::meta {

namespace detail {
class CollectionInstantiator;
}

class MetaRegistry {
public:
    // The registry model, locked for the lifetime of this object.
    class LockedModel {
    public:
        explicit LockedModel(std::recursive_mutex& mutex, Model model) : m_lock(mutex), m_model(std::move(model)) {}
        const Model& model() const noexcept { return m_model; }
        Model::Impl* operator->() const noexcept { return m_model.get(); }

    private:
        std::unique_lock<std::recursive_mutex> m_lock;
        Model m_model;
    };

    static MetaRegistry* getInstance();

    LockedModel getMetaRegistryModel();

    // Registers a type with the instantiator of its collections (taken over) and, for classes, the
    // factory of its builders.
    void registerType(const Type& type, std::unique_ptr<detail::CollectionInstantiator> instantiator,
                      BuilderFactory builderFactory);
    // Makes the type known by its native name, qualified name and type-id name (empty names are skipped).
    void registerTypeNames(const Type& type, const std::u16string& nativeName, const std::u16string& qualifiedName,
                           const std::string& typeIdName);

    // Look-ups; an empty handle if nothing is registered under the key.
    Type getType(std::u16string_view qualifiedName) const;
    Type getTypeByNativeName(std::u16string_view nativeName) const;
    Type getTypeByTypeIdName(std::string_view typeIdName) const;
    ModelElement findElement(const uuid& id) const;
    // Whether `type` is the one registered for the run-time type `info`.
    bool isCorrectTypeForTypeId(const Type& type, const std::type_info& info) const;
    bool isCorrectTypeForTypeId(const ModelElement::Impl* type, const std::type_info& info) const;

    // Root packages, by URI.
    void registerRootPackage(const Package& package);
    void unregisterRootPackage(const std::u16string& uri);
    Package findRootPackage(std::u16string_view uri) const;
    std::vector<Package> getRootPackages() const;

    // Called as a type is destroyed: forgets its names and releases what was registered with it.
    void forgetType(Type::Impl& type);

private:
    MetaRegistry();
    ~MetaRegistry();
    void createStandardTypes();

    mutable std::recursive_mutex m_mutex;
    Model m_model;
    std::unordered_map<std::u16string, Type::Impl*> m_byQualifiedName;
    std::unordered_map<std::u16string, Type::Impl*> m_byNativeName;
    std::unordered_map<std::string, Type::Impl*> m_byTypeIdName;
    std::unordered_map<std::u16string, Package> m_rootPackages;
};

}  // namespace fenmo::meta

FENMO_API_END
