#pragma once
// Operations of classes, their arguments, and the invokers that call them reflectively.

#include <fenmo/Export.hpp>
#include <fenmo/Exceptions.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/meta/Property.hpp>

#include <boost/optional.hpp>

#include <memory>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::meta {

class Argument;

// Calls an operation on an element with reflective arguments. The registry owns its invokers.
class AbstractMethodInvoker {
public:
    virtual ~AbstractMethodInvoker() = default;
    virtual boost::optional<Value> invoke(const ModelElement& target, const std::vector<Value>& arguments) const = 0;
};

class Operation : public ElementHandle<Operation, NamedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    static Operation create(const Model& model, const uuid& id);
};

class Operation::Impl : public NamedElement::Impl {
public:
    ~Impl() override;

    bool isAbstract() const noexcept { return m_abstract; }
    bool isStatic() const noexcept { return m_static; }
    bool isPublic() const noexcept { return m_public; }
    bool isEvent() const noexcept { return m_event; }
    void setAbstract(bool value) noexcept { m_abstract = value; }
    void setStatic(bool value) noexcept { m_static = value; }
    void setPublic(bool value) noexcept { m_public = value; }
    void setEvent(bool value) noexcept { m_event = value; }

    const Class::Impl* owningClass() const noexcept { return m_owner; }
    Class getOwningType() const;
    void setOwningType(const Class& owner);
    const Type& getResultType() const noexcept { return m_resultType; }
    void setResultType(const Type& type) { m_resultType = type; }
    const std::vector<Argument>& getArguments() const noexcept { return m_arguments; }
    // Used as an argument is given this operation as its owner.
    void addArgument(const Argument& argument);

    const AbstractMethodInvoker* getInvoker() const noexcept { return m_invoker.get(); }
    void setInvoker(std::unique_ptr<AbstractMethodInvoker> invoker) { m_invoker = std::move(invoker); }

protected:
    void releaseReferences() override;

private:
    friend class Operation;
    friend class Argument;
    using NamedElement::Impl::Impl;

    bool m_abstract = false;
    bool m_static = false;
    bool m_public = true;
    bool m_event = false;
    const Class::Impl* m_owner = nullptr;
    Type m_resultType;
    std::vector<Argument> m_arguments;
    std::unique_ptr<AbstractMethodInvoker> m_invoker;
};

class Argument : public ElementHandle<Argument, TypedElement> {
public:
    class Impl;
    using ElementHandle::ElementHandle;
    static Argument create(const Model& model, const uuid& id);
};

class Argument::Impl : public TypedElement::Impl {
public:
    bool isInput() const noexcept { return m_input; }
    void setInput(bool value) noexcept { m_input = value; }
    Operation getOperation() const;
    // Makes `operation` the owner of this argument, appended to its argument list.
    void setOperation(const Operation& operation);

private:
    friend class Argument;
    using TypedElement::Impl::Impl;
    bool m_input = true;
    const Operation::Impl* m_operation = nullptr;
};

// Invokers of member operations of an element class, one per operation: InvokerImpl checks the target,
// Invoker converts the arguments.
template <class ElementImplT>
class InvokerImpl : public AbstractMethodInvoker {
public:
    explicit InvokerImpl(const Operation& operation) : m_operation(operation) {}
    const Operation& operation() const noexcept { return m_operation; }

protected:
    // The target as the class's implementation; "InvalidValue" for an element of another class or a
    // wrong number of arguments.
    ElementImplT& checkedTarget(const ModelElement& target, const std::vector<Value>& arguments,
                                std::size_t expected) const {
        auto* impl = dynamic_cast<ElementImplT*>(target.get());
        if (!impl || arguments.size() != expected) throw InvalidValueException();
        return *impl;
    }

private:
    Operation m_operation;
};

// Calls a member `void (Impl::*)(const Args&...)` of the element class `Handle` with element arguments.
template <class Handle, class... Args>
class Invoker final : public InvokerImpl<typename Handle::Impl> {
public:
    using Member = void (Handle::Impl::*)(const Args&...);
    Invoker(const Operation& operation, Member member) : InvokerImpl<typename Handle::Impl>(operation), m_member(member) {}

    boost::optional<Value> invoke(const ModelElement& target, const std::vector<Value>& arguments) const override {
        auto& impl = this->checkedTarget(target, arguments, sizeof...(Args));
        call(impl, arguments, std::index_sequence_for<Args...>{});
        return boost::none;
    }

private:
    template <std::size_t... I>
    void call(typename Handle::Impl& impl, const std::vector<Value>& arguments, std::index_sequence<I...>) const {
        (impl.*m_member)(toElement<Args>(arguments[I])...);
    }
    // An argument must be an element of the parameter's class (or empty).
    template <class A>
    static A toElement(const Value& value) {
        ModelElement element = value.getElement();
        A typed = handleCast<A>(element);
        if (element.get() && !typed.get()) throw CannotCastIncompatibleTypesException({value.typeName()});
        return typed;
    }

    Member m_member;
};

}  // namespace fenmo::meta

FENMO_API_END
