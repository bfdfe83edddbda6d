#include <fenmo/meta/AbstractMetaPackage.hpp>

#include <boost/uuid/name_generator_sha1.hpp>

namespace fenmo::meta {

namespace {

Model registryModel() { return MetaRegistry::getInstance()->getMetaRegistryModel().model(); }

template <class Handle>
Handle named(Handle handle, const std::u16string& name) {
    handle->setName(name);
    return handle;
}

}  // namespace

Package AbstractMetaPackage::createPackage(const std::u16string& name, const std::u16string& uri) {
    static const boost::uuids::name_generator_sha1 generator(boost::uuids::ns::url());
    std::u16string text = uri;
    Package package = named(Package::create(registryModel(), generator(text.data(), text.size() * sizeof(char16_t))), name);
    package->setUri(uri);
    return package;
}

Class AbstractMetaPackage::createClass(const std::u16string& name, const std::u16string& qualifiedName,
                                       bool isAbstract, bool isInterface, const uuid& id) {
    Class cls = named(Class::create(registryModel(), id), name);
    cls->setAbstract(isAbstract);
    cls->setInterface(isInterface);
    MetaRegistry::getInstance()->registerTypeNames(cls, u"", qualifiedName, "");
    return cls;
}

Property AbstractMetaPackage::createProperty(const std::u16string& name, ValueKind kind, bool composite,
                                             const uuid& id) {
    return named(Property::create(registryModel(), id, kind, composite), name);
}

Operation AbstractMetaPackage::createOperation(const std::u16string& name, const uuid& id) {
    return named(Operation::create(registryModel(), id), name);
}

Argument AbstractMetaPackage::createArgument(const std::u16string& name, const uuid& id) {
    return named(Argument::create(registryModel(), id), name);
}

Enum AbstractMetaPackage::createEnum(const std::u16string& name, const uuid& id) {
    return named(Enum::create(registryModel(), id), name);
}

EnumLiteral AbstractMetaPackage::createEnumLiteral(const std::u16string& name, std::int32_t value, const uuid& id) {
    return named(EnumLiteral::create(registryModel(), id, value), name);
}

void AbstractMetaPackage::setPropertyIndex(const Property& property, std::size_t index) {
    property->m_index = index;
}

void AbstractMetaPackage::setInvoker(const Operation& operation, std::unique_ptr<AbstractMethodInvoker> invoker) {
    operation->setInvoker(std::move(invoker));
}

void AbstractMetaPackage::registerRootPackage(const Package& package) {
    MetaRegistry::getInstance()->registerRootPackage(package);
}

void AbstractMetaPackage::unregisterRootPackage(const std::u16string& uri) {
    MetaRegistry::getInstance()->unregisterRootPackage(uri);
}

}  // namespace fenmo::meta
