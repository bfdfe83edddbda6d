#pragma once
// The factory layer: class infos with short and full names, handle and value class infos, the binding
// registry (one scripting object per native pointer), methods with signatures, and properties made of
// getter and setter adapters.

#include <plexo/ClassSystem.hpp>
#include <plexo/Export.hpp>
#include <plexo/HostArray.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

PLEXO_API_BEGIN

namespace plexo::factory {

using plexo::ForceMembership;
using plexo::Hidden;
using plexo::MethodAttributes;
using plexo::OverridesAll;
using plexo::Static;

// The catalog of errors about scripting objects that do not stand for a live native object.
inline constexpr const char* kClassCatalog = "Qorin:class";
[[noreturn]] void raiseInvalidHandle();

class PlexoFactoryClassInfo : public PlexoClassInfo {
public:
    PlexoFactoryClassInfo(std::string shortName, std::string fullName)
        : m_shortName(std::move(shortName)), m_fullName(std::move(fullName)) {}
    ~PlexoFactoryClassInfo() override;
    std::string getName() const override { return m_shortName; }
    std::string getFullName() const override { return m_fullName; }
    std::string getQualifiedName() const override { return getFullName(); }
    bool isFactoryClass() const override { return true; }

private:
    std::string m_shortName;
    std::string m_fullName;
};

// A class whose objects are references to one native object of type T.
template <class T, int Flags>
class HandleClassInfo : public PlexoFactoryClassInfo {
public:
    using PlexoFactoryClassInfo::PlexoFactoryClassInfo;
    std::size_t getInstanceDataSize() const override { return 0; }
    bool isHandleClass() const override { return true; }
};

// A class whose objects are values (enumeration members).
template <class T, class U>
class NonHandleClassInfo : public PlexoFactoryClassInfo {
public:
    using PlexoFactoryClassInfo::PlexoFactoryClassInfo;
    std::size_t getInstanceDataSize() const override { return 0; }
    bool isHandleClass() const override { return false; }
};

// One scripting object per native pointer, while the host keeps it.
class BindingRegistry {
public:
    // The object bound to `native` (a new 1x1 array the caller owns). On first sight a new object of
    // class `cls` is made and bound, and `isNew` is set; a null pointer gives a 0x0 array of the class.
    static HostArray* announce(void* native, ClassId cls, bool& isNew);
    // Binds the object under construction (element 0 of `object`) to `native`.
    static void announceForConstructor(void* native, ClassId cls, HostArray& object, bool replace);
    // Forgets the binding of `native`; whether there was one.
    static bool remove(void* native);
    static bool isBound(const void* native);
    static std::size_t size();
    static void clear();
};

// Fills a signature: argument names separated by spaces (a name starting with "opt_" marks an optional
// input), output and input type names. With `requiredInputs` given, the inputs after that many are
// optional whatever their names.
void createSignatureImpl(Signature& signature, bool variableInputs, const std::string& argumentNames,
                         std::vector<std::string> outputs, std::vector<std::string> inputs,
                         std::size_t requiredInputs = static_cast<std::size_t>(-1));

class PlexoMethod : public PlexoMethodInfo {
public:
    using Body =
        std::function<void(int& nOutputs, HostArray** outputs, int nInputs, const HostArray* const* inputs)>;

    PlexoMethod(std::string name, MethodAttributes attributes, std::string description, Body body = {})
        : m_name(std::move(name)),
          m_attributes(attributes),
          m_description(std::move(description)),
          m_body(std::move(body)) {}
    ~PlexoMethod() override;
    std::string getName() const override { return m_name; }
    std::string getDescription() const override { return m_description; }
    MethodAttributes getAttributes() const override { return m_attributes; }
    const Signature& getSignature() const override { return m_signature; }
    Signature& signature() noexcept { return m_signature; }
    void invoke(int& nOutputs, HostArray** outputs, int nInputs, const HostArray* const* inputs) override;

private:
    std::string m_name;
    MethodAttributes m_attributes;
    std::string m_description;
    Signature m_signature;
    Body m_body;
};

// Property accessors: what a getter reads from a native object, what a setter writes into it.
class PropertyGetter {
public:
    virtual ~PropertyGetter() = default;
    virtual std::string typeName() const = 0;
    virtual HostArray* get(void* native) const = 0;
};
class PropertySetter {
public:
    virtual ~PropertySetter() = default;
    virtual void set(void* native, const HostArray& value) const = 0;
};

// Adapters: the native pointer is turned into a Self (validating it) and handed to a function.
template <class Self>
class AdaptedClassGetter final : public PropertyGetter {
public:
    using Validate = std::function<Self(void*)>;
    using Read = std::function<HostArray*(const Self&)>;
    AdaptedClassGetter(std::string typeName, Validate validate, Read read)
        : m_typeName(std::move(typeName)), m_validate(std::move(validate)), m_read(std::move(read)) {}
    std::string typeName() const override { return m_typeName; }
    HostArray* get(void* native) const override {
        Self self = m_validate(native);
        return m_read(self);
    }

private:
    std::string m_typeName;
    Validate m_validate;
    Read m_read;
};

template <class Self>
class AdaptedClassSetter final : public PropertySetter {
public:
    using Validate = std::function<Self(void*)>;
    using Write = std::function<void(const Self&, const HostArray&)>;
    AdaptedClassSetter(Validate validate, Write write)
        : m_validate(std::move(validate)), m_write(std::move(write)) {}
    void set(void* native, const HostArray& value) const override {
        Self self = m_validate(native);
        m_write(self, value);
    }

private:
    Validate m_validate;
    Write m_write;
};

// A property: name, getter, optional setter (null: read-only), attribute word. Owns its adapters.
class PropertyImpl final : public PlexoPropertyInfo {
public:
    PropertyImpl(std::string name, PropertyGetter* getter, PropertySetter* setter, std::uint32_t attributes);
    ~PropertyImpl() override;
    std::string getName() const override { return m_name; }
    std::uint32_t getAttributes() const override { return m_attributes; }
    std::string getTypeName() const override { return m_getter->typeName(); }
    bool hasSetter() const override { return m_setter != nullptr; }
    HostArray* get(void* native) const override { return m_getter->get(native); }
    void set(void* native, const HostArray& value) const override;

private:
    std::string m_name;
    std::unique_ptr<PropertyGetter> m_getter;
    std::unique_ptr<PropertySetter> m_setter;
    std::uint32_t m_attributes;
};

// The UTF-16 text of a char array, a "string" object or a cell holding one of them; anything else
// raises "plexo:class"/"NotText".
std::u16string extractString(const HostArray& array);
// Declares the data types text properties and inputs use ("PlexoFactoryString scalar", "char").
void initStringDataTypes();

// The handle of the native object `self` stands for (a new reference), or "Qorin:class"/"InvalidHandle"
// when there is none or it is no longer valid. Handle is a counted handle made from (Impl*, addRef).
template <class Handle>
Handle validateSelfPointer(void* self) {
    if (!self) raiseInvalidHandle();
    Handle handle(static_cast<typename Handle::Impl*>(self), true);
    if (!handle) raiseInvalidHandle();
    return handle;
}

}  // namespace plexo::factory

PLEXO_API_END
