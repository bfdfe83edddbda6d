#pragma once
// Typed queries over a model.
//
// Each element class X names itself and its queryable properties through static constrainables
// (X::Uuid(), X::dataType(), ...); comparing or navigating them builds a Condition<X>, and a Query<X>
// returns the elements of X (with or without subclasses) that satisfy its condition:
//
//     using namespace fenmo::query;
//     Query<TreeNode> q;
//     q.where(TreeNode::childAttrs().where(ChildAttributes::name() == u"s3") &&
//             TreeNode::signalAttrs().where(SignalAttributes::dataType() == u"double"));
//     std::vector<TreeNode> found = q.evaluate(model);
//
// Alternatively a query binds an X::Constrainables object, which stands for the instance searched for,
// and states conditions through its members (node.signalAttrs.where(...), node == someNode).
//
// Results come in the order of the class's extent: the order in which the elements entered the model
// (an element whose destruction is undone joins the end); with subclasses, class by class in the order
// each class first had an element in the model. Evaluating never changes the model, opens no
// transaction, and inside an open transaction sees the model as it is at that moment.

#include <fenmo/Exceptions.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/meta/Property.hpp>
#include <fenmo/query/Node.hpp>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

namespace query {
class AbstractQuery;
// Whether a query matches the elements of its class only or also those of its subclasses.
enum class SearchClassMatchMode : std::uint8_t { ClassOnly, WithSubclasses };
}  // namespace query

// Stands for one instance searched for by a query: the query's class and match mode come from it, and
// the conditions built through an X::Constrainables' members refer to it.
class ModelElement::Constrainables {
public:
    explicit Constrainables(
        const std::pair<query::AbstractQuery&, const query::SearchClassMatchMode>& target);
    Constrainables(const Constrainables&) = delete;
    Constrainables& operator=(const Constrainables&) = delete;
    virtual ~Constrainables();

    query::AbstractQuery& getQuery() const noexcept { return *m_query; }
    const meta::Class& getSearchClass() const noexcept { return m_class; }
    query::SearchClassMatchMode getMatchMode() const noexcept { return m_mode; }

protected:
    Constrainables(query::AbstractQuery& query, const meta::Class& metaClass,
                   query::SearchClassMatchMode mode);

private:
    query::AbstractQuery* m_query;
    meta::Class m_class;
    query::SearchClassMatchMode m_mode;
};

namespace query {

// Names the instance an X::Constrainables stands for.
class InstanceAttachment {
public:
    explicit InstanceAttachment(const ModelElement::Constrainables& instance) noexcept
        : m_instance(&instance) {}
    const ModelElement::Constrainables* instance() const noexcept { return m_instance; }

private:
    const ModelElement::Constrainables* m_instance;
};

// Names the class X, outside any query; carries no data.
template <class X>
class MetaclassAttachment {
public:
    using Class = X;
};

namespace detail {
template <class A>
struct SubjectOf;
template <class X>
struct SubjectOf<MetaclassAttachment<X>> {
    using type = X;
};
template <>
struct SubjectOf<InstanceAttachment> {
    using type = InstanceAttachment;
};
inline const ModelElement::Constrainables* instanceOf(const InstanceAttachment& a) noexcept {
    return a.instance();
}
template <class X>
const ModelElement::Constrainables* instanceOf(const MetaclassAttachment<X>&) noexcept {
    return nullptr;
}
// Two conditions joined must stand for the same instance (or for none).
FENMO_API const ModelElement::Constrainables* joinInstances(const ModelElement::Constrainables* a,
                                                            const ModelElement::Constrainables* b);
}  // namespace detail

// A condition on an element of class S (or, for S = InstanceAttachment, on the instance a
// Constrainables object stands for). Conditions of one subject combine with &&, || and !.
template <class S>
class Condition {
public:
    Condition(detail::NodePtr node, const ModelElement::Constrainables* instance = nullptr)
        : m_node(std::move(node)), m_instance(instance) {}

    const detail::NodePtr& node() const noexcept { return m_node; }
    const ModelElement::Constrainables* instance() const noexcept { return m_instance; }
    std::u16string describe() const { return m_node->describe(); }

    friend Condition operator&&(const Condition& a, const Condition& b) {
        return Condition(detail::allOf(a.m_node, b.m_node),
                         detail::joinInstances(a.m_instance, b.m_instance));
    }
    friend Condition operator||(const Condition& a, const Condition& b) {
        return Condition(detail::anyOf(a.m_node, b.m_node),
                         detail::joinInstances(a.m_instance, b.m_instance));
    }
    friend Condition operator!(const Condition& a) {
        return Condition(detail::negation(a.m_node), a.m_instance);
    }

private:
    detail::NodePtr m_node;
    const ModelElement::Constrainables* m_instance;
};

// The condition that the subject is one given element (an empty handle: no element at all).
template <class A, class X>
class SpecificValueConstraint {
public:
    SpecificValueConstraint(A attachment, const X& element) : m_attachment(attachment), m_element(element) {}
    const A& attachment() const noexcept { return m_attachment; }
    // The element required, or null for an empty handle.
    ModelElement::Impl* element() const noexcept { return m_element.get(); }

    operator Condition<typename detail::SubjectOf<A>::type>() const {
        return {detail::selfIs(m_element), detail::instanceOf(m_attachment)};
    }

private:
    A m_attachment;
    ModelElement m_element;
};

// A static condition that an element of X is `element`.
template <class X>
Condition<X> isElement(const X& element) {
    return SpecificValueConstraint<MetaclassAttachment<X>, X>(MetaclassAttachment<X>(), element);
}

namespace detail {
// The values a scalar constrainable of type T accepts: text for text, integers (not logicals) for
// integers, logicals for logicals, the enumeration itself for an enumeration.
template <class T, class V>
concept Accepts = (std::same_as<T, std::u16string> && std::convertible_to<const V&, std::u16string_view>) ||
                  (std::same_as<T, int> && std::integral<V> && !std::same_as<V, bool> &&
                   !std::same_as<V, char16_t>) ||
                  (std::same_as<T, bool> && std::same_as<V, bool>) ||
                  (std::is_enum_v<T> && std::same_as<V, T>);

template <class T>
inline constexpr bool isText = std::same_as<T, std::u16string>;

template <class T, class V>
std::int32_t asNumber(const V& v) {
    if constexpr (std::is_enum_v<T>)
        return static_cast<std::int32_t>(v);
    else if constexpr (std::same_as<T, bool>)
        return v ? 1 : 0;
    else
        return static_cast<std::int32_t>(v);
}
}  // namespace detail

// The part every constrainable shares: its attachment and how its property is read.
template <class T, class A, int N>
class AbstractConstrainable {
public:
    using ValueType = T;
    using Attachment = A;
    using Subject = typename detail::SubjectOf<A>::type;
    static constexpr int optionality = N;

    AbstractConstrainable(A attachment, detail::PropertyAccess access)
        : m_attachment(attachment), m_access(std::move(access)) {}
    // Read reflectively, for a property known only by its handle.
    AbstractConstrainable(A attachment, const meta::Property& property)
        : AbstractConstrainable(attachment, detail::PropertyAccess{property}) {}
    virtual ~AbstractConstrainable() = default;
    AbstractConstrainable(const AbstractConstrainable&) = delete;
    AbstractConstrainable& operator=(const AbstractConstrainable&) = delete;

    const A& attachment() const noexcept { return m_attachment; }
    const meta::Property& property() const noexcept { return m_access.property; }
    const detail::PropertyAccess& access() const noexcept { return m_access; }

protected:
    Condition<Subject> make(detail::NodePtr node) const {
        return Condition<Subject>(std::move(node), detail::instanceOf(m_attachment));
    }

private:
    A m_attachment;
    detail::PropertyAccess m_access;
};

// A scalar property of type T: text, integer, logical or enumeration; N is 1 when it may be unset.
template <class T, class A, int N>
class ConstrainableWithAttachment : public AbstractConstrainable<T, A, N> {
    using Base = AbstractConstrainable<T, A, N>;
    using Result = Condition<typename Base::Subject>;

public:
    using Base::Base;

    template <class V>
    requires detail::Accepts<T, V> Result compare(detail::Compare op, const V& value)
    const {
        if constexpr (detail::isText<T>)
            return this->make(
                detail::compareText(this->access(), op, std::u16string(std::u16string_view(value))));
        else
            return this->make(detail::compareNumber(this->access(), op, detail::asNumber<T>(value)));
    }

    template <class V>
    requires detail::Accepts<T, V>
    friend Result operator==(const ConstrainableWithAttachment& c, const V& v) {
        return c.compare(detail::Compare::Equal, v);
    }
    template <class V>
    requires detail::Accepts<T, V>
    friend Result operator!=(const ConstrainableWithAttachment& c, const V& v) {
        return c.compare(detail::Compare::NotEqual, v);
    }
    template <class V>
    requires detail::Accepts<T, V>
    friend Result operator<(const ConstrainableWithAttachment& c, const V& v) {
        return c.compare(detail::Compare::Less, v);
    }
    template <class V>
    requires detail::Accepts<T, V>
    friend Result operator<=(const ConstrainableWithAttachment& c, const V& v) {
        return c.compare(detail::Compare::LessEqual, v);
    }
    template <class V>
    requires detail::Accepts<T, V>
    friend Result operator>(const ConstrainableWithAttachment& c, const V& v) {
        return c.compare(detail::Compare::Greater, v);
    }
    template <class V>
    requires detail::Accepts<T, V>
    friend Result operator>=(const ConstrainableWithAttachment& c, const V& v) {
        return c.compare(detail::Compare::GreaterEqual, v);
    }

    // Only a property that may be unset can be asked whether it is set.
    Result isSet() const requires(N == 1) { return this->make(detail::isSet(this->access(), true)); }
    Result isUnset() const requires(N == 1) { return this->make(detail::isSet(this->access(), false)); }

    // Text predicates; `pattern` is an ECMAScript regular expression that must match the whole value.
    Result startsWith(std::u16string_view prefix) const requires detail::isText<T> {
        return this->make(
            detail::textPredicate(this->access(), detail::TextTest::StartsWith, std::u16string(prefix)));
    }
    Result contains(std::u16string_view part) const requires detail::isText<T> {
        return this->make(
            detail::textPredicate(this->access(), detail::TextTest::Contains, std::u16string(part)));
    }
    Result matches(std::u16string_view pattern) const requires detail::isText<T> {
        return this->make(
            detail::textPredicate(this->access(), detail::TextTest::Matches, std::u16string(pattern)));
    }
};

// A count of a collection's elements, to be compared with a number.
template <class S>
class CountExpression {
public:
    CountExpression(detail::PropertyAccess access, detail::NodePtr inner,
                    const ModelElement::Constrainables* instance)
        : m_access(std::move(access)), m_inner(std::move(inner)), m_instance(instance) {}

    Condition<S> compare(detail::Compare op, int value) const {
        return Condition<S>(detail::count(m_access, m_inner, op, value), m_instance);
    }
    friend Condition<S> operator==(const CountExpression& c, int v) {
        return c.compare(detail::Compare::Equal, v);
    }
    friend Condition<S> operator!=(const CountExpression& c, int v) {
        return c.compare(detail::Compare::NotEqual, v);
    }
    friend Condition<S> operator<(const CountExpression& c, int v) {
        return c.compare(detail::Compare::Less, v);
    }
    friend Condition<S> operator<=(const CountExpression& c, int v) {
        return c.compare(detail::Compare::LessEqual, v);
    }
    friend Condition<S> operator>(const CountExpression& c, int v) {
        return c.compare(detail::Compare::Greater, v);
    }
    friend Condition<S> operator>=(const CountExpression& c, int v) {
        return c.compare(detail::Compare::GreaterEqual, v);
    }

private:
    detail::PropertyAccess m_access;
    detail::NodePtr m_inner;
    const ModelElement::Constrainables* m_instance;
};

// A single element property (containment or reference) of class Y.
template <class Y, class A>
class ConstrainableRelationWithAttachment : public AbstractConstrainable<Y, A, 1> {
    using Base = AbstractConstrainable<Y, A, 1>;
    using Result = Condition<typename Base::Subject>;

public:
    using Base::Base;

    // The related element exists and satisfies `condition`.
    Result where(const Condition<Y>& condition) const {
        return this->make(detail::relationWhere(this->access(), condition.node()));
    }
    Result isSet() const { return this->make(detail::isSet(this->access(), true)); }
    Result isUnset() const { return this->make(detail::isSet(this->access(), false)); }
    // The related element is `element` (an empty handle: the property holds nothing).
    friend Result operator==(const ConstrainableRelationWithAttachment& c, const Y& element) {
        return c.make(detail::relationIs(c.access(), element));
    }
    friend Result operator!=(const ConstrainableRelationWithAttachment& c, const Y& element) {
        return c.make(detail::negation(detail::relationIs(c.access(), element)));
    }
};

// A collection of elements of class Y.
template <class Y, class A>
class ConstrainableCollectionWithAttachment : public AbstractConstrainable<Y, A, 1> {
    using Base = AbstractConstrainable<Y, A, 1>;
    using S = typename Base::Subject;
    using Result = Condition<S>;

public:
    using Base::Base;

    Result some(const Condition<Y>& c) const {
        return this->make(detail::quantified(this->access(), detail::Quantifier::Some, c.node()));
    }
    Result every(const Condition<Y>& c) const {
        return this->make(detail::quantified(this->access(), detail::Quantifier::Every, c.node()));
    }
    Result none(const Condition<Y>& c) const {
        return this->make(detail::quantified(this->access(), detail::Quantifier::None, c.node()));
    }
    CountExpression<S> count(const Condition<Y>& c) const {
        return CountExpression<S>(this->access(), c.node(), detail::instanceOf(this->attachment()));
    }
    CountExpression<S> size() const {
        return CountExpression<S>(this->access(), nullptr, detail::instanceOf(this->attachment()));
    }
    Result isEmpty() const { return this->make(detail::isSet(this->access(), false)); }
    Result contains(const Y& element) const {
        return this->make(
            detail::quantified(this->access(), detail::Quantifier::Some, detail::selfIs(element)));
    }
};

// A query: a class, a match mode and a condition.
class FENMO_API AbstractQuery {
public:
    AbstractQuery(const AbstractQuery&) = default;
    AbstractQuery& operator=(const AbstractQuery&) = default;
    virtual ~AbstractQuery();

    const meta::Class& getSearchClass() const noexcept { return m_class; }
    SearchClassMatchMode getMatchMode() const noexcept { return m_mode; }
    const detail::NodePtr& getCondition() const noexcept { return m_condition; }
    std::u16string describe() const;

    // The matching elements of the model, in extent order.
    std::vector<ModelElement> select(const Model& model) const;
    std::size_t count(const Model& model) const;
    // Calls f for each match in extent order until it returns false.
    void forEachMatch(const Model& model, const std::function<bool(ModelElement::Impl&)>& f) const;
    // Whether one element is a match (of the query's class and satisfying its condition).
    bool matches(const ModelElement& element) const;

protected:
    AbstractQuery() = default;
    AbstractQuery(meta::Class metaClass, SearchClassMatchMode mode, detail::NodePtr condition = nullptr);
    void setCondition(detail::NodePtr condition);
    // The instance bound to the query, if an X::Constrainables was built for it.
    const ModelElement::Constrainables* boundInstance() const noexcept { return m_instance; }

private:
    friend class fenmo::ModelElement::Constrainables;
    void bind(const ModelElement::Constrainables& instance, const meta::Class& metaClass,
              SearchClassMatchMode mode);
    void unbind(const ModelElement::Constrainables& instance) noexcept;

    meta::Class m_class;
    SearchClassMatchMode m_mode = SearchClassMatchMode::WithSubclasses;
    detail::NodePtr m_condition;
    const ModelElement::Constrainables* m_instance = nullptr;
};

// A query whose class and instance come from the X::Constrainables built for it:
//
//     InstanceQuery q;
//     TreeNode::Constrainables node({q, SearchClassMatchMode::WithSubclasses});
//     q.where(node.signalAttrs.where(SignalAttributes::dataType() == u"double"));
class FENMO_API InstanceQuery : public AbstractQuery {
public:
    InstanceQuery() = default;
    // Conditions must refer to the instance bound to this query ("InvalidValue" otherwise, or before
    // one is bound); several calls are joined with and.
    InstanceQuery& where(const Condition<InstanceAttachment>& condition);
};

// A query over the elements of class X, with conditions typed by X.
template <class X>
class Query : public AbstractQuery {
public:
    explicit Query(SearchClassMatchMode mode = SearchClassMatchMode::WithSubclasses)
        : AbstractQuery(X::metaClass(), mode) {}
    Query(const Condition<X>& condition, SearchClassMatchMode mode = SearchClassMatchMode::WithSubclasses)
        : AbstractQuery(X::metaClass(), mode, condition.node()) {}

    // Several calls are joined with and.
    Query& where(const Condition<X>& condition) {
        setCondition(getCondition() ? detail::allOf(getCondition(), condition.node()) : condition.node());
        return *this;
    }
    std::vector<X> evaluate(const Model& model) const {
        std::vector<X> out;
        forEachMatch(model, [&](ModelElement::Impl& e) {
            out.push_back(uncheckedHandleCast<X>(ModelElement(&e, true)));
            return true;
        });
        return out;
    }
};

// A query made from text or another dynamic description: class, mode and condition given at run time.
class FENMO_API DynamicQuery : public AbstractQuery {
public:
    DynamicQuery(meta::Class metaClass, SearchClassMatchMode mode, detail::NodePtr condition)
        : AbstractQuery(std::move(metaClass), mode, std::move(condition)) {}
};

}  // namespace query
}  // namespace fenmo

FENMO_API_END
