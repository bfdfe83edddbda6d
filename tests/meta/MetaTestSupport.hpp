#pragma once
// Shared by the metamodel tests: the golden files of tests/data, a dump of what the registry holds below
// the library's root package, and small conversions.

#include <fenmo/Text.hpp>
#include <fenmo/Uuid.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/meta/Property.hpp>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace arvelle_test {

namespace meta = ::fenmo::meta;

inline constexpr const char* kRootIdentity = "a6e93cf1-c903-306a-9e97-70f0fa4695d1";
inline constexpr const char16_t* kRootPath = u"/fenmo/arvelle/V0001a";
inline constexpr const char16_t* kQualifiedPrefix = u"tav.fenmo.treeNode.";

inline std::string u8(std::u16string_view text) {
    return ::fenmo::toUtf8(text);
}
inline std::u16string u16(std::string_view text) {
    return ::fenmo::toUtf16(text);
}

inline meta::MetaRegistry& registry() {
    return *meta::MetaRegistry::getInstance();
}

// The non-comment lines of a file of tests/data.
inline std::vector<std::string> dataLines(const std::string& name) {
    std::ifstream in(std::string(ARVELLE_TEST_DATA) + "/" + name);
    if (!in) throw std::runtime_error("cannot read " + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

// One line of identities.txt: kind, identity, qualified name (and a literal's value).
struct Identity {
    std::string kind;
    std::string id;
    std::string name;
    std::string line;
};

inline std::vector<Identity> goldenIdentities() {
    std::vector<Identity> result;
    for (const std::string& line : dataLines("identities.txt")) {
        std::istringstream in(line);
        Identity identity;
        in >> identity.kind >> identity.id >> identity.name;
        identity.line = line;
        result.push_back(identity);
    }
    return result;
}

// One line of properties.txt.
struct PropertyRow {
    std::string className;
    std::string name;
    std::size_t index = 0;  // 0: derived, no index
    int kind = 0;
    bool composite = false;
    std::string type;
    std::vector<std::string> flags;

    bool has(const std::string& flag) const {
        for (const std::string& f : flags)
            if (f == flag) return true;
        return false;
    }
    std::string opposite() const {
        for (const std::string& f : flags)
            if (f.rfind("opposite=", 0) == 0) return f.substr(9);
        return {};
    }
};

inline std::vector<PropertyRow> goldenProperties() {
    std::vector<PropertyRow> result;
    for (const std::string& line : dataLines("properties.txt")) {
        std::istringstream in(line);
        PropertyRow row;
        std::string index, composite;
        in >> row.className >> row.name >> index >> row.kind >> composite >> row.type;
        row.index = index == "-" ? 0 : std::stoul(index);
        row.composite = composite == "yes";
        for (std::string flag; in >> flag;) row.flags.push_back(flag);
        result.push_back(row);
    }
    return result;
}

// The path of a URI ("https://host/a/b" gives "/a/b").
inline std::u16string uriPath(const std::u16string& uri) {
    std::size_t scheme = uri.find(u"://");
    if (scheme == std::u16string::npos) return uri;
    std::size_t path = uri.find(u'/', scheme + 3);
    return path == std::u16string::npos ? std::u16string() : uri.substr(path);
}

inline meta::Package rootPackage() {
    return ::fenmo::handleCast<meta::Package>(
        registry().findElement(::fenmo::uuidFromLiteral(kRootIdentity)));
}

// The qualified name of an owning type, or a marker when the owner is missing.
template <class Handle>
std::string ownerName(const Handle& owner) {
    return owner.get() ? u8(owner->getQualifiedName()) : std::string("<no owner>");
}

// What the registry holds below `root`, one line per element in the format of identities.txt, found by
// walking containment. Sub-packages have no identity of their own and give no line.
inline void dumpElement(const ::fenmo::ModelElement& element, std::vector<std::string>& out) {
    const std::string id = ::fenmo::toString(element->getUuid());
    if (auto package = ::fenmo::handleCast<meta::Package>(element); package.get()) {
        if (!package->getParentPackage().get())
            out.push_back("package " + id + " " + u8(uriPath(package->getUri())));
        for (const auto& e : package->getContents()) dumpElement(e, out);
    } else if (auto cls = ::fenmo::handleCast<meta::Class>(element); cls.get()) {
        out.push_back("class " + id + " " + u8(cls->getQualifiedName()));
        for (const auto& e : cls->getContents()) dumpElement(e, out);
    } else if (auto en = ::fenmo::handleCast<meta::Enum>(element); en.get()) {
        out.push_back("enum " + id + " " + u8(en->getQualifiedName()));
        for (const auto& e : en->getContents()) dumpElement(e, out);
    } else if (auto type = ::fenmo::handleCast<meta::PrimitiveType>(element); type.get()) {
        out.push_back("primitive " + id + " " + u8(type->getQualifiedName()));
    } else if (auto property = ::fenmo::handleCast<meta::Property>(element); property.get()) {
        out.push_back("property " + id + " " + ownerName(property->getOwningClass()) + "." +
                      u8(property->getName()));
    } else if (auto operation = ::fenmo::handleCast<meta::Operation>(element); operation.get()) {
        out.push_back("operation " + id + " " + ownerName(operation->getOwningType()) + "." +
                      u8(operation->getName()));
        for (const auto& e : operation->getContents()) dumpElement(e, out);
    } else if (auto argument = ::fenmo::handleCast<meta::Argument>(element); argument.get()) {
        meta::Operation operation = argument->getOperation();
        const std::string owner = operation.get()
                                      ? ownerName(operation->getOwningType()) + "." + u8(operation->getName())
                                      : "<no owner>";
        out.push_back("argument " + id + " " + owner + "." + u8(argument->getName()));
    } else if (auto literal = ::fenmo::handleCast<meta::EnumLiteral>(element); literal.get()) {
        out.push_back("literal " + id + " " + ownerName(literal->getEnum()) + "." + u8(literal->getName()) +
                      " " + std::to_string(literal->getValue()));
    } else {
        out.push_back("unexpected " + id);
    }
}

inline std::vector<std::string> dumpRegistry(const meta::Package& root) {
    std::vector<std::string> out;
    auto locked = registry().getMetaRegistryModel();
    dumpElement(root, out);
    return out;
}

}  // namespace arvelle_test
