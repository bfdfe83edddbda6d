#include "Codec.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>
#include <fenmo/meta/StandardTypes.hpp>

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace fenmo::persist {

namespace {

// Reads see proxies as proxies; writes are privileged (loading restores what was saved).
constexpr Reflection kRead(Access::Public, Proxies::Keep);
constexpr Reflection kWrite(Access::Privileged, Proxies::Keep);

meta::PropertySerializer* serializerOf(const ModelElement::Impl* type) {
    return meta::PropertySerializerRegistry::getInstance()->findPropertySerializer(type, std::u16string());
}

// XML 1.0 holds neither U+0000 nor unpaired surrogates; everything else travels, escaped where needed.
void checkXmlText(const meta::Property& property, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        bool bad = c == 0;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
            else
                bad = true;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            bad = true;
        }
        if (bad) refuseXmlText(property, i);
    }
}

std::string literalList(const meta::Enum::Impl& enumeration) {
    std::string list;
    for (const auto& [name, literal] : enumeration.getLiterals())
        list += (list.empty() ? "" : ", ") + toUtf8(name);
    return list;
}

}  // namespace

void refuseXmlText(const meta::Property& property, std::size_t position) {
    throw SaveFailedException({property->getQualifiedName(),
                               u"its text holds a character an XML file cannot hold (U+0000 or an unpaired "
                               u"surrogate) at position " +
                                   widenNumber(static_cast<long long>(position))});
}

bool hasValue(ModelElement::Impl& element, const meta::Property& property) {
    return kRead.has(ModelElement(&element, true), property);
}

Value readValue(ModelElement::Impl& element, const meta::Property& property) {
    return kRead.get(ModelElement(&element, true), property);
}

void writeValue(ModelElement::Impl& element, const meta::Property& property, const Value& value) {
    kWrite.set(ModelElement(&element, true), property, value);
}

std::unique_ptr<ModelElement::Builder> newBuilder(const meta::Class& metaClass) {
    return metaClass->instantiateBuilder(Model());
}

Shape shapeOf(const meta::Property& property) {
    const ModelElement::Impl* type = property->typeImpl();
    if (type == meta::StandardTypes::stringMeta().get()) return Shape::String;
    if (type == meta::StandardTypes::booleanMeta().get()) return Shape::Boolean;
    if (type == meta::StandardTypes::integerMeta().get()) return Shape::Integer;
    if (dynamic_cast<const meta::Enum::Impl*>(type)) return Shape::Enum;
    if (dynamic_cast<const meta::Class::Impl*>(type)) return Shape::Element;
    return Shape::Pointer;
}

std::vector<meta::Property> persistedProperties(const meta::Class::Impl& metaClass) {
    std::vector<meta::Property> result;
    for (meta::Property& property : metaClass.getAllProperties()) {
        if (!property->hasIndex() || property->isDerived() || property->isTransient()) continue;
        const meta::Property& opposite = property->getOpposite();
        if (opposite.get() && !property->isComposite()) {
            if (opposite->isComposite()) continue;
            bool many = property->isMany(), oppositeMany = opposite->isMany();
            if (many && !oppositeMany) continue;
            if (many == oppositeMany && opposite->getUuid() < property->getUuid()) continue;
        }
        result.push_back(std::move(property));
    }
    return result;
}

bool isMandatoryValue(const meta::Property& property) {
    return property->isMandatory() && shapeOf(property) != Shape::Element;
}

std::u16string textOf(const meta::Property& property, Shape shape, const Value& value) {
    switch (shape) {
        case Shape::String: {
            std::u16string text = value.getString();
            checkXmlText(property, text);
            return text;
        }
        case Shape::Boolean:
            return value.getBoolean() ? u"true" : u"false";
        case Shape::Integer:
            return widenNumber(value.getInteger());
        case Shape::Enum:
        case Shape::Pointer:
            if (auto* serializer = serializerOf(property->typeImpl())) {
                std::u16string text = serializer->serializeValue(value);
                checkXmlText(property, text);
                return text;
            }
            if (shape == Shape::Enum) return widenNumber(value.getInteger());
            {
                char buffer[32];
                std::snprintf(
                    buffer, sizeof buffer, "0x%016llx",
                    static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(value.getPointer())));
                return widen(buffer);
            }
        case Shape::Element:
            break;
    }
    throw SaveFailedException({property->getQualifiedName(), u"an element has no text"});
}

Value parseText(const meta::Property& property, Shape shape, std::u16string_view text) {
    const meta::Type& type = property->getType();
    switch (shape) {
        case Shape::String:
            return Value::ofString(std::u16string(text));
        case Shape::Boolean:
            if (text == u"true") return Value::ofBoolean(true);
            if (text == u"false") return Value::ofBoolean(false);
            throw ParseFailure("expected true or false");
        case Shape::Integer: {
            std::string narrowed = narrow(text);
            std::int32_t value = 0;
            auto [end, error] = std::from_chars(narrowed.data(), narrowed.data() + narrowed.size(), value);
            if (narrowed.empty() || error != std::errc() || end != narrowed.data() + narrowed.size())
                throw ParseFailure("expected a 32-bit decimal integer");
            return Value::ofInteger(value);
        }
        case Shape::Enum:
        case Shape::Pointer: {
            if (auto* serializer = serializerOf(property->typeImpl())) {
                try {
                    return serializer->parseValue(std::u16string(text), type);
                } catch (const std::exception&) {
                    if (auto* enumeration = dynamic_cast<const meta::Enum::Impl*>(type.get()))
                        throw ParseFailure("expected a literal of " +
                                           toUtf8(enumeration->getQualifiedName()) + " (" +
                                           literalList(*enumeration) + ")");
                    throw ParseFailure("expected a " + toUtf8(type->getQualifiedName()) +
                                       " in its text form");
                }
            }
            std::string narrowed = narrow(text);
            if (shape == Shape::Enum) {
                std::int32_t value = 0;
                auto [end, error] =
                    std::from_chars(narrowed.data(), narrowed.data() + narrowed.size(), value);
                if (narrowed.empty() || error != std::errc() || end != narrowed.data() + narrowed.size())
                    throw ParseFailure("expected an enumerator value");
                return Value::ofEnum(type, value);
            }
            std::uint64_t address = 0;
            const char* begin = narrowed.data() + 2;
            const char* last = narrowed.data() + narrowed.size();
            auto [end, error] = std::from_chars(begin, last, address, 16);
            if (narrowed.size() != 18 || narrowed.compare(0, 2, "0x") != 0 || error != std::errc() ||
                end != last)
                throw ParseFailure("expected an address as 0x and sixteen hex digits");
            return Value::ofPointer(type,
                                    reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)));
        }
        case Shape::Element:
            break;
    }
    throw ParseFailure("expected an element identity");
}

std::string referenceToken(const Model::Impl& holder, const ModelElement& target,
                           const meta::Property& property) {
    ModelElement::Impl* impl = target.get();
    if (!impl->isProxy()) return toString(impl->getUuid());
    const ProxyId* id = holder.proxyIdOf(*impl);
    if (!id)
        throw SaveFailedException(
            {property->getQualifiedName(), u"a proxy of another model has no identity"});
    std::string token;
    const meta::Class& metaClass = impl->getMetaClass();
    if (metaClass.get() != property->typeImpl()) token = toUtf8(metaClass->getName()) + ":";
    token += toString(id->getModelId() ? *id->getModelId() : holder.getId());
    return token + "#" + toString(id->getElementId());
}

Value::List entriesOf(const Value& value) {
    if (value.getMeta().isCollection() || value.getCollection() ||
        value.getIf<std::shared_ptr<const Value::List>>())
        return value.getEntries();
    if (!value.hasPayload()) return {};
    return {value};
}

}  // namespace fenmo::persist
