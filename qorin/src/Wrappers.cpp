#include <fenmo/qorin/Builders.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Wrappers.hpp>

#include <fenmo/Builder.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Text.hpp>

namespace fenmo::qorin {

using plexo::HostArray;
namespace pf = plexo::factory;

namespace {
bool isInit(const HostArray& a) {
    return (plexo::isStruct(&a) || plexo::omIsPLEXO(&a)) && a.numel() == 1;
}
}  // namespace

plexo::PlexoMethodInfo* makeElementConstructor(const std::string& shortName, const std::string& fullName,
                                               const meta::Class& cls, DirectCreator withoutBuilder) {
    auto* ctor = new pf::PlexoMethod(shortName, plexo::DefaultAttributes, "",
                                     [cls, withoutBuilder](int& nOutputs, HostArray** outputs, int nInputs,
                                                           const HostArray* const* inputs) {
                                         Model model;
                                         if (nInputs > 0 && inputs[0]->numel() > 0)
                                             model = modelFromHost(*inputs[0]);
                                         if (!model) throw CannotCreateWithoutModelException();

                                         std::unique_ptr<ModelElement::Builder> builder;
                                         boost::optional<uuid> id;
                                         // The second and third inputs: an initialising struct and an
                                         // identity, in either order.
                                         for (int i = 1; i < nInputs && i < 3; ++i) {
                                             const HostArray& in = *inputs[i];
                                             if (!builder && isInit(in)) {
                                                 builder = createBuilderFromStruct(in, 0, model, cls);
                                                 continue;
                                             }
                                             boost::optional<uuid> given = extractUuid(in);
                                             if (!given || id) throw InvalidValueException({u"uuid"});
                                             id = given;
                                         }
                                         const uuid identity = id ? *id : uuid();
                                         ModelElement element;
                                         if (!builder && !cls->hasBuilderFactory() && withoutBuilder) {
                                             element = withoutBuilder(model, identity);
                                         } else {
                                             if (!builder) builder = cls->instantiateBuilder(model);
                                             if (!builder)
                                                 throw CreationFailedException({cls->getQualifiedName()});
                                             element = builder->create(identity);
                                         }
                                         if (!element || element->getMetaClass().get() != cls.get())
                                             throw CreationFailedException({cls->getQualifiedName()});
                                         pf::BindingRegistry::announceForConstructor(
                                             element.get(), scriptingClassOf(element->getMetaClass()),
                                             *outputs[0], true);
                                         element->addRef();  // held by the scripting object
                                         nOutputs = 1;
                                     });
    pf::createSignatureImpl(ctor->signature(), true, "model opt_init opt_uuid", {fullName},
                            {kModelClass, "any", "any"});
    return ctor;
}

plexo::PlexoMethodInfo* makeStaticMetaClass(const meta::Class& cls) {
    auto* method =
        new pf::PlexoMethod("StaticMetaClass", plexo::Static | plexo::OverridesAll, "",
                            [cls](int& nOutputs, HostArray** outputs, int, const HostArray* const*) {
                                if (nOutputs < 0) return;
                                if (nOutputs == 0) nOutputs = 1;
                                outputs[0] = metaClassToHost(cls);
                            });
    pf::createSignatureImpl(method->signature(), false, "", {kMetaClassClass}, {});
    return method;
}

plexo::PlexoMethodInfo* makeEnumValueMethod(const std::string& name, const std::string& fullName,
                                            std::function<meta::Enum()> metaEnum) {
    auto* method = new pf::PlexoMethod(
        name, plexo::Hidden | plexo::ForceMembership, "",
        [name, fullName, metaEnum](int& nOutputs, HostArray** outputs, int, const HostArray* const* inputs) {
            const HostArray& member = *inputs[0];
            if (!plexo::isClass(&member, fullName) ||
                plexo::omGetNumberOfElementsInUnderlyingArray(member) == 0)
                throw CannotCastIncompatibleTypesException({toUtf16(plexo::getClassName(member))});
            const std::int32_t value = plexo::omGetUnderlyingArray(member)->int32s()[0];
            nOutputs = 1;
            if (name == "getValue") {
                outputs[0] = plexo::createInt32Scalar(value);
                return;
            }
            const meta::Enum e = metaEnum();
            const meta::EnumLiteral* literal = e.get() ? e->literalByValue(value) : nullptr;
            if (!literal) {
                outputs[0] = plexo::createStringUtf16(u"");
                return;
            }
            outputs[0] = plexo::createStringUtf16(name == "getLiteral" ? (*literal)->getName()
                                                                       : (*literal)->getPublicId());
        });
    pf::createSignatureImpl(method->signature(), false, "", {name == "getValue" ? "int32" : "char"},
                            {fullName});
    return method;
}

HostArray* FromAnyAsStringTypeConverter::convert(const HostArray& value) const {
    auto member = [&](const std::u16string& text) -> std::int32_t {
        const meta::EnumLiteral* literal = m_enum->literalByName(text);
        if (!literal) literal = m_enum->literalByPublicId(text);
        if (!literal) throw InvalidValueException({text, m_enum->getQualifiedName()});
        return (*literal)->getValue();
    };
    std::vector<std::int32_t> values;
    if (plexo::isCell(&value)) {
        for (std::size_t i = 0; i < value.numel(); ++i) {
            const HostArray* cell = value.getCell(i);
            if (!cell) return nullptr;
            values.push_back(member(pf::extractString(*cell)));
        }
    } else if (plexo::isChar(&value) || plexo::isClass(&value, "string")) {
        if (plexo::isClass(&value, "string"))
            for (const std::u16string& s : value.strings()) values.push_back(member(s));
        else
            values.push_back(member(value.chars()));
    } else {
        return nullptr;
    }
    plexo::Array underlying(plexo::createNumericMatrix(1, values.size(), plexo::NumericClass::Int32));
    underlying->int32s() = values;
    return plexo::omCreateBuiltinBasedArrayFromUnderlyingArray(m_class->id(), *underlying);
}

void FromAnyAsStringTypeConverter::addAnyConversion(const std::string& typeName) {
    plexo::adoptConverter(this);
    plexo::addConversion(plexo::makeInterned("any"), plexo::makeInterned(typeName), this);
}

}  // namespace fenmo::qorin
