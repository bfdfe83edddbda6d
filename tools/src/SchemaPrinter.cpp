#include "SchemaPrinter.hpp"

#include <arvelle/MetaPackageArvelle.hpp>

#include <fenmo/Text.hpp>
#include <fenmo/meta/Enum.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Operation.hpp>
#include <fenmo/meta/Property.hpp>

#include <algorithm>
#include <map>
#include <vector>

namespace arvelle::tools {

namespace {

namespace meta = ::fenmo::meta;
using ::fenmo::toUtf8;

// The flags of a property, one letter each in a fixed position, '-' when unset.
constexpr const char* kFlagLegend =
    "flags: c composite  o ordered  u unique  d derived  r read-only  t transient  m public mutator\n"
    "       q qualification-unique  k custom qualification  n default none";

std::string flagText(const meta::Property::Impl& p) {
    bool defaultNone = p.hasDefaultValue() && !p.getDefaultValue();
    const std::pair<bool, char> flags[] = {
        {p.isComposite(), 'c'},
        {p.isOrdered(), 'o'},
        {p.isUnique(), 'u'},
        {p.isDerived(), 'd'},
        {p.isReadOnly(), 'r'},
        {p.isTransient(), 't'},
        {p.hasPublicMutator(), 'm'},
        {p.isQualificationUnique(), 'q'},
        {p.hasCustomQualification(), 'k'},
        {defaultNone, 'n'},
    };
    std::string text;
    for (auto [set, letter] : flags) text += set ? letter : '-';
    return text;
}

std::string kindText(::fenmo::ValueKind kind) {
    switch (kind) {
        case ::fenmo::ValueKind::Optional:
            return "optional";
        case ::fenmo::ValueKind::Single:
            return "single";
        case ::fenmo::ValueKind::Sequence:
            return "sequence";
        case ::fenmo::ValueKind::Set:
            return "set";
        case ::fenmo::ValueKind::Map:
            return "map";
    }
    return "?";
}

std::string nameOf(const ::fenmo::ModelElement& element) {
    auto* named = dynamic_cast<meta::NamedElement::Impl*>(element.get());
    return named ? toUtf8(named->getName()) : std::string("?");
}

template <class Handle>
std::vector<Handle> sortedByName(std::vector<Handle> elements) {
    std::sort(elements.begin(), elements.end(),
              [](const Handle& a, const Handle& b) { return a->getName() < b->getName(); });
    return elements;
}

// What a package declares, by kind.
struct Contents {
    std::vector<meta::Package> packages;
    std::vector<meta::PrimitiveType> primitives;
    std::vector<meta::Class> classes;
    std::vector<meta::Enum> enums;
};

Contents contentsOf(const meta::Package& package) {
    Contents contents;
    for (const ::fenmo::ModelElement& element : package->getContents()) {
        if (auto p = ::fenmo::handleCast<meta::Package>(element))
            contents.packages.push_back(p);
        else if (auto c = ::fenmo::handleCast<meta::Class>(element))
            contents.classes.push_back(c);
        else if (auto e = ::fenmo::handleCast<meta::Enum>(element))
            contents.enums.push_back(e);
        else if (auto t = ::fenmo::handleCast<meta::PrimitiveType>(element))
            contents.primitives.push_back(t);
    }
    contents.packages = sortedByName(contents.packages);
    contents.primitives = sortedByName(contents.primitives);
    contents.classes = sortedByName(contents.classes);
    contents.enums = sortedByName(contents.enums);
    return contents;
}

struct Counts {
    std::size_t primitives = 0, classes = 0, properties = 0, operations = 0, enums = 0, literals = 0;
};

std::string countText(const Counts& c) {
    std::string text;  // "10 classes, 59 properties, ...", leaving out what there is none of
    auto add = [&](std::size_t n, const char* one, const char* many) {
        if (n) text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + (n == 1 ? one : many);
    };
    add(c.primitives, "primitive type", "primitive types");
    add(c.classes, "class", "classes");
    add(c.properties, "property", "properties");
    add(c.operations, "operation", "operations");
    add(c.enums, "enumeration", "enumerations");
    add(c.literals, "literal", "literals");
    return text;
}

class Printer {
public:
    explicit Printer(const Style& style) : m_style(style) {}

    void package(const meta::Package& package, const std::string& indent) {
        if (indent.empty() && !m_out.empty()) m_out += "\n";
        std::string name = package->getName().empty() ? "(no name)" : toUtf8(package->getName());
        m_out += indent + m_style.heading("package " + name) + "  " + m_style.dim(toUtf8(package->getUri())) +
                 "\n";
        Contents contents = contentsOf(package);
        Counts& counts = m_counts.emplace_back(name, Counts()).second;
        std::string inner = indent + "  ";
        widths(contents);
        for (const auto& type : contents.primitives) primitive(type, inner, counts);
        for (const auto& cls : contents.classes) metaClass(cls, inner, counts);
        for (const auto& enumeration : contents.enums) enumType(enumeration, inner, counts);
        for (const auto& sub : contents.packages) this->package(sub, inner);
    }

    std::string finish() {
        std::size_t width = 0;
        for (const auto& [name, counts] : m_counts) width = std::max(width, name.size());
        m_out += "\n" + m_style.heading("declared") + "\n";
        for (const auto& [name, counts] : m_counts)
            if (counts.primitives || counts.classes || counts.enums)
                m_out += "  " + padRight(name, width) + "  " + countText(counts) + "\n";
        return m_out;
    }

private:
    // Column widths of the property rows and literal rows of one package.
    void widths(const Contents& contents) {
        m_name = 8;
        m_type = 4;
        m_primitive = 0;
        for (const auto& type : contents.primitives)
            m_primitive = std::max(m_primitive, type->getName().size());
        for (const auto& cls : contents.classes)
            for (const auto& p : cls->getProperties()) {
                m_name = std::max(m_name, p->getName().size());
                m_type = std::max(m_type, nameOf(p->getType()).size());
            }
        for (const auto& enumeration : contents.enums)
            for (const auto& [name, literal] : enumeration->getLiterals())
                m_name = std::max(m_name, name.size());
    }

    void primitive(const meta::PrimitiveType& type, const std::string& indent, Counts& counts) {
        ++counts.primitives;
        std::string native = type->getNativeName().empty() ? "" : "  native " + toUtf8(type->getNativeName());
        m_out += indent + "primitive " + m_style.bold(padRight(toUtf8(type->getName()), m_primitive)) + "  " +
                 m_style.dim(::fenmo::toString(type->getUuid()) + native) + "\n";
    }

    void metaClass(const meta::Class& cls, const std::string& indent, Counts& counts) {
        ++counts.classes;
        std::string supers;
        for (const auto& super : cls->getSuperclasses())
            supers += (supers.empty() ? " : " : ", ") + nameOf(super);
        m_out += indent + "class " + m_style.bold(toUtf8(cls->getName())) + supers +
                 (cls->isAbstract() ? " (abstract)" : "") + "  " +
                 m_style.dim(::fenmo::toString(cls->getUuid()) + "  " + toUtf8(cls->getQualifiedName())) +
                 "\n";
        for (const auto& property : cls->getProperties())
            this->property(*property.get(), indent + "  ", counts);
        for (const auto& operation : cls->getOperations())
            this->operation(*operation.get(), indent + "  ", counts);
    }

    void property(const meta::Property::Impl& p, const std::string& indent, Counts& counts) {
        ++counts.properties;
        std::string index = p.hasIndex() ? std::to_string(p.getIndex()) : "";
        std::string row = indent + std::string(index.size() < 2 ? 2 - index.size() : 0, ' ') + index + "  " +
                          padRight(toUtf8(p.getName()), m_name) + "  " +
                          padRight(nameOf(p.getType()), m_type) + "  " + padRight(kindText(p.getKind()), 8) +
                          "  " + flagText(p) + "  " + m_style.dim(::fenmo::toString(p.getUuid()));
        if (p.getOpposite().get())
            row += "  opposite " + nameOf(p.getOpposite()->getOwningClass()) + "." + nameOf(p.getOpposite());
        m_out += row + "\n";
    }

    void operation(const meta::Operation::Impl& op, const std::string& indent, Counts& counts) {
        ++counts.operations;
        std::string arguments;
        for (const auto& argument : op.getArguments())
            arguments += (arguments.empty() ? "" : ", ") + toUtf8(argument->getName()) + ": " +
                         nameOf(argument->getType());
        std::string result = op.getResultType().get() ? " -> " + nameOf(op.getResultType()) : "";
        std::string traits = std::string(op.isPublic() ? "public" : "not public") +
                             (op.isStatic() ? ", static" : "") + (op.isAbstract() ? ", abstract" : "") +
                             (op.isEvent() ? ", event" : "");
        m_out += indent + "op " + m_style.bold(toUtf8(op.getName())) + "(" + arguments + ")" + result + "  " +
                 traits + "  " + m_style.dim(::fenmo::toString(op.getUuid())) + "\n";
        for (const auto& argument : op.getArguments())
            m_out += indent + "   " + toUtf8(argument->getName()) + (argument->isInput() ? " in" : " out") +
                     " [" + std::to_string(argument->getLower()) + ".." +
                     std::to_string(argument->getUpper()) + "]  " +
                     m_style.dim(::fenmo::toString(argument->getUuid())) + "\n";
    }

    void enumType(const meta::Enum& enumeration, const std::string& indent, Counts& counts) {
        ++counts.enums;
        std::string underlying =
            enumeration->getUnderlyingType().get() ? " : " + nameOf(enumeration->getUnderlyingType()) : "";
        m_out += indent + "enum " + m_style.bold(toUtf8(enumeration->getName())) + underlying + "  " +
                 m_style.dim(::fenmo::toString(enumeration->getUuid()) + "  " +
                             toUtf8(enumeration->getQualifiedName())) +
                 "\n";
        std::vector<const meta::EnumLiteral::Impl*> literals;
        for (const auto& [name, literal] : enumeration->getLiterals()) literals.push_back(literal.get());
        std::sort(literals.begin(), literals.end(),
                  [](auto* a, auto* b) { return a->getValue() < b->getValue(); });
        for (const auto* literal : literals) {
            ++counts.literals;
            std::string value = std::to_string(literal->getValue());
            std::string publicId =
                literal->getOwnPublicId() ? "  public id " + toUtf8(*literal->getOwnPublicId()) : "";
            m_out += indent + "  " + std::string(value.size() < 2 ? 2 - value.size() : 0, ' ') + value +
                     "  " + padRight(toUtf8(literal->getName()), m_name) + "  " +
                     m_style.dim(::fenmo::toString(literal->getUuid())) + publicId + "\n";
        }
    }

    const Style& m_style;
    std::string m_out;
    std::vector<std::pair<std::string, Counts>> m_counts;
    std::size_t m_name = 0, m_type = 0, m_primitive = 0;
};

}  // namespace

std::string printSchema(const Style& style) {
    tav::fenmo::MetaPackageArvelle::getInstance();
    auto* registry = meta::MetaRegistry::getInstance();
    auto lock = registry->getMetaRegistryModel();  // keeps registration out while we read
    Printer printer(style);
    std::string legend = std::string("properties: index, name, type, kind, flags, identity\n") + kFlagLegend;
    std::vector<meta::Package> roots = sortedByName(registry->getRootPackages());
    for (const meta::Package& root : roots) printer.package(root, "");
    return style.dim(legend) + "\n\n" + printer.finish();
}

}  // namespace arvelle::tools
