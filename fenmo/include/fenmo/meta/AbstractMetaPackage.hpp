#pragma once
// The base of a library's meta-package: creates the elements of its metamodel in the registry model and
// registers its root package.

#include <fenmo/Export.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/Property.hpp>

#include <cstdint>
#include <memory>
#include <string>

FENMO_API_BEGIN

namespace fenmo::meta {

class AbstractMetaPackage {
public:
    virtual ~AbstractMetaPackage() = default;

protected:
    // The loader creates a package table's elements with the operations below.
    friend class PackageLoader;

    AbstractMetaPackage() = default;
    AbstractMetaPackage(const AbstractMetaPackage&) = default;
    AbstractMetaPackage& operator=(const AbstractMetaPackage&) = default;

    // Each creates one element in the registry model; callers hold the registry lock and a transaction.
    // A package's identity derives from its URI.
    static Package createPackage(const std::u16string& name, const std::u16string& uri);
    static Class createClass(const std::u16string& name, const std::u16string& qualifiedName, bool isAbstract,
                             bool isInterface, const uuid& id);
    static Property createProperty(const std::u16string& name, ValueKind kind, bool composite,
                                   const uuid& id);
    static Operation createOperation(const std::u16string& name, const uuid& id);
    static Argument createArgument(const std::u16string& name, const uuid& id);
    static Enum createEnum(const std::u16string& name, const uuid& id);
    static EnumLiteral createEnumLiteral(const std::u16string& name, std::int32_t value, const uuid& id);

    static void setPropertyIndex(const Property& property, std::size_t index);
    static void setInvoker(const Operation& operation, std::unique_ptr<AbstractMethodInvoker> invoker);

    static void registerRootPackage(const Package& package);
    static void unregisterRootPackage(const std::u16string& uri);
};

}  // namespace fenmo::meta

FENMO_API_END
