#pragma once
// Creating elements: in a model, from a builder (inside an orchestration), and from nested builders.

#include <fenmo/Builder.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/OptionalEnumerator.hpp>
#include <fenmo/SharedText.hpp>
#include <fenmo/meta/Property.hpp>

#include <memory>
#include <optional>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::pattern {

// A new element with no property set, announced in a transaction of its own.
template <class X, class Make>
X createInModel(const Model& model, Make&& make) {
    if (!model) throw CannotCreateWithoutModelException();
    Transaction transaction = model->beginOperation();
    X element = make();
    element->notifyCreated();
    transaction.commit(boost::none);
    return element;
}

// A builder's creation: inside the builder's orchestration (made here when it has none, and
// committed once), the element is built with the collected values, announced, then made to create
// what it contains. A builder yields one element per orchestration.
template <class X, class Make, class Cascade>
X createFromBuilder(ModelElement::Builder& builder, bool unannounced, Make&& make, Cascade&& cascade) {
    using Orchestrator = ModelElement::Builder::Orchestrator;
    if (Orchestrator* orchestrator = builder.getOrchestrator())
        if (ModelElement existing = orchestrator->getCreatedElement(&builder); existing.get())
            return handleCast<X>(existing);
    std::optional<Orchestrator> local;
    if (!unannounced && !builder.getOrchestrator()) local.emplace(builder);
    X element = make();
    if (Orchestrator* orchestrator = builder.getOrchestrator()) orchestrator->setCreatedElement(&builder, element);
    if (!unannounced) {
        element->notifyCreated();
        cascade(*element.get());
    }
    if (local) local->commit();
    return element;
}

// The element a nested builder creates in its parent's orchestration, with the builder's identity
// (nil: the framework chooses one); an empty handle when there is no nested builder.
template <class Y>
Y createNested(const ModelElement::Builder& parent, ModelElement::Builder* nested) {
    if (!nested) return Y();
    if (auto* orchestrator = parent.getOrchestrator()) orchestrator->addBuilder(nested);
    else if (!nested->getModel()) nested->setModel(parent.getModel());
    // Nested builders were taken only when they build a class that fits.
    return uncheckedHandleCast<Y>(nested->create(nested->getIdentity()));
}

// Takes a nested builder for a containment property when the property is `handle`'s and the builder
// builds a class that fits the property's type.
inline bool takeNested(std::unique_ptr<ModelElement::Builder>& field, const meta::Property& property,
                       const meta::Property& handle, std::unique_ptr<ModelElement::Builder>& nested) {
    if (property.get() != handle.get() || !nested) return false;
    const auto* expected = dynamic_cast<const meta::Class::Impl*>(handle->typeImpl());
    const meta::Class& built = nested->getMetaClass();
    if (!built.get() || !built->conformsTo(expected)) return false;
    field = std::move(nested);
    return true;
}

// Appends a nested builder for a many-valued containment property on the same terms.
inline bool takeNestedInto(std::vector<std::unique_ptr<ModelElement::Builder>>& field, const meta::Property& property,
                           const meta::Property& handle, std::unique_ptr<ModelElement::Builder>& nested) {
    std::unique_ptr<ModelElement::Builder> taken;
    if (!takeNested(taken, property, handle, nested)) return false;
    field.push_back(std::move(taken));
    return true;
}

// The collected value of a builder property: the stored value when its bit is set, else none.
template <class T>
boost::optional<T> collected(const ModelElement::Builder& owner, std::size_t index, const boost::optional<T>& value) {
    return owner.isSet(index) ? value : boost::none;
}
inline SharedText collected(const ModelElement::Builder& owner, std::size_t index, const SharedText& value) {
    return owner.isSet(index) ? value : SharedText();
}
template <class E>
OptionalEnumerator<E> collected(const ModelElement::Builder& owner, std::size_t index,
                                const OptionalEnumerator<E>& value) {
    return owner.isSet(index) ? value : OptionalEnumerator<E>();
}
template <class T>
T collectedPlain(const ModelElement::Builder& owner, std::size_t index, const T& value) {
    return owner.isSet(index) ? value : T{};
}

}  // namespace fenmo::pattern

FENMO_API_END
