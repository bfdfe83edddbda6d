// Writes a model as XML straight to its destination, element by element: no document tree is built.

#include "Codec.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Package.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

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

// Appends `text` with markup characters and control characters as references; runs that need none
// are copied whole.
void appendEscaped(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char* reference = nullptr;
        switch (c) {
            case '&':
                reference = "&amp;";
                break;
            case '<':
                reference = "&lt;";
                break;
            case '>':
                reference = "&gt;";
                break;
            case '"':
                reference = "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20) continue;
        }
        out.append(text.data() + run, i - run);
        run = i + 1;
        if (reference) {
            out += reference;
        } else {
            out += "&#";
            out += std::to_string(static_cast<int>(c));
            out += ';';
        }
    }
    out.append(text.data() + run, text.size() - run);
}

// Appends an identity in its text form (8-4-4-4-12 lowercase hexadecimal digits); each byte's two
// digits have fixed places.
void appendIdentity(std::string& out, const uuid& id) {
    static constexpr char kDigits[] = "0123456789abcdef";
    static constexpr std::uint8_t kFirstDigit[16] = {0,  2,  4,  6,  9,  11, 14, 16,
                                                     19, 21, 24, 26, 28, 30, 32, 34};
    char text[36];
    text[8] = text[13] = text[18] = text[23] = '-';
    for (std::size_t i = 0; i < 16; ++i) {
        text[kFirstDigit[i]] = kDigits[id.data[i] >> 4];
        text[kFirstDigit[i] + 1] = kDigits[id.data[i] & 15];
    }
    out.append(text, sizeof text);
}

struct PropertyInfo {
    meta::Property property;
    std::string name;
    persist::Shape shape;
    bool composite;
    bool many;
};

struct ClassInfo {
    std::string name;
    std::vector<PropertyInfo> properties;
};

class Writer {
public:
    Writer(const Model& model, Sink& sink, const Progress& progress)
        : m_model(model), m_sink(sink), m_progress(progress) {}

    void run() {
        std::vector<ModelElement> all = m_model->elements();
        m_total = all.size();
        std::vector<ModelElement> roots;
        std::map<std::u16string, meta::Package> packages;
        // The package of each class once, not of each element.
        std::unordered_set<const ModelElement::Impl*> classes;
        for (ModelElement& element : all) {
            if (element->isProxy()) continue;
            if (!element->containerImpl()) roots.push_back(element);
            const meta::Class& metaClass = element->getMetaClass();
            if (!classes.insert(metaClass.get()).second) continue;
            meta::Package package = metaClass->getOwningPackage();
            if (!package.get() || package->getUri().empty())
                throw SaveFailedException(
                    {toUtf16(toString(m_model->getId())),
                     u"the class " + metaClass->getQualifiedName() + u" has no package URI"});
            packages.emplace(package->getUri(), package);
        }
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
        for (const ModelElement& root : roots) element(*root.get(), nullptr, nullptr, 1);
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
                PropertyInfo p{property, toUtf8(property->getName()), persist::shapeOf(property),
                               property->isComposite(), property->isMany()};
                m_out += "    <f:property name=\"" + p.name + "\" id=\"" + toString(property->getUuid()) +
                         "\"/>\n";
                info.properties.push_back(std::move(p));
            }
            if (!properties.empty()) m_out += "   </f:class>\n";
        }
        m_out += "  </f:package>\n";
    }

    const ClassInfo& classInfo(const ModelElement::Impl& element) {
        auto it = m_classes.find(element.getMetaClass().get());
        if (it == m_classes.end())
            throw SaveFailedException(
                {toUtf16(toString(m_model->getId())),
                 u"the class " + element.getMetaClass()->getQualifiedName() + u" is not in a saved package"});
        return it->second;
    }

    void indent(int depth) { m_out.append(static_cast<std::size_t>(depth), ' '); }

    // One element: its tag (the containing property, or the class for a root), identity, class when the
    // property's type does not say it, values as attributes, then what it contains.
    void element(ModelElement::Impl& e, const PropertyInfo* via, const ModelElement::Impl* declared,
                 int depth) {
        const ClassInfo& info = classInfo(e);
        indent(depth);
        m_out += '<';
        m_out += via ? via->name : info.name;
        m_out += " f:id=\"";
        appendIdentity(m_out, e.getUuid());
        m_out += '"';
        if (via && declared != e.getMetaClass().get()) {
            m_out += " f:type=\"";
            m_out += info.name;
            m_out += '"';
        }
        bool hasChildren = false;
        for (const PropertyInfo& p : info.properties) {
            if (p.composite || (p.many && p.shape != persist::Shape::Element)) {
                hasChildren = hasChildren || persist::hasValue(e, p.property);
                continue;
            }
            if (!persist::hasValue(e, p.property)) continue;
            Value value = persist::readValue(e, p.property);
            m_out += ' ';
            m_out += p.name;
            m_out += "=\"";
            if (p.shape == persist::Shape::Element) {
                Value::List entries = persist::entriesOf(value);
                if (!p.property->isOrdered()) sortByIdentity(entries);
                const char* separator = "";
                for (const Value& entry : entries) {
                    ModelElement target = entry.getElement();
                    if (!target.get()) continue;
                    m_out += separator;
                    if (target->isProxy())
                        m_out += persist::referenceToken(*m_model.get(), target, p.property);
                    else
                        appendIdentity(m_out, target->getUuid());
                    separator = " ";
                }
            } else {
                appendEscaped(m_out, toUtf8(persist::textOf(p.property, p.shape, value)));
            }
            m_out += '"';
        }
        if (!hasChildren) {
            m_out += "/>\n";
        } else {
            m_out += ">\n";
            // Lists of values before contained elements: a reader creates the element when its first
            // contained element comes, and the lists must be in place by then.
            for (const PropertyInfo& p : info.properties)
                if (!p.composite && p.many && p.shape != persist::Shape::Element) nested(e, p, depth);
            for (const PropertyInfo& p : info.properties)
                if (p.composite) nested(e, p, depth);
            indent(depth);
            m_out += "</";
            m_out += via ? via->name : info.name;
            m_out += ">\n";
        }
        if (m_out.size() >= kChunk) flush();
        if (++m_done % kProgressStep == 0 && m_progress) m_progress(m_done, m_total);
    }

    // The values or contained elements of one property, nested in the element's tags.
    void nested(ModelElement::Impl& e, const PropertyInfo& p, int depth) {
        if (!persist::hasValue(e, p.property)) return;
        Value::List entries = persist::entriesOf(persist::readValue(e, p.property));
        if (p.composite) {
            if (!p.property->isOrdered()) sortByIdentity(entries);
            for (const Value& entry : entries) {
                ModelElement child = entry.getElement();
                if (!child.get()) continue;
                if (child->isProxy()) {
                    // A slot may hold a proxy of an element of another model.
                    if (p.many)
                        throw SaveFailedException({p.property->getQualifiedName(),
                                                   u"a proxy is held among many contained elements"});
                    indent(depth + 1);
                    m_out += '<' + p.name + " f:proxy=\"" +
                             persist::referenceToken(*m_model.get(), child, p.property) + "\"/>\n";
                    continue;
                }
                element(*child.get(), &p, p.property->typeImpl(), depth + 1);
            }
        } else {
            indent(depth + 1);
            m_out += '<' + p.name + '>';
            for (const Value& entry : entries) {
                m_out += "<f:v>";
                appendEscaped(m_out, toUtf8(persist::textOf(p.property, p.shape, entry)));
                m_out += "</f:v>";
            }
            m_out += "</" + p.name + ">\n";
        }
    }

    static void sortByIdentity(Value::List& entries) {
        std::sort(entries.begin(), entries.end(), [](const Value& a, const Value& b) {
            ModelElement x = a.getElement(), y = b.getElement();
            if (!x.get() || !y.get()) return y.get() != nullptr && !x.get();
            return x->getUuid() < y->getUuid();
        });
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
