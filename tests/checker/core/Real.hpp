#pragma once
// The checker's access to the real model: the library's classes, properties and accessors by the
// reference's kinds and indices, builders made from builder plans, and the real model described in the
// reference's words (the same text for the same state).

#include "core/Reference.hpp"

#include <arvelle/treeNode/All.hpp>

#include <fenmo/ChangeReport.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Value.hpp>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace checker {

namespace tn = ::tav::fenmo::treeNode;
using ::fenmo::ModelElement;

const ::fenmo::meta::Class& metaClassOf(Kind kind);
// The stored property of index `index` (1-based) of a class.
const ::fenmo::meta::Property& propertyOf(Kind kind, int index);
// A property by name (derived ones included).
::fenmo::meta::Property propertyNamed(Kind kind, std::u16string_view name);
// The kind of a real element, from its class.
bool kindOf(const ModelElement& element, Kind& kind);

// Values for reflective writes.
::fenmo::Value valueOf(Kind kind, int index, const OptionalScalar& value);
// A single value that carries no payload: read as the zero value of the property's type.
::fenmo::Value zeroValueOf(Kind kind, int index);
OptionalScalar zeroOf(ScalarKind kind);
// A value of another type than the property's.
::fenmo::Value wrongValueOf(Kind kind, int index);

// The typed setter of a property of a class with public setters.
void setTyped(ModelElement::Impl& element, Kind kind, int index, const OptionalScalar& value);

// A TreeNode's slot (1-based) through its typed accessors.
ModelElement getSlot(tn::TreeNode::Impl& node, int slot);
void setSlotTyped(tn::TreeNode::Impl& node, int slot, const ModelElement& value);
ModelElement createIntoSlot(tn::TreeNode::Impl& node, int slot, ModelElement::Builder* builder,
                            const ::fenmo::uuid& id);

// X::create for the class of `kind`.
ModelElement createElement(Kind kind, const ::fenmo::Model& model, const ::fenmo::uuid& id);

// The handles of the elements a run has seen, by Id, and the way back from an implementation to its Id.
class Pool {
public:
    void add(Id id, const ModelElement& element);
    const ModelElement& handle(Id id) const { return m_handles.at(static_cast<std::size_t>(id)); }
    bool known(Id id) const {
        return id > 0 && static_cast<std::size_t>(id) < m_handles.size() && m_handles[id].get();
    }
    Id idOf(const ModelElement::Impl* element) const;
    std::size_t size() const { return m_handles.size(); }
    void clear();

private:
    std::vector<ModelElement> m_handles{ModelElement()};
    std::unordered_map<const ModelElement::Impl*, Id> m_ids;
};

// Makes the real builder of a plan; `handleOf` gives the handle of each element the plan refers to.
std::unique_ptr<ModelElement::Builder> makeBuilder(const BuilderPlan& plan,
                                                   const std::function<ModelElement(const Ref&)>& handleOf);

// The real model read into the reference's structs. What those cannot hold (an element the checker does
// not know, a keyed map that disagrees with the child attributes or whose lookups disagree with its entries,
// a has-operation or a derived property that disagrees with the values) is listed in `anomalies`.
State readState(const ::fenmo::Model& model, const Pool& pool, std::vector<std::string>& anomalies);

// The real model described as the reference describes its state: one line per live element, ordered by Id;
// elements the checker does not know come last. Inconsistencies that the reference cannot have (a keyed
// map whose lookups disagree with its entries, a has-operation that disagrees with the value) show as
// marks in the text.
std::vector<std::string> describeReal(const ::fenmo::Model& model, const Pool& pool);
std::string elementText(const ModelElement& element, const Pool& pool);
std::string valueText(const ::fenmo::Value& value, const Pool& pool);
Report reportOf(const ::fenmo::ChangeReport& report, const Pool& pool);

}  // namespace checker
