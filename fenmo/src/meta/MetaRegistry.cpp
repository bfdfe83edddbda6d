#include <fenmo/ModelImpl.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <boost/uuid/name_generator_sha1.hpp>

namespace fenmo::meta {

namespace {

// Identities of the framework's own elements derive from their names, so they never change.
uuid frameworkId(std::string_view name) {
    static const boost::uuids::name_generator_sha1 generator(boost::uuids::ns::url());
    return generator(std::string("fenmo:") + std::string(name));
}

struct Standard {
    Type string, integer, boolean;
    Class modelElement;
};

Standard& standard() {
    static Standard* types = new Standard;  // lives as long as the registry
    return *types;
}

template <class T>
void eraseValue(T& map, const Type::Impl* type) {
    std::erase_if(map, [type](const auto& entry) { return entry.second == type; });
}

}  // namespace

MetaRegistry* MetaRegistry::getInstance() {
    // Never destroyed: libraries unload their metamodels from exit-time destructors of their own.
    static MetaRegistry* registry = new MetaRegistry;
    return registry;
}

MetaRegistry::MetaRegistry() : m_model(Model::create(frameworkId("registry"))) {
    m_model->setHistoryLimits(0, 0);
    createStandardTypes();
}

MetaRegistry::~MetaRegistry() = default;

void MetaRegistry::createStandardTypes() {
    Transaction transaction = m_model->beginTransaction(true);
    Package package = Package::create(m_model, frameworkId("package"));
    package->setName(u"fenmo");
    package->setUri(u"https://arvelle.dev/fenmo");
    auto primitive = [&](std::u16string name, const char* key, const std::u16string& nativeName,
                         const std::type_info& info) {
        PrimitiveType type = PrimitiveType::create(m_model, frameworkId(key));
        type->setName(name);
        type->setOwningPackage(package);
        registerType(type, nullptr, nullptr);
        registerTypeNames(type, nativeName, name, info.name());
        return Type(type);
    };
    Standard& s = standard();
    s.string = primitive(u"String", "String", u"std::u16string", typeid(std::u16string));
    s.integer = primitive(u"Integer", "Integer", u"int", typeid(int));
    s.boolean = primitive(u"Boolean", "Boolean", u"bool", typeid(bool));
    s.modelElement = Class::create(m_model, frameworkId("ModelElement"));
    s.modelElement->setName(u"ModelElement");
    s.modelElement->setOwningPackage(package);
    s.modelElement->setAbstract(true);
    registerType(s.modelElement, nullptr, nullptr);
    registerTypeNames(s.modelElement, u"fenmo::ModelElement", u"fenmo.ModelElement", typeid(ModelElement).name());
    transaction.commit(boost::none);
    registerRootPackage(package);
}

MetaRegistry::LockedModel MetaRegistry::getMetaRegistryModel() { return LockedModel(m_mutex, m_model); }

void MetaRegistry::registerType(const Type& type, std::unique_ptr<detail::CollectionInstantiator> instantiator,
                                BuilderFactory builderFactory) {
    std::lock_guard lock(m_mutex);
    type->m_instantiator = std::move(instantiator);
    if (auto* cls = dynamic_cast<Class::Impl*>(type.get())) cls->m_builderFactory = builderFactory;
}

void MetaRegistry::registerTypeNames(const Type& type, const std::u16string& nativeName,
                                     const std::u16string& qualifiedName, const std::string& typeIdName) {
    std::lock_guard lock(m_mutex);
    Type::Impl* impl = type.get();
    if (!nativeName.empty()) {
        impl->m_nativeName = nativeName;
        m_byNativeName[nativeName] = impl;
    }
    if (!qualifiedName.empty()) {
        impl->m_qualifiedName = qualifiedName;
        m_byQualifiedName[qualifiedName] = impl;
    }
    if (!typeIdName.empty()) {
        impl->m_typeIdName = typeIdName;
        m_byTypeIdName[typeIdName] = impl;
    }
}

namespace {
template <class Map, class Key>
Type lookUp(const Map& map, const Key& key) {
    auto it = map.find(key);
    if (it == map.end() || !it->second->isValid()) return Type();
    return Type(it->second, true);
}
}  // namespace

Type MetaRegistry::getType(std::u16string_view qualifiedName) const {
    std::lock_guard lock(m_mutex);
    return lookUp(m_byQualifiedName, std::u16string(qualifiedName));
}

Type MetaRegistry::getTypeByNativeName(std::u16string_view nativeName) const {
    std::lock_guard lock(m_mutex);
    return lookUp(m_byNativeName, std::u16string(nativeName));
}

Type MetaRegistry::getTypeByTypeIdName(std::string_view typeIdName) const {
    std::lock_guard lock(m_mutex);
    return lookUp(m_byTypeIdName, std::string(typeIdName));
}

ModelElement MetaRegistry::findElement(const uuid& id) const {
    std::lock_guard lock(m_mutex);
    return m_model->findElement(id);
}

bool MetaRegistry::isCorrectTypeForTypeId(const Type& type, const std::type_info& info) const {
    return isCorrectTypeForTypeId(type.get(), info);
}

bool MetaRegistry::isCorrectTypeForTypeId(const ModelElement::Impl* type, const std::type_info& info) const {
    auto* impl = dynamic_cast<const Type::Impl*>(type);
    return impl && !impl->getTypeIdName().empty() && impl->getTypeIdName() == info.name();
}

void MetaRegistry::registerRootPackage(const Package& package) {
    std::lock_guard lock(m_mutex);
    m_rootPackages[package->getUri()] = package;
}

void MetaRegistry::unregisterRootPackage(const std::u16string& uri) {
    std::lock_guard lock(m_mutex);
    m_rootPackages.erase(uri);
}

Package MetaRegistry::findRootPackage(std::u16string_view uri) const {
    std::lock_guard lock(m_mutex);
    auto it = m_rootPackages.find(std::u16string(uri));
    return it == m_rootPackages.end() ? Package() : it->second;
}

std::vector<Package> MetaRegistry::getRootPackages() const {
    std::lock_guard lock(m_mutex);
    std::vector<Package> packages;
    for (const auto& [uri, package] : m_rootPackages) packages.push_back(package);
    return packages;
}

void MetaRegistry::forgetType(Type::Impl& type) {
    // Open models may keep snapshots and history of this class's elements: they go while the class's
    // code is still loaded.
    if (auto* cls = dynamic_cast<Class::Impl*>(&type)) Model::Impl::forgetClassInOpenModels(*cls);
    std::lock_guard lock(m_mutex);
    eraseValue(m_byQualifiedName, &type);
    eraseValue(m_byNativeName, &type);
    eraseValue(m_byTypeIdName, &type);
    type.m_instantiator.reset();
    if (auto* cls = dynamic_cast<Class::Impl*>(&type)) cls->m_builderFactory = nullptr;
}

// ---- StandardTypes

const Type& StandardTypes::stringMeta() {
    MetaRegistry::getInstance();
    return standard().string;
}

const Type& StandardTypes::integerMeta() {
    MetaRegistry::getInstance();
    return standard().integer;
}

const Type& StandardTypes::booleanMeta() {
    MetaRegistry::getInstance();
    return standard().boolean;
}

const Class& StandardTypes::modelElementMeta() {
    MetaRegistry::getInstance();
    return standard().modelElement;
}

}  // namespace fenmo::meta
