#pragma once
// Registers a metamodel written down as tables (PackageTable.hpp) in the metamodel registry, in one
// registry transaction, and takes it out again. A registration that fails at any step leaves nothing of
// it registered: no element in the registry model, no type name, no instantiator, no serializer.

#include <fenmo/Export.hpp>
#include <fenmo/Transaction.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/PackageTable.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::meta {

// The handles the rows of one package table were registered as, in row order.
struct LoadedPackage {
    Package package;
    std::vector<PrimitiveType> primitives;
    std::vector<Class> classes;
    std::vector<Property> properties;
    std::vector<Operation> operations;
    std::vector<Argument> arguments;  // one per operation
    std::vector<Enum> enums;
    std::vector<EnumLiteral> literals;

    // Releases every handle, last row first.
    void clear() noexcept;
};

class PackageLoader {
public:
    // An open registration: the registry lock and the registration transaction. Destroyed before
    // commit, it takes out everything registered so far.
    class Registration {
    public:
        Registration(Registration&& other) noexcept;
        Registration& operator=(Registration&&) = delete;
        ~Registration();
        // Commits the transaction and registers the root package; on failure, undoes everything.
        void commit();

    private:
        friend class PackageLoader;
        explicit Registration(PackageLoader& loader) noexcept : m_loader(&loader) {}
        PackageLoader* m_loader;
    };

    explicit PackageLoader(const RootTable& root) noexcept : m_root(&root) {}

    // Takes the registry lock, removes a registration of the same root package left in the registry,
    // opens the registration transaction and creates the root package.
    Registration begin();
    // Creates the elements of a package's rows (first pass; every package before any is woven).
    void instantiate(const PackageTable& table, LoadedPackage& loaded);
    // Connects them: owners, types, opposites, operations, type registrations, serializers.
    void weave(const PackageTable& table, LoadedPackage& loaded, MetaRegistry& registry,
               PropertySerializerRegistry& serializers);
    // Takes the registration out: its serializers (those still its own), then the root package with
    // everything under it. Safe to call when nothing is registered.
    void unload() noexcept;

    const Package& rootPackage() const noexcept { return m_rootPackage; }

    // For tests: called with the number of each registration step (from 0) before it runs; throwing
    // stands for a framework call failing at that step.
    using StepHook = void (*)(std::size_t step);
    static void setStepHook(StepHook hook) noexcept;

private:
    struct Open;
    struct RegisteredSerializer {
        Type type;
        std::u16string key;
        SerializerTest isOurs;
    };

    void step();
    void abandon() noexcept;
    void removeSerializers() noexcept;
    Type typeOf(const TypeRef& ref, const PackageTable& table) const;
    const LoadedPackage& loadedOf(const PackageTable* table, const PackageTable& current) const;
    void registerSerializers(const Type& type, const PackageTable& table, Rows rows,
                             PropertySerializerRegistry& serializers);

    const RootTable* m_root;
    Package m_rootPackage;
    std::vector<RegisteredSerializer> m_serializers;
    // While a registration is open: its lock, transaction, and the packages instantiated so far.
    std::shared_ptr<Open> m_open;
};

}  // namespace fenmo::meta

FENMO_API_END
