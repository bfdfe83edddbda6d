#include <fenmo/Builder.hpp>
#include <fenmo/Collection.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Reflection.hpp>
#include <fenmo/meta/Operation.hpp>

namespace fenmo {

namespace {

bool isElementType(const meta::Property::Impl& property) {
    return dynamic_cast<const meta::Class::Impl*>(property.typeImpl()) != nullptr;
}

// Runs a reflective write inside one edit transaction, so that a class setter made of several steps is
// still one undo step and is rolled back as a whole. An element whose model is gone has no transaction to
// open; its class's setter decides (a write that changes nothing passes).
template <class Write>
void asOneChange(const ModelElement::Impl& element, Write&& write) {
    Model::Impl* model = element.getModelImpl();
    if (!model) return write();
    Transaction transaction = model->beginOperation();
    write();
    transaction.commit();
}

}  // namespace

void Reflection::throwNoElement() {
    throw InvalidValueException({u"(no element)"});
}

void Reflection::set(const ModelElement& element, const meta::Property& property, const Value& value) const {
    ModelElement::Impl* impl = checked(element);
    asOneChange(*impl, [&] { impl->setPropertyValue(property, value, m_tag); });
}

void Reflection::unset(const ModelElement& element, const meta::Property& property) const {
    ModelElement::Impl* impl = checked(element);
    const meta::Property::Impl* p = property.get();
    if (!p) throw InvalidValueException({u"(no property)"});
    const std::u16string name = p->getQualifiedName();
    if (!p->owningClass() || !impl->getMetaClass()->conformsTo(p->owningClass()))
        throw InvalidValueException({name});

    if (p->isMany()) {
        // Collections have no reflective setter: they are emptied through the collection itself, which
        // takes the same path (transaction, unlinking, proxy refusal) as the typed clear().
        if (p->isDerived() || p->isReadOnly() || (access() == Access::Public && !p->hasPublicMutator()))
            throw CannotSetReadOnlyPropertyException({name});
        if (impl->isProxy()) throw CannotModifyProxyException();
        Value value = impl->getPropertyValue(property, m_tag);
        const auto* view = value.getIf<CollectionView>();
        const auto* owned = view ? dynamic_cast<const AbstractOwnedCollection*>(view->collection) : nullptr;
        if (!owned || &owned->owner() != impl) throw InvalidValueException({name});
        // The collection belongs to the element we were handed; the view only lends it out for reading.
        asOneChange(*impl, [&] { const_cast<AbstractOwnedCollection*>(owned)->clear(); });
        return;
    }
    if (p->isMandatory() && !isElementType(*p)) {
        // A scalar that always has a value has no unset state to go to.
        if (p->isReadOnly()) throw CannotSetReadOnlyPropertyException({name});
        throw InvalidValueException({name});
    }
    // The empty value of the property's type: an optional becomes disengaged, a slot empty.
    asOneChange(*impl, [&] { impl->setPropertyValue(property, Value(p->getType(), boost::none), m_tag); });
}

std::vector<meta::Property> Reflection::properties(const ModelElement& element) const {
    std::vector<meta::Property> result;
    forEachProperty(element, [&](const meta::Property& property) { result.push_back(property); });
    return result;
}

ModelElement Reflection::create(const Model& model, const meta::Class& cls, const Assignments& values,
                                const uuid& id) const {
    if (!model) throw CannotCreateWithoutModelException();
    if (!cls.get()) throw InvalidValueException({u"(no class)"});
    std::unique_ptr<ModelElement::Builder> builder =
        cls->isAbstract() ? nullptr : cls->instantiateBuilder(model);
    if (!builder) throw InvalidValueException({cls->getQualifiedName()});
    for (const auto& [property, value] : values) builder->setOrAdd(property, value);
    return builder->create(id);
}

}  // namespace fenmo
