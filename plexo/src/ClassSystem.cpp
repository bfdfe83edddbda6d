#include "Internal.hpp"

#include <plexo/ClassSystem.hpp>
#include <plexo/Factory.hpp>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace plexo {

struct ClassEntry {
    std::string name;
};

namespace {
const char* const kBuiltinNames[] = {"double", "int32", "logical", "char", "string", "struct", "cell", "any"};

bool isBuiltinName(std::string_view name) {
    return std::find(std::begin(kBuiltinNames), std::end(kBuiltinNames), name) != std::end(kBuiltinNames);
}

std::atomic<std::size_t> g_liveInfos{0};
std::atomic<bool> g_usm{false};
// Counts the classes dropped: what a caller kept from a class (its property infos) is stale once it moved.
std::atomic<std::uint64_t> g_classGeneration{0};
thread_local Client* t_client = nullptr;
}  // namespace

// Everything the system keeps. Made once and never destroyed, so that objects dropped while the
// process exits still find it; shutdown() empties it.
struct HostState {
    struct NamespaceRecord {
        std::unique_ptr<PlexoNamespaceInfo> info;
        bool populated = false;
    };
    struct PendingClass {
        std::unique_ptr<PlexoClassInfo> info;
        std::string namespaceName;
        int options = 0, version = 0;
    };

    std::mutex internMutex;
    std::unordered_map<std::string, std::unique_ptr<ClassEntry>> interned;
    std::map<std::string, NamespaceRecord, std::less<>> namespaces;
    std::map<std::string, std::size_t, std::less<>> populations;
    // The full names of the classes each namespace's latest population added, in the order added.
    std::map<std::string, std::vector<std::string>, std::less<>> added;
    std::unordered_map<ClassId, PendingClass> pending;
    std::unordered_map<ClassId, std::unique_ptr<PlexoClass>> classes;
    std::map<std::pair<ClassId, ClassId>, const TypeConverter*> conversions;
    std::vector<std::unique_ptr<TypeConverter>> converters;
    std::map<std::string, PlexoDataTypePtr, std::less<>> dataTypes;
    ErrorTranslator translator;

    static HostState& get() {
        static HostState* state = new HostState;
        return *state;
    }

    void populate(const std::string& name, NamespaceRecord& record) {
        record.populated = true;
        ++populations[name];
        added[name].clear();
        NamespaceDefinition definition(name, currentClient());
        record.info->initializePackage();
        record.info->populateNamespace(definition);
    }

    PlexoClass* define(ClassId id) {
        auto it = pending.find(id);
        if (it == pending.end()) return nullptr;
        PendingClass entry = std::move(it->second);
        pending.erase(it);
        auto cls = std::make_unique<PlexoClass>(id, entry.info.release(), entry.namespaceName);
        cls->m_options = entry.options;
        cls->m_version = entry.version;
        PlexoClass* raw = cls.get();
        classes.emplace(id, std::move(cls));
        try {
            ClassDefinition definition(*raw, currentClient());
            raw->m_info->defineClass(definition);
        } catch (...) {
            // The class stays undefined and can be defined again; its info goes back to the pending ones.
            auto node = classes.extract(id);
            g_classGeneration.fetch_add(1, std::memory_order_relaxed);
            PendingClass back;
            back.info.reset(std::exchange(node.mapped()->m_info, nullptr));
            back.namespaceName = entry.namespaceName;
            back.options = entry.options;
            back.version = entry.version;
            pending.emplace(id, std::move(back));
            throw;
        }
        return raw;
    }

    PlexoClass* find(ClassId id, bool raise) {
        if (!id) {
            if (raise) raiseHostError(kHostCatalog, "UndefinedClass", "no class given");
            return nullptr;
        }
        if (auto it = classes.find(id); it != classes.end()) return it->second.get();
        if (isBuiltinName(id->name)) {
            auto cls = std::make_unique<PlexoClass>(id, nullptr, std::string());
            return classes.emplace(id, std::move(cls)).first->second.get();
        }
        if (!pending.count(id)) {
            // Populate the namespaces the name may belong to, innermost last, each once.
            for (auto& [name, record] : namespaces)
                if (!record.populated && id->name.size() > name.size() &&
                    id->name.compare(0, name.size(), name) == 0 && id->name[name.size()] == '.')
                    populate(name, record);
            // Populating may have defined the class already (a namespace may use its own classes).
            if (auto it = classes.find(id); it != classes.end()) return it->second.get();
        }
        if (PlexoClass* cls = define(id)) return cls;
        if (raise) raiseHostError(kHostCatalog, "UndefinedClass", "undefined class '" + id->name + "'");
        return nullptr;
    }
};

// --- errors ---------------------------------------------------------------------------------------------

HostError::HostError(std::string catalog, std::string key, std::string text,
                     std::vector<std::u16string> arguments)
    : m_catalog(std::move(catalog)),
      m_key(std::move(key)),
      m_text(std::move(text)),
      m_arguments(std::move(arguments)),
      m_what(m_catalog + "/" + m_key + ": " + m_text) {}

void raiseHostError(const std::string& catalog, const std::string& key, const std::string& text,
                    std::vector<std::u16string> arguments) {
    throw HostError(catalog, key, text, std::move(arguments));
}

void setErrorTranslator(ErrorTranslator translator) {
    HostState::get().translator = std::move(translator);
}

HostError toHostError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const HostError& e) {
        return e;
    } catch (const std::exception& e) {
        HostError out(kHostCatalog, "NativeError", e.what());
        if (const auto& translate = HostState::get().translator; translate && translate(e, out)) return out;
        return HostError(kHostCatalog, "NativeError", e.what());
    } catch (...) {
        return HostError(kHostCatalog, "NativeError", "unknown error");
    }
}

// --- clients, names, infos --------------------------------------------------------------------------------

Client& Client::defaultClient() {
    static Client* client = new Client("default");
    return *client;
}

Client& currentClient() noexcept {
    return t_client ? *t_client : Client::defaultClient();
}

namespace detail {
ClientScope::ClientScope(Client& client) noexcept : m_previous(t_client) {
    t_client = &client;
}
ClientScope::~ClientScope() {
    t_client = m_previous;
}
}  // namespace detail

ClassId makeInterned(std::string_view name) {
    HostState& state = HostState::get();
    std::lock_guard lock(state.internMutex);
    auto& entry = state.interned[std::string(name)];
    if (!entry) entry.reset(new ClassEntry{std::string(name)});
    return entry.get();
}

const std::string& className(ClassId id) noexcept {
    static const std::string none;
    return id ? id->name : none;
}

void* allocateInfo(std::size_t size) {
    void* p = ::operator new(size);
    g_liveInfos.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void releaseInfo(void* pointer) noexcept {
    if (!pointer) return;
    g_liveInfos.fetch_sub(1, std::memory_order_relaxed);
    ::operator delete(pointer);
}

void* InfoAllocation::operator new(std::size_t size) {
    return allocateInfo(size);
}
void InfoAllocation::operator delete(void* pointer) noexcept {
    releaseInfo(pointer);
}
std::size_t InfoAllocation::liveCount() noexcept {
    return g_liveInfos.load(std::memory_order_relaxed);
}

PlexoNamespaceInfo::~PlexoNamespaceInfo() = default;
PlexoClassInfo::~PlexoClassInfo() = default;
PlexoMethodInfo::~PlexoMethodInfo() = default;
PlexoPropertyInfo::~PlexoPropertyInfo() = default;
PlexoEnumInfo::~PlexoEnumInfo() = default;

void PlexoNamespaceInfo::throwErrorForDefinitionOfExistingName(std::string_view name) {
    raiseHostError(kHostCatalog, "ExistingName",
                   "'" + std::string(name) + "' is already defined in " + getName());
}

PlexoDataTypePtr getDataType(std::string_view name) {
    HostState& state = HostState::get();
    if (auto it = state.dataTypes.find(name); it != state.dataTypes.end()) return it->second;
    auto type = std::make_shared<PlexoDataType>();
    type->name = std::string(name);
    std::string_view base = name;
    for (std::string_view suffix : {std::string_view(" scalar"), std::string_view(" property")})
        if (base.size() > suffix.size() && base.substr(base.size() - suffix.size()) == suffix) {
            base.remove_suffix(suffix.size());
            type->scalar = suffix == " scalar";
        }
    if (base == "PlexoFactoryString") base = "char";
    type->classId = makeInterned(base);
    state.dataTypes.emplace(std::string(name), type);
    return type;
}

// --- definitions ------------------------------------------------------------------------------------------

void NamespaceDefinition::addClass(PlexoClassInfo* info, int options, int version) {
    std::unique_ptr<PlexoClassInfo> owned(info);
    if (!owned) return;
    HostState& state = HostState::get();
    std::string full = owned->getFullName();
    if (full.empty()) full = m_name + "." + owned->getName();
    ClassId id = makeInterned(full);
    state.added[m_name].push_back(full);
    // A class defined by an earlier registration of the namespace stays as it is.
    if (state.classes.count(id)) return;
    if (state.pending.count(id))
        raiseHostError(kHostCatalog, "ExistingName", "'" + full + "' is already defined in " + m_name);
    HostState::PendingClass entry;
    entry.info = std::move(owned);
    entry.namespaceName = m_name;
    entry.options = options;
    entry.version = version;
    state.pending.emplace(id, std::move(entry));
}

ClassId ClassDefinition::classId() const noexcept {
    return m_class->id();
}
const std::string& ClassDefinition::name() const noexcept {
    return m_class->name();
}

void ClassDefinition::addSuperclass(ClassId superclass, int a, int b, int c) {
    m_class->m_superclasses.push_back({superclass, {a, b, c}});
}
void ClassDefinition::addMethod(PlexoMethodInfo* method) {
    if (method) m_class->m_methods.emplace_back(method);
}
void ClassDefinition::addProperty(PlexoPropertyInfo* property) {
    if (property) m_class->m_properties.emplace_back(property);
}
void ClassDefinition::addEnumerationValue(PlexoEnumInfo* value) {
    if (value) m_class->m_values.emplace_back(value);
}

void ClassDefinition::runMethod(PlexoMethodInfo& method, HostArray*& object, int nInputs,
                                const HostArray* const* inputs, Client& client) {
    detail::ClientScope scope(client);
    int nOutputs = 1;
    HostArray* outputs[1] = {object};
    method.invoke(nOutputs, outputs, nInputs, inputs);
    object = outputs[0];
}

// --- classes ----------------------------------------------------------------------------------------------

namespace {
// The constructor every enumeration class yields first: a member from its name (char array, string, or a
// member of the class), or from a number taken as the member's underlying value.
class MemberConstructor final : public PlexoMethodInfo {
public:
    explicit MemberConstructor(PlexoClass& cls) : m_class(&cls) {
        m_signature.inputs = {"any"};
        m_signature.outputs = {className(cls.id())};
        m_signature.requiredInputs = 1;
    }
    std::string getName() const override { return m_class->info()->getName(); }
    const Signature& getSignature() const override { return m_signature; }
    void invoke(int& nOutputs, HostArray** outputs, int nInputs, const HostArray* const* inputs) override {
        if (nInputs < 1 || !inputs[0])
            raiseHostError(kHostCatalog, "WrongNumberOfInputs",
                           "a member of " + m_class->name() + " needs a value");
        const HostArray& in = *inputs[0];
        Array result;
        if (in.kind() == ArrayKind::Object && in.classId() == m_class->id()) {
            result.reset(duplicateArray(in));
        } else if (isNumeric(&in) || in.kind() == ArrayKind::Logical) {
            Array values(createNumericMatrix(in.rows(), in.cols(), NumericClass::Int32));
            for (std::size_t i = 0; i < in.numel(); ++i)
                values->int32s()[i] = static_cast<std::int32_t>(getScalarDouble(in, i));
            result.reset(omCreateBuiltinBasedArrayFromUnderlyingArray(m_class->id(), *values));
        } else if (in.kind() == ArrayKind::Char || in.kind() == ArrayKind::String) {
            const std::u16string text = factory::extractString(in);
            std::string name(text.begin(), text.end());
            PlexoEnumInfo* member = m_class->findEnumerationValue(name);
            if (!member)
                raiseHostError(kHostCatalog, "InvalidEnumerationMember",
                               "'" + name + "' is not a member of " + m_class->name(), {text});
            result.reset(duplicateArray(*member->getMemberObject()));
        } else {
            raiseHostError(kHostCatalog, "InvalidEnumerationMember",
                           "a " + getClassName(in) + " value cannot make a member of " + m_class->name());
        }
        destroyArray(outputs[0]);
        outputs[0] = result.release();
        nOutputs = 1;
    }

private:
    PlexoClass* m_class;
    Signature m_signature;
};
}  // namespace

PlexoClass::PlexoClass(ClassId id, PlexoClassInfo* info, std::string namespaceName)
    : m_id(id), m_info(info), m_namespace(std::move(namespaceName)) {
    if (m_info && m_info->isEnumeration()) m_builtinConstructor = std::make_unique<MemberConstructor>(*this);
}

PlexoClass::~PlexoClass() {
    // Members and methods first: they may refer to the class info.
    m_values.clear();
    m_properties.clear();
    m_methods.clear();
    m_builtinConstructor.reset();
    delete m_info;
}

const std::string& PlexoClass::name() const noexcept {
    return m_id->name;
}

bool PlexoClass::conformsTo(ClassId other) const {
    if (other == m_id) return true;
    for (const Superclass& super : m_superclasses) {
        if (super.id == other) return true;
        if (PlexoClass* cls = HostState::get().find(super.id, false); cls && cls->conformsTo(other))
            return true;
    }
    return false;
}

std::vector<PlexoMethodInfo*> PlexoClass::methods() const {
    std::vector<PlexoMethodInfo*> out;
    if (m_builtinConstructor) out.push_back(m_builtinConstructor.get());
    for (const auto& m : m_methods) out.push_back(m.get());
    return out;
}

PlexoMethodInfo* PlexoClass::findMethod(std::string_view name) const {
    for (const auto& m : m_methods)
        if (m->getName() == name) return m.get();
    for (const Superclass& super : m_superclasses)
        if (PlexoClass* cls = HostState::get().find(super.id, false))
            if (PlexoMethodInfo* m = cls->findMethod(name)) return m;
    return nullptr;
}

PlexoPropertyInfo* PlexoClass::findProperty(std::string_view name) const {
    for (const auto& p : m_properties)
        if (p->getName() == name) return p.get();
    for (const Superclass& super : m_superclasses)
        if (PlexoClass* cls = HostState::get().find(super.id, false))
            if (PlexoPropertyInfo* p = cls->findProperty(name)) return p;
    return nullptr;
}

PlexoEnumInfo* PlexoClass::findEnumerationValue(std::string_view name) const {
    for (const auto& v : m_values)
        if (v->getName() == name) return v.get();
    return nullptr;
}

PlexoClass* getClass(ClassId id) {
    return HostState::get().find(id, true);
}

PlexoClass* findClass(ClassId id) {
    try {
        return HostState::get().find(id, false);
    } catch (...) {
        return nullptr;
    }
}

// --- conversions, namespaces, shutdown --------------------------------------------------------------------

const TypeConverter* getConversion(ClassId from, ClassId to) {
    HostState& state = HostState::get();
    if (auto it = state.conversions.find({from, to}); it != state.conversions.end()) return it->second;
    if (auto it = state.conversions.find({makeInterned("any"), to}); it != state.conversions.end())
        return it->second;
    return nullptr;
}

void adoptConverter(TypeConverter* converter) {
    HostState& state = HostState::get();
    for (const auto& c : state.converters)
        if (c.get() == converter) return;
    state.converters.emplace_back(converter);
}

void addConversion(ClassId from, ClassId to, const TypeConverter* converter) {
    HostState::get().conversions[{from, to}] = converter;
}

std::size_t conversionCount(ClassId to) {
    std::size_t n = 0;
    for (const auto& [key, converter] : HostState::get().conversions) n += key.second == to;
    return n;
}

void registerNamespace(PlexoNamespaceInfo* info) {
    std::unique_ptr<PlexoNamespaceInfo> owned(info);
    if (!owned) return;
    HostState& state = HostState::get();
    const std::string name = owned->getName();
    // Classes the replaced namespace added but that were never defined go with it.
    for (auto it = state.pending.begin(); it != state.pending.end();)
        it = it->second.namespaceName == name ? state.pending.erase(it) : std::next(it);
    HostState::NamespaceRecord& record = state.namespaces[name];
    record.info = std::move(owned);
    record.populated = false;
}

void unregisterNamespace(std::string_view name) {
    HostState& state = HostState::get();
    auto record = state.namespaces.find(name);
    if (record == state.namespaces.end()) return;
    const std::string prefix = std::string(name) + ".";
    auto inNamespace = [&](ClassId id) { return id->name.compare(0, prefix.size(), prefix) == 0; };
    // Conversions to its classes (and to the type names made from them), then the converters nothing
    // names any more: they may refer to the classes.
    for (auto it = state.conversions.begin(); it != state.conversions.end();)
        it = inNamespace(it->first.second) ? state.conversions.erase(it) : std::next(it);
    for (auto it = state.converters.begin(); it != state.converters.end();) {
        bool used = false;
        for (const auto& [key, converter] : state.conversions) used = used || converter == it->get();
        it = used ? std::next(it) : state.converters.erase(it);
    }
    for (auto it = state.pending.begin(); it != state.pending.end();)
        it = it->second.namespaceName == record->first ? state.pending.erase(it) : std::next(it);
    std::vector<ClassId> defined;
    for (const auto& [id, cls] : state.classes)
        if (cls->namespaceName() == record->first) defined.push_back(id);
    for (ClassId id : defined) {
        auto node = state.classes.extract(id);
        g_classGeneration.fetch_add(1, std::memory_order_relaxed);
        node.mapped().reset();
    }
    state.namespaces.erase(record);
}

bool isNamespaceRegistered(std::string_view name) {
    HostState& state = HostState::get();
    return state.namespaces.find(name) != state.namespaces.end();
}

std::vector<std::string> namespaceNames() {
    std::vector<std::string> names;
    for (const auto& entry : HostState::get().namespaces) names.push_back(entry.first);
    return names;
}

std::vector<std::string> classNamesIn(std::string_view namespaceName) {
    HostState& state = HostState::get();
    auto record = state.namespaces.find(namespaceName);
    if (record == state.namespaces.end()) return {};
    if (!record->second.populated) state.populate(record->first, record->second);
    std::vector<std::string> names;
    for (const auto& [id, pending] : state.pending)
        if (pending.namespaceName == namespaceName) names.push_back(id->name);
    for (const auto& [id, cls] : state.classes)
        if (cls->namespaceName() == namespaceName) names.push_back(id->name);
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t namespacePopulationCount(std::string_view name) {
    HostState& state = HostState::get();
    auto it = state.populations.find(name);
    return it == state.populations.end() ? 0 : it->second;
}

std::vector<std::string> classesAdded(std::string_view name) {
    HostState& state = HostState::get();
    auto it = state.added.find(name);
    return it == state.added.end() ? std::vector<std::string>() : it->second;
}

void shutdown() {
    HostState& state = HostState::get();
    factory::BindingRegistry::clear();
    state.conversions.clear();
    state.converters.clear();
    state.pending.clear();
    // Classes go one by one: a class's members may still look up classes while they are released.
    while (!state.classes.empty()) {
        auto node = state.classes.extract(state.classes.begin());
        g_classGeneration.fetch_add(1, std::memory_order_relaxed);
        node.mapped().reset();
    }
    state.namespaces.clear();
    state.populations.clear();
    state.added.clear();
    state.dataTypes.clear();
}

std::uint64_t classGeneration() noexcept {
    return g_classGeneration.load(std::memory_order_relaxed);
}

bool omGetPlexoUsingUSM() noexcept {
    return g_usm.load(std::memory_order_relaxed);
}
void setPlexoUsingUSM(bool on) noexcept {
    g_usm.store(on, std::memory_order_relaxed);
}

// --- objects ----------------------------------------------------------------------------------------------

bool omIsPLEXO(const HostArray* array) noexcept {
    return array && array->kind() == ArrayKind::Object;
}

HostArray* omGetArrayElement(const HostArray& array, std::size_t i) {
    if (i >= array.numel())
        raiseHostError(
            kHostCatalog, "IndexOutOfBounds",
            "index " + std::to_string(i + 1) + " exceeds " + std::to_string(array.numel()) + " elements");
    switch (array.kind()) {
        case ArrayKind::Double:
            return createDoubleScalar(array.doubles()[i]);
        case ArrayKind::Int32:
            return createInt32Scalar(array.int32s()[i]);
        case ArrayKind::Logical:
            return createLogicalScalar(array.logicals()[i]);
        case ArrayKind::Char:
            return createStringUtf16(std::u16string(1, array.chars()[i]));
        case ArrayKind::String:
            return createStringObject(array.strings()[i]);
        case ArrayKind::Struct: {
            Array out(createStructMatrix(1, 1, array.fieldNames()));
            for (const std::string& f : array.fieldNames())
                if (const HostArray* v = array.getField(i, f)) out->setField(0, f, duplicateArray(*v));
            return out.release();
        }
        case ArrayKind::Cell: {
            Array out(createCellMatrix(1, 1));
            if (const HostArray* v = array.getCell(i)) out->setCell(0, duplicateArray(*v));
            return out.release();
        }
        case ArrayKind::Object: {
            auto* out = new HostArray(ArrayKind::Object, 1, 1);
            out->setClassId(array.classId());
            if (const HostArray* u = array.underlying()) {
                out->setUnderlying(std::unique_ptr<HostArray>(createInt32Scalar(u->int32s()[i])));
            } else {
                out->instances().push_back(array.instances()[i]);
            }
            return out;
        }
    }
    return nullptr;
}

HostArray* omCreatePLEXOEmpty(ClassId cls) {
    PlexoClass* c = getClass(cls);
    auto* out = new HostArray(ArrayKind::Object, 0, 0);
    out->setClassId(cls);
    if (c->isEnumeration())
        out->setUnderlying(std::unique_ptr<HostArray>(createNumericMatrix(0, 0, NumericClass::Int32)));
    return out;
}

const HostArray* omGetUnderlyingArray(const HostArray& array) noexcept {
    return array.underlying();
}

std::size_t omGetNumberOfElementsInUnderlyingArray(const HostArray& array) noexcept {
    return array.underlying() ? array.underlying()->numel() : 0;
}

HostArray* omCreateBuiltinBasedArrayFromUnderlyingArray(ClassId cls, const HostArray& underlying) {
    if (underlying.kind() != ArrayKind::Int32)
        raiseHostError(kHostCatalog, "InvalidUnderlyingArray",
                       "an enumeration array is built on an int32 array");
    PlexoClass* c = getClass(cls);
    if (!c->isEnumeration())
        raiseHostError(kHostCatalog, "NotAnEnumeration", c->name() + " is not an enumeration");
    auto* out = new HostArray(ArrayKind::Object, 0, 0);
    out->setClassId(cls);
    out->setUnderlying(std::unique_ptr<HostArray>(duplicateArray(underlying)));
    return out;
}

HostArray* createUnboundObject(ClassId cls) {
    auto* out = new HostArray(ArrayKind::Object, 1, 1);
    out->setClassId(cls);
    out->instances().push_back(std::make_shared<ObjectInstance>(cls));
    return out;
}

HostArray* omConstructObjectWithClient(ClassId cls, int nInputs, const HostArray* const* inputs,
                                       Client& client) {
    detail::ClientScope scope(client);
    PlexoClass* c = getClass(cls);
    if (c->isBuiltin() || c->info()->isAbstract())
        raiseHostError(kHostCatalog, "CannotConstruct", "objects of " + c->name() + " cannot be constructed");
    PlexoMethodInfo* ctor = nullptr;
    const std::string shortName = c->info()->getName();
    for (const auto& m : c->declaredMethods())
        if (m->getName() == shortName) ctor = m.get();
    if (!ctor && !c->methods().empty() && c->isEnumeration()) ctor = c->methods().front();
    if (!ctor) raiseHostError(kHostCatalog, "NoConstructor", c->name() + " has no constructor");
    HostArray* underConstruction = c->isHandle() ? createUnboundObject(cls) : nullptr;
    std::vector<Array> outputs = detail::invokeMethod(*ctor, 1, nInputs, inputs, underConstruction);
    if (outputs.empty() || !outputs[0])
        raiseHostError(kHostCatalog, "ConstructionFailed",
                       "the constructor of " + c->name() + " made no object");
    HostArray* result = outputs[0].get();
    if (c->isHandle() && (result->kind() != ArrayKind::Object || result->instances().size() != 1 ||
                          !result->instances()[0]->native()))
        raiseHostError(kHostCatalog, "ConstructionFailed",
                       "the constructor of " + c->name() + " bound no object");
    return outputs[0].release();
}

void* getNativeObject(ClassId cls, const HostArray& array, std::size_t i) {
    if (array.kind() != ArrayKind::Object || i >= array.instances().size()) return nullptr;
    if (array.classId() != cls) {
        PlexoClass* c = findClass(array.classId());
        if (!c || !c->conformsTo(cls)) return nullptr;
    }
    return array.instances()[i]->native();
}

namespace detail {

std::vector<Array> invokeMethod(PlexoMethodInfo& method, int nOutputs, int nInputs,
                                const HostArray* const* inputs, HostArray* underConstruction) {
    Array object(underConstruction);
    const Signature& sig = method.getSignature();
    const std::size_t n = static_cast<std::size_t>(std::max(nInputs, 0));
    if (n < sig.requiredInputs || (!sig.variableInputs && n > sig.inputs.size()))
        raiseHostError(kHostCatalog, "WrongNumberOfInputs",
                       method.getName() + " takes " + std::to_string(sig.requiredInputs) + " to " +
                           std::to_string(sig.inputs.size()) + " inputs, not " + std::to_string(n));
    for (std::size_t i = 0; i < n; ++i)
        if (!inputs[i])
            raiseHostError(kHostCatalog, "MissingInput", "input " + std::to_string(i + 1) + " is missing");
    const std::size_t slots = static_cast<std::size_t>(std::max(nOutputs, 1));
    std::vector<HostArray*> outputs(slots, nullptr);
    outputs[0] = object.release();
    int produced = nOutputs;
    try {
        method.invoke(produced, outputs.data(), nInputs, inputs);
    } catch (...) {
        for (HostArray* a : outputs) destroyArray(a);
        throw toHostError(std::current_exception());
    }
    std::vector<Array> result;
    for (std::size_t i = 0; i < slots; ++i) {
        if (static_cast<int>(i) < produced)
            result.emplace_back(outputs[i]);
        else
            destroyArray(outputs[i]);
    }
    return result;
}

}  // namespace detail

}  // namespace plexo
