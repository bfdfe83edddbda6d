#pragma once
// Single-element properties: a containment slot (the owner contains the element it holds) and the
// read-side repair shared by slots and references.

#include <fenmo/Export.hpp>
#include <fenmo/Builder.hpp>
#include <fenmo/Enumerator.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/meta/Property.hpp>

#include <cstddef>

FENMO_API_BEGIN

namespace fenmo::pattern {

// Opens the edit of an operation of `owner` on its model.
inline Transaction beginEdit(const ModelElement::Impl& owner) {
    Model::Impl* model = owner.getModelImpl();
    if (!model) throw CannotCreateWithoutModelException();
    return model->beginOperation();
}

// Refuses to change (or hand out for change) what a proxy element holds.
inline void refuseProxy(const ModelElement::Impl& owner) {
    if (owner.isProxy()) throw CannotModifyProxyException();
}

// The typed setter of a scalar property: refuse proxies and dead elements, skip an unchanged value, else
// record the old value and store the new one (in a transaction of its own when none is open).
template <class Field, class T>
void setOptional(ModelElement::Impl& owner, Field& field, const T& value, std::size_t index) {
    refuseProxy(owner);
    checkEnumerator(value);
    if (field == value) return;
    owner.checkChangeable();
    // Inside an open transaction the assignment needs no level of its own: it either happens or leaves
    // the field as it was, and the open level keeps the old value.
    if (Model::Impl* model = owner.getModelImpl(); model && model->transactionDepth() > 0) {
        owner.notifyModifying(index);
        field = value;
        return;
    }
    Transaction transaction = beginEdit(owner);
    owner.notifyModifying(index);
    field = value;
    transaction.commit(boost::none);
}

// Reads a slot, repairing it on the way: an invalid element of another model is dropped, and a proxy
// that now resolves to a real element is replaced by it (neither is a change of the model).
template <class Y>
Y readSlot(ModelElement::Impl& owner, Y& slot) {
    ModelElement::Impl* held = slot.get();
    if (!held) return Y();
    if (!held->isValid()) {
        if (held->getModelLink() != owner.getModelLink()) {
            slot.reset();
            return Y();
        }
        return slot;
    }
    if (held->isProxy()) {
        if (Model::Impl* model = owner.getModelImpl()) {
            ModelElement resolved = model->resolveProxy(ModelElement(&owner, true), slot);
            Y typed = handleCast<Y>(resolved);
            if (typed && !typed->isProxy()) slot = typed;
        }
    }
    return slot;
}

// Puts `element` into a containment slot: the previous element is no longer contained (it stays alive),
// the new one is contained by the owner for `property`.
template <class Y>
void setContainedSlot(ModelElement::Impl& owner, Y& slot, const Y& element, const meta::Property& property) {
    refuseProxy(owner);
    Y current = readSlot(owner, slot);
    if (current.get() == element.get()) return;
    owner.checkChangeable();
    owner.checkContainable(element, property);
    Transaction transaction = beginEdit(owner);
    owner.notifyModifying(property->getIndex());
    if (slot) owner._basicSetUncontained(slot);
    slot = element;
    if (element) owner._setContainedByThis(element, property);
    transaction.commit(boost::none);
}

// What setContainedSlot does, for a builder filling an element it has just created: the orchestration's
// transaction is open, so no transaction of its own is needed (nothing could be rolled back apart from
// the creation itself).
template <class Y>
void containWhileCreating(ModelElement::Impl& owner, Y& slot, const Y& element, const meta::Property& property) {
    if (slot.get() == element.get()) return;
    owner.checkContainable(element, property);
    owner.notifyModifying(property->getIndex());
    if (slot) owner._basicSetUncontained(slot);
    slot = element;
    if (element) owner._setContainedByThis(element, property);
}

// Creates an element from a builder and puts it into a slot of the owner, in one transaction.
template <class Y, class Setter>
Y createInto(ModelElement::Impl& owner, ModelElement::Builder* builder, const uuid& id, Setter&& set) {
    if (!builder) throw InvalidValueException();
    owner.checkChangeable();
    builder->setModel(owner.getModel());
    Transaction transaction = beginEdit(owner);
    ModelElement created = builder->create(id);
    Y typed = handleCast<Y>(created);
    if (!typed.get()) throw CannotCastIncompatibleTypesException({created->getMetaClass()->getQualifiedName()});
    set(typed);
    transaction.commit(boost::none);
    return typed;
}

// Empties a slot as its owner goes away or lets go of everything (no notification).
template <class Y>
void releaseSlot(ModelElement::Impl& owner, Y& slot) noexcept {
    owner._releaseContained(slot.get());
    slot.reset();
}

}  // namespace fenmo::pattern

FENMO_API_END
