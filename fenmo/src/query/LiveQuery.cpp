#include "Evaluation.hpp"
#include "Nodes.hpp"

#include "../ElementAccess.hpp"
#include "../ModelState.hpp"

#include <fenmo/ReflectionPrivateTag.hpp>
#include <fenmo/query/LiveQuery.hpp>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace fenmo::query {

namespace {

const ReflectionPrivateTag kReadTag(Access::Privileged, Proxies::Keep);

// One step of a path read backwards: the elements from which `property` leads to `element`.
// False when the property cannot be walked backwards (a reference without opposite).
bool predecessors(ModelElement::Impl& element, const meta::Property::Impl& property,
                  std::vector<ModelElement::Impl*>& out, std::vector<ModelElement>& keep) {
    if (property.isComposite()) {
        ModelElement::Impl* container = element.containerImpl();
        if (container && fenmo::detail::ElementAccess::containerIndex(element) == property.getIndex() &&
            container->getMetaClass()->conformsTo(property.owningClass()))
            out.push_back(container);
        return true;
    }
    const meta::Property& opposite = property.getOpposite();
    if (!opposite.get()) return false;
    const meta::Class::Impl* owner = opposite->owningClass();
    if (!owner || !element.getMetaClass()->conformsTo(owner)) return true;
    Value v = element.getPropertyValue(opposite, kReadTag);
    if (const auto* single = v.getIf<ModelElement>()) {
        if (single->get()) {
            keep.push_back(*single);
            out.push_back(single->get());
        }
    } else if (v.hasPayload() && v.getMeta().isCollection()) {
        for (const Value& entry : v.getEntries())
            if (const auto* e = entry.getIf<ModelElement>(); e && e->get()) {
                keep.push_back(*e);
                out.push_back(e->get());
            }
    }
    return true;
}

}  // namespace

struct LiveQuery::State {
    Model model;
    meta::Class searchClass;
    SearchClassMatchMode mode;
    detail::NodePtr condition;
    detail::ClassFilter filter;
    std::vector<std::vector<const detail::PropertyAccess*>> paths;
    bool incremental = true;
    // The members, each held so that it can be reported as it leaves even once destroyed.
    std::unordered_map<const ModelElement::Impl*, ModelElement> members;
    std::uint64_t nextListener = 1;
    std::vector<std::pair<std::uint64_t, Listener>> listeners;

    State(const Model& m, const AbstractQuery& query)
        : model(m),
          searchClass(query.getSearchClass()),
          mode(query.getMatchMode()),
          condition(query.getCondition()),
          filter(searchClass, mode) {
        if (condition) {
            std::vector<const detail::PropertyAccess*> prefix;
            condition->paths(paths, prefix);
            // Every step that leads on to another one is walked backwards.
            for (const auto& path : paths)
                for (std::size_t i = 0; i + 1 < path.size(); ++i)
                    if (!path[i]->impl().isComposite() && !path[i]->impl().getOpposite().get())
                        incremental = false;
        }
    }

    // Whether the query takes elements of the element's class, remembered per class.
    bool takes(const ModelElement::Impl& e) {
        const ModelElement::Impl* cls = e.getMetaClass().get();
        for (const auto& [known, taken] : m_classes)
            if (known == cls) return taken;
        m_classes.emplace_back(cls, filter.accepts(cls));
        return m_classes.back().second;
    }
    std::vector<std::pair<const ModelElement::Impl*, bool>> m_classes;

    bool isMatch(ModelElement::Impl& e) {
        if (!e.isValid() || e.isProxy() || e.getModelImpl() != model.get()) return false;
        if (!takes(e)) return false;
        detail::EvalContext context{model.get()};
        return !condition || condition->test(e, context);
    }

    // Extent order: the class's extent first, then the element's place in it.
    std::pair<std::size_t, std::uint32_t> orderOf(const ModelElement::Impl* e) const {
        const auto& extents = fenmo::detail::ModelState::of(*model.get()).extents.extents();
        const ModelElement::Impl* cls = e->getMetaClass().get();
        for (std::size_t i = 0; i < extents.size(); ++i)
            if (extents[i]->metaClass == cls)
                return {i, fenmo::detail::ElementAccess::extentSlot(const_cast<ModelElement::Impl&>(*e))};
        return {SIZE_MAX, UINT32_MAX};
    }
    void sortByExtent(std::vector<ModelElement>& elements) const {
        std::vector<std::pair<std::pair<std::size_t, std::uint32_t>, std::size_t>> keys;
        for (std::size_t i = 0; i < elements.size(); ++i) keys.push_back({orderOf(elements[i].get()), i});
        std::sort(keys.begin(), keys.end());
        std::vector<ModelElement> sorted;
        sorted.reserve(elements.size());
        for (const auto& k : keys) sorted.push_back(std::move(elements[k.second]));
        elements = std::move(sorted);
    }

    void evaluateAll(std::unordered_set<ModelElement::Impl*>& matches) const {
        detail::evaluate(*model.get(), filter, condition.get(), [&](ModelElement::Impl& e) {
            matches.insert(&e);
            return true;
        });
    }

    // The subjects whose result a change of `element` can affect: whoever reaches it through a path of
    // the condition whose next step reads a property the change touched.
    void affected(const ElementChange& change, std::vector<ModelElement::Impl*>& out,
                  std::vector<ModelElement>& keep) {
        ModelElement::Impl& element = *change.element.get();
        if (takes(element)) out.push_back(&element);
        const meta::Class::Impl* cls = element.getMetaClass().get();
        for (const auto& path : paths)
            for (std::size_t j = 1; j < path.size(); ++j) {
                const meta::Property::Impl& step = path[j]->impl();
                if (!cls->conformsTo(step.owningClass())) continue;
                bool touched = false;
                for (const PropertyChange& pc : change.properties)
                    if (pc.property.get() == &step) touched = true;
                if (touched) walkBack(path, j, element, out, keep);
            }
    }
    // `element` owns step `j` of the path; walks steps j-1 ... 0 back to the subjects.
    void walkBack(const std::vector<const detail::PropertyAccess*>& path, std::size_t j,
                  ModelElement::Impl& element, std::vector<ModelElement::Impl*>& out,
                  std::vector<ModelElement>& keep) {
        m_current.assign(1, &element);
        for (std::size_t i = j; i-- > 0;) {
            m_previous.clear();
            for (ModelElement::Impl* e : m_current) predecessors(*e, path[i]->impl(), m_previous, keep);
            m_current.swap(m_previous);
            if (m_current.empty()) return;
        }
        for (ModelElement::Impl* subject : m_current)
            if (takes(*subject)) out.push_back(subject);
    }
    std::vector<ModelElement::Impl*> m_current, m_previous;

    void onReport(const ChangeReport& report) {
        Delta delta{report.cause(), {}, {}};
        std::vector<ModelElement> keep;
        if (incremental) {
            // A created or destroyed element changes only its own membership: whatever reaches it
            // changed a property to do so, and is among the modified elements.
            std::vector<ModelElement::Impl*> candidates;
            candidates.reserve(report.created().size() + report.destroyed().size() +
                               2 * report.modified().size());
            for (const ModelElement& e : report.created())
                if (e.get()) candidates.push_back(e.get());
            for (const ElementChange& change : report.modified())
                if (change.element.get()) affected(change, candidates, keep);
            for (const ModelElement& e : report.destroyed())
                if (e.get()) candidates.push_back(e.get());
            std::sort(candidates.begin(), candidates.end());
            candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
            for (ModelElement::Impl* c : candidates) settle(*c, isMatch(*c), delta);
        } else {
            std::unordered_set<ModelElement::Impl*> matches;
            evaluateAll(matches);
            std::vector<const ModelElement::Impl*> gone;
            for (const auto& [e, held] : members)
                if (!matches.count(const_cast<ModelElement::Impl*>(e))) gone.push_back(e);
            for (const ModelElement::Impl* e : gone)
                settle(*const_cast<ModelElement::Impl*>(e), false, delta);
            for (ModelElement::Impl* e : matches) settle(*e, true, delta);
        }
        if (delta.entered.empty() && delta.left.empty()) return;
        sortByExtent(delta.entered);
        // Elements that left may be out of the model: their order is the one they had when they joined.
        std::stable_sort(
            delta.left.begin(), delta.left.end(),
            [&](const ModelElement& a, const ModelElement& b) { return leftOrder(a) < leftOrder(b); });
        // A listener may drop its own token (or others') while it is told: call a copy.
        auto listenersNow = listeners;
        for (const auto& [id, listener] : listenersNow) listener(delta);
    }
    std::pair<std::size_t, std::uint32_t> leftOrder(const ModelElement& e) const {
        return e->isValid() ? orderOf(e.get()) : std::pair<std::size_t, std::uint32_t>{SIZE_MAX, 0};
    }

    void settle(ModelElement::Impl& e, bool match, Delta& delta) {
        auto it = members.find(&e);
        if (match && it == members.end()) {
            members.emplace(&e, ModelElement(&e, true));
            delta.entered.emplace_back(&e, true);
        } else if (!match && it != members.end()) {
            delta.left.push_back(std::move(it->second));
            members.erase(it);
        }
    }
};

LiveQuery::LiveQuery(const Model& model, const AbstractQuery& query) {
    if (!model.get()) throw InvalidValueException({u"(no model)"});
    if (!query.getSearchClass().get()) throw InvalidValueException({u"(the query has no class)"});
    m_state = std::make_shared<State>(model, query);
    std::unordered_set<ModelElement::Impl*> matches;
    m_state->evaluateAll(matches);
    for (ModelElement::Impl* e : matches) m_state->members.emplace(e, ModelElement(e, true));
    // The model's listener holds the state: dropping this object removes it, and with it the state.
    m_modelListener =
        model->addListener([state = m_state](const ChangeReport& report) { state->onReport(report); });
}

LiveQuery::~LiveQuery() {
    m_modelListener.reset();
}

std::vector<ModelElement> LiveQuery::results() const {
    std::vector<ModelElement> out;
    out.reserve(m_state->members.size());
    for (const auto& [e, held] : m_state->members) out.push_back(held);
    m_state->sortByExtent(out);
    return out;
}

std::size_t LiveQuery::size() const noexcept {
    return m_state->members.size();
}

bool LiveQuery::contains(const ModelElement& element) const noexcept {
    return m_state->members.count(element.get()) != 0;
}

bool LiveQuery::isIncremental() const noexcept {
    return m_state->incremental;
}

ListenerToken LiveQuery::addListener(Listener listener) {
    const std::uint64_t id = m_state->nextListener++;
    m_state->listeners.emplace_back(id, std::move(listener));
    std::weak_ptr<State> weak = m_state;
    return ListenerToken([weak, id] {
        if (auto state = weak.lock())
            std::erase_if(state->listeners, [id](const auto& entry) { return entry.first == id; });
    });
}

}  // namespace fenmo::query
