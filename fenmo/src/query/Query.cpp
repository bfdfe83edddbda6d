#include "Evaluation.hpp"
#include "Nodes.hpp"

#include "../ModelState.hpp"

#include <fenmo/Exceptions.hpp>
#include <fenmo/query/Query.hpp>

namespace fenmo {

ModelElement::Constrainables::Constrainables(
    const std::pair<query::AbstractQuery&, const query::SearchClassMatchMode>& target)
    : Constrainables(target.first, ModelElement::metaClass(), target.second) {}

ModelElement::Constrainables::Constrainables(query::AbstractQuery& query, const meta::Class& metaClass,
                                             query::SearchClassMatchMode mode)
    : m_query(&query), m_class(metaClass), m_mode(mode) {
    if (!metaClass.get()) throw InvalidValueException({u"(no class)"});
    query.bind(*this, metaClass, mode);
}

// The query keeps only the identity of the instance, which it never reads again.
ModelElement::Constrainables::~Constrainables() = default;

namespace query {

namespace detail {

const ModelElement::Constrainables* joinInstances(const ModelElement::Constrainables* a,
                                                  const ModelElement::Constrainables* b) {
    if (a && b && a != b)
        throw InvalidValueException({u"(conditions on two different instances cannot be combined)"});
    return a ? a : b;
}

bool ClassFilter::accepts(const ModelElement::Impl* metaClass) const noexcept {
    if (!metaClass || !m_class) return false;
    if (metaClass == m_class) return true;
    if (m_mode == SearchClassMatchMode::ClassOnly) return false;
    if (m_all) return true;
    const auto* cls = static_cast<const meta::Class::Impl*>(metaClass);
    return cls->conformsTo(static_cast<const meta::Class::Impl*>(m_class));
}

ClassFilter::ClassFilter(const meta::Class& metaClass, SearchClassMatchMode mode)
    : m_class(metaClass.get()), m_mode(mode), m_all(metaClass.get() == ModelElement::metaClass().get()) {}

namespace {

ModelElement::Impl* keyedCandidate(const Node& node, bool& planned) {
    // rel == target and key == value, both among the conjuncts: the target's keyed map answers.
    const RelationIsNode* relation = nullptr;
    for (const Node* part : conjuncts(node))
        if (part->kind() == Node::Kind::RelationIs) {
            const auto* r = static_cast<const RelationIsNode*>(part);
            if (r->access.keyedOpposite && r->target.get() && r->target->isValid() && !r->target->isProxy()) {
                const auto* declared = dynamic_cast<const meta::Class::Impl*>(r->access.impl().typeImpl());
                const auto* actual = r->target->getMetaClass().get();
                if (declared && actual && actual->conformsTo(declared)) relation = r;
            }
        }
    if (!relation) return nullptr;
    const KeyedOpposite& keyed = *relation->access.keyedOpposite;
    for (const Node* part : conjuncts(node)) {
        for (int k = 0; k < 2; ++k) {
            if (part->kind() == Node::Kind::CompareText && keyed.findText[k]) {
                const auto* c = static_cast<const CompareTextNode*>(part);
                if (c->op == Compare::Equal && c->access.property.get() == keyed.keys[k]) {
                    planned = true;
                    return keyed.findText[k](*relation->target.get(), c->value);
                }
            }
            if (part->kind() == Node::Kind::CompareNumber && keyed.findNumber[k]) {
                const auto* c = static_cast<const CompareNumberNode*>(part);
                if (c->op == Compare::Equal && c->access.property.get() == keyed.keys[k]) {
                    planned = true;
                    return keyed.findNumber[k](*relation->target.get(), c->value);
                }
            }
        }
    }
    return nullptr;
}

}  // namespace

bool planCandidates(const Node* condition, std::vector<ModelElement::Impl*>& out) {
    if (!condition) return false;
    bool planned = false;
    if (ModelElement::Impl* e = keyedCandidate(*condition, planned)) {
        out.push_back(e);
        return true;
    }
    if (planned) return true;
    // The subject contains, through a slot, an element that the inner condition finds by key: the
    // candidate is that element's container.
    for (const Node* part : conjuncts(*condition)) {
        if (part->kind() != Node::Kind::RelationWhere) continue;
        const auto* w = static_cast<const RelationWhereNode*>(part);
        if (!w->access.impl().isComposite()) continue;
        bool innerPlanned = false;
        ModelElement::Impl* inner = keyedCandidate(*w->inner, innerPlanned);
        if (!innerPlanned) continue;
        if (inner && inner->containerImpl() && inner->containingProperty().get() == w->access.property.get())
            out.push_back(inner->containerImpl());
        return true;
    }
    return false;
}

void evaluate(const Model::Impl& model, const ClassFilter& filter, const Node* condition,
              const std::function<bool(ModelElement::Impl&)>& f) {
    EvalContext context{const_cast<Model::Impl*>(&model)};
    auto consider = [&](ModelElement::Impl* e) {
        if (!e || e->isProxy() || !e->isValid()) return true;
        if (condition && !condition->test(*e, context)) return true;
        return f(*e);
    };
    std::vector<ModelElement::Impl*> planned;
    if (planCandidates(condition, planned)) {
        for (ModelElement::Impl* e : planned)
            if (e->getModelImpl() == &model && filter.accepts(e->getMetaClass().get()) && !consider(e))
                return;
        return;
    }
    const auto& extents = fenmo::detail::ModelState::of(model).extents.extents();
    // By position: a callback that edits the model may add extents or elements; it sees a consistent
    // walk, though not necessarily every element it added.
    for (std::size_t x = 0; x < extents.size(); ++x) {
        const auto* extent = extents[x].get();
        if (!filter.accepts(extent->metaClass)) continue;
        for (std::size_t i = 0; i < extent->items.size(); ++i)
            if (!consider(extent->items[i])) return;
    }
}

}  // namespace detail

AbstractQuery::AbstractQuery(meta::Class metaClass, SearchClassMatchMode mode, detail::NodePtr condition)
    : m_class(std::move(metaClass)), m_mode(mode), m_condition(std::move(condition)) {
    if (!m_class.get()) throw InvalidValueException({u"(no class)"});
}

AbstractQuery::~AbstractQuery() = default;

void AbstractQuery::setCondition(detail::NodePtr condition) {
    m_condition = std::move(condition);
}

void AbstractQuery::bind(const ModelElement::Constrainables& instance, const meta::Class& metaClass,
                         SearchClassMatchMode mode) {
    m_instance = &instance;
    m_class = metaClass;
    m_mode = mode;
    m_condition.reset();
}

void AbstractQuery::unbind(const ModelElement::Constrainables& instance) noexcept {
    if (m_instance == &instance) m_instance = nullptr;
}

std::u16string AbstractQuery::describe() const {
    std::u16string out = m_class.get() ? m_class->getName() : u"?";
    if (m_mode == SearchClassMatchMode::ClassOnly) out += u" only";
    if (m_condition) out += u" where " + m_condition->describe();
    return out;
}

void AbstractQuery::forEachMatch(const Model& model,
                                 const std::function<bool(ModelElement::Impl&)>& f) const {
    if (!model.get()) throw InvalidValueException({u"(no model)"});
    if (!m_class.get()) throw InvalidValueException({u"(the query has no class)"});
    detail::evaluate(*model.get(), detail::ClassFilter(m_class, m_mode), m_condition.get(), f);
}

std::vector<ModelElement> AbstractQuery::select(const Model& model) const {
    std::vector<ModelElement> out;
    forEachMatch(model, [&](ModelElement::Impl& e) {
        out.emplace_back(&e, true);
        return true;
    });
    return out;
}

std::size_t AbstractQuery::count(const Model& model) const {
    std::size_t n = 0;
    forEachMatch(model, [&](ModelElement::Impl&) {
        ++n;
        return true;
    });
    return n;
}

bool AbstractQuery::matches(const ModelElement& element) const {
    ModelElement::Impl* e = element.get();
    if (!e || !e->isValid() || e->isProxy() || !m_class.get()) return false;
    if (!detail::ClassFilter(m_class, m_mode).accepts(e->getMetaClass().get())) return false;
    detail::EvalContext context{e->getModelImpl()};
    return !m_condition || m_condition->test(*e, context);
}

InstanceQuery& InstanceQuery::where(const Condition<InstanceAttachment>& condition) {
    if (!boundInstance())
        throw InvalidValueException({u"(the query has no instance: build a Constrainables for it)"});
    if (condition.instance() && condition.instance() != boundInstance())
        throw InvalidValueException({u"(the condition refers to an instance of another query)"});
    setCondition(getCondition() ? detail::allOf(getCondition(), condition.node()) : condition.node());
    return *this;
}

}  // namespace query
}  // namespace fenmo
