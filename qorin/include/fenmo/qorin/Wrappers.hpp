#pragma once
// The bases of scripting class infos for element classes (FenmoWrapperInfo) and enumerations
// (FenmoEnumInfo with FenmoEnumValueInfo members and the Ctor constructor), the text-to-member
// conversion of enumerations, and the methods every element class offers (constructor,
// "StaticMetaClass").

#include <fenmo/Model.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Export.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <plexo/ClassSystem.hpp>
#include <plexo/Factory.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

QORIN_API_BEGIN

namespace fenmo::qorin {

// Makes an element without a builder (for classes registered without one); given model and identity.
using DirectCreator = std::function<ModelElement(const Model& model, const uuid& id)>;

// The constructor of an element class: inputs (model, opt_init, opt_uuid), the last two in either order:
// a one-element struct initialises the builder, a text gives the identity. Without a model it fails with
// "CannotCreateWithoutModel"; with a bad or second identity with "InvalidValue"; when no element of the
// class results with "CreationFailed". The new element is bound to the object under construction, which
// holds one reference on it.
plexo::PlexoMethodInfo* makeElementConstructor(const std::string& shortName, const std::string& fullName,
                                               const meta::Class& cls, DirectCreator withoutBuilder = {});
// "StaticMetaClass": the class's metaclass as a "fenmo.meta.Class" object.
plexo::PlexoMethodInfo* makeStaticMetaClass(const meta::Class& cls);

// The class info of an element class T (a handle type): one scripting object per element, holding a
// reference on its Impl while the host keeps it.
template <class T>
class FenmoWrapperInfo : public plexo::factory::HandleClassInfo<T, 0> {
public:
    using plexo::factory::HandleClassInfo<T, 0>::HandleClassInfo;

    void release(void* native) override { releaseElementBinding(native); }
    bool isAbstract() const override { return false; }

    // The element a native pointer stands for, refused with "Qorin:class"/"InvalidHandle" when it is
    // gone.
    static T self(void* native) {
        // Natives are stored as ModelElement::Impl pointers; the typed handle comes from a checked cast.
        T handle = handleCast<T>(plexo::factory::validateSelfPointer<ModelElement>(native));
        if (!handle) plexo::factory::raiseInvalidHandle();
        return handle;
    }
    // Property adapters over the element handle.
    template <class Read>
    static plexo::factory::PropertyGetter* getter(std::string typeName, Read read) {
        return new plexo::factory::AdaptedClassGetter<T>(std::move(typeName), &self, std::move(read));
    }
    template <class Write>
    static plexo::factory::PropertySetter* setter(Write write) {
        return new plexo::factory::AdaptedClassSetter<T>(&self, std::move(write));
    }
};

// One member of an enumeration class: its name and value; its object is made on first request and kept.
template <class E>
class FenmoEnumValueInfo final : public plexo::PlexoEnumInfo {
public:
    FenmoEnumValueInfo(std::string literal, plexo::ClassDefinition& definition, std::int32_t value)
        : m_literal(std::move(literal)),
          m_definition(definition),
          m_client(&definition.client()),
          m_value(value) {}
    ~FenmoEnumValueInfo() override { plexo::destroyArray(m_member); }
    std::string getName() const override { return m_literal; }
    const plexo::HostArray* getMemberObject() override {
        if (!m_member) {
            plexo::Array value(plexo::createInt32Scalar(m_value));
            const plexo::HostArray* inputs[1] = {value.get()};
            m_member = plexo::omConstructObjectWithClient(m_definition.classId(), 1, inputs, *m_client);
        }
        return m_member;
    }
    std::int32_t value() const noexcept { return m_value; }

private:
    std::string m_literal;
    plexo::ClassDefinition m_definition;
    plexo::Client* m_client;
    plexo::HostArray* m_member = nullptr;
    std::int32_t m_value;
};

// The constructor of an enumeration class: the host's member constructor (the first method of the
// class) run for the object under construction.
template <class E>
class Ctor final : public plexo::PlexoMethodInfo {
public:
    Ctor(std::string shortName, std::string fullName, plexo::ClassDefinition& definition,
         std::string baseClassName)
        : m_shortName(std::move(shortName)),
          m_fullName(std::move(fullName)),
          m_definition(definition),
          m_baseClassName(std::move(baseClassName)) {
        plexo::factory::createSignatureImpl(m_signature, false, "", {m_fullName}, {"any"});
    }
    std::string getName() const override { return m_shortName; }
    const plexo::Signature& getSignature() const override { return m_signature; }
    void invoke(int& nOutputs, plexo::HostArray** outputs, int nInputs,
                const plexo::HostArray* const* inputs) override {
        plexo::PlexoClass* cls = plexo::getClass(plexo::makeInterned(m_fullName));
        m_definition.runMethod(*cls->methods().front(), outputs[0], nInputs, inputs, plexo::currentClient());
        nOutputs = 1;
    }

private:
    std::string m_shortName;
    std::string m_fullName;
    plexo::ClassDefinition m_definition;
    std::string m_baseClassName;
    plexo::Signature m_signature;
};

// The three hidden methods of an enumeration class ("getValue", "getLiteral", "getPublicIdentifier"),
// each taking one member; a value without literal gives the empty text.
plexo::PlexoMethodInfo* makeEnumValueMethod(const std::string& name, const std::string& fullName,
                                            std::function<meta::Enum()> metaEnum);

// The class info of an enumeration E, int32-based.
template <class E>
class FenmoEnumInfo : public plexo::factory::NonHandleClassInfo<E, E> {
public:
    using plexo::factory::NonHandleClassInfo<E, E>::NonHandleClassInfo;

    void defineClass(plexo::ClassDefinition& definition) override {
        if (m_baseClassName.empty()) {
            m_baseClassName = "int32 scalar";
            m_baseClassName.resize(m_baseClassName.size() - 7);  // " scalar"
        }
        definition.addSuperclass(plexo::makeInterned(m_baseClassName), 0, 0, 1);
        definition.addMethod(new Ctor<E>(this->getName(), this->getFullName(), definition, m_baseClassName));
    }
    std::size_t getInstanceDataSize() const override { return 0; }
    void release(void*) override {}
    bool isHandleClass() const override { return false; }
    bool isEnumeration() const override { return true; }
    bool isConstructedOnLoad() const override { return false; }

    const std::string& baseClassName() const noexcept { return m_baseClassName; }

protected:
    // The members, one per literal in the given order, and the three hidden methods.
    void addLiterals(plexo::ClassDefinition& definition,
                     const std::vector<std::pair<std::string, std::int32_t>>& literals,
                     std::function<meta::Enum()> metaEnum) {
        for (const auto& [name, value] : literals)
            definition.addEnumerationValue(new FenmoEnumValueInfo<E>(name, definition, value));
        plexo::factory::initStringDataTypes();
        for (const char* name : {"getValue", "getLiteral", "getPublicIdentifier"})
            definition.addMethod(makeEnumValueMethod(name, this->getFullName(), metaEnum));
    }

private:
    std::string m_baseClassName;
};

// Turns text into members of an enumeration class: a literal name (or public identifier) gives that
// member; a cell of texts gives a 1xN array of members. Unknown text fails with "InvalidValue" naming
// it. addAnyConversion registers the converter from any class to a type name and hands it to the host.
class FromAnyAsStringTypeConverter final : public plexo::TypeConverter {
public:
    FromAnyAsStringTypeConverter(plexo::PlexoClass* enumClass, const meta::Enum& metaEnum)
        : m_class(enumClass), m_enum(metaEnum) {}
    plexo::HostArray* convert(const plexo::HostArray& value) const override;
    void addAnyConversion(const std::string& typeName);

private:
    plexo::PlexoClass* m_class;
    meta::Enum m_enum;
};

}  // namespace fenmo::qorin

QORIN_API_END
