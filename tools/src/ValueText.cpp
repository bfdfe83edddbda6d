#include "ValueText.hpp"

#include <fenmo/Text.hpp>
#include <fenmo/meta/PropertySerializerRegistry.hpp>

#include <cstdint>
#include <cstdio>

namespace arvelle::tools {

namespace {

bool isCollection(const ::fenmo::Value& value) {
    return value.getMeta().isCollection() || value.getIf<::fenmo::CollectionView>() ||
           value.getIf<std::shared_ptr<const ::fenmo::Value::List>>();
}

// The text the type's serializer gives, if one is registered for it.
bool serialized(const ::fenmo::Value& value, std::string& text) {
    auto* serializer = ::fenmo::meta::PropertySerializerRegistry::getInstance()->findPropertySerializer(
        value.typeImpl(), ::fenmo::meta::SerializerKey::Default);
    if (!serializer) return false;
    text = ::fenmo::toUtf8(serializer->serializeValue(value));
    return true;
}

std::string pointerText(const void* pointer) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%016llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return buffer;
}

std::string singleText(const ::fenmo::Value& value, const ElementNames& names) {
    std::string text;
    if (auto* s = value.getIf<std::u16string>()) return quoteIfNeeded(::fenmo::toUtf8(*s));
    if (auto* b = value.getIf<bool>()) return *b ? "true" : "false";
    if (auto* e = value.getIf<::fenmo::ModelElement>()) return names.of(*e).text();
    if (auto* p = value.getIf<const void*>()) return serialized(value, text) ? text : pointerText(*p);
    if (auto* i = value.getIf<std::int32_t>()) return serialized(value, text) ? text : std::to_string(*i);
    return "?";
}

}  // namespace

std::string quoteIfNeeded(std::string_view text) {
    bool plain = !text.empty() && text.find_first_of(" \t\n\"\\,=[]{}") == std::string_view::npos;
    if (plain) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

std::string valueText(const ::fenmo::Value& value, const ElementNames& names) {
    if (!isCollection(value)) return value.hasPayload() ? singleText(value, names) : "(none)";
    bool sequence = value.getFlags() == ::fenmo::ValueKind::Sequence;
    std::string text = sequence ? "[" : "{";
    const char* separator = "";
    for (const ::fenmo::Value& entry : value.getEntries()) {
        text += separator;
        text += singleText(entry, names);
        separator = ", ";
    }
    return text + (sequence ? "]" : "}");
}

}  // namespace arvelle::tools
