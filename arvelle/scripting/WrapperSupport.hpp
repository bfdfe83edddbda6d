#pragma once
// What every scripting wrapper of the treeNode package does, written once: the value adapters of its
// properties (one per value kind), its creating methods, the start and end of its class definition,
// and the namespace's registration steps. The generated wrappers (Wrappers.gen.cpp) only list, per
// class, which adapter each property takes, its declared type name and attribute word.

#include <arvelle/scripting/PolicyBasedEnumValueMarshaler.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/Model.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/Type.hpp>
#include <fenmo/qorin/Builders.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/Wrappers.hpp>
#include <plexo/ClassSystem.hpp>
#include <plexo/Factory.hpp>

#include <boost/optional.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

namespace tav::fenmo::treeNode::qorin {

namespace detail {

// The value type a getter of an element of class H returns, without reference and const.
template <class H, auto Get>
using GetterValue = std::remove_cvref_t<std::invoke_result_t<decltype(Get), typename H::Impl&>>;

// The class a creating operation makes.
template <class M>
struct Creating;
template <class R, class C, class W>
struct Creating<R (C::*)(W, const ::fenmo::uuid&)> {
    using Target = R;
};

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<boost::optional<T>> : std::true_type {
    using Value = T;
};

// A 32-bit integer from a numeric or logical host value with at least one element.
std::int32_t int32FromHost(const ::plexo::HostArray& array);
bool logicalFromHost(const ::plexo::HostArray& array);

}  // namespace detail

// The property adapters and methods of the wrapper of the element class H.
template <class H>
struct ElementTable {
    using Info = ::fenmo::qorin::FenmoWrapperInfo<H>;
    using HostArray = ::plexo::HostArray;
    using Word = std::uint32_t;

    // Superclass, string data types, constructor.
    static void begin(::plexo::ClassDefinition& definition, const std::string& shortName,
                      const std::string& fullName) {
        definition.addSuperclass(::plexo::makeInterned(::fenmo::qorin::kModelElementClass), 1, 0, 1);
        ::plexo::factory::initStringDataTypes();
        definition.addMethod(::fenmo::qorin::makeElementConstructor(shortName, fullName, H::metaClass()));
    }
    // The static method "StaticMetaClass", last.
    static void end(::plexo::ClassDefinition& definition) {
        definition.addMethod(::fenmo::qorin::makeStaticMetaClass(H::metaClass()));
    }

    // A property whose getter gives `read(value)` and whose setter (when the element API has a public one,
    // Set) stores `write(array)`.
    template <auto Get, auto Set, class Read, class Write>
    static ::plexo::PlexoPropertyInfo* property(const char* name, const char* typeName, Word word, Read read,
                                                Write write) {
        ::plexo::factory::PropertySetter* setter = nullptr;
        if constexpr (!std::is_same_v<decltype(Set), std::nullptr_t>)
            setter = Info::setter(
                [write](const H& self, const HostArray& value) { (self.get()->*Set)(write(value)); });
        std::unique_ptr<::plexo::factory::PropertySetter> owned(setter);
        auto* getter = Info::getter(typeName, [read](const H& self) { return read((self.get()->*Get)()); });
        return new ::plexo::factory::PropertyImpl(name, getter, owned.release(), word);
    }

    // Text, set or not: a char array (an unset text reads as empty); set from the text of the array.
    template <auto Get, auto Set = nullptr>
    static ::plexo::PlexoPropertyInfo* text(const char* name, const char* typeName, Word word) {
        return property<Get, Set>(
            name, typeName, word, [](const auto& value) { return ::fenmo::qorin::textToHost(value); },
            [](const HostArray& array) { return ::plexo::factory::extractString(array); });
    }

    template <auto Get, auto Set = nullptr>
    static ::plexo::PlexoPropertyInfo* int32(const char* name, const char* typeName, Word word) {
        return property<Get, Set>(
            name, typeName, word, [](auto value) { return ::plexo::createInt32Scalar(value); },
            [](const HostArray& array) { return detail::int32FromHost(array); });
    }

    template <auto Get, auto Set = nullptr>
    static ::plexo::PlexoPropertyInfo* optionalInt32(const char* name, const char* typeName, Word word) {
        return property<Get, Set>(
            name, typeName, word,
            [](const boost::optional<int>& value) {
                return ::fenmo::qorin::optionalInt32ToHost(value ? boost::optional<std::int32_t>(*value)
                                                                 : boost::none);
            },
            [](const HostArray& array) {
                const boost::optional<std::int32_t> value = ::fenmo::qorin::optionalInt32FromHost(array);
                return value ? boost::optional<int>(*value) : boost::none;
            });
    }

    template <auto Get, auto Set = nullptr>
    static ::plexo::PlexoPropertyInfo* logical(const char* name, const char* typeName, Word word) {
        return property<Get, Set>(
            name, typeName, word, [](bool value) { return ::plexo::createLogicalScalar(value); },
            [](const HostArray& array) { return detail::logicalFromHost(array); });
    }

    template <auto Get, auto Set = nullptr>
    static ::plexo::PlexoPropertyInfo* optionalLogical(const char* name, const char* typeName, Word word) {
        return property<Get, Set>(
            name, typeName, word,
            [](const boost::optional<bool>& value) { return ::fenmo::qorin::optionalLogicalToHost(value); },
            [](const HostArray& array) { return ::fenmo::qorin::optionalLogicalFromHost(array); });
    }

    // An enumeration, set or not: a member of the enumeration's class (typeName), or an empty array.
    template <auto Get, auto Set = nullptr>
    static ::plexo::PlexoPropertyInfo* optionalEnum(const char* name, const char* typeName, Word word) {
        using E = typename detail::IsOptional<detail::GetterValue<H, Get>>::Value;
        const std::string enumClass = typeName;
        return property<Get, Set>(
            name, typeName, word,
            [enumClass](const boost::optional<E>& value) {
                return ::fenmo::qorin::optionalEnumToHost(
                    value ? boost::optional<std::int32_t>(static_cast<std::int32_t>(*value)) : boost::none,
                    enumClass);
            },
            [enumClass](const HostArray& array) {
                const boost::optional<std::int32_t> value =
                    ::fenmo::qorin::optionalEnumFromHost(array, enumClass);
                return value ? boost::optional<E>(static_cast<E>(*value)) : boost::none;
            });
    }

    // An element of the declared class Y: its one scripting object, or an empty array of Y's class.
    template <auto Get, auto Set = nullptr>
    static ::plexo::PlexoPropertyInfo* element(const char* name, const char* typeName, Word word) {
        using Y = detail::GetterValue<H, Get>;
        return property<Get, Set>(
            name, typeName, word,
            [](const Y& value) { return ::fenmo::qorin::elementToHost(value, Y::metaClass()); },
            [](const HostArray& array) {
                return ::fenmo::handleCast<Y>(::fenmo::qorin::elementFromHost(array, Y::metaClass()));
            });
    }

    // A collection of elements: its scripting object, through which scripts walk and change it.
    template <auto Get>
    static ::plexo::PlexoPropertyInfo* collection(const char* name, const char* typeName, Word word) {
        auto* getter = Info::getter(
            typeName, [](const H& self) { return ::fenmo::qorin::collectionToHost((self.get()->*Get)()); });
        return new ::plexo::factory::PropertyImpl(name, getter, nullptr, word);
    }

    // A method creating an element into a property of self: inputs (self, opt_init, opt_uuid).
    template <auto Create>
    static ::plexo::PlexoMethodInfo* createInto(const char* name, const std::string& selfClass,
                                                const std::string& targetClass) {
        using Target = typename detail::Creating<decltype(Create)>::Target;
        const ::plexo::ClassId selfId = ::plexo::makeInterned(selfClass);
        auto* method = new ::plexo::factory::PlexoMethod(
            name, ::plexo::DefaultAttributes, "",
            [selfId](int& nOutputs, HostArray** outputs, int nInputs, const HostArray* const* inputs) {
                void* native =
                    nInputs > 0 && inputs[0] ? ::plexo::getNativeObject(selfId, *inputs[0]) : nullptr;
                const H self = Info::self(native);
                const ::fenmo::Model model = self->getModel();
                const ::fenmo::meta::Class& cls = Target::metaClass();
                std::unique_ptr<::fenmo::ModelElement::Builder> builder;
                boost::optional<::fenmo::uuid> id;
                if (nInputs >= 3) {
                    if (!isInit(*inputs[1])) throw ::fenmo::InvalidValueException({u"opt_init"});
                    builder = ::fenmo::qorin::createBuilderFromStructFirst(*inputs[1], 0, model, cls);
                    id = ::fenmo::qorin::extractUuid(*inputs[2]);
                } else if (nInputs == 2 && isInit(*inputs[1])) {
                    builder = ::fenmo::qorin::createBuilderFromStructFirst(*inputs[1], 0, model, cls);
                    id = ::fenmo::newUuid();
                } else if (nInputs == 2) {
                    id = ::fenmo::qorin::extractUuid(*inputs[1]);
                } else {
                    id = ::fenmo::newUuid();
                }
                if (!id) throw ::fenmo::InvalidValueException({u"uuid"});
                if (!builder) builder = cls->instantiateBuilder(model);
                if (!builder) throw ::fenmo::CreationFailedException({cls->getQualifiedName()});
                const Target created =
                    (self.get()->*Create)(typename Target::BuilderWrapper(builder.get()), *id);
                nOutputs = 1;
                if (outputs) outputs[0] = ::fenmo::qorin::elementToHost(created, cls);
            });
        ::plexo::factory::createSignatureImpl(method->signature(), false, "", {targetClass},
                                              {selfClass, "any", "char"}, 1);
        return method;
    }

private:
    static bool isInit(const HostArray& array) {
        return ::plexo::isStruct(&array) || ::plexo::omIsPLEXO(&array);
    }
};

// The registration steps of the namespace: a class is added; an enumeration is added and gets its three
// text conversions (under its name, its name with " property" and with " scalar").
void addElementClass(::plexo::NamespaceDefinition& definition, ::plexo::PlexoClassInfo* info);
void addEnumerationClass(::plexo::NamespaceDefinition& definition, ::plexo::PlexoClassInfo* info,
                         const ::fenmo::meta::Enum& metaEnum);

// The marshaler of enumeration E, handed to the framework's scripting layer, which owns it.
template <class E>
void registerEnumerationMarshaler(const ::fenmo::meta::Type& type) {
    ::fenmo::qorin::EmptyParentNamespace::Registrar::registerTypeMarshaler(
        type, new ::fenmo::qorin::PolicyBasedEnumValueMarshaler<E>(type, std::string()));
}
inline void unregisterEnumerationMarshaler(const ::fenmo::meta::Type& type) {
    ::fenmo::qorin::EmptyParentNamespace::Registrar::unregisterTypeMarshaler(type);
}

}  // namespace tav::fenmo::treeNode::qorin
