#pragma once
// The class-object system: namespaces registered by name and populated on first use, classes defined
// on first use from the class infos the namespaces add, methods with signatures, properties with
// getters and setters, enumeration members, conversions between classes, and errors raised to the
// caller with a catalog, a key and a text.
//
// Infos (namespace, class, method, property, enumeration member) are allocated with the system's own
// allocation operation (their operator new) and are owned by the system from the moment they are
// handed to it (registerNamespace, addClass, addSuperclass, addMethod, addProperty, addEnumerationValue).

#include <plexo/Export.hpp>
#include <plexo/HostArray.hpp>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

PLEXO_API_BEGIN

namespace plexo {

class ClassDefinition;
class NamespaceDefinition;
class PlexoClass;

// An error raised to the script: a catalog, a key, a readable text, and the arguments of the message.
class HostError : public std::exception {
public:
    HostError(std::string catalog, std::string key, std::string text,
              std::vector<std::u16string> arguments = {});
    const std::string& catalog() const noexcept { return m_catalog; }
    const std::string& key() const noexcept { return m_key; }
    const std::string& text() const noexcept { return m_text; }
    const std::vector<std::u16string>& arguments() const noexcept { return m_arguments; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::string m_catalog, m_key, m_text;
    std::vector<std::u16string> m_arguments;
    std::string m_what;
};

// The host's own catalog (undefined names, wrong counts of arguments, read-only properties).
inline constexpr const char* kHostCatalog = "plexo:class";
[[noreturn]] void raiseHostError(const std::string& catalog, const std::string& key, const std::string& text,
                                 std::vector<std::u16string> arguments = {});
// Turns an exception that is not a HostError into one (set by the framework's scripting layer for its
// own exceptions); answers false to leave the exception alone.
using ErrorTranslator = std::function<bool(const std::exception& error, HostError& out)>;
void setErrorTranslator(ErrorTranslator translator);
// The exception in flight as a HostError: itself, translated, or "plexo:class"/"NativeError" with its text.
HostError toHostError(std::exception_ptr error);

// The caller on whose behalf the system works (a script session); classes are defined for one, and
// what they keep of it (enumeration members are made for it on first request) needs it to outlive them.
class Client {
public:
    explicit Client(std::string name) : m_name(std::move(name)) {}
    const std::string& name() const noexcept { return m_name; }
    static Client& defaultClient();

private:
    std::string m_name;
};

ClassId makeInterned(std::string_view name);
const std::string& className(ClassId id) noexcept;

// The allocation operations of every info: the system counts what is live, so that a host (and a test)
// can tell that everything handed over was released.
class InfoAllocation {
public:
    static void* operator new(std::size_t size);
    static void operator delete(void* pointer) noexcept;
    static std::size_t liveCount() noexcept;
};
void* allocateInfo(std::size_t size);
void releaseInfo(void* pointer) noexcept;

// Data types: a name under which values are declared ("int32 scalar", "logical", a class's full name);
// the class is the name without a trailing " scalar" or " property".
struct PlexoDataType {
    std::string name;
    ClassId classId = nullptr;
    bool scalar = false;
};
using PlexoDataTypePtr = std::shared_ptr<const PlexoDataType>;
PlexoDataTypePtr getDataType(std::string_view name);

// Inputs and outputs of a method, by type name; inputs past requiredInputs may be left out.
struct Signature {
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    std::vector<std::string> argumentNames;
    std::size_t requiredInputs = 0;
    bool variableInputs = false;
};

enum MethodAttributes : std::uint32_t {
    DefaultAttributes = 0,
    Static = 1,
    OverridesAll = 2,
    Hidden = 4,
    ForceMembership = 8,
};
inline MethodAttributes operator|(MethodAttributes a, MethodAttributes b) {
    return static_cast<MethodAttributes>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}

class PlexoNamespaceInfo : public InfoAllocation {
public:
    virtual ~PlexoNamespaceInfo();
    virtual std::string getName() const = 0;
    virtual std::string getDescription() const { return {}; }
    virtual std::string getDetailedDescription() const { return {}; }
    virtual bool attemptToLoadInnerNamespace(std::string_view) { return false; }
    virtual bool attemptToLoadSubPackage(std::string_view) { return false; }
    [[noreturn]] virtual void throwErrorForDefinitionOfExistingName(std::string_view name);
    virtual bool attemptToLoadClass(std::string_view) { return false; }
    virtual bool attemptToLoadFunction(std::string_view) { return false; }
    virtual bool attemptToLoadType(std::string_view) { return false; }
    virtual const void* getMethodSelector() const { return nullptr; }
    virtual void populateNamespace(NamespaceDefinition& definition) = 0;
    virtual void initializePackage() {}
    virtual bool isDestructible() const { return true; }
    virtual bool isLocked() const { return false; }
    virtual bool canLoadDynamicContent() const { return false; }
};

class PlexoClassInfo : public InfoAllocation {
public:
    virtual ~PlexoClassInfo();
    virtual std::string getName() const = 0;
    // The full name; the host's default is empty, and the class is then known by its namespace's name, a
    // dot and getName().
    virtual std::string getFullName() const { return {}; }
    virtual std::string getQualifiedName() const { return getFullName(); }
    virtual std::string getAccess() const { return "public"; }
    virtual void defineClass(ClassDefinition& definition) = 0;
    virtual std::size_t getInstanceDataSize() const { return 0; }
    // The host drops a bound object of the class: `native` is what the object was bound to.
    virtual void release(void* native) { (void)native; }
    virtual void updateInstance(void*) {}
    virtual bool isFactoryClass() const { return false; }
    virtual bool isHandleClass() const { return false; }
    virtual bool isAbstract() const { return false; }
    virtual bool isEnumeration() const { return false; }
    virtual bool isConstructedOnLoad() const { return false; }
};

class PlexoMethodInfo : public InfoAllocation {
public:
    virtual ~PlexoMethodInfo();
    virtual std::string getName() const = 0;
    virtual std::string getDescription() const { return {}; }
    virtual MethodAttributes getAttributes() const { return DefaultAttributes; }
    virtual const Signature& getSignature() const = 0;
    // nOutputs: how many outputs the caller takes (the method may change it to what it produced);
    // outputs[i] receives an array it owns. For a constructor outputs[0] holds the object under
    // construction when the call begins. Instance methods get the object as inputs[0].
    virtual void invoke(int& nOutputs, HostArray** outputs, int nInputs, const HostArray* const* inputs) = 0;
};

class PlexoPropertyInfo : public InfoAllocation {
public:
    virtual ~PlexoPropertyInfo();
    virtual std::string getName() const = 0;
    virtual std::uint32_t getAttributes() const { return 0; }
    // The declared type name of the property's values.
    virtual std::string getTypeName() const { return "any"; }
    virtual bool hasSetter() const = 0;
    // `native` is what the object is bound to; the result belongs to the caller.
    virtual HostArray* get(void* native) const = 0;
    virtual void set(void* native, const HostArray& value) const = 0;
};

class PlexoEnumInfo : public InfoAllocation {
public:
    virtual ~PlexoEnumInfo();
    virtual std::string getName() const = 0;
    virtual std::string getDescription() const { return {}; }
    virtual std::string getDetailedDescription() const { return {}; }
    // The member as an object of its class; the info keeps it.
    virtual const HostArray* getMemberObject() = 0;
    virtual bool isDestructible() const { return true; }
    virtual bool isHidden() const { return false; }
};

// What populateNamespace is given: the namespace, to which classes are added.
class NamespaceDefinition {
public:
    NamespaceDefinition(std::string name, Client& client) : m_name(std::move(name)), m_client(&client) {}
    const std::string& name() const noexcept { return m_name; }
    Client& client() const noexcept { return *m_client; }
    // Takes ownership of `info`; the class is defined on first use. The two words belong to the host
    // (kept with the class).
    void addClass(PlexoClassInfo* info, int options, int version);

private:
    std::string m_name;
    Client* m_client;
};

// What defineClass is given: the class being defined.
class ClassDefinition {
public:
    ClassDefinition(PlexoClass& cls, Client& client) : m_class(&cls), m_client(&client) {}
    ClassId classId() const noexcept;
    const std::string& name() const noexcept;
    Client& client() const noexcept { return *m_client; }
    void addSuperclass(ClassId superclass, int a, int b, int c);
    void addMethod(PlexoMethodInfo* method);
    void addProperty(PlexoPropertyInfo* property);
    void addEnumerationValue(PlexoEnumInfo* value);
    // Runs a method of the class for `object` (a constructor fills it) with the given inputs.
    void runMethod(PlexoMethodInfo& method, HostArray*& object, int nInputs, const HostArray* const* inputs,
                   Client& client);

private:
    PlexoClass* m_class;
    Client* m_client;
};

// A defined class.
class PlexoClass {
public:
    struct Superclass {
        ClassId id;
        int words[3];
    };
    PlexoClass(ClassId id, PlexoClassInfo* info, std::string namespaceName);
    PlexoClass(const PlexoClass&) = delete;
    PlexoClass& operator=(const PlexoClass&) = delete;
    ~PlexoClass();

    ClassId id() const noexcept { return m_id; }
    const std::string& name() const noexcept;
    const std::string& namespaceName() const noexcept { return m_namespace; }
    // Null for the built-in classes (double, int32, ...).
    PlexoClassInfo* info() const noexcept { return m_info; }
    bool isBuiltin() const noexcept { return m_info == nullptr; }
    bool isHandle() const { return m_info && m_info->isHandleClass(); }
    bool isEnumeration() const { return m_info && m_info->isEnumeration(); }
    const std::vector<Superclass>& superclasses() const noexcept { return m_superclasses; }
    // Whether this class is `other` or derives from it.
    bool conformsTo(ClassId other) const;

    // The methods in the order the class yields them: a built-in member constructor first for
    // enumerations, then those the class declared.
    std::vector<PlexoMethodInfo*> methods() const;
    const std::vector<std::unique_ptr<PlexoMethodInfo>>& declaredMethods() const noexcept {
        return m_methods;
    }
    // Own first, then superclasses'. Null when there is none.
    PlexoMethodInfo* findMethod(std::string_view name) const;
    PlexoPropertyInfo* findProperty(std::string_view name) const;
    const std::vector<std::unique_ptr<PlexoPropertyInfo>>& properties() const noexcept {
        return m_properties;
    }
    const std::vector<std::unique_ptr<PlexoEnumInfo>>& enumerationValues() const noexcept { return m_values; }
    PlexoEnumInfo* findEnumerationValue(std::string_view name) const;
    // The words addClass was given.
    int options() const noexcept { return m_options; }
    int version() const noexcept { return m_version; }

private:
    friend class ClassDefinition;
    friend struct HostState;
    ClassId m_id;
    PlexoClassInfo* m_info;
    std::string m_namespace;
    int m_options = 0, m_version = 0;
    std::vector<Superclass> m_superclasses;
    std::unique_ptr<PlexoMethodInfo> m_builtinConstructor;
    std::vector<std::unique_ptr<PlexoMethodInfo>> m_methods;
    std::vector<std::unique_ptr<PlexoPropertyInfo>> m_properties;
    std::vector<std::unique_ptr<PlexoEnumInfo>> m_values;
};

// The class of an id, defined on first use: its namespace is populated once (on first use of any of its
// names), then the class's info defines it. An unknown name raises "plexo:class"/"UndefinedClass".
PlexoClass* getClass(ClassId id);
// The class if it can be found, else null (never raises for an unknown name).
PlexoClass* findClass(ClassId id);

// Conversions between classes, by type name: a converter turns an array into an array of the target.
class TypeConverter {
public:
    virtual ~TypeConverter() = default;
    // A new array (the caller owns it), or null when this value cannot be converted.
    virtual HostArray* convert(const HostArray& value) const = 0;
};
// The converter registered from one class to another, or null ("any" stands for every class).
const TypeConverter* getConversion(ClassId from, ClassId to);
// Takes ownership of the converter (once, however many conversions name it).
void adoptConverter(TypeConverter* converter);
void addConversion(ClassId from, ClassId to, const TypeConverter* converter);
std::size_t conversionCount(ClassId to);

// Namespaces, by name; the system takes ownership. Registering a name again replaces the namespace
// (its classes are dropped and defined again from the new one on first use).
void registerNamespace(PlexoNamespaceInfo* info);
// Drops a namespace with its classes and the conversions to them, before the code that made its infos
// goes (a library being unloaded). Objects of its classes must have been dropped: their release
// operations can no longer be called.
void unregisterNamespace(std::string_view name);
bool isNamespaceRegistered(std::string_view name);
// The names of the registered namespaces, sorted; for hosts that list what scripts can reach.
std::vector<std::string> namespaceNames();
// The full names of the classes of a registered namespace, sorted (the namespace is populated first
// when it has not been); empty for an unknown name.
std::vector<std::string> classNamesIn(std::string_view namespaceName);
// How many times a namespace of that name has been populated (0: not yet).
std::size_t namespacePopulationCount(std::string_view name);
// The full names of the classes the latest population of a namespace added, in the order it added them.
std::vector<std::string> classesAdded(std::string_view name);
// Drops every namespace, class, conversion and binding: what a host does as it shuts down.
void shutdown();
// Changes whenever a class is dropped (with its namespace, or at shutdown): a caller that keeps what it
// found in a class (a property info) looks again when this moved.
std::uint64_t classGeneration() noexcept;

// The mode in which libraries register their namespaces on every initialisation call.
bool omGetPlexoUsingUSM() noexcept;
void setPlexoUsingUSM(bool on) noexcept;

// Objects.
bool omIsPLEXO(const HostArray* array) noexcept;
// Element i of an array as a new 1x1 array of the same class.
HostArray* omGetArrayElement(const HostArray& array, std::size_t i);
// A 0x0 array of the class.
HostArray* omCreatePLEXOEmpty(ClassId cls);
// The int32 array an enumeration member array is built on (null for others).
const HostArray* omGetUnderlyingArray(const HostArray& array) noexcept;
std::size_t omGetNumberOfElementsInUnderlyingArray(const HostArray& array) noexcept;
// An array of enumeration members of `cls` over (a copy of) an int32 array.
HostArray* omCreateBuiltinBasedArrayFromUnderlyingArray(ClassId cls, const HostArray& underlying);
// Constructs an object of the class with its constructor, as a script would.
HostArray* omConstructObjectWithClient(ClassId cls, int nInputs, const HostArray* const* inputs,
                                       Client& client);
// The native pointer bound to element i of an object array whose class is `cls` or derives from it,
// else null.
void* getNativeObject(ClassId cls, const HostArray& array, std::size_t i = 0);
// A new 1x1 array of a handle class holding a fresh, unbound instance (the object under construction).
HostArray* createUnboundObject(ClassId cls);

// The client of the call in progress (the default client outside calls).
Client& currentClient() noexcept;

}  // namespace plexo

PLEXO_API_END
