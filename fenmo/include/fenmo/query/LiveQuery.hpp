#pragma once
// A query whose result is kept up to date as its model changes. After each commit, undo and redo the
// model's change report says which elements changed; the live query re-tests only the elements whose
// result those changes can affect (the changed elements, and the subjects that reach them through the
// properties the condition reads, found by walking those properties backwards), and tells its
// listeners which elements entered and which left the result. A condition that reads a reference
// without opposite cannot be walked backwards; such a query is evaluated again in full after each
// change.
//
//     LiveQuery live(model, Query<TreeNode>(TreeNode::signalAttrs().where(SignalAttributes::dataType() ==
//     u"double"))); ListenerToken token = live.addListener([](const LiveQuery::Delta& delta) { ... });
//
// Dropping the live query removes its listener from the model.

#include <fenmo/ChangeReport.hpp>
#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>
#include <fenmo/query/Query.hpp>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::query {

class FENMO_API LiveQuery {
public:
    // What one change did to the result, each list in extent order.
    struct Delta {
        ChangeReport::Cause cause;
        std::vector<ModelElement> entered;
        std::vector<ModelElement> left;
    };
    using Listener = std::function<void(const Delta&)>;

    // Evaluates the query once and follows the model from then on.
    LiveQuery(const Model& model, const AbstractQuery& query);
    LiveQuery(const LiveQuery&) = delete;
    LiveQuery& operator=(const LiveQuery&) = delete;
    ~LiveQuery();

    // The current result, in extent order.
    std::vector<ModelElement> results() const;
    std::size_t size() const noexcept;
    bool contains(const ModelElement& element) const noexcept;
    // Whether changes are followed incrementally (false: each change re-evaluates the query).
    bool isIncremental() const noexcept;
    // Called once per change that made elements enter or leave the result. Dropping the token removes it.
    ListenerToken addListener(Listener listener);

private:
    struct State;
    std::shared_ptr<State> m_state;
    ListenerToken m_modelListener;
};

}  // namespace fenmo::query

FENMO_API_END
