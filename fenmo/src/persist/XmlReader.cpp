// Reads a model from XML in one pass, top down: an element is created when its end tag has been read,
// together with the elements it holds in single slots (their builders nested into its own), or
// earlier when something goes into one of its collections; then it is put into its container at once.
// Neither a tree of the document nor builders of the whole model are kept; a file is mapped and the
// pages already read are let go of. The model has the file's identity; its elements are built in one
// transaction, with undo recording off. Any error throws before the model is returned, and abandoning
// that transaction takes every element made so far away again, so nothing of a refused file stays.

#include "Codec.hpp"
#include "XmlScanner.hpp"

#include <fenmo/Collection.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/MetaRegistry.hpp>
#include <fenmo/meta/Package.hpp>

#include <utf8.h>

#include <boost/container/small_vector.hpp>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>

namespace fenmo::xml {

namespace {

using detail::Malformed;
using detail::XmlScanner;
using Token = XmlScanner::Token;

constexpr std::size_t kProgressStep = 1 << 14;
// Pages of a mapped file are given back in steps of this many bytes once read.
constexpr std::size_t kReleaseStep = std::size_t{8} << 20;
// Enumerator texts remembered per property (a file repeats the few literals of an enumeration).
constexpr std::size_t kLiteralCache = 64;

// Restoring writes what was saved, read-only properties included, and leaves proxies as they are.
constexpr Reflection kRestore(Access::Privileged, Proxies::Keep);

// Sets a single-valued property through its class's setter. The setter's own transaction is enough:
// a refusal abandons the whole load, so the write need not be one step of its own.
void restoreValue(ModelElement::Impl& element, const meta::Property& property, const Value& value) {
    element.setPropertyValue(property, value, kRestore.tag());
}

struct ClassEntry;

struct PropertyEntry {
    meta::Property property;
    std::string name;
    persist::Shape shape;
    bool composite;
    bool many;
    // The class of contained elements written without f:type (the property's type), once looked up.
    mutable const ClassEntry* childClass = nullptr;
    mutable bool childClassKnown = false;
    // Texts of enumerators read so far, with their values.
    mutable std::vector<std::pair<std::string, Value>> literals;
};

struct ClassEntry {
    meta::Class metaClass;
    std::string name;
    std::vector<PropertyEntry> properties;
    // The values every element must have, with their positions in `properties` (SIZE_MAX for one the
    // file's metamodel section does not list: no element of the class can then have it).
    std::vector<std::pair<std::size_t, const meta::Property::Impl*>> mandatory;
    // Made once the first element of the class is read, and used again for the next while it holds
    // no collected collection (builders add to collections rather than replace them).
    mutable std::unique_ptr<ModelElement::Builder> builder;
    mutable bool builderCollected = false;

    // The property of that name; `hint` is where the search starts (values come in property order).
    std::size_t find(std::string_view wanted, std::size_t hint = 0) const {
        const std::size_t n = properties.size();
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t i = hint + k < n ? hint + k : hint + k - n;
            if (properties[i].name == wanted) return i;
        }
        return SIZE_MAX;
    }
};

// The properties an element was given, by position in its class entry.
class Given {
public:
    explicit Given(std::size_t count) : m_words((count + 63) / 64, 0) {}
    bool test(std::size_t i) const { return m_words[i / 64] >> (i % 64) & 1u; }
    void set(std::size_t i) { m_words[i / 64] |= std::uint64_t{1} << (i % 64); }

private:
    boost::container::small_vector<std::uint64_t, 1> m_words;
};

// A reference whose targets were not all there when its owner was created, or that is checked
// against its opposite end once every element exists.
struct PendingReference {
    ModelElement owner;
    const PropertyEntry* property;
    std::string text;
    std::size_t offset;
};

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

// The segment of a URI that names a metamodel version ("V0001a"), compared as text.
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

// UTF-8 text as UTF-16; ASCII, the common case, without a pass of validation.
std::u16string utf16Of(std::string_view text) {
    std::u16string result(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) return toUtf16(text);
        result[i] = c;
    }
    return result;
}

// The bytes of the file: the text handed in, or a file mapped for reading whose pages are given back
// once the reader is past them.
class Source {
public:
    explicit Source(std::string_view text) : m_begin(text.data()), m_size(text.size()) {}
    explicit Source(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (m_fd < 0 || ::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            close();
            throw InvalidFileException({toUtf16(path), u"cannot be opened for reading"});
        }
        m_size = static_cast<std::size_t>(status.st_size);
        if (m_size == 0) return;
        void* mapped = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, m_fd, 0);
        if (mapped == MAP_FAILED) {
            close();
            throw InvalidFileException({toUtf16(path), u"cannot be read"});
        }
        m_mapped = mapped;
        m_begin = static_cast<const char*>(mapped);
        ::madvise(mapped, m_size, MADV_SEQUENTIAL);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source() {
        if (m_mapped) ::munmap(m_mapped, m_size);
        close();
    }

    const char* begin() const noexcept { return m_begin ? m_begin : ""; }
    const char* end() const noexcept { return begin() + m_size; }

    // The reader will not look at bytes before `position` again (an error message may, and reads
    // them back from the file).
    void consumed(std::size_t position) noexcept {
        if (!m_mapped || position < m_released + kReleaseStep) return;
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t upTo = position / page * page;
        ::madvise(static_cast<char*>(m_mapped) + m_released, upTo - m_released, MADV_DONTNEED);
        m_released = upTo;
    }

private:
    void close() noexcept {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    const char* m_begin = nullptr;
    std::size_t m_size = 0;
    int m_fd = -1;
    void* m_mapped = nullptr;
    std::size_t m_released = 0;
};

// A reference read with its element's tag, restored once the element exists: the file's own bytes,
// or a copy of a decoded value (a decoded value lives only until the next tag).
struct LaterReference {
    uuid owner;
    const PropertyEntry* property;
    std::string_view text;
    std::string copy;
    bool copied;
    std::size_t offset;
    std::string_view value() const { return copied ? std::string_view(copy) : text; }
};

// An element being read: its class, identity, what it was given, and the element once created.
// Until it is created its values are collected in a builder. An element held in a single slot of an
// element not created yet goes into that element's builder as a nested builder when it ends, so that
// a node and its attribute objects are created in one go, as a host's builder would create them; an
// element that must exist before its end (something goes into one of its collections) is created then,
// with the elements above it that are not created yet.
struct Frame {
    const ClassEntry& entry;
    uuid id;
    std::size_t offset;    // of the tag's name
    std::size_t idOffset;  // of the identity's text
    Given given;
    ModelElement element;
    // Where the element goes once created: the frame of its container and the containing property
    // (none at top level).
    Frame* parent;
    const PropertyEntry* via;
    std::size_t viaOffset;
    // The builder: the class's own, used again for the next element, or one of its own when it will be
    // nested into the builder of its container.
    ModelElement::Builder* builder;
    std::unique_ptr<ModelElement::Builder> owned;
    // References of this element and of the elements nested into its builder, restored once created.
    boost::container::small_vector<LaterReference, 2> later;
    // Identities (with their places) of the elements nested into its builder, to name the one a
    // refused creation is about.
    boost::container::small_vector<std::pair<uuid, std::size_t>, 4> nested;
    // The collection the latest contained element went into, for the next one.
    const PropertyEntry* collectionOf = nullptr;
    ReferenceCollection* collection = nullptr;

    bool pending() const noexcept { return !element; }
    // Whether the element, not created yet, goes into its container's builder.
    bool nests() const noexcept { return parent && parent->pending() && !via->many; }
};

class Loader {
public:
    Loader(const Source& source, std::string sourceName, const LoadOptions& options)
        : m_source(const_cast<Source&>(source)),
          m_scanner(source.begin(), source.end()),
          m_name(std::move(sourceName)),
          m_options(options),
          m_progress(options.progress) {}

    Model run() {
        try {
            return read();
        } catch (const Malformed& malformed) {
            fail(malformed.offset, std::string("malformed XML: ") + malformed.what);
        }
    }

private:
    Model read() {
        Token token = next();
        while (token == Token::Text) token = next();  // text outside the document element
        if (token != Token::Start || m_scanner.name() != "f:model")
            fail(token == Token::Start ? m_scanner.offset() : 0, "expected <f:model>");
        const std::size_t rootOffset = m_scanner.offset();
        readModelHeader();

        token = nextInside();
        if (token != Token::Start || m_scanner.name() != "f:metamodel") {
            if (token == Token::End) fail(rootOffset, "expected <f:metamodel>");
            fail(m_scanner.offset(), "expected <f:metamodel> before the elements");
        }
        readMetamodel();

        Model model;
        try {
            model = m_options.newIdentity ? Model::create() : Model::create(m_modelId);
        } catch (const MessageIdException&) {
            fail(rootOffset, "a model with the identity " + toString(m_modelId) + " is already open");
        }
        m_model = model.get();
        m_modelHandle = model;
        const bool recording = model->isUndoRecording();
        model->setUndoRecording(false);
        model->setRestoring(true);
        {
            // Abandoned, with every element made so far, when reading fails.
            Transaction transaction = model->beginTransaction(false);
            while ((token = nextInside()) == Token::Start) {
                if (m_scanner.name() == "f:metamodel")
                    fail(m_scanner.offset(), "expected <f:metamodel> once, before the elements");
                const ClassEntry* entry = classNamed(m_scanner.name());
                if (!entry)
                    fail(m_scanner.offset(),
                         "expected an element of a class the metamodel section lists, not <" +
                             std::string(m_scanner.name()) + ">");
                for (const XmlScanner::Attribute& a : m_scanner.attributes())
                    if (a.name == "f:type")
                        fail(m_scanner.offset(), "a top-level element is named by its class, without f:type");
                readElement(*entry, nullptr, nullptr, 0);
            }
            while ((token = next()) != Token::Eof)
                if (token == Token::Start) fail(m_scanner.offset(), "expected a single top-level element");
            restorePending();
            transaction.commit(boost::none);
        }
        model->setRestoring(false);
        model->setUndoRecording(recording);
        if (m_progress) m_progress(m_elements, m_elements);
        return model;
    }

    // --- reading

    Token next() { return m_scanner.next(); }

    // The next token inside an element: text there is refused, as every value is an attribute or
    // an <f:v> entry.
    Token nextInside() {
        Token token = next();
        if (token == Token::Text || token == Token::Cdata)
            fail(m_scanner.offset(), "expected an element, not text");
        return token;
    }

    const XmlScanner::Attribute* attribute(std::string_view name) const {
        for (const XmlScanner::Attribute& a : m_scanner.attributes())
            if (a.name == name) return &a;
        return nullptr;
    }

    const XmlScanner::Attribute& required(std::string_view name) const {
        const XmlScanner::Attribute* a = attribute(name);
        if (!a)
            fail(m_scanner.offset(), "expected the attribute " + std::string(name) + " on <" +
                                         std::string(m_scanner.name()) + ">");
        return *a;
    }

    // Attributes are all known, each at most once.
    void onlyAttributes(std::initializer_list<std::string_view> names) const {
        const auto& attributes = m_scanner.attributes();
        for (std::size_t i = 0; i < attributes.size(); ++i) {
            const XmlScanner::Attribute& a = attributes[i];
            if (std::find(names.begin(), names.end(), a.name) == names.end())
                fail(a.offset, "unexpected attribute " + std::string(a.name) + " on <" +
                                   std::string(m_scanner.name()) + ">");
            for (std::size_t j = i + 1; j < attributes.size(); ++j)
                if (attributes[j].name == a.name)
                    fail(attributes[j].offset, "attribute " + std::string(a.name) + " twice");
        }
    }

    // Reads the end tag of an element that must hold nothing (metamodel entries, <f:v>, proxies).
    void expectEmpty(const char* what) {
        Token token = next();
        if (token != Token::End) fail(m_scanner.offset(), what);
    }

    // --- locations and errors

    [[noreturn]] void fail(std::size_t offset, const std::string& what) const {
        throw InvalidFileException({toUtf16(location(offset)), toUtf16(what)});
    }

    // "file:line:column", counted in the bytes of the file.
    std::string location(std::size_t offset) const {
        const char* text = m_source.begin();
        const std::size_t end =
            std::min<std::size_t>(offset, static_cast<std::size_t>(m_source.end() - text));
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < end; ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                ++column;
            }
        }
        return m_name + ":" + std::to_string(line) + ":" + std::to_string(column);
    }

    uuid identityIn(const XmlScanner::Attribute& attribute, bool allowNil = false) const {
        boost::optional<uuid> parsed = parseIdentity(attribute.value);
        if (!parsed) fail(attribute.offset, "expected an identity (xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx)");
        const uuid id = *parsed;
        if (!allowNil && id.is_nil()) fail(attribute.offset, "expected an identity other than the nil one");
        return id;
    }

    // --- header

    void readModelHeader() {
        for (const XmlScanner::Attribute& a : m_scanner.attributes())
            if (a.name.substr(0, 5) != "xmlns" && a.name != "f:format" && a.name != "f:id")
                fail(a.offset, "unexpected attribute " + std::string(a.name) + " on <f:model>");
        const XmlScanner::Attribute& format = required("f:format");
        std::string_view text = format.value;
        bool digits = !text.empty() && text.size() < 9 &&
                      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        int version = digits ? std::stoi(std::string(text)) : 0;
        if (version < 1) fail(format.offset, "expected the file format version, a positive number");
        if (version > kFormatVersion)
            throw UnsupportedVersionException({toUtf16(location(format.offset)),
                                               u"the file was written by a newer version (file format " +
                                                   widenNumber(version) + u"); this version reads format " +
                                                   widenNumber(kFormatVersion) + u" and older"});
        m_modelId = identityIn(required("f:id"));
    }

    meta::Package findPackage(const XmlScanner::Attribute& uriAttribute) const {
        std::vector<meta::Package> known;
        for (const meta::Package& rootPackage : meta::MetaRegistry::getInstance()->getRootPackages())
            collectPackages(rootPackage, known);
        std::string uri(uriAttribute.value);
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
                    {toUtf16(location(uriAttribute.offset)),
                     toUtf16("the file was written with a newer version of the metamodel (" + uri +
                             "); this version has " + knownUri)});
        }
        fail(uriAttribute.offset, "expected the URI of a registered package, not " + uri);
    }

    void readMetamodel() {
        onlyAttributes({});
        Token token;
        while ((token = nextInside()) == Token::Start) {
            if (m_scanner.name() != "f:package") fail(m_scanner.offset(), "expected <f:package>");
            onlyAttributes({"uri"});
            meta::Package package = findPackage(required("uri"));
            while ((token = nextInside()) == Token::Start) {
                if (m_scanner.name() != "f:class") fail(m_scanner.offset(), "expected <f:class>");
                readClass(package);
            }
        }
    }

    void readClass(const meta::Package& package) {
        onlyAttributes({"name", "id"});
        const std::size_t offset = m_scanner.offset();
        const XmlScanner::Attribute& idAttribute = required("id");
        std::string name(required("name").value);
        meta::Class metaClass =
            handleCast<meta::Class>(meta::MetaRegistry::getInstance()->findElement(identityIn(idAttribute)));
        if (!metaClass)
            fail(idAttribute.offset, "expected the identity of a registered class (for " + name + ")");
        if (metaClass->getOwningPackage().get() != package.get())
            fail(idAttribute.offset, "the class " + name + " is not in the package the file names");
        if (classNamed(name)) fail(offset, "the class name " + name + " is listed twice");
        if (std::any_of(m_classes.begin(), m_classes.end(),
                        [&](const ClassEntry& c) { return c.metaClass.get() == metaClass.get(); }))
            fail(idAttribute.offset, "the class " + name + " is listed twice");
        ClassEntry entry{metaClass, name, {}, {}, nullptr, false};
        std::vector<meta::Property> all = metaClass->getAllProperties();
        Token token;
        while ((token = nextInside()) == Token::Start) {
            if (m_scanner.name() != "f:property") fail(m_scanner.offset(), "expected <f:property>");
            onlyAttributes({"name", "id"});
            const XmlScanner::Attribute& propertyId = required("id");
            std::string propertyName(required("name").value);
            uuid id = identityIn(propertyId);
            auto found = std::find_if(all.begin(), all.end(),
                                      [&](const meta::Property& p) { return p->getUuid() == id; });
            if (found == all.end())
                fail(propertyId.offset, "expected the identity of a property of " +
                                            toUtf8(metaClass->getQualifiedName()) + " (for " + propertyName +
                                            ")");
            if (!(*found)->hasIndex() || (*found)->isDerived())
                fail(propertyId.offset, "the property " + propertyName + " is derived and cannot be loaded");
            if (entry.find(propertyName) != SIZE_MAX ||
                std::any_of(entry.properties.begin(), entry.properties.end(),
                            [&](const PropertyEntry& p) { return p.property.get() == found->get(); }))
                fail(m_scanner.offset(), "the property " + propertyName + " is listed twice");
            entry.properties.push_back(PropertyEntry{*found,
                                                     propertyName,
                                                     persist::shapeOf(*found),
                                                     (*found)->isComposite(),
                                                     (*found)->isMany(),
                                                     nullptr,
                                                     false,
                                                     {}});
            expectEmpty("expected <f:property/> to hold nothing");
        }
        for (const meta::Property& property : all) {
            if (!property->hasIndex() || property->isDerived() || property->isTransient() ||
                !persist::isMandatoryValue(property))
                continue;
            auto listed =
                std::find_if(entry.properties.begin(), entry.properties.end(),
                             [&](const PropertyEntry& p) { return p.property.get() == property.get(); });
            entry.mandatory.emplace_back(listed == entry.properties.end()
                                             ? SIZE_MAX
                                             : static_cast<std::size_t>(listed - entry.properties.begin()),
                                         property.get());
        }
        m_classes.push_back(std::move(entry));
    }

    const ClassEntry* classNamed(std::string_view name) const {
        for (const ClassEntry& entry : m_classes)
            if (entry.name == name) return &entry;
        return nullptr;
    }

    // The class of elements contained through `p` that name no class of their own.
    const ClassEntry* declaredClass(const PropertyEntry& p) const {
        if (!p.childClassKnown) {
            p.childClass = nullptr;
            for (const ClassEntry& c : m_classes)
                if (c.metaClass.get() == p.property->typeImpl()) p.childClass = &c;
            p.childClassKnown = true;
        }
        return p.childClass;
    }

    // --- elements

    ModelElement::Builder& builderFor(const ClassEntry& entry) {
        if (!entry.builder || entry.builderCollected) {
            entry.builder = persist::newBuilder(entry.metaClass);
            entry.builderCollected = false;
            if (!entry.builder)
                fail(m_scanner.offset(), "the class " + entry.name + " cannot be instantiated");
            entry.builder->setModel(m_modelHandle);
        }
        ModelElement::Builder& builder = *entry.builder;
        for (std::size_t i = 0; i < builder.bitCount(); ++i) builder.markUnset(i);
        return builder;
    }

    // Reads an element whose start tag the scanner has just read, creates it (or nests its builder into
    // its container's) and puts it into the element of `parent` through `via` (none: a top-level
    // element), reading what it contains on the way.
    void readElement(const ClassEntry& entry, Frame* parent, const PropertyEntry* via,
                     std::size_t viaOffset) {
        const std::size_t offset = m_scanner.offset();
        if (entry.metaClass->isAbstract() || !entry.metaClass->hasBuilderFactory())
            fail(offset, "the class " + entry.name + " cannot be instantiated");
        const XmlScanner::Attribute& idAttribute = required("f:id");
        Frame frame{entry,
                    identityIn(idAttribute),
                    offset,
                    idAttribute.offset,
                    Given(entry.properties.size()),
                    ModelElement(),
                    parent,
                    via,
                    viaOffset,
                    nullptr,
                    nullptr,
                    {},
                    {}};
        if (frame.nests()) {
            frame.owned = persist::newBuilder(entry.metaClass);
            if (!frame.owned) fail(offset, "the class " + entry.name + " cannot be instantiated");
            frame.owned->setModel(m_modelHandle);
            frame.builder = frame.owned.get();
        } else {
            frame.builder = &builderFor(entry);
        }
        ModelElement::Builder& builder = *frame.builder;
        // A nested builder's element is created with the builder's identity.
        builder.setIdentity(frame.id);

        std::size_t hint = 0;
        for (const XmlScanner::Attribute& attribute : m_scanner.attributes()) {
            const std::string_view name = attribute.name;
            if (name == "f:id" || name == "f:type") continue;
            const std::size_t index = entry.find(name, hint);
            if (index == SIZE_MAX)
                fail(attribute.offset, "expected a property of " + entry.name + ", not " + std::string(name));
            hint = index + 1;
            const PropertyEntry& p = entry.properties[index];
            if (frame.given.test(index))
                fail(attribute.offset, "the property " + std::string(name) + " is given twice");
            frame.given.set(index);
            if (p.shape == persist::Shape::Element) {
                if (p.composite)
                    fail(attribute.offset, "expected " + std::string(name) + " as nested elements");
                const bool inFile =
                    attribute.value.data() >= m_source.begin() && attribute.value.data() < m_source.end();
                frame.later.push_back(LaterReference{
                    frame.id, &p, inFile ? attribute.value : std::string_view(),
                    inFile ? std::string() : std::string(attribute.value), !inFile, attribute.offset});
                continue;
            }
            if (p.many)
                fail(attribute.offset, "expected the values of " + std::string(name) + " as <f:v> entries");
            add(builder, p, attribute.offset, attribute.value);
        }

        Token token;
        while ((token = nextInside()) == Token::Start) {
            const std::size_t childOffset = m_scanner.offset();
            const std::size_t index = entry.find(m_scanner.name());
            if (index == SIZE_MAX)
                fail(childOffset, "expected a property of " + entry.name + ", not <" +
                                      std::string(m_scanner.name()) + ">");
            const PropertyEntry& p = entry.properties[index];
            if (p.composite) {
                if (!p.many && frame.given.test(index))
                    fail(childOffset, "the property " + p.name + " holds one element only");
                frame.given.set(index);
                if (const XmlScanner::Attribute* proxy = attribute("f:proxy")) {
                    onlyAttributes({"f:proxy"});
                    const std::size_t proxyOffset = proxy->offset;
                    const std::string text(proxy->value);
                    expectEmpty("expected a proxy alone in a single slot");
                    if (p.many) fail(childOffset, "expected a proxy alone in a single slot");
                    ensureCreated(frame);
                    restore(PendingReference{frame.element, &p, std::string(), proxyOffset}, true, text);
                    continue;
                }
                const ClassEntry* childClass = nullptr;
                if (const XmlScanner::Attribute* type = attribute("f:type")) {
                    childClass = classNamed(type->value);
                    if (!childClass)
                        fail(type->offset,
                             "expected a class the metamodel section lists, not " + std::string(type->value));
                } else {
                    childClass = declaredClass(p);
                    if (!childClass)
                        fail(childOffset, "expected f:type: the class of " + p.name + " is not listed");
                }
                // Elements of a collection are added one by one: the collection's owner must exist.
                if (p.many) ensureCreated(frame);
                readElement(*childClass, &frame, &p, childOffset);
            } else if (p.many && p.shape != persist::Shape::Element) {
                if (frame.given.test(index)) fail(childOffset, "the property " + p.name + " is given twice");
                frame.given.set(index);
                if (!m_scanner.attributes().empty())
                    fail(m_scanner.attributes().front().offset, "unexpected attribute");
                // Collections are collected by the builder: their values come before the element exists.
                if (!frame.pending())
                    fail(childOffset, "expected the values of " + p.name + " before the contained elements");
                readList(builder, p);
                if (&builder == entry.builder.get()) entry.builderCollected = true;
            } else {
                fail(childOffset, "expected " + p.name + " as an attribute");
            }
        }
        for (const auto& [index, property] : entry.mandatory)
            if (index == SIZE_MAX || !frame.given.test(index))
                fail(offset, "the mandatory property " + toUtf8(property->getName()) + " of " + entry.name +
                                 " has no value");
        if (frame.pending()) {
            if (frame.nests())
                nest(frame);
            else
                create(frame);
        }
        if (++m_elements % kProgressStep == 0) {
            if (m_progress) m_progress(m_elements, 0);
        }
        m_source.consumed(m_scanner.position());
    }

    // The <f:v> entries of a collection of values, into the builder.
    void readList(ModelElement::Builder& builder, const PropertyEntry& p) {
        Token token;
        while ((token = nextInside()) == Token::Start) {
            const std::size_t offset = m_scanner.offset();
            if (m_scanner.name() != "f:v" || !m_scanner.attributes().empty()) fail(offset, "expected <f:v>");
            token = next();
            if (token == Token::End) {
                add(builder, p, offset, "");
                continue;
            }
            if (token != Token::Text) fail(m_scanner.offset(), "expected the text of one value");
            const std::size_t textOffset = m_scanner.offset();
            add(builder, p, textOffset, m_scanner.text());
            if (next() != Token::End) fail(m_scanner.offset(), "expected the text of one value");
        }
    }

    // Hands the builder of a pending element to its container's builder, with what is restored later.
    void nest(Frame& frame) {
        Frame& parent = *frame.parent;
        try {
            parent.builder->setOrAdd(frame.via->property, frame.owned);
        } catch (const MessageIdException&) {
            fail(frame.viaOffset,
                 "an element of class " + frame.entry.name + " cannot be held by " + frame.via->name);
        }
        parent.nested.emplace_back(frame.id, frame.idOffset);
        parent.nested.insert(parent.nested.end(), frame.nested.begin(), frame.nested.end());
        for (LaterReference& r : frame.later) parent.later.push_back(std::move(r));
        frame.later.clear();
    }

    // Creates the element of `frame` now, with the pending elements above it: each one's builder goes
    // into its container's, the topmost is created, and the elements below are found by identity.
    void ensureCreated(Frame& frame) {
        if (!frame.pending()) return;
        boost::container::small_vector<Frame*, 8> chain{&frame};
        while (chain.back()->nests()) chain.push_back(chain.back()->parent);
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            Frame& below = *chain[i];
            try {
                below.parent->builder->setOrAdd(below.via->property, below.owned);
            } catch (const MessageIdException&) {
                fail(below.viaOffset,
                     "an element of class " + below.entry.name + " cannot be held by " + below.via->name);
            }
        }
        Frame& top = *chain.back();
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            top.nested.emplace_back(chain[i]->id, chain[i]->idOffset);
            top.nested.insert(top.nested.end(), chain[i]->nested.begin(), chain[i]->nested.end());
            chain[i]->nested.clear();
        }
        create(top);
        for (std::size_t i = chain.size() - 1; i-- > 0;) {
            Frame& below = *chain[i];
            below.element = m_model->findElement(below.id);
            if (!below.element) fail(below.offset, "the element was not built with the element holding it");
            restoreLater(below);
        }
    }

    // Creates the element of `frame` from its builder (with the elements nested into it), puts it into
    // its container, and restores the references collected for it.
    void create(Frame& frame) {
        try {
            frame.element = frame.builder->create(frame.id);
        } catch (const MessageIdException& error) {
            refusedCreation(frame, error);
        }
        frame.nested.clear();
        if (frame.via) {
            try {
                ModelElement::Impl& container = *frame.parent->element.get();
                if (frame.via->many) {
                    if (frame.parent->collectionOf != frame.via) {
                        Value value = persist::readValue(container, frame.via->property);
                        const auto* view = value.getIf<CollectionView>();
                        const auto* owned =
                            view ? dynamic_cast<const ReferenceCollection*>(view->collection) : nullptr;
                        if (!owned || &owned->owner() != &container)
                            throw InvalidValueException({frame.via->property->getQualifiedName()});
                        // The collection belongs to the container; the view only lends it out for reading.
                        frame.parent->collection = const_cast<ReferenceCollection*>(owned);
                        frame.parent->collectionOf = frame.via;
                    }
                    frame.parent->collection->_addCreated(frame.element);
                } else {
                    restoreValue(container, frame.via->property, Value::ofElement(frame.element));
                }
            } catch (const MessageIdException&) {
                fail(frame.viaOffset,
                     "an element of class " + frame.entry.name + " cannot be held by " + frame.via->name);
            }
        }
        restoreLater(frame);
    }

    // A refused creation names the identity used twice if that is why (one of the elements created
    // together, in the order of the file), else the element.
    [[noreturn]] void refusedCreation(const Frame& frame, const MessageIdException& error) {
        boost::container::small_vector<std::pair<uuid, std::size_t>, 8> made{{frame.id, frame.idOffset}};
        made.insert(made.end(), frame.nested.begin(), frame.nested.end());
        std::sort(made.begin(), made.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        for (std::size_t i = 0; i < made.size(); ++i) {
            const uuid& id = made[i].first;
            bool twice = static_cast<bool>(m_model->findElement(id));
            for (std::size_t j = 0; j < i && !twice; ++j) twice = made[j].first == id;
            if (twice)
                fail(made[i].second, "the identity " + toString(id) +
                                         " is used twice (an element in two places, or two elements with "
                                         "one identity)");
        }
        fail(frame.offset, std::string("the element cannot be built: ") + error.what());
    }

    void restoreLater(Frame& frame) {
        for (const LaterReference& r : frame.later) {
            ModelElement owner = r.owner == frame.id ? frame.element : m_model->findElement(r.owner);
            restore(PendingReference{owner, r.property, std::string(), r.offset}, true, r.value());
        }
        frame.later.clear();
    }

    void add(ModelElement::Builder& builder, const PropertyEntry& p, std::size_t offset,
             std::string_view text) {
        Value value = parse(p, offset, text);
        try {
            builder.setOrAdd(p.property, value);
        } catch (const MessageIdException& error) {
            fail(offset, "the value of " + p.name + " is refused: " + error.what());
        }
    }

    Value parse(const PropertyEntry& p, std::size_t offset, std::string_view text) {
        switch (p.shape) {
            case persist::Shape::String:
                if (!utf8::is_valid(text.begin(), text.end())) break;
                return Value::ofString(utf16Of(text));
            case persist::Shape::Integer: {
                std::int32_t value = 0;
                auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
                if (text.empty() || error != std::errc() || end != text.data() + text.size())
                    fail(offset, "expected a 32-bit decimal integer for " + p.name + ", not \"" +
                                     std::string(text) + "\"");
                return Value::ofInteger(value);
            }
            case persist::Shape::Enum:
                for (const auto& [literal, value] : p.literals)
                    if (literal == text) return value;
                break;
            default:
                break;
        }
        if (!utf8::is_valid(text.begin(), text.end())) fail(offset, "expected UTF-8 text for " + p.name);
        try {
            Value value = persist::parseText(p.property, p.shape, utf16Of(text));
            if (p.shape == persist::Shape::Enum && p.literals.size() < kLiteralCache)
                p.literals.emplace_back(std::string(text), value);
            return value;
        } catch (const persist::ParseFailure& failure) {
            fail(offset,
                 std::string(failure.what()) + " for " + p.name + ", not \"" + std::string(text) + "\"");
        }
    }

    // --- references

    // The element a token names, or an empty handle when it is an identity of no element (yet).
    ModelElement target(const PendingReference& r, std::string_view token) {
        std::size_t hash = token.find('#');
        if (hash == std::string_view::npos) return m_model->findElement(tokenId(r, token));
        std::size_t colon = token.find(':');
        meta::Class metaClass = handleCast<meta::Class>(ModelElement(r.property->property->getType()));
        if (colon != std::string_view::npos && colon < hash) {
            const ClassEntry* entry = classNamed(token.substr(0, colon));
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
        ModelElement proxy = m_model->createProxy(metaClass, ProxyId(elementId, modelId));
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

    // Restores one reference. With `deferrable`, a reference to an identity not read yet, and one
    // with many targets (checked against the opposite ends), is kept for the end instead.
    void restore(const PendingReference& r, bool deferrable, std::string_view text = {}) {
        if (!deferrable) text = r.text;
        if (deferrable && r.property->many) {
            m_pending.push_back(PendingReference{r.owner, r.property, std::string(text), r.offset});
            return;
        }
        boost::container::small_vector<ModelElement, 1> targets;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find(' ', start);
            if (end == std::string_view::npos) end = text.size();
            if (end == start) fail(r.offset, "expected identities separated by single blanks");
            std::string_view token = text.substr(start, end - start);
            ModelElement found = target(r, token);
            if (!found) {
                if (deferrable) {
                    m_pending.push_back(PendingReference{r.owner, r.property, std::string(text), r.offset});
                    return;
                }
                fail(r.offset, "expected the identity of an element of the file, not " + std::string(token));
            }
            targets.push_back(std::move(found));
            start = end + 1;
        }
        if (!r.property->many && targets.size() != 1)
            fail(r.offset, "expected one identity for " + r.property->name);
        ModelElement::Impl& owner = *r.owner.get();
        try {
            if (!r.property->many) {
                if (persist::hasValue(owner, r.property->property)) {
                    Value::List entries = persist::entriesOf(persist::readValue(owner, r.property->property));
                    if (entries.size() == 1 && entries[0].getElement() == targets[0]) return;
                }
                if (r.property->composite && !targets[0]->isProxy())
                    fail(r.offset, "expected a proxy (model#element) in f:proxy");
                // A reference into another model is linked at this end only, as the other model may not
                // be open; a slot takes its proxy through its setter.
                if (targets[0]->isProxy() && !r.property->composite)
                    owner.basicAssociate(targets[0], r.property->property);
                else
                    restoreValue(owner, r.property->property, Value::ofElement(targets[0]));
                return;
            }
            // Many-valued references are restored through their opposite ends; check they are.
            Value::List entries = persist::entriesOf(persist::readValue(owner, r.property->property));
            std::vector<const ModelElement::Impl*> have, want;
            for (const Value& entry : entries) have.push_back(entry.getElement().get());
            for (const ModelElement& t : targets) want.push_back(t.get());
            std::sort(have.begin(), have.end());
            std::sort(want.begin(), want.end());
            if (have != want) fail(r.offset, "the references of " + r.property->name + " cannot be restored");
        } catch (const MessageIdException& error) {
            fail(r.offset, "the reference " + r.property->name + " is refused: " + error.what());
        }
    }

    // References kept for the end, in the order the file gives them.
    void restorePending() {
        for (const PendingReference& r : m_pending) restore(r, false);
        m_pending.clear();
    }

    Source& m_source;
    XmlScanner m_scanner;
    std::string m_name;
    const LoadOptions& m_options;
    const Progress& m_progress;
    uuid m_modelId{};
    Model::Impl* m_model = nullptr;
    Model m_modelHandle;
    std::vector<ClassEntry> m_classes;
    std::vector<PendingReference> m_pending;
    std::map<std::pair<uuid, uuid>, ModelElement> m_proxies;
    std::size_t m_elements = 0;
};

}  // namespace

Model loadModel(const std::string& path, const LoadOptions& options) {
    Source source(path);
    return Loader(source, path, options).run();
}

Model readModel(std::string_view text, const std::string& sourceName, const LoadOptions& options) {
    Source source(text);
    return Loader(source, sourceName, options).run();
}

}  // namespace fenmo::xml
