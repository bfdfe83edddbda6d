#pragma once
// The node classes behind the factories of fenmo/query/Node.hpp, visible to the planner and the live
// queries of this library.

#include <fenmo/ModelImpl.hpp>
#include <fenmo/Value.hpp>
#include <fenmo/query/Node.hpp>

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace fenmo::query::detail {

// Reading a property of an element, through its readers or reflectively. An element read from a
// property is null when the property holds nothing or an element that is no longer valid; a proxy reads
// as the element it stands for when that element's model is open. `keep` holds what the read made.
const std::u16string* readText(const PropertyAccess& access, const ModelElement::Impl& e,
                               std::u16string& scratch);
bool readNumber(const PropertyAccess& access, const ModelElement::Impl& e, std::int32_t& out);
ModelElement::Impl* readElement(const PropertyAccess& access, const ModelElement::Impl& e,
                                EvalContext& context, ModelElement& keep);
// Visits the valid elements of a collection property in order, until f returns false.
template <class F>
void forEachIn(const PropertyAccess& access, const ModelElement::Impl& e, EvalContext& context, F&& f);
std::size_t sizeOf(const PropertyAccess& access, const ModelElement::Impl& e);

bool compare(Compare op, int order) noexcept;

struct CompareTextNode final : Node {
    CompareTextNode(PropertyAccess a, Compare o, std::u16string v)
        : Node(Kind::CompareText), access(std::move(a)), op(o), value(std::move(v)) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    Compare op;
    std::u16string value;
};

struct TextPredicateNode final : Node {
    TextPredicateNode(PropertyAccess a, TextTest t, std::u16string text);
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    TextTest which;
    std::u16string text;
    std::wregex regex;
};

struct CompareNumberNode final : Node {
    CompareNumberNode(PropertyAccess a, Compare o, std::int32_t v)
        : Node(Kind::CompareNumber), access(std::move(a)), op(o), value(v) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    Compare op;
    std::int32_t value;
};

struct IsSetNode final : Node {
    IsSetNode(PropertyAccess a, bool w) : Node(Kind::IsSet), access(std::move(a)), wanted(w) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    bool wanted;
};

struct RelationWhereNode final : Node {
    RelationWhereNode(PropertyAccess a, NodePtr i)
        : Node(Kind::RelationWhere), access(std::move(a)), inner(std::move(i)) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    NodePtr inner;
};

struct RelationIsNode final : Node {
    RelationIsNode(PropertyAccess a, ModelElement t)
        : Node(Kind::RelationIs), access(std::move(a)), target(std::move(t)) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    ModelElement target;
};

struct QuantifiedNode final : Node {
    QuantifiedNode(PropertyAccess a, Quantifier q, NodePtr i)
        : Node(Kind::Quantified), access(std::move(a)), quantifier(q), inner(std::move(i)) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    Quantifier quantifier;
    NodePtr inner;
};

struct CountNode final : Node {
    CountNode(PropertyAccess a, NodePtr i, Compare o, std::int32_t v)
        : Node(Kind::Count), access(std::move(a)), inner(std::move(i)), op(o), value(v) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    PropertyAccess access;
    NodePtr inner;
    Compare op;
    std::int32_t value;
};

struct JunctionNode final : Node {
    JunctionNode(Kind k, std::vector<NodePtr> p) : Node(k), parts(std::move(p)) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override;
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override;
    std::vector<NodePtr> parts;
};

struct NotNode final : Node {
    explicit NotNode(NodePtr i) : Node(Kind::Not), inner(std::move(i)) {}
    bool test(const ModelElement::Impl& subject, EvalContext& context) const override {
        return !inner->test(subject, context);
    }
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>& out,
               std::vector<const PropertyAccess*>& prefix) const override {
        inner->paths(out, prefix);
    }
    NodePtr inner;
};

struct SelfIsNode final : Node {
    explicit SelfIsNode(ModelElement t) : Node(Kind::SelfIs), target(std::move(t)) {}
    bool test(const ModelElement::Impl& subject, EvalContext&) const override {
        return &subject == target.get();
    }
    std::u16string describe() const override;
    void paths(std::vector<std::vector<const PropertyAccess*>>&,
               std::vector<const PropertyAccess*>&) const override {}
    ModelElement target;
};

struct TrueNode final : Node {
    TrueNode() : Node(Kind::True) {}
    bool test(const ModelElement::Impl&, EvalContext&) const override { return true; }
    std::u16string describe() const override { return u"true"; }
    void paths(std::vector<std::vector<const PropertyAccess*>>&,
               std::vector<const PropertyAccess*>&) const override {}
};

template <class F>
class CollectionLambda final : public CollectionVisitor {
public:
    explicit CollectionLambda(F& f) : m_f(f) {}
    bool visit(ModelElement::Impl* element) override { return m_f(element); }

private:
    F& m_f;
};

ModelElement::Impl* resolved(ModelElement::Impl* element, EvalContext& context, ModelElement& keep);
Value::List reflectiveEntries(const PropertyAccess& access, const ModelElement::Impl& e);

template <class F>
void forEachIn(const PropertyAccess& access, const ModelElement::Impl& e, EvalContext& context, F&& f) {
    auto each = [&](ModelElement::Impl* element) -> bool {
        ModelElement keep;
        ModelElement::Impl* r = resolved(element, context, keep);
        return !r || f(r);
    };
    if (access.collection) {
        CollectionLambda<decltype(each)> visitor(each);
        access.collection(e, visitor);
        return;
    }
    for (const Value& v : reflectiveEntries(access, e))
        if (const ModelElement* element = v.getIf<ModelElement>())
            if (!each(element->get())) return;
}

}  // namespace fenmo::query::detail
