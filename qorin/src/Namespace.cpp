#include "Bindings.hpp"

#include <fenmo/qorin/Builders.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>
#include <fenmo/qorin/Wrappers.hpp>

#include <fenmo/Exceptions.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/meta/StandardTypes.hpp>
#include <plexo/Factory.hpp>

#include <unordered_map>

namespace fenmo::qorin {

using plexo::HostArray;
namespace pf = plexo::factory;

// --- namespaces and marshalers ----------------------------------------------------------------------------

namespace {
struct MarshalerEntry {
    meta::Type type;
    std::unique_ptr<ValueMarshaler> marshaler;
};
std::unordered_map<const ModelElement::Impl*, MarshalerEntry>& marshalers() {
    static auto* map = new std::unordered_map<const ModelElement::Impl*, MarshalerEntry>;
    return *map;
}
// The layer's own marshalers of element classes, made on first need.
std::unordered_map<const ModelElement::Impl*, MarshalerEntry>& elementMarshalers() {
    static auto* map = new std::unordered_map<const ModelElement::Impl*, MarshalerEntry>;
    return *map;
}
}  // namespace

EmptyParentNamespace::~EmptyParentNamespace() = default;

void EmptyParentNamespace::Registrar::registerNamespace(EmptyParentNamespace* info) {
    plexo::registerNamespace(info);
}

void EmptyParentNamespace::Registrar::registerTypeMarshaler(const meta::Type& type,
                                                            ValueMarshaler* marshaler) {
    std::unique_ptr<ValueMarshaler> owned(marshaler);
    if (!type.get()) return;
    marshalers()[type.get()] = MarshalerEntry{type, std::move(owned)};
}

void EmptyParentNamespace::Registrar::unregisterTypeMarshaler(const meta::Type& type) {
    marshalers().erase(type.get());
}

ValueMarshaler* EmptyParentNamespace::Registrar::findTypeMarshaler(const meta::Type& type) {
    auto it = marshalers().find(type.get());
    return it == marshalers().end() ? nullptr : it->second.marshaler.get();
}

ValueMarshaler* marshalerFor(const meta::Type& type) {
    if (ValueMarshaler* m = EmptyParentNamespace::Registrar::findTypeMarshaler(type)) return m;
    if (!dynamic_cast<const meta::Class::Impl*>(type.get())) return nullptr;
    auto& entry = elementMarshalers()[type.get()];
    if (!entry.marshaler) {
        entry.type = type;
        entry.marshaler = std::make_unique<ElementValueMarshaler>(type);
    }
    return entry.marshaler.get();
}

// --- the framework's scripting classes --------------------------------------------------------------------

namespace {

using Body = pf::PlexoMethod::Body;

pf::PlexoMethod* method(const std::string& name, std::vector<std::string> outputs,
                        std::vector<std::string> inputs, std::size_t required, Body body,
                        plexo::MethodAttributes attributes = plexo::DefaultAttributes) {
    auto* m = new pf::PlexoMethod(name, attributes, "", std::move(body));
    pf::createSignatureImpl(m->signature(), false, "", std::move(outputs), std::move(inputs), required);
    return m;
}

ModelElement selfElement(const HostArray& object) {
    return pf::validateSelfPointer<ModelElement>(
        plexo::getNativeObject(plexo::makeInterned(kModelElementClass), object));
}

meta::Property propertyNamed(const ModelElement& element, const std::u16string& name) {
    for (const meta::Property& p : Reflection().properties(element))
        if (p->getName() == name) return p;
    throw InvalidValueException({name});
}

ValueMarshaler& requireMarshaler(const meta::Property& property) {
    ValueMarshaler* m = marshalerFor(property->getType());
    if (!m) throw CannotCastIncompatibleTypesException({property->getType()->getQualifiedName()});
    return *m;
}

class ModelElementInfo final : public FenmoWrapperInfo<ModelElement> {
public:
    ModelElementInfo() : FenmoWrapperInfo("ModelElement", kModelElementClass) {}
    bool isAbstract() const override { return true; }
    void defineClass(plexo::ClassDefinition& definition) override {
        pf::initStringDataTypes();
        definition.addProperty(new pf::PropertyImpl(
            "uuid",
            getter("PlexoFactoryString scalar",
                   [](const ModelElement& e) { return textToHost(toU16String(e->getUuid())); }),
            nullptr, 0));
        const std::string self = kModelElementClass;
        definition.addMethod(method(
            "isValid", {"logical"}, {self}, 1, [](int& n, HostArray** out, int, const HostArray* const* in) {
                // A destroyed element is still bound: the question must not be refused.
                void* native = plexo::getNativeObject(plexo::makeInterned(kModelElementClass), *in[0]);
                const bool valid = native && ModelElement(static_cast<ModelElement::Impl*>(native), true);
                out[0] = plexo::createLogicalScalar(valid);
                n = 1;
            }));
        definition.addMethod(method("getModel", {kModelClass}, {self}, 1,
                                    [](int& n, HostArray** out, int, const HostArray* const* in) {
                                        out[0] = modelToHost(selfElement(*in[0])->getModel());
                                        n = 1;
                                    }));
        definition.addMethod(method(
            "getContainer", {self}, {self}, 1, [](int& n, HostArray** out, int, const HostArray* const* in) {
                out[0] = elementToHost(selfElement(*in[0])->container(), ModelElement::metaClass());
                n = 1;
            }));
        definition.addMethod(method("getMetaClass", {kMetaClassClass}, {self}, 1,
                                    [](int& n, HostArray** out, int, const HostArray* const* in) {
                                        out[0] = metaClassToHost(selfElement(*in[0])->getMetaClass());
                                        n = 1;
                                    }));
        definition.addMethod(
            method("destroy", {}, {self}, 1, [](int& n, HostArray**, int, const HostArray* const* in) {
                selfElement(*in[0])->destroy();
                n = 0;
            }));
        definition.addMethod(method("getPropertyValue", {"any"}, {self, "char"}, 2,
                                    [](int& n, HostArray** out, int, const HostArray* const* in) {
                                        ModelElement e = selfElement(*in[0]);
                                        meta::Property p = propertyNamed(e, textFromHost(*in[1]));
                                        Value value = Reflection().get(e, p);
                                        if (const auto* view = value.getIf<CollectionView>();
                                            view &&
                                            dynamic_cast<const meta::Class::Impl*>(p->getType().get()))
                                            out[0] = collectionToHost(view->collection);
                                        else
                                            out[0] = requireMarshaler(p).toHostArray(value);
                                        n = 1;
                                    }));
        definition.addMethod(method("setPropertyValue", {}, {self, "char", "any"}, 3,
                                    [](int& n, HostArray**, int, const HostArray* const* in) {
                                        ModelElement e = selfElement(*in[0]);
                                        meta::Property p = propertyNamed(e, textFromHost(*in[1]));
                                        Value value = requireMarshaler(p).fromHostArray(*in[2], p->getKind());
                                        if (!value.hasPayload() && value.getFlags() == ValueKind::Optional)
                                            Reflection().unset(e, p);
                                        else
                                            Reflection().set(e, p, value);
                                        n = 0;
                                    }));
    }
};

// --- models -----------------------------------------------------------------------------------------------

detail::ModelEntry& selfModel(const HostArray& object) {
    void* native = plexo::getNativeObject(plexo::makeInterned(kModelClass), object);
    auto it = detail::models().find(static_cast<const Model::Impl*>(native));
    if (!native || it == detail::models().end()) pf::raiseInvalidHandle();
    return *it->second;
}

class ModelInfo final : public pf::HandleClassInfo<Model, 0> {
public:
    ModelInfo() : HandleClassInfo("Model", kModelClass) {}
    void release(void* native) override {
        if (pf::BindingRegistry::remove(native))
            detail::models().erase(static_cast<const Model::Impl*>(native));
    }
    void defineClass(plexo::ClassDefinition& definition) override {
        const std::string self = kModelClass;
        definition.addMethod(
            method("Model", {self}, {}, 0, [](int& n, HostArray** out, int, const HostArray* const*) {
                Model model = Model::create();
                auto entry = std::make_unique<detail::ModelEntry>();
                entry->model = model;
                pf::BindingRegistry::announceForConstructor(model.get(), plexo::makeInterned(kModelClass),
                                                            *out[0], true);
                detail::models()[model.get()] = std::move(entry);
                n = 1;
            }));
        auto simple = [&](const std::string& name, auto f) {
            definition.addMethod(method(name, {"any"}, {self}, 1,
                                        [f](int& n, HostArray** out, int, const HostArray* const* in) {
                                            out[0] = f(selfModel(*in[0]));
                                            n = out[0] ? 1 : 0;
                                        }));
        };
        simple("beginTransaction", [](detail::ModelEntry& m) -> HostArray* {
            m.open.push_back(m.model->beginTransaction(false));
            return nullptr;
        });
        simple("commit", [](detail::ModelEntry& m) -> HostArray* {
            if (m.open.empty()) throw InvalidOperationException({u"no transaction is open"});
            m.open.back().commit(boost::none);
            m.open.pop_back();
            return nullptr;
        });
        simple("rollback", [](detail::ModelEntry& m) -> HostArray* {
            if (m.open.empty()) throw InvalidOperationException({u"no transaction is open"});
            m.open.pop_back();  // abandoned
            return nullptr;
        });
        simple("undo", [](detail::ModelEntry& m) -> HostArray* {
            if (!m.model->canUndo()) throw InvalidOperationException({u"nothing to undo"});
            m.model->undo();
            return nullptr;
        });
        simple("redo", [](detail::ModelEntry& m) -> HostArray* {
            if (!m.model->canRedo()) throw InvalidOperationException({u"nothing to redo"});
            m.model->redo();
            return nullptr;
        });
        simple("canUndo",
               [](detail::ModelEntry& m) { return plexo::createLogicalScalar(m.model->canUndo()); });
        simple("canRedo",
               [](detail::ModelEntry& m) { return plexo::createLogicalScalar(m.model->canRedo()); });
        simple("elementCount", [](detail::ModelEntry& m) {
            return plexo::createDoubleScalar(static_cast<double>(m.model->elementCount()));
        });
        definition.addMethod(method("findElement", {kModelElementClass}, {self, "char"}, 2,
                                    [](int& n, HostArray** out, int, const HostArray* const* in) {
                                        detail::ModelEntry& m = selfModel(*in[0]);
                                        boost::optional<uuid> id = extractUuid(*in[1]);
                                        if (!id) throw InvalidValueException({textFromHost(*in[1])});
                                        out[0] = elementToHost(m.model->findElement(*id),
                                                               ModelElement::metaClass());
                                        n = 1;
                                    }));
    }
};

// --- collections ------------------------------------------------------------------------------------------

struct CollectionSelf {
    const AbstractCollection* collection;
    detail::CollectionEntry* entry;
    GenericCollectionInterface& generic() const {
        if (!entry->generic)
            throw plexo::HostError(pf::kClassCatalog, "ReadOnlyCollection",
                                   "the collection cannot be changed from here");
        return *entry->generic;
    }
};

CollectionSelf selfCollection(const HostArray& object) {
    void* native = plexo::getNativeObject(plexo::makeInterned(kSetClass), object);
    auto* collection = static_cast<const AbstractCollection*>(native);
    auto it = detail::collections().find(collection);
    if (!native || it == detail::collections().end() || !it->second.owner) pf::raiseInvalidHandle();
    return {collection, &it->second};
}

// 1-based position given by the script, as a 0-based index (refused when not a positive whole number).
std::size_t positionOf(const HostArray& array) {
    const double d = plexo::getScalarDouble(array);
    if (array.numel() != 1 || !plexo::isNumeric(&array) || d < 1 ||
        d != static_cast<double>(static_cast<std::size_t>(d)))
        throw InvalidValueException({u"position"});
    return static_cast<std::size_t>(d) - 1;
}

class CollectionInfo final : public pf::HandleClassInfo<AbstractCollection, 0> {
public:
    CollectionInfo(std::string shortName, std::string fullName, bool sequence, bool derived)
        : HandleClassInfo(std::move(shortName), std::move(fullName)),
          m_sequence(sequence),
          m_derived(derived) {}
    bool isAbstract() const override { return true; }  // made by the framework, never by scripts
    void release(void* native) override {
        if (pf::BindingRegistry::remove(native))
            detail::collections().erase(static_cast<const AbstractCollection*>(native));
    }
    void defineClass(plexo::ClassDefinition& definition) override {
        const std::string self = getFullName();
        if (m_derived) {
            definition.addSuperclass(plexo::makeInterned(kSetClass), 1, 0, 1);
        } else {
            definition.addMethod(method(
                "size", {"double"}, {self}, 1, [](int& n, HostArray** out, int, const HostArray* const* in) {
                    out[0] = plexo::createDoubleScalar(
                        static_cast<double>(selfCollection(*in[0]).collection->size()));
                    n = 1;
                }));
            definition.addMethod(
                method("at", {kModelElementClass}, {self, "double"}, 2,
                       [](int& n, HostArray** out, int, const HostArray* const* in) {
                           CollectionSelf c = selfCollection(*in[0]);
                           const std::size_t i = positionOf(*in[1]);
                           const Value::List values = c.collection->toValues();
                           if (i >= values.size())
                               throw InvalidValueException(
                                   {u"position " + widenNumber(static_cast<long long>(i + 1))});
                           out[0] = elementToHost(values[i].getElement(), ModelElement::metaClass());
                           n = 1;
                       }));
            // The elements in the collection's order, as a cell array to iterate over.
            definition.addMethod(method(
                "elements", {"cell"}, {self}, 1,
                [](int& n, HostArray** out, int, const HostArray* const* in) {
                    const Value::List values = selfCollection(*in[0]).collection->toValues();
                    plexo::Array cells(plexo::createCellMatrix(1, values.size()));
                    for (std::size_t i = 0; i < values.size(); ++i)
                        cells->setCell(i, elementToHost(values[i].getElement(), ModelElement::metaClass()));
                    out[0] = cells.release();
                    n = 1;
                }));
            definition.addMethod(method("contains", {"logical"}, {self, kModelElementClass}, 2,
                                        [](int& n, HostArray** out, int, const HostArray* const* in) {
                                            CollectionSelf c = selfCollection(*in[0]);
                                            ModelElement e =
                                                elementFromHost(*in[1], ModelElement::metaClass());
                                            bool found = false;
                                            for (const Value& v : c.collection->toValues())
                                                found = found || (e.get() && v.getElement() == e);
                                            out[0] = plexo::createLogicalScalar(found);
                                            n = 1;
                                        }));
            definition.addMethod(method("add", {}, {self, kModelElementClass}, 2,
                                        [](int& n, HostArray**, int, const HostArray* const* in) {
                                            CollectionSelf c = selfCollection(*in[0]);
                                            c.generic().add(requireElement(*in[1]));
                                            n = 0;
                                        }));
            definition.addMethod(method("remove", {"logical"}, {self, kModelElementClass}, 2,
                                        [](int& n, HostArray** out, int, const HostArray* const* in) {
                                            CollectionSelf c = selfCollection(*in[0]);
                                            out[0] = plexo::createLogicalScalar(c.generic().remove(
                                                elementFromHost(*in[1], ModelElement::metaClass())));
                                            n = 1;
                                        }));
            definition.addMethod(
                method("clear", {}, {self}, 1, [](int& n, HostArray**, int, const HostArray* const* in) {
                    selfCollection(*in[0]).generic().clear();
                    n = 0;
                }));
        }
        if (m_sequence) {
            definition.addMethod(method("insert", {}, {self, "double", kModelElementClass}, 3,
                                        [](int& n, HostArray**, int, const HostArray* const* in) {
                                            CollectionSelf c = selfCollection(*in[0]);
                                            sequence(c).insert(positionOf(*in[1]), requireElement(*in[2]));
                                            n = 0;
                                        }));
            definition.addMethod(method("replace", {}, {self, "double", kModelElementClass}, 3,
                                        [](int& n, HostArray**, int, const HostArray* const* in) {
                                            CollectionSelf c = selfCollection(*in[0]);
                                            sequence(c).at(positionOf(*in[1])) = requireElement(*in[2]);
                                            n = 0;
                                        }));
            definition.addMethod(method("erase", {}, {self, "double"}, 2,
                                        [](int& n, HostArray**, int, const HostArray* const* in) {
                                            CollectionSelf c = selfCollection(*in[0]);
                                            sequence(c).erase(positionOf(*in[1]));
                                            n = 0;
                                        }));
        }
    }

private:
    // The element an input stands for; an object that stands for none is refused.
    static ModelElement requireElement(const HostArray& array) {
        ModelElement e = elementFromHost(array, ModelElement::metaClass());
        if (!e.get()) throw CannotAddNonExistentObjectException();
        return e;
    }
    static GenericSequenceInterface& sequence(const CollectionSelf& c) {
        auto* s = dynamic_cast<GenericSequenceInterface*>(&c.generic());
        if (!s)
            throw plexo::HostError(pf::kClassCatalog, "ReadOnlyCollection",
                                   "the collection has no positions to change");
        return *s;
    }

    bool m_sequence;
    bool m_derived;
};

// --- metaclasses ------------------------------------------------------------------------------------------

class MetaClassInfo final : public FenmoWrapperInfo<meta::Class> {
public:
    MetaClassInfo() : FenmoWrapperInfo("Class", kMetaClassClass) {}
    bool isAbstract() const override { return true; }
    void defineClass(plexo::ClassDefinition& definition) override {
        definition.addSuperclass(plexo::makeInterned(kModelElementClass), 1, 0, 1);
        pf::initStringDataTypes();
        definition.addProperty(
            new pf::PropertyImpl("name",
                                 getter("PlexoFactoryString scalar",
                                        [](const meta::Class& c) { return textToHost(c->getName()); }),
                                 nullptr, 0));
        definition.addProperty(new pf::PropertyImpl(
            "qualifiedName",
            getter("PlexoFactoryString scalar",
                   [](const meta::Class& c) { return textToHost(c->getQualifiedName()); }),
            nullptr, 0));
        definition.addProperty(new pf::PropertyImpl(
            "isAbstract",
            getter("logical scalar",
                   [](const meta::Class& c) { return plexo::createLogicalScalar(c->isAbstract()); }),
            nullptr, 0));
        definition.addMethod(method("getPropertyNames", {"cell"}, {kMetaClassClass}, 1,
                                    [](int& n, HostArray** out, int, const HostArray* const* in) {
                                        meta::Class c = self(plexo::getNativeObject(
                                            plexo::makeInterned(kMetaClassClass), *in[0]));
                                        const std::vector<meta::Property> properties = c->getAllProperties();
                                        plexo::Array names(plexo::createCellMatrix(1, properties.size()));
                                        for (std::size_t i = 0; i < properties.size(); ++i)
                                            names->setCell(i, textToHost(properties[i]->getName()));
                                        out[0] = names.release();
                                        n = 1;
                                    }));
    }
};

class FenmoNamespace final : public EmptyParentNamespace {
public:
    FenmoNamespace() : EmptyParentNamespace("fenmo") {}
    void populateNamespace(plexo::NamespaceDefinition& definition) override {
        definition.addClass(new ModelElementInfo, 0, 2);
        definition.addClass(new ModelInfo, 0, 2);
        definition.addClass(new MetaClassInfo, 0, 2);
        definition.addClass(new CollectionInfo("Set", kSetClass, false, false), 0, 2);
        definition.addClass(new CollectionInfo("Sequence", kSequenceClass, true, true), 0, 2);
        definition.addClass(new CollectionInfo("Map", kMapClass, false, true), 0, 2);
        definition.addClass(new CollectionInfo("Multimap", kMultimapClass, false, true), 0, 2);
    }
};

}  // namespace

void initialize() {
    plexo::setErrorTranslator([](const std::exception& error, plexo::HostError& out) {
        const auto* e = dynamic_cast<const MessageIdException*>(&error);
        if (!e) return false;
        out = plexo::HostError(e->catalog(), e->key(), e->what(), e->arguments());
        return true;
    });
    using meta::StandardTypes;
    if (!EmptyParentNamespace::Registrar::findTypeMarshaler(StandardTypes::stringMeta()))
        EmptyParentNamespace::Registrar::registerTypeMarshaler(
            StandardTypes::stringMeta(), new StringValueMarshaler(StandardTypes::stringMeta()));
    if (!EmptyParentNamespace::Registrar::findTypeMarshaler(StandardTypes::integerMeta()))
        EmptyParentNamespace::Registrar::registerTypeMarshaler(
            StandardTypes::integerMeta(), new IntegerValueMarshaler(StandardTypes::integerMeta()));
    if (!EmptyParentNamespace::Registrar::findTypeMarshaler(StandardTypes::booleanMeta()))
        EmptyParentNamespace::Registrar::registerTypeMarshaler(
            StandardTypes::booleanMeta(), new BooleanValueMarshaler(StandardTypes::booleanMeta()));
    if (!plexo::isNamespaceRegistered("fenmo"))
        EmptyParentNamespace::Registrar::registerNamespace(new FenmoNamespace);
}

}  // namespace fenmo::qorin
