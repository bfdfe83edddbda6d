#include <fenmo/qorin/Builders.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Property.hpp>
#include <plexo/Factory.hpp>

namespace fenmo::qorin {

using plexo::HostArray;

namespace {

std::u16string utf16(std::string_view text) {
    return toUtf16(text);
}

// Sets one field's value into the builder; a refusal names the field.
void applyField(ModelElement::Builder& builder, const std::string& field, const HostArray& value,
                const meta::Property& property, const Model& model) {
    try {
        const meta::Type& type = property->getType();
        const auto* targetClass = dynamic_cast<const meta::Class::Impl*>(type.get());
        if (targetClass && property->isComposite() && plexo::isStruct(&value)) {
            // Contained elements given as structs: one nested builder per element.
            const meta::Class cls = handleCast<meta::Class>(type);
            for (std::size_t i = 0; i < value.numel(); ++i) {
                std::unique_ptr<ModelElement::Builder> nested = createBuilderFromStruct(value, i, model, cls);
                builder.setOrAdd(property, nested);
            }
            return;
        }
        ValueMarshaler* marshaler = marshalerFor(type);
        if (!marshaler)
            throw InvalidValueException({utf16(field), u"no conversion for " + type->getQualifiedName()});
        Value converted = marshaler->fromHostArray(value, property->getKind());
        // An empty value leaves an optional property unset.
        if (!converted.hasPayload() && converted.getFlags() == ValueKind::Optional) return;
        builder.setOrAdd(property, converted);
    } catch (const InvalidValueException& e) {
        if (!e.arguments().empty() && e.arguments()[0] == utf16(field)) throw;
        throw InvalidValueException({utf16(field), utf16(e.what())});
    } catch (const MessageIdException& e) {
        throw InvalidValueException({utf16(field), utf16(e.what())});
    } catch (const plexo::HostError& e) {
        throw InvalidValueException({utf16(field), utf16(e.what())});
    }
}

meta::Property propertyNamed(const meta::Class& cls, std::u16string_view name) {
    for (const meta::Property& p : cls->getAllProperties())
        if (p->getName() == name) return p;
    return meta::Property();
}

// A builder initialised from an element: the single-valued, stored, non-containing properties of `cls`
// that the element has under the same name and has a value for.
std::unique_ptr<ModelElement::Builder> fromElement(const HostArray& array, std::size_t index,
                                                   const Model& model, const meta::Class& cls) {
    const ModelElement source = elementFromHost(array, ModelElement::metaClass(), index);
    if (!source) throw InvalidValueException({utf16(plexo::getClassName(array)), u"not a valid element"});
    if (!model) throw CannotCreateWithoutModelException();
    std::unique_ptr<ModelElement::Builder> builder = cls->instantiateBuilder(model);
    if (!builder) throw InvalidValueException({cls->getQualifiedName(), u"the class has no builder"});
    const Reflection reflection;
    const std::vector<meta::Property> offered = reflection.properties(source);
    for (const meta::Property& p : cls->getAllProperties()) {
        if (p->isDerived() || p->isComposite() || p->isMany()) continue;
        for (const meta::Property& q : offered) {
            if (q->getName() != p->getName() || q->isMany() || !reflection.has(source, q)) continue;
            try {
                builder->setOrAdd(p, reflection.get(source, q));
            } catch (const MessageIdException& e) {
                throw InvalidValueException({p->getName(), utf16(e.what())});
            }
        }
    }
    return builder;
}

std::unique_ptr<ModelElement::Builder> fromStruct(const HostArray& array, std::size_t index,
                                                  const Model& model, const meta::Class& cls,
                                                  bool classOrder) {
    if (!cls.get()) throw InvalidValueException({u"(no class)"});
    if (plexo::omIsPLEXO(&array) && index < array.numel()) return fromElement(array, index, model, cls);
    if (!plexo::isStruct(&array))
        throw InvalidValueException({utf16(plexo::getClassName(array)), u"not a struct"});
    if (index >= array.numel()) throw InvalidValueException({u"struct element " + widenNumber(index + 1)});
    if (!model) throw CannotCreateWithoutModelException();
    std::unique_ptr<ModelElement::Builder> builder = cls->instantiateBuilder(model);
    if (!builder) throw InvalidValueException({cls->getQualifiedName(), u"the class has no builder"});

    // Every field must name a property before anything is set.
    std::vector<std::pair<std::string, meta::Property>> fields;
    for (const std::string& field : array.fieldNames()) {
        meta::Property property = propertyNamed(cls, utf16(field));
        if (!property.get())
            throw InvalidValueException({utf16(field), u"no property of " + cls->getQualifiedName()});
        fields.emplace_back(field, property);
    }
    if (classOrder) {
        std::vector<std::pair<std::string, meta::Property>> ordered;
        for (const meta::Property& p : cls->getAllProperties())
            for (const auto& f : fields)
                if (f.second.get() == p.get()) ordered.push_back(f);
        fields = std::move(ordered);
    }
    for (const auto& [field, property] : fields)
        if (const HostArray* value = array.getField(index, field))
            applyField(*builder, field, *value, property, model);
    return builder;
}

}  // namespace

std::unique_ptr<ModelElement::Builder> createBuilderFromStruct(const HostArray& array, std::size_t index,
                                                               const Model& model, const meta::Class& cls) {
    return fromStruct(array, index, model, cls, false);
}

std::unique_ptr<ModelElement::Builder> createBuilderFromStructFirst(const HostArray& array, std::size_t index,
                                                                    const Model& model,
                                                                    const meta::Class& cls) {
    return fromStruct(array, index, model, cls, true);
}

boost::optional<uuid> extractUuid(const HostArray& array) {
    std::u16string text;
    try {
        text = plexo::factory::extractString(array);
    } catch (const plexo::HostError&) {
        return boost::none;
    }
    if (text.size() != 36) return boost::none;
    try {
        return uuidFromLiteral(narrow(text));
    } catch (const std::exception&) {
        return boost::none;
    }
}

}  // namespace fenmo::qorin
