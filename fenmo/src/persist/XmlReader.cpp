// Reads a model from XML: the whole file is checked and turned into builders first, then the model is
// created with the file's identity and its elements are built in one transaction, with undo recording
// off. Any error throws before the model is returned, so nothing of a refused file stays open.

#include "Codec.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Package.hpp>

#include <utf8.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace fenmo::xml {

namespace {

constexpr std::size_t kProgressStep = 1 << 14;

struct PropertyEntry {
    meta::Property property;
    std::string name;
    persist::Shape shape;
    bool composite;
    bool many;
};

struct ClassEntry {
    meta::Class metaClass;
    std::string name;
    std::vector<PropertyEntry> properties;
    std::vector<const meta::Property::Impl*> mandatory;

    const PropertyEntry* find(const char* name) const {
        for (const PropertyEntry& p : properties)
            if (p.name == name) return &p;
        return nullptr;
    }
};

struct PendingReference {
    uuid owner;
    const PropertyEntry* property;
    const char* text;
    std::ptrdiff_t offset;
};

// The segment of a URI that names a metamodel version ("V0001a"), compared as text.
// An identity in its text form (8-4-4-4-12 hexadecimal digits), or none.
boost::optional<uuid> parseIdentity(std::string_view text) {
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return boost::none;
    try {
        return uuidFromLiteral(text);
    } catch (const std::exception&) {
        return boost::none;  // a digit that is not hexadecimal: not an identity
    }
}

bool isVersionSegment(std::string_view segment) {
    return segment.size() >= 2 && segment[0] == 'V' && segment[1] >= '0' && segment[1] <= '9';
}

std::vector<std::string_view> segments(std::string_view uri) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= uri.size()) {
        std::size_t end = uri.find('/', start);
        if (end == std::string_view::npos) end = uri.size();
        parts.push_back(uri.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

void collectPackages(const meta::Package& package, std::vector<meta::Package>& out) {
    out.push_back(package);
    for (const ModelElement& content : package->getContents())
        if (auto sub = handleCast<meta::Package>(content); sub.get()) collectPackages(sub, out);
}

class Loader {
public:
    Loader(char* buffer, std::size_t size, std::string sourceName, std::function<std::string()> original,
           const LoadOptions& options)
        : m_buffer(buffer),
          m_size(size),
          m_source(std::move(sourceName)),
          m_original(std::move(original)),
          m_options(options),
          m_progress(options.progress) {}

    Model run() {
        pugi::xml_parse_result parsed =
            m_document.load_buffer_inplace(m_buffer, m_size, pugi::parse_default, pugi::encoding_utf8);
        if (!parsed) fail(parsed.offset, std::string("malformed XML: ") + parsed.description());
        pugi::xml_node root;
        for (pugi::xml_node node : m_document.children()) {
            if (node.type() != pugi::node_element) continue;
            if (root) fail(node, "expected a single top-level element");
            root = node;
        }
        if (!root || std::strcmp(root.name(), "f:model") != 0)
            fail(root ? offsetOf(root) : 0, "expected <f:model>");
        readModelHeader(root);

        std::vector<std::pair<std::unique_ptr<ModelElement::Builder>, pugi::xml_node>> roots;
        bool sawMetamodel = false;
        for (pugi::xml_node node : root.children()) {
            expectElement(node);
            if (std::strcmp(node.name(), "f:metamodel") == 0) {
                if (sawMetamodel || !roots.empty())
                    fail(node, "expected <f:metamodel> once, before the elements");
                readMetamodel(node);
                sawMetamodel = true;
                continue;
            }
            if (!sawMetamodel) fail(node, "expected <f:metamodel> before the elements");
            const ClassEntry* entry = classNamed(node.name());
            if (!entry)
                fail(node, "expected an element of a class the metamodel section lists, not <" +
                               std::string(node.name()) + ">");
            if (node.attribute("f:type"))
                fail(node, "a top-level element is named by its class, without f:type");
            roots.emplace_back(readElement(node, *entry), node);
        }
        if (!sawMetamodel) fail(root, "expected <f:metamodel>");

        Model model;
        try {
            model = m_options.newIdentity ? Model::create() : Model::create(m_modelId);
        } catch (const MessageIdException&) {
            fail(root, "a model with the identity " + toString(m_modelId) + " is already open");
        }
        const bool recording = model->isUndoRecording();
        model->setUndoRecording(false);
        model->setRestoring(true);
        {
            Transaction transaction = model->beginTransaction(false);
            for (auto& [builder, node] : roots) {
                builder->setModel(model);
                try {
                    builder->create(builder->getIdentity());
                } catch (const MessageIdException& error) {
                    fail(node, std::string("the elements below cannot be built: ") + error.what());
                }
            }
            roots.clear();
            restoreReferences(model);
            transaction.commit(boost::none);
        }
        model->setRestoring(false);
        model->setUndoRecording(recording);
        if (m_progress) m_progress(m_elements, m_elements);
        return model;
    }

private:
    // --- locations and errors

    std::ptrdiff_t offsetOf(const pugi::xml_node& node) const { return node.offset_debug(); }
    std::ptrdiff_t offsetOf(const pugi::xml_attribute& attribute) const {
        return attribute.value() - m_buffer;
    }

    [[noreturn]] void fail(std::ptrdiff_t offset, const std::string& what) const {
        throw InvalidFileException({toUtf16(location(offset)), toUtf16(what)});
    }
    [[noreturn]] void fail(const pugi::xml_node& node, const std::string& what) const {
        fail(offsetOf(node), what);
    }
    [[noreturn]] void fail(const pugi::xml_attribute& a, const std::string& what) const {
        fail(offsetOf(a), what);
    }

    // "file:line:column", counted in the text as it was before parsing changed the buffer.
    std::string location(std::ptrdiff_t offset) const {
        std::string text = m_original ? m_original() : std::string();
        std::size_t line = 1, column = 1;
        std::size_t end =
            std::min<std::size_t>(offset < 0 ? 0 : static_cast<std::size_t>(offset), text.size());
        for (std::size_t i = 0; i < end; ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                ++column;
            }
        }
        return m_source + ":" + std::to_string(line) + ":" + std::to_string(column);
    }

    void expectElement(const pugi::xml_node& node) const {
        if (node.type() == pugi::node_element) return;
        fail(node, "expected an element, not text");
    }

    uuid identityIn(const pugi::xml_attribute& attribute, bool allowNil = false) const {
        boost::optional<uuid> parsed = parseIdentity(attribute.value());
        if (!parsed) fail(attribute, "expected an identity (xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx)");
        const uuid id = *parsed;
        if (!allowNil && id.is_nil()) fail(attribute, "expected an identity other than the nil one");
        return id;
    }

    pugi::xml_attribute required(const pugi::xml_node& node, const char* name) const {
        pugi::xml_attribute attribute = node.attribute(name);
        if (!attribute)
            fail(node, std::string("expected the attribute ") + name + " on <" + node.name() + ">");
        return attribute;
    }

    // Attributes are all known, each at most once.
    void onlyAttributes(const pugi::xml_node& node, std::initializer_list<const char*> names) const {
        for (pugi::xml_attribute a : node.attributes()) {
            if (std::none_of(names.begin(), names.end(),
                             [&](const char* n) { return std::strcmp(n, a.name()) == 0; }))
                fail(a, std::string("unexpected attribute ") + a.name() + " on <" + node.name() + ">");
            for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
                if (std::strcmp(a.name(), b.name()) == 0)
                    fail(b, std::string("attribute ") + a.name() + " twice");
        }
    }

    // --- header

    void readModelHeader(const pugi::xml_node& root) {
        for (pugi::xml_attribute a : root.attributes())
            if (std::strncmp(a.name(), "xmlns", 5) != 0 && std::strcmp(a.name(), "f:format") != 0 &&
                std::strcmp(a.name(), "f:id") != 0)
                fail(a, std::string("unexpected attribute ") + a.name() + " on <f:model>");
        pugi::xml_attribute format = required(root, "f:format");
        std::string_view text = format.value();
        bool digits = !text.empty() && text.size() < 9 &&
                      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        int version = digits ? std::stoi(std::string(text)) : 0;
        if (version < 1) fail(format, "expected the file format version, a positive number");
        if (version > kFormatVersion)
            throw UnsupportedVersionException({toUtf16(location(offsetOf(format))),
                                               u"the file was written by a newer version (file format " +
                                                   widenNumber(version) + u"); this version reads format " +
                                                   widenNumber(kFormatVersion) + u" and older"});
        m_modelId = identityIn(required(root, "f:id"));
    }

    const meta::Package findPackage(const pugi::xml_attribute& uriAttribute) const {
        std::vector<meta::Package> known;
        for (const meta::Package& rootPackage : meta::MetaRegistry::getInstance()->getRootPackages())
            collectPackages(rootPackage, known);
        std::string uri = uriAttribute.value();
        for (const meta::Package& package : known)
            if (toUtf8(package->getUri()) == uri) return package;
        // A URI that differs from a known one only in its version segment names another version.
        std::vector<std::string_view> wanted = segments(uri);
        for (const meta::Package& package : known) {
            std::string knownUri = toUtf8(package->getUri());
            std::vector<std::string_view> have = segments(knownUri);
            if (have.size() != wanted.size()) continue;
            std::size_t differing = 0, at = 0;
            for (std::size_t i = 0; i < have.size(); ++i)
                if (have[i] != wanted[i]) ++differing, at = i;
            if (differing != 1 || !isVersionSegment(have[at]) || !isVersionSegment(wanted[at])) continue;
            if (wanted[at] > have[at])
                throw UnsupportedVersionException(
                    {toUtf16(location(offsetOf(uriAttribute))),
                     toUtf16("the file was written with a newer version of the metamodel (" + uri +
                             "); this version has " + knownUri)});
        }
        fail(uriAttribute, "expected the URI of a registered package, not " + uri);
    }

    void readMetamodel(const pugi::xml_node& metamodel) {
        onlyAttributes(metamodel, {});
        for (pugi::xml_node packageNode : metamodel.children()) {
            expectElement(packageNode);
            if (std::strcmp(packageNode.name(), "f:package") != 0) fail(packageNode, "expected <f:package>");
            onlyAttributes(packageNode, {"uri"});
            meta::Package package = findPackage(required(packageNode, "uri"));
            for (pugi::xml_node classNode : packageNode.children()) {
                expectElement(classNode);
                if (std::strcmp(classNode.name(), "f:class") != 0) fail(classNode, "expected <f:class>");
                readClass(classNode, package);
            }
        }
    }

    void readClass(const pugi::xml_node& node, const meta::Package& package) {
        onlyAttributes(node, {"name", "id"});
        pugi::xml_attribute idAttribute = required(node, "id");
        std::string name = required(node, "name").value();
        meta::Class metaClass =
            handleCast<meta::Class>(meta::MetaRegistry::getInstance()->findElement(identityIn(idAttribute)));
        if (!metaClass) fail(idAttribute, "expected the identity of a registered class (for " + name + ")");
        if (metaClass->getOwningPackage().get() != package.get())
            fail(idAttribute, "the class " + name + " is not in the package the file names");
        if (classNamed(name.c_str())) fail(node, "the class name " + name + " is listed twice");
        if (std::any_of(m_classes.begin(), m_classes.end(),
                        [&](const ClassEntry& c) { return c.metaClass.get() == metaClass.get(); }))
            fail(idAttribute, "the class " + name + " is listed twice");
        ClassEntry entry{metaClass, name, {}, {}};
        std::vector<meta::Property> all = metaClass->getAllProperties();
        for (pugi::xml_node propertyNode : node.children()) {
            expectElement(propertyNode);
            if (std::strcmp(propertyNode.name(), "f:property") != 0)
                fail(propertyNode, "expected <f:property>");
            onlyAttributes(propertyNode, {"name", "id"});
            pugi::xml_attribute propertyId = required(propertyNode, "id");
            std::string propertyName = required(propertyNode, "name").value();
            uuid id = identityIn(propertyId);
            auto found = std::find_if(all.begin(), all.end(),
                                      [&](const meta::Property& p) { return p->getUuid() == id; });
            if (found == all.end())
                fail(propertyId, "expected the identity of a property of " +
                                     toUtf8(metaClass->getQualifiedName()) + " (for " + propertyName + ")");
            if (!(*found)->hasIndex() || (*found)->isDerived())
                fail(propertyId, "the property " + propertyName + " is derived and cannot be loaded");
            if (entry.find(propertyName.c_str()) ||
                std::any_of(entry.properties.begin(), entry.properties.end(),
                            [&](const PropertyEntry& p) { return p.property.get() == found->get(); }))
                fail(propertyNode, "the property " + propertyName + " is listed twice");
            entry.properties.push_back(PropertyEntry{*found, propertyName, persist::shapeOf(*found),
                                                     (*found)->isComposite(), (*found)->isMany()});
        }
        for (const meta::Property& property : all)
            if (property->hasIndex() && !property->isDerived() && !property->isTransient() &&
                persist::isMandatoryValue(property))
                entry.mandatory.push_back(property.get());
        m_classes.push_back(std::move(entry));
    }

    const ClassEntry* classNamed(const char* name) const {
        for (const ClassEntry& entry : m_classes)
            if (entry.name == name) return &entry;
        return nullptr;
    }

    // --- elements

    std::unique_ptr<ModelElement::Builder> readElement(const pugi::xml_node& node, const ClassEntry& entry) {
        if (entry.metaClass->isAbstract() || !entry.metaClass->hasBuilderFactory())
            fail(node, "the class " + entry.name + " cannot be instantiated");
        std::unique_ptr<ModelElement::Builder> builder = persist::newBuilder(entry.metaClass);
        if (!builder) fail(node, "the class " + entry.name + " cannot be instantiated");
        pugi::xml_attribute idAttribute = required(node, "f:id");
        uuid id = identityIn(idAttribute);
        if (!m_identities.insert(id).second)
            fail(idAttribute,
                 "the identity " + toString(id) +
                     " is used twice (an element in two places, or two elements with one identity)");
        builder->setIdentity(id);

        std::vector<const meta::Property::Impl*> given;
        for (pugi::xml_attribute attribute : node.attributes()) {
            const char* name = attribute.name();
            if (std::strcmp(name, "f:id") == 0 || std::strcmp(name, "f:type") == 0) continue;
            const PropertyEntry* p = entry.find(name);
            if (!p) fail(attribute, "expected a property of " + entry.name + ", not " + name);
            if (std::find(given.begin(), given.end(), p->property.get()) != given.end())
                fail(attribute, std::string("the property ") + name + " is given twice");
            given.push_back(p->property.get());
            if (p->shape == persist::Shape::Element) {
                if (p->composite) fail(attribute, std::string("expected ") + name + " as nested elements");
                m_references.push_back(PendingReference{id, p, attribute.value(), offsetOf(attribute)});
                continue;
            }
            if (p->many) fail(attribute, std::string("expected the values of ") + name + " as <f:v> entries");
            add(*builder, *p, attribute, attribute.value());
        }

        for (pugi::xml_node child : node.children()) {
            expectElement(child);
            const PropertyEntry* p = entry.find(child.name());
            if (!p) fail(child, "expected a property of " + entry.name + ", not <" + child.name() + ">");
            if (p->composite) {
                if (!p->many && std::find(given.begin(), given.end(), p->property.get()) != given.end())
                    fail(child, "the property " + p->name + " holds one element only");
                given.push_back(p->property.get());
                if (pugi::xml_attribute proxy = child.attribute("f:proxy")) {
                    onlyAttributes(child, {"f:proxy"});
                    if (p->many || child.first_child())
                        fail(child, "expected a proxy alone in a single slot");
                    m_references.push_back(PendingReference{id, p, proxy.value(), offsetOf(proxy)});
                    continue;
                }
                const ClassEntry* childClass = nullptr;
                if (pugi::xml_attribute type = child.attribute("f:type")) {
                    childClass = classNamed(type.value());
                    if (!childClass)
                        fail(type, std::string("expected a class the metamodel section lists, not ") +
                                       type.value());
                } else {
                    for (const ClassEntry& c : m_classes)
                        if (c.metaClass.get() == p->property->typeImpl()) childClass = &c;
                    if (!childClass)
                        fail(child, "expected f:type: the class of " + p->name + " is not listed");
                }
                std::unique_ptr<ModelElement::Builder> nested = readElement(child, *childClass);
                try {
                    builder->setOrAdd(p->property, nested);
                } catch (const MessageIdException&) {
                    fail(child, "an element of class " + childClass->name + " cannot be held by " + p->name);
                }
            } else if (p->many && p->shape != persist::Shape::Element) {
                if (std::find(given.begin(), given.end(), p->property.get()) != given.end())
                    fail(child, "the property " + p->name + " is given twice");
                given.push_back(p->property.get());
                if (child.first_attribute()) fail(child.first_attribute(), "unexpected attribute");
                for (pugi::xml_node v : child.children()) {
                    expectElement(v);
                    if (std::strcmp(v.name(), "f:v") != 0 || v.first_attribute()) fail(v, "expected <f:v>");
                    pugi::xml_node text = v.first_child();
                    if (text && (text.type() != pugi::node_pcdata || text.next_sibling()))
                        fail(text, "expected the text of one value");
                    if (text)
                        add(*builder, *p, text, text.value());
                    else
                        add(*builder, *p, v, "");
                }
            } else {
                fail(child, "expected " + p->name + " as an attribute");
            }
        }
        for (const meta::Property::Impl* mandatory : entry.mandatory)
            if (std::find(given.begin(), given.end(), mandatory) == given.end())
                fail(node, "the mandatory property " + toUtf8(mandatory->getName()) + " of " + entry.name +
                               " has no value");
        if (++m_elements % kProgressStep == 0 && m_progress) m_progress(m_elements, 0);
        return builder;
    }

    template <class Where>
    void add(ModelElement::Builder& builder, const PropertyEntry& p, const Where& where, const char* text) {
        Value value = parse(p, where, text);
        try {
            builder.setOrAdd(p.property, value);
        } catch (const MessageIdException& error) {
            fail(where, "the value of " + p.name + " is refused: " + error.what());
        }
    }

    template <class Where>
    Value parse(const PropertyEntry& p, const Where& where, const char* text) {
        std::string_view utf8(text);
        if (!utf8::is_valid(utf8.begin(), utf8.end())) fail(where, "expected UTF-8 text for " + p.name);
        try {
            return persist::parseText(p.property, p.shape, toUtf16(utf8));
        } catch (const persist::ParseFailure& failure) {
            fail(where,
                 std::string(failure.what()) + " for " + p.name + ", not \"" + std::string(utf8) + "\"");
        }
    }

    // --- references, once every element exists

    ModelElement target(const Model& model, const PendingReference& r, std::string_view token) {
        std::size_t hash = token.find('#');
        if (hash == std::string_view::npos) {
            uuid id = tokenId(r, token);
            ModelElement element = model->findElement(id);
            if (!element)
                fail(r.offset, "expected the identity of an element of the file, not " + std::string(token));
            return element;
        }
        std::size_t colon = token.find(':');
        meta::Class metaClass = handleCast<meta::Class>(ModelElement(r.property->property->getType()));
        if (colon != std::string_view::npos && colon < hash) {
            const ClassEntry* entry = classNamed(std::string(token.substr(0, colon)).c_str());
            if (!entry)
                fail(r.offset, "expected a class the metamodel section lists in " + std::string(token));
            metaClass = entry->metaClass;
            token.remove_prefix(colon + 1);
            hash -= colon + 1;
        }
        uuid modelId = tokenId(r, token.substr(0, hash));
        uuid elementId = tokenId(r, token.substr(hash + 1));
        auto key = std::make_pair(modelId, elementId);
        if (auto it = m_proxies.find(key); it != m_proxies.end()) return it->second;
        if (!metaClass || metaClass->isAbstract() || !metaClass->hasBuilderFactory())
            fail(r.offset, "the proxy " + std::string(token) + " needs a class that can be instantiated");
        ModelElement proxy = model->createProxy(metaClass, ProxyId(elementId, modelId));
        m_proxies.emplace(key, proxy);
        return proxy;
    }

    uuid tokenId(const PendingReference& r, std::string_view text) const {
        boost::optional<uuid> parsed = parseIdentity(text);
        const uuid id = parsed ? *parsed : uuid{};
        if (!parsed || id.is_nil())
            fail(r.offset, "expected identities, or model#element for a proxy, in " + r.property->name +
                               ", not " + std::string(text));
        return id;
    }

    void restoreReferences(const Model& model) {
        for (const PendingReference& r : m_references) {
            std::vector<ModelElement> targets;
            std::string_view text(r.text);
            std::size_t start = 0;
            while (start < text.size()) {
                std::size_t end = text.find(' ', start);
                if (end == std::string_view::npos) end = text.size();
                if (end == start) fail(r.offset, "expected identities separated by single blanks");
                targets.push_back(target(model, r, text.substr(start, end - start)));
                start = end + 1;
            }
            if (!r.property->many && targets.size() != 1)
                fail(r.offset, "expected one identity for " + r.property->name);
            ModelElement owner = model->findElement(r.owner);
            try {
                Value current = persist::readValue(*owner.get(), r.property->property);
                Value::List entries = persist::entriesOf(current);
                if (!r.property->many) {
                    if (entries.size() == 1 && entries[0].getElement() == targets[0]) continue;
                    if (r.property->composite && !targets[0]->isProxy())
                        fail(r.offset, "expected a proxy (model#element) in f:proxy");
                    // A reference into another model is linked at this end only, as the other model
                    // may not be open; a slot takes its proxy through its setter.
                    if (targets[0]->isProxy() && !r.property->composite)
                        owner->basicAssociate(targets[0], r.property->property);
                    else
                        persist::writeValue(*owner.get(), r.property->property, Value::ofElement(targets[0]));
                    continue;
                }
                // Many-valued references are restored through their opposite ends; check they are.
                std::vector<const ModelElement::Impl*> have, want;
                for (const Value& entry : entries) have.push_back(entry.getElement().get());
                for (const ModelElement& t : targets) want.push_back(t.get());
                std::sort(have.begin(), have.end());
                std::sort(want.begin(), want.end());
                if (have != want)
                    fail(r.offset, "the references of " + r.property->name + " cannot be restored");
            } catch (const MessageIdException& error) {
                fail(r.offset, "the reference " + r.property->name + " is refused: " + error.what());
            }
        }
    }

    char* m_buffer;
    std::size_t m_size;
    std::string m_source;
    std::function<std::string()> m_original;
    const LoadOptions& m_options;
    const Progress& m_progress;
    pugi::xml_document m_document;
    uuid m_modelId{};
    std::vector<ClassEntry> m_classes;
    std::unordered_set<uuid, UuidHash> m_identities;
    std::vector<PendingReference> m_references;
    std::map<std::pair<uuid, uuid>, ModelElement> m_proxies;
    std::size_t m_elements = 0;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw InvalidFileException({toUtf16(path), u"cannot be opened for reading"});
    std::string text(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!in) throw InvalidFileException({toUtf16(path), u"cannot be read"});
    return text;
}

}  // namespace

Model loadModel(const std::string& path, const LoadOptions& options) {
    std::string text = readFile(path);
    Loader loader(
        text.data(), text.size(), path, [&path] { return readFile(path); }, options);
    return loader.run();
}

Model readModel(std::string_view text, const std::string& sourceName, const LoadOptions& options) {
    std::string buffer(text);
    Loader loader(
        buffer.data(), buffer.size(), sourceName, [text] { return std::string(text); }, options);
    return loader.run();
}

}  // namespace fenmo::xml
