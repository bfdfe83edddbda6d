#include "Bindings.hpp"

#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Namespace.hpp>

#include <fenmo/Text.hpp>
#include <fenmo/meta/Property.hpp>
#include <plexo/Factory.hpp>

#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace fenmo::qorin {

using plexo::ArrayKind;
using plexo::HostArray;
namespace pf = plexo::factory;

namespace detail {
std::unordered_map<const AbstractCollection*, CollectionEntry>& collections() {
    static auto* map = new std::unordered_map<const AbstractCollection*, CollectionEntry>;
    return *map;
}
std::unordered_map<const Model::Impl*, std::unique_ptr<ModelEntry>>& models() {
    static auto* map = new std::unordered_map<const Model::Impl*, std::unique_ptr<ModelEntry>>;
    return *map;
}
}  // namespace detail

namespace {
// Metaclasses whose scripting class bears their own name, found once: an element's getter asks for
// every element it hands out. Each entry holds its metaclass, so the key cannot be reused.
struct KnownClasses {
    std::mutex mutex;
    std::unordered_map<const meta::Class::Impl*, std::pair<meta::Class, plexo::ClassId>> byMetaClass;
};
KnownClasses& knownClasses() {
    static auto* known = new KnownClasses;  // left to the process: metaclass handles outlive statics
    return *known;
}
}  // namespace

plexo::ClassId scriptingClassOf(const meta::Class& cls) {
    KnownClasses& known = knownClasses();
    if (cls.get()) {
        std::lock_guard<std::mutex> lock(known.mutex);
        auto found = known.byMetaClass.find(cls.get());
        // A class the host has since cleared is looked for again.
        if (found != known.byMetaClass.end() && plexo::findClass(found->second.second))
            return found->second.second;
    }
    std::deque<meta::Class> todo{cls};
    while (!todo.empty()) {
        meta::Class c = todo.front();
        todo.pop_front();
        if (!c.get()) continue;
        plexo::ClassId id = plexo::makeInterned(toUtf8(c->getQualifiedName()));
        if (plexo::findClass(id)) {
            // Only a class's own scripting class is kept: one registered later for a class that now
            // shares its superclass's must still be found.
            if (c.get() == cls.get()) {
                std::lock_guard<std::mutex> lock(known.mutex);
                known.byMetaClass.insert_or_assign(cls.get(), std::make_pair(cls, id));
            }
            return id;
        }
        for (const meta::Class& super : c->getSuperclasses()) todo.push_back(super);
    }
    return plexo::makeInterned(kModelElementClass);
}

namespace {
// Elements of the registry (metaclasses) have no metaclass of their own: theirs is the layer's class.
plexo::ClassId scriptingClassOfElement(const ModelElement::Impl& element) {
    const meta::Class& metaClass = element.getMetaClass();
    if (!metaClass.get() && dynamic_cast<const meta::Class::Impl*>(&element))
        return plexo::makeInterned(kMetaClassClass);
    return scriptingClassOf(metaClass);
}
}  // namespace

HostArray* elementToHost(const ModelElement& element, const meta::Class& declared) {
    ModelElement::Impl* impl = element.get();
    const plexo::ClassId cls = impl ? scriptingClassOfElement(*impl) : scriptingClassOf(declared);
    bool isNew = false;
    HostArray* out = pf::BindingRegistry::announce(impl, cls, isNew);
    // The scripting object holds one reference while the host keeps it.
    if (isNew && impl) impl->addRef();
    return out;
}

ModelElement elementFromHost(const HostArray& array, const meta::Class& declared, std::size_t i) {
    if (array.kind() == ArrayKind::Cell) {
        const HostArray* cell = array.getCell(i);
        return cell ? elementFromHost(*cell, declared, 0) : ModelElement();
    }
    if (i >= array.numel()) return ModelElement();
    void* native = plexo::getNativeObject(scriptingClassOf(declared), array, i);
    if (!native) return ModelElement();
    ModelElement element(static_cast<ModelElement::Impl*>(native), true);
    // The scripting classes mirror the metaclasses, but a class without scripting class of its own
    // shares its superclass's: check the metaclass too.
    if (declared.get() && declared.get() != ModelElement::metaClass().get()) {
        const meta::Class& actual = element->getMetaClass();
        if (!actual.get() || !actual->conformsTo(declared)) return ModelElement();
    }
    return element;
}

void releaseElementBinding(void* native) {
    if (pf::BindingRegistry::remove(native) && native) static_cast<ModelElement::Impl*>(native)->removeRef();
}

HostArray* collectionToHost(const AbstractCollection* collection,
                            std::unique_ptr<GenericCollectionInterface> generic, const char* scriptingClass) {
    const char* name = scriptingClass ? scriptingClass : kSetClass;
    if (!scriptingClass)
        if (const auto* owned = dynamic_cast<const AbstractOwnedCollection*>(collection)) {
            if (owned->property().getKind() == ValueKind::Sequence)
                name = kSequenceClass;
            else if (owned->property().getKind() == ValueKind::Map)
                name = kMapClass;
        }
    bool isNew = false;
    HostArray* out = pf::BindingRegistry::announce(const_cast<AbstractCollection*>(collection),
                                                   plexo::makeInterned(name), isNew);
    if (!collection) return out;
    auto& entry = detail::collections()[collection];
    if (isNew) entry.owner = collection->ownerElement();
    if (generic && !entry.generic) entry.generic = std::move(generic);
    return out;
}

HostArray* modelToHost(const Model& model) {
    bool isNew = false;
    HostArray* out = pf::BindingRegistry::announce(model.get(), plexo::makeInterned(kModelClass), isNew);
    if (isNew && model) {
        auto entry = std::make_unique<detail::ModelEntry>();
        entry->model = model;
        detail::models()[model.get()] = std::move(entry);
    }
    return out;
}

Model modelFromHost(const HostArray& array) {
    if (array.numel() == 0) return Model();
    auto* impl = static_cast<Model::Impl*>(plexo::getNativeObject(plexo::makeInterned(kModelClass), array));
    auto it = detail::models().find(impl);
    return it == detail::models().end() ? Model() : it->second->model;
}

HostArray* metaClassToHost(const meta::Class& cls) {
    return elementToHost(cls, ModelElement::metaClass());
}

HostArray* textToHost(const std::u16string& text) {
    return plexo::createStringUtf16(text);
}

HostArray* textToHost(const boost::optional<std::u16string>& text) {
    return plexo::createStringUtf16(text ? *text : std::u16string());
}

std::u16string textFromHost(const HostArray& array) {
    if (array.numel() == 0 && array.kind() != ArrayKind::String) return {};
    return pf::extractString(array);
}

HostArray* optionalInt32ToHost(const boost::optional<std::int32_t>& value) {
    if (!value) return plexo::createNumericMatrix(0, 0, plexo::NumericClass::Int32);
    return plexo::createInt32Scalar(*value);
}

boost::optional<std::int32_t> optionalInt32FromHost(const HostArray& array) {
    if (array.numel() == 0) return boost::none;
    if (!plexo::isNumeric(&array) && array.kind() != ArrayKind::Logical) {
        const std::string name = plexo::getClassName(array);
        throw CannotCastIncompatibleTypesException({toUtf16(name)});
    }
    return static_cast<std::int32_t>(plexo::getScalarDouble(array, 0));
}

HostArray* optionalLogicalToHost(const boost::optional<bool>& value) {
    if (!value) return plexo::createLogicalMatrix(0, 0);
    return plexo::createLogicalScalar(*value);
}

boost::optional<bool> optionalLogicalFromHost(const HostArray& array) {
    if (array.numel() == 0) return boost::none;
    if (!plexo::isNumeric(&array) && array.kind() != ArrayKind::Logical) {
        const std::string name = plexo::getClassName(array);
        throw CannotCastIncompatibleTypesException({toUtf16(name)});
    }
    return plexo::getScalarDouble(array, 0) != 0;
}

HostArray* optionalEnumToHost(const boost::optional<std::int32_t>& value, const std::string& enumClass) {
    const plexo::ClassId cls = plexo::makeInterned(enumClass);
    if (!value) return plexo::omCreatePLEXOEmpty(cls);
    plexo::Array underlying(plexo::createInt32Scalar(*value));
    return plexo::omCreateBuiltinBasedArrayFromUnderlyingArray(cls, *underlying);
}

boost::optional<std::int32_t> optionalEnumFromHost(const HostArray& array, const std::string& enumClass) {
    if (array.numel() == 0) return boost::none;
    if (plexo::omIsPLEXO(&array) && plexo::isClass(&array, enumClass)) return array.underlying()->int32s()[0];
    return 0;
}

}  // namespace fenmo::qorin
