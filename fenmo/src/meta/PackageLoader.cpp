#include <fenmo/ModelImpl.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/AbstractMetaPackage.hpp>
#include <fenmo/meta/PackageLoader.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <atomic>
#include <stdexcept>

namespace fenmo::meta {

namespace {

std::atomic<PackageLoader::StepHook> stepHook{nullptr};

uuid id(const char* text) {
    return uuidFromLiteral(text);
}

// The rows of `table` that `rows` names.
template <class Row>
std::span<const Row> rowsOf(std::span<const Row> table, Rows rows) {
    if (std::size_t(rows.first) + rows.count > table.size())
        throw std::logic_error("package table row out of range");
    return table.subspan(rows.first, rows.count);
}

// Rows are numbered in the order their elements are created: a row's handle lands at its own number.
template <class Handle>
void expectRow(const std::vector<Handle>& handles, std::uint16_t first) {
    if (handles.size() != first) throw std::logic_error("package table rows out of creation order");
}

template <class Handle>
void releaseLastFirst(std::vector<Handle>& handles) noexcept {
    while (!handles.empty()) handles.pop_back();
}

}  // namespace

void LoadedPackage::clear() noexcept {
    releaseLastFirst(literals);
    releaseLastFirst(enums);
    releaseLastFirst(arguments);
    releaseLastFirst(operations);
    releaseLastFirst(properties);
    releaseLastFirst(classes);
    releaseLastFirst(primitives);
    package = Package();
}

// What an open registration holds: the registry lock (to the end), the registration transaction, the
// packages instantiated so far, and the steps counted.
struct PackageLoader::Open {
    explicit Open(MetaRegistry::LockedModel&& lock) : locked(std::move(lock)) {}

    MetaRegistry::LockedModel locked;
    Transaction transaction;
    bool committed = false;
    std::vector<std::pair<const PackageTable*, LoadedPackage*>> packages;
    std::size_t steps = 0;
};

void PackageLoader::setStepHook(StepHook hook) noexcept {
    stepHook.store(hook);
}

void PackageLoader::step() {
    std::size_t number = m_open->steps++;
    if (StepHook hook = stepHook.load()) hook(number);
}

// ---- Registration

PackageLoader::Registration::Registration(Registration&& other) noexcept : m_loader(other.m_loader) {
    other.m_loader = nullptr;
}

PackageLoader::Registration::~Registration() {
    if (m_loader) m_loader->abandon();
}

void PackageLoader::Registration::commit() {
    PackageLoader& loader = *m_loader;
    loader.step();
    loader.m_open->transaction.commit(boost::none);
    loader.m_open->committed = true;
    loader.step();
    MetaRegistry::getInstance()->registerRootPackage(loader.m_rootPackage);
    loader.m_open.reset();
    m_loader = nullptr;
}

PackageLoader::Registration PackageLoader::begin() {
    if (m_open) throw std::logic_error("a registration of this root package is already open");
    MetaRegistry* registry = MetaRegistry::getInstance();
    auto open = std::make_shared<Open>(registry->getMetaRegistryModel());
    const uuid rootId = id(m_root->identity);

    // An earlier registration of the same root package (left by a loader that did not unload) goes first.
    ModelElement stale = open->locked->findElement(rootId);
    if (stale.get()) {
        Transaction removal = open->locked->beginTransaction(true);
        if (auto package = handleCast<Package>(stale); package.get())
            registry->unregisterRootPackage(package->getUri());
        stale->destroy();
        removal.commit(boost::none);
    }

    open->transaction = open->locked->beginTransaction(true);
    m_open = std::move(open);
    Registration registration(*this);
    step();
    m_rootPackage = Package::create(m_open->locked.model(), rootId);
    m_rootPackage->setName(u"");
    m_rootPackage->setUri(m_root->uri);
    return registration;
}

// ---- First pass: the elements

void PackageLoader::instantiate(const PackageTable& table, LoadedPackage& loaded) {
    if (!m_open) throw std::logic_error("instantiate outside a registration");
    m_open->packages.emplace_back(&table, &loaded);
    const Model& model = m_open->locked.model();
    using Create = AbstractMetaPackage;

    step();
    loaded.package = Create::createPackage(table.name, table.uri);
    for (const PrimitiveRow& row : table.primitives) {
        step();
        PrimitiveType type = PrimitiveType::create(model, id(row.identity));
        type->setName(row.name);
        loaded.primitives.push_back(type);
    }
    for (const ClassRow& row : table.classes) {
        step();
        loaded.classes.push_back(
            Create::createClass(row.name, row.qualifiedName, false, false, id(row.identity)));
        expectRow(loaded.properties, row.properties.first);
        for (const PropertyRow& p : rowsOf(table.properties, row.properties)) {
            step();
            Property property = Create::createProperty(p.name, p.kind, p.composite, id(p.identity));
            loaded.properties.push_back(property);
            if (p.flags & Derived) property->setDerived(true);
            if (p.flags & ReadOnly) property->setReadOnly(true);
            if (p.flags & Ordered) property->setOrdered(true);
            if (p.flags & Unique) property->setUnique(true);
            if (p.flags & Transient) property->setTransient(true);
            if (p.flags & NoPublicMutator) property->setPublicMutator(false);
            if (p.flags & DefaultNone) property->setDefaultValue(boost::none);
            if (p.index != kNoIndex) Create::setPropertyIndex(property, p.index);
        }
        expectRow(loaded.operations, row.operations.first);
        for (const OperationRow& o : rowsOf(table.operations, row.operations)) {
            step();
            Operation operation = Create::createOperation(o.name, id(o.identity));
            loaded.operations.push_back(operation);
            operation->setAbstract(false);
            operation->setStatic(false);
            operation->setPublic(false);
            operation->setEvent(false);
            Argument argument = Create::createArgument(o.argumentName, id(o.argumentIdentity));
            loaded.arguments.push_back(argument);
            argument->setInput(true);
        }
    }
    for (const EnumRow& row : table.enums) {
        step();
        loaded.enums.push_back(Create::createEnum(row.name, id(row.identity)));
        expectRow(loaded.literals, row.literals.first);
        for (const LiteralRow& literal : rowsOf(table.literals, row.literals))
            loaded.literals.push_back(
                Create::createEnumLiteral(literal.name, literal.value, id(literal.identity)));
    }
}

// ---- Second pass: the connections and registrations

const LoadedPackage& PackageLoader::loadedOf(const PackageTable* table, const PackageTable& current) const {
    const PackageTable* wanted = table ? table : &current;
    for (const auto& [instantiated, loaded] : m_open->packages)
        if (instantiated == wanted) return *loaded;
    throw std::logic_error("a row refers to a package that is not instantiated");
}

Type PackageLoader::typeOf(const TypeRef& ref, const PackageTable& table) const {
    switch (ref.table) {
        case TypeRef::Table::Standard:
            switch (ref.row) {
                case TypeRef::String:
                    return StandardTypes::stringMeta();
                case TypeRef::Integer:
                    return StandardTypes::integerMeta();
                case TypeRef::Boolean:
                    return StandardTypes::booleanMeta();
                case TypeRef::ModelElement:
                    return StandardTypes::modelElementMeta();
            }
            break;
        case TypeRef::Table::Primitive:
            return loadedOf(ref.package, table).primitives.at(ref.row);
        case TypeRef::Table::Class:
            return loadedOf(ref.package, table).classes.at(ref.row);
        case TypeRef::Table::Enum:
            return loadedOf(ref.package, table).enums.at(ref.row);
    }
    throw std::logic_error("a row refers to an unknown type");
}

void PackageLoader::registerSerializers(const Type& type, const PackageTable& table, Rows rows,
                                        PropertySerializerRegistry& serializers) {
    for (const SerializerRow& row : rowsOf(table.serializers, rows)) {
        step();
        std::unique_ptr<PropertySerializer> serializer(row.make(type));
        m_serializers.push_back({type, row.key, row.isOurs});
        serializers.registerPropertySerializer(type, serializer.release(), row.key);
    }
}

void PackageLoader::weave(const PackageTable& table, LoadedPackage& loaded, MetaRegistry& registry,
                          PropertySerializerRegistry& serializers) {
    if (!m_open) throw std::logic_error("weave outside a registration");
    step();
    loaded.package->setParentPackage(m_rootPackage);
    for (std::size_t i = 0; i < table.primitives.size(); ++i) {
        const PrimitiveRow& row = table.primitives[i];
        const PrimitiveType& type = loaded.primitives.at(i);
        step();
        type->setOwningPackage(loaded.package);
        registry.registerType(type, row.instantiator ? row.instantiator() : nullptr, nullptr);
        registry.registerTypeNames(type, row.nativeName, u"", row.typeIdName ? row.typeIdName() : "");
        registerSerializers(type, table, row.serializers, serializers);
    }
    for (std::size_t i = 0; i < table.classes.size(); ++i) {
        const ClassRow& row = table.classes[i];
        const Class& cls = loaded.classes.at(i);
        step();
        cls->setOwningPackage(loaded.package);
        cls->addSuperclass(handleCast<Class>(typeOf(row.superclass, table)));
        for (std::uint16_t j = row.properties.first; j < row.properties.first + row.properties.count; ++j) {
            const PropertyRow& p = table.properties[j];
            const Property& property = loaded.properties.at(j);
            step();
            property->setOwningType(cls);
            property->setType(typeOf(p.type, table));
            if (p.flags & QualificationUnique) property->setQualificationUnique(true);
            if (p.opposite != kNoRow) property->setOpposite(loaded.properties.at(p.opposite));
            if (p.flags & CustomQualification) property->setCustomQualification(true);
        }
        for (std::uint16_t j = row.operations.first; j < row.operations.first + row.operations.count; ++j) {
            const OperationRow& o = table.operations[j];
            const Operation& operation = loaded.operations.at(j);
            const Argument& argument = loaded.arguments.at(j);
            step();
            operation->setOwningType(cls);
            argument->setType(typeOf(o.argumentType, table));
            argument->setOperation(operation);
            argument->setLower(1);
            argument->setUpper(1);
            if (o.invoker) AbstractMetaPackage::setInvoker(operation, o.invoker(operation));
        }
        step();
        registry.registerType(cls, row.instantiator ? row.instantiator() : nullptr, row.builder);
        registry.registerTypeNames(cls, row.nativeName, row.qualifiedName, "");
    }
    for (std::size_t i = 0; i < table.enums.size(); ++i) {
        const EnumRow& row = table.enums[i];
        const Enum& enumeration = loaded.enums.at(i);
        step();
        enumeration->setOwningPackage(loaded.package);
        enumeration->setUnderlyingType(typeOf(row.underlying, table));
        for (std::uint16_t j = row.literals.first; j < row.literals.first + row.literals.count; ++j)
            loaded.literals.at(j)->setParentEnum(enumeration);
        registry.registerType(enumeration, row.instantiator ? row.instantiator() : nullptr, nullptr);
        registry.registerTypeNames(enumeration, row.nativeName, row.qualifiedName, "");
        registerSerializers(enumeration, table, row.serializers, serializers);
    }
}

// ---- Taking it out

void PackageLoader::removeSerializers() noexcept {
    auto* registry = PropertySerializerRegistry::getInstance();
    for (const RegisteredSerializer& entry : m_serializers) {
        // Serializers are filed by the type's identity: once the type is gone (a later registration of
        // the same root replaced this one), what is filed there belongs to that registration.
        if (!entry.type.get() || !entry.type->isValid()) continue;
        try {
            PropertySerializerRegistry::LockGuard guard(*registry);
            // Only a serializer of the class this loader registered: someone may have replaced it.
            PropertySerializer* found = registry->findPropertySerializer(entry.type, entry.key);
            if (found && entry.isOurs(*found)) registry->erasePropertySerializer(entry.type, entry.key);
        } catch (...) {
            // Tear-down goes on with the next entry: a serializer left behind is better than a
            // registration half taken out.
        }
    }
    m_serializers.clear();
}

void PackageLoader::abandon() noexcept {
    removeSerializers();
    // The elements go with the abandoned transaction (or, once it has committed, with the root package),
    // and each type takes its names and instantiator with it.
    if (m_open->committed) {
        unload();
    } else {
        m_open->transaction = Transaction();
    }
    for (auto& [table, loaded] : m_open->packages) loaded->clear();
    m_rootPackage = Package();
    m_open.reset();
}

void PackageLoader::unload() noexcept {
    removeSerializers();
    if (!m_rootPackage) return;
    try {
        MetaRegistry* registry = MetaRegistry::getInstance();
        auto locked = registry->getMetaRegistryModel();
        Transaction removal = locked->beginRevertibleTransaction();
        registry->unregisterRootPackage(m_rootPackage->getUri());
        m_rootPackage->destroy();
        removal.commit(boost::none);
    } catch (...) {
        // The destructor that calls this lets nothing escape; the package stays registered and a later
        // registration of the same root removes it as stale.
    }
    m_rootPackage = Package();
}

}  // namespace fenmo::meta
