#pragma once
// Evaluation of a condition over a model's class extents, shared by queries and live queries.

#include <fenmo/ModelImpl.hpp>
#include <fenmo/meta/Class.hpp>
#include <fenmo/query/Node.hpp>
#include <fenmo/query/Query.hpp>

#include <functional>
#include <vector>

namespace fenmo::query::detail {

// Which exact classes a query takes.
class ClassFilter {
public:
    ClassFilter(const meta::Class& metaClass, SearchClassMatchMode mode);
    bool accepts(const ModelElement::Impl* metaClass) const noexcept;

private:
    const ModelElement::Impl* m_class;
    SearchClassMatchMode m_mode;
    bool m_all;
};

// The few elements that alone can satisfy `condition`, when a keyed map finds them (true then, even
// if there are none); false when the class's extent has to be walked.
bool planCandidates(const Node* condition, std::vector<ModelElement::Impl*>& out);

// Calls f for each element of the model that the filter takes and the condition accepts, in extent
// order, until f returns false.
void evaluate(const Model::Impl& model, const ClassFilter& filter, const Node* condition,
              const std::function<bool(ModelElement::Impl&)>& f);

}  // namespace fenmo::query::detail
