// Writes a model as XML straight to its destination, element by element: no document tree is built.

#include "Codec.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Package.hpp>
#include <fenmo/query/Node.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace fenmo::xml {

namespace {

std::atomic<long long> g_failAfter{-1};

constexpr std::size_t kChunk = 1 << 16;
constexpr std::size_t kProgressStep = 1 << 14;

class Sink {
public:
    virtual ~Sink() = default;
    virtual void write(const char* data, std::size_t size) = 0;
};

class StringSink final : public Sink {
public:
    explicit StringSink(std::string& text) : m_text(text) {}
    void write(const char* data, std::size_t size) override { m_text.append(data, size); }

private:
    std::string& m_text;
};

class FileSink final : public Sink {
public:
    FileSink(int fd, const std::string& path) : m_fd(fd), m_path(path) {}
    void write(const char* data, std::size_t size) override {
        if (long long limit = g_failAfter.load(); limit >= 0) {
            if (m_written + static_cast<long long>(size) > limit)
                throw SaveFailedException({toUtf16(m_path), u"injected failure"});
        }
        while (size > 0) {
            ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw SaveFailedException({toUtf16(m_path), toUtf16(std::strerror(errno))});
            data += n;
            size -= static_cast<std::size_t>(n);
            m_written += n;
        }
    }

private:
    int m_fd;
    const std::string& m_path;
    long long m_written = 0;
};

// The reference of each ASCII character that an attribute value cannot hold as it is: the markup
// characters and the control characters; none (size 0) for the others.
struct Reference {
    char text[6];
    std::uint8_t size;
};
constexpr std::array<Reference, 128> kReferences = [] {
    std::array<Reference, 128> table{};
    auto set = [&](char c, std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) table[c].text[i] = text[i];
        table[c].size = static_cast<std::uint8_t>(text.size());
    };
    for (int c = 0; c < 0x20; ++c) {
        Reference& reference = table[c];
        std::uint8_t size = 0;
        reference.text[size++] = '&';
        reference.text[size++] = '#';
        if (c >= 10) reference.text[size++] = static_cast<char>('0' + c / 10);
        reference.text[size++] = static_cast<char>('0' + c % 10);
        reference.text[size++] = ';';
        reference.size = size;
    }
    set('&', "&amp;");
    set('<', "&lt;");
    set('>', "&gt;");
    set('"', "&quot;");
    return table;
}();

// Appends UTF-8 `text` with markup characters and control characters as references; runs that need
// none are copied whole.
void appendEscaped(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80 || kReferences[c].size == 0) continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        out.append(kReferences[c].text, kReferences[c].size);
    }
    out.append(text.data() + run, text.size() - run);
}

// Appends a property's text as UTF-8, escaped as appendEscaped does, straight from its UTF-16 form into
// room made for the longest result (six bytes a unit); refuses text an XML file cannot hold as
// persist::textOf does.
void appendText(std::string& out, const meta::Property& property, std::u16string_view text) {
    const std::size_t start = out.size();
    out.resize(start + 6 * text.size());
    char* p = out.data() + start;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c < 0x80) {
            const Reference& reference = kReferences[c];
            if (reference.size == 0) {
                *p++ = static_cast<char>(c);
                continue;
            }
            if (c == 0) {
                out.resize(start);
                persist::refuseXmlText(property, i);
            }
            std::memcpy(p, reference.text, sizeof reference.text);
            p += reference.size;
        } else if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0xD800 || c > 0xDFFF) {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            if (c > 0xDBFF || i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                out.resize(start);
                persist::refuseXmlText(property, i);
            }
            const char32_t code = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            *p++ = static_cast<char>(0xF0 | (code >> 18));
            *p++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

// The two lowercase hexadecimal digits of each byte value, and where each byte's digits go in an
// identity's text form (8-4-4-4-12 digits).
constexpr std::array<std::array<char, 2>, 256> kHexPairs = [] {
    constexpr char digits[] = "0123456789abcdef";
    std::array<std::array<char, 2>, 256> pairs{};
    for (std::size_t i = 0; i < 256; ++i) pairs[i] = {digits[i >> 4], digits[i & 15]};
    return pairs;
}();
constexpr std::uint8_t kFirstDigit[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};

template <std::size_t... I>
void writeHexPairs(char* text, const uuid& id, std::index_sequence<I...>) {
    (std::memcpy(text + kFirstDigit[I], kHexPairs[id.data[I]].data(), 2), ...);
}

// Appends an identity in its text form, unrolled: one table look-up per byte.
void appendIdentity(std::string& out, const uuid& id) {
    char text[36];
    text[8] = text[13] = text[18] = text[23] = '-';
    writeHexPairs(text, id, std::make_index_sequence<16>());
    out.append(text, sizeof text);
}

// How an element's tag opens (up to its identity) and closes.
struct Tag {
    explicit Tag(const std::string& name) : open("<" + name + " f:id=\""), close("</" + name + ">\n") {}
    std::string open;
    std::string close;
};

struct PropertyInfo {
    meta::Property property;
    std::string name;
    // Its attribute up to the value (` name="`), and its tag as that of a contained element.
    std::string attribute;
    Tag tag;
    persist::Shape shape;
    bool composite;
    bool many;
    bool ordered;
    // The direct readers of the field, taken from the first element of the class (none: reflective calls).
    query::detail::PropertyAccess readers;
    // The escaped texts of the enumerators written so far (their serializer is called once for each).
    std::vector<std::pair<std::int32_t, std::string>> enumerators;
};

struct ClassInfo {
    std::string name;
    // Its tag as that of a root, and the attribute that names it where the property's type does not.
    Tag tag{name};
    std::string type;
    std::vector<PropertyInfo> properties;
    // Positions in `properties`: values written as attributes; then what is nested in the element's
    // tags, lists of values before contained elements (a reader creates the element when its first
    // contained element comes, and the lists must be in place by then).
    std::vector<std::size_t> attributes;
    std::vector<std::size_t> nested;
    bool readersTaken = false;
};

// Collects the elements of a collection, leaving out empty entries.
class ElementList final : public query::detail::CollectionVisitor {
public:
    explicit ElementList(std::vector<ModelElement::Impl*>& list) : m_list(list) {}
    bool visit(ModelElement::Impl* element) override {
        if (element) m_list.push_back(element);
        return true;
    }

private:
    std::vector<ModelElement::Impl*>& m_list;
};

class Writer {
public:
    Writer(const Model& model, Sink& sink, const Progress& progress)
        : m_model(model), m_sink(sink), m_progress(progress) {}

    void run() {
        m_total = m_model->elementCount();
        std::vector<ModelElement> roots;
        std::map<std::u16string, meta::Package> packages;
        // The package of each class once, not of each element.
        std::unordered_set<const ModelElement::Impl*> classes;
        // Walked in place: a list of the whole model would be the largest thing a save holds.
        m_model->forEachElement([&](ModelElement::Impl& element) {
            if (element.isProxy()) return;
            if (!element.containerImpl()) roots.emplace_back(&element, true);
            const meta::Class& metaClass = element.getMetaClass();
            if (!classes.insert(metaClass.get()).second) return;
            meta::Package package = metaClass->getOwningPackage();
            if (!package.get() || package->getUri().empty())
                throw SaveFailedException(
                    {toUtf16(toString(m_model->getId())),
                     u"the class " + metaClass->getQualifiedName() + u" has no package URI"});
            packages.emplace(package->getUri(), package);
        });
        std::sort(roots.begin(), roots.end(),
                  [](const ModelElement& a, const ModelElement& b) { return a->getUuid() < b->getUuid(); });

        m_out +=
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<f:model "
            "xmlns:f=\"https://arvelle.dev/fenmo/model\" "
            "f:format=\"";
        m_out += std::to_string(kFormatVersion);
        m_out += "\" f:id=\"" + toString(m_model->getId()) + "\">\n <f:metamodel>\n";
        for (auto& [uri, package] : packages) header(package);
        m_out += " </f:metamodel>\n";
        for (const ModelElement& root : roots) element(*root.get(), nullptr, 1);
        m_out += "</f:model>\n";
        flush();
        if (m_progress) m_progress(m_done, m_total);
    }

private:
    void header(const meta::Package& package) {
        m_out += "  <f:package uri=\"";
        appendEscaped(m_out, toUtf8(package->getUri()));
        m_out += "\">\n";
        std::map<std::string, const ModelElement::Impl*> names;
        for (const ModelElement& content : package->getContents()) {
            auto* metaClass = dynamic_cast<const meta::Class::Impl*>(content.get());
            if (!metaClass) continue;
            ClassInfo& info = m_classes[metaClass];
            info.name = toUtf8(metaClass->getName());
            info.tag = Tag(info.name);
            info.type = " f:type=\"" + info.name + "\"";
            if (!m_classNames.emplace(info.name, metaClass).second)
                throw SaveFailedException(
                    {toUtf16(toString(m_model->getId())), u"two classes are named " + metaClass->getName()});
            m_out += "   <f:class name=\"" + info.name + "\" id=\"" + toString(metaClass->getUuid()) + "\"";
            std::vector<meta::Property> properties = persist::persistedProperties(*metaClass);
            if (properties.empty())
                m_out += "/>\n";
            else
                m_out += ">\n";
            for (meta::Property& property : properties) {
                const std::string name = toUtf8(property->getName());
                PropertyInfo p{property,
                               name,
                               " " + name + "=\"",
                               Tag(name),
                               persist::shapeOf(property),
                               property->isComposite(),
                               property->isMany(),
                               property->isOrdered(),
                               {},
                               {}};
                m_out += "    <f:property name=\"" + p.name + "\" id=\"" + toString(property->getUuid()) +
                         "\"/>\n";
                info.properties.push_back(std::move(p));
            }
            if (!properties.empty()) m_out += "   </f:class>\n";
            for (std::size_t i = 0; i < info.properties.size(); ++i) {
                const PropertyInfo& p = info.properties[i];
                if (p.composite || (p.many && p.shape != persist::Shape::Element)) continue;
                info.attributes.push_back(i);
            }
            for (std::size_t i = 0; i < info.properties.size(); ++i) {
                const PropertyInfo& p = info.properties[i];
                if (!p.composite && p.many && p.shape != persist::Shape::Element) info.nested.push_back(i);
            }
            for (std::size_t i = 0; i < info.properties.size(); ++i)
                if (info.properties[i].composite) info.nested.push_back(i);
        }
        m_out += "  </f:package>\n";
    }

    ClassInfo& classInfo(const ModelElement::Impl& element, const ModelElement::Impl* metaClass) {
        auto it = m_classes.find(metaClass);
        if (it == m_classes.end())
            throw SaveFailedException(
                {toUtf16(toString(m_model->getId())),
                 u"the class " + element.getMetaClass()->getQualifiedName() + u" is not in a saved package"});
        ClassInfo& info = it->second;
        // The elements of a class share its implementation: the first one's readers serve them all.
        if (!info.readersTaken) {
            for (PropertyInfo& p : info.properties)
                if (!element.fieldReaders(p.property, p.readers)) p.readers = {};
            info.readersTaken = true;
        }
        return info;
    }

    void indent(int depth) { m_out.append(static_cast<std::size_t>(depth), ' '); }

    // One element: its tag (the containing property, or the class for a root), identity, class when the
    // property's type does not say it, values as attributes, then what it contains.
    void element(ModelElement::Impl& e, const PropertyInfo* via, int depth) {
        const ModelElement::Impl* metaClass = e.getMetaClass().get();
        ClassInfo& info = classInfo(e, metaClass);
        const Tag& tag = via ? via->tag : info.tag;
        indent(depth);
        m_out += tag.open;
        appendIdentity(m_out, e.getUuid());
        m_out += '"';
        if (via && via->property->typeImpl() != metaClass) m_out += info.type;
        for (std::size_t i : info.attributes) attribute(e, info.properties[i]);
        // Which of the nested properties have a value, each asked once (past 64, nested() asks again).
        std::uint64_t held = 0;
        bool hasChildren = false;
        for (std::size_t n = 0; n < info.nested.size(); ++n) {
            if (!has(e, info.properties[info.nested[n]])) continue;
            hasChildren = true;
            if (n < 64) held |= std::uint64_t{1} << n;
        }
        if (!hasChildren) {
            m_out += "/>\n";
        } else {
            m_out += ">\n";
            for (std::size_t n = 0; n < info.nested.size(); ++n)
                if (n >= 64 || (held >> n & 1)) nested(e, info.properties[info.nested[n]], depth);
            indent(depth);
            m_out += tag.close;
        }
        if (m_out.size() >= kChunk) flush();
        if (++m_done % kProgressStep == 0 && m_progress) m_progress(m_done, m_total);
    }

    // Whether the property has a value: an engaged optional, a held element, a non-empty collection.
    static bool has(ModelElement::Impl& e, const PropertyInfo& p) {
        const query::detail::PropertyAccess& r = p.readers;
        if (r.element) return r.element(e) != nullptr;
        if (r.text) return r.text(e) != nullptr;
        if (r.number) {
            std::int32_t ignored;
            return r.number(e, ignored);
        }
        if (r.collection) return r.size(e) != 0;
        return persist::hasValue(e, p.property);
    }

    // A value written as an attribute, if the property has one.
    void attribute(ModelElement::Impl& e, PropertyInfo& p) {
        const query::detail::PropertyAccess& r = p.readers;
        std::int32_t number = 0;
        const std::u16string* text = nullptr;
        if (r.text) {
            if (!(text = r.text(e))) return;
        } else if (r.number) {
            if (!r.number(e, number)) return;
        } else if (!has(e, p)) {
            return;
        }
        m_out += p.attribute;
        if (p.shape == persist::Shape::Element) {
            elementsOf(e, p, m_references);
            const char* separator = "";
            for (ModelElement::Impl* target : m_references) {
                m_out += separator;
                if (target->isProxy())
                    m_out += persist::referenceToken(*m_model.get(), ModelElement(target, true), p.property);
                else
                    appendIdentity(m_out, target->getUuid());
                separator = " ";
            }
        } else if (text) {
            appendText(m_out, p.property, *text);
        } else if (r.number) {
            appendNumber(p, number);
        } else {
            appendText(m_out, p.property,
                       persist::textOf(p.property, p.shape, persist::readValue(e, p.property)));
        }
        m_out += '"';
    }

    // Booleans as true or false, integers in decimal, enumerators as their serializer writes them.
    void appendNumber(PropertyInfo& p, std::int32_t number) {
        if (p.shape == persist::Shape::Boolean) {
            m_out += number ? "true" : "false";
        } else if (p.shape == persist::Shape::Integer) {
            char digits[16];
            m_out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
        } else {
            for (const auto& [value, text] : p.enumerators)
                if (value == number) {
                    m_out += text;
                    return;
                }
            std::string text;
            appendText(text, p.property,
                       persist::textOf(p.property, p.shape,
                                       Value(ValueMeta(p.property->typeImpl(), ValueKind::Single), number)));
            m_out += text;
            p.enumerators.emplace_back(number, std::move(text));
        }
    }

    // The elements a property that has a value holds, in the order they are written (unordered ones by
    // identity). A slot whose element is no longer valid reads as empty, as through reflection.
    static void elementsOf(ModelElement::Impl& e, const PropertyInfo& p,
                           std::vector<ModelElement::Impl*>& list) {
        list.clear();
        const query::detail::PropertyAccess& r = p.readers;
        if (r.element) {
            if (ModelElement::Impl* held = r.element(e); held && held->isValid()) list.push_back(held);
        } else if (r.collection) {
            ElementList visitor(list);
            r.collection(e, visitor);
        } else {
            for (const Value& entry : persist::entriesOf(persist::readValue(e, p.property)))
                if (ModelElement held = entry.getElement(); held.get()) list.push_back(held.get());
        }
        if (!p.ordered)
            std::sort(list.begin(), list.end(), [](const ModelElement::Impl* a, const ModelElement::Impl* b) {
                return a->getUuid() < b->getUuid();
            });
    }

    // The values or contained elements of one property, nested in the element's tags.
    void nested(ModelElement::Impl& e, const PropertyInfo& p, int depth) {
        if (!has(e, p)) return;
        if (p.composite) {
            if (p.readers.element) {  // one slot: no list
                ModelElement::Impl* child = p.readers.element(e);
                if (child->isValid()) contained(*child, p, depth);
                return;
            }
            std::vector<ModelElement::Impl*> children;
            elementsOf(e, p, children);
            for (ModelElement::Impl* child : children) contained(*child, p, depth);
        } else {
            indent(depth + 1);
            m_out += '<' + p.name + '>';
            for (const Value& entry : persist::entriesOf(persist::readValue(e, p.property))) {
                m_out += "<f:v>";
                appendText(m_out, p.property, persist::textOf(p.property, p.shape, entry));
                m_out += "</f:v>";
            }
            m_out += "</" + p.name + ">\n";
        }
    }

    void contained(ModelElement::Impl& child, const PropertyInfo& p, int depth) {
        if (child.isProxy()) {
            // A slot may hold a proxy of an element of another model.
            if (p.many)
                throw SaveFailedException(
                    {p.property->getQualifiedName(), u"a proxy is held among many contained elements"});
            indent(depth + 1);
            m_out += '<' + p.name + " f:proxy=\"" +
                     persist::referenceToken(*m_model.get(), ModelElement(&child, true), p.property) +
                     "\"/>\n";
            return;
        }
        element(child, &p, depth + 1);
    }

    void flush() {
        m_sink.write(m_out.data(), m_out.size());
        m_out.clear();
    }

    const Model& m_model;
    Sink& m_sink;
    const Progress& m_progress;
    std::string m_out;
    std::unordered_map<const ModelElement::Impl*, ClassInfo> m_classes;
    // The targets of the reference being written.
    std::vector<ModelElement::Impl*> m_references;
    std::map<std::string, const ModelElement::Impl*> m_classNames;
    std::size_t m_done = 0;
    std::size_t m_total = 0;
};

std::u16string errnoText() {
    return toUtf16(std::strerror(errno));
}

}  // namespace

std::string writeModel(const Model& model, const Progress& progress) {
    if (!model) throw SaveFailedException({u"(no model)", u"there is no model"});
    std::string text;
    StringSink sink(text);
    Writer(model, sink, progress).run();
    return text;
}

void saveModel(const Model& model, const std::string& path, const Progress& progress) {
    const std::u16string name = toUtf16(path);
    if (!model) throw SaveFailedException({name, u"there is no model"});
    std::string temp = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw SaveFailedException({name, u"cannot create a temporary file beside it: " + errnoText()});
    // The new file keeps the permissions of the one it replaces.
    struct stat existing {};
    ::fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
    try {
        FileSink sink(fd, path);
        Writer(model, sink, progress).run();
        if (::fsync(fd) != 0) throw SaveFailedException({name, u"cannot flush: " + errnoText()});
        int closed = ::close(fd);
        fd = -1;
        if (closed != 0) throw SaveFailedException({name, u"cannot close: " + errnoText()});
        if (::rename(temp.c_str(), path.c_str()) != 0) throw SaveFailedException({name, errnoText()});
    } catch (...) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    // Makes the rename itself durable.
    std::string directory = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1);
    if (int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

namespace testing {
void failSavesAfter(long long bytes) noexcept {
    g_failAfter.store(bytes);
}
}  // namespace testing

}  // namespace fenmo::xml
