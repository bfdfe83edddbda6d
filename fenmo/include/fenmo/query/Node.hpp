#pragma once
// The evaluated form of a query condition: a tree of nodes, each testing one element (the subject) of
// the model. Typed constrainables and the text form both build these; nothing here knows an element
// class. Properties are read through the readers a generated class supplies for its own fields, or,
// without them, reflectively.

#include <fenmo/Export.hpp>
#include <fenmo/ModelElement.hpp>
#include <fenmo/meta/Property.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

FENMO_API_BEGIN

namespace fenmo::query::detail {

// Visits the elements of a collection; returning false stops the visit.
class CollectionVisitor {
public:
    virtual bool visit(ModelElement::Impl* element) = 0;

protected:
    ~CollectionVisitor() = default;
};

// Finds the element filed under a key in the owner's keyed map (null if none).
using TextKeyFinder = ModelElement::Impl* (*)(const ModelElement::Impl& owner, const std::u16string& key);
using NumberKeyFinder = ModelElement::Impl* (*)(const ModelElement::Impl& owner, std::int32_t key);

// A keyed map that is the opposite end of a reference: the reference's target files the referring
// elements under two of their properties, so an equality on one of them is a look-up, not a scan.
struct KeyedOpposite {
    const meta::Property::Impl* keys[2] = {nullptr, nullptr};
    TextKeyFinder findText[2] = {nullptr, nullptr};
    NumberKeyFinder findNumber[2] = {nullptr, nullptr};
};

// How a node reads one property of an element. Exactly the readers that suit the property's kind are
// set; with none, the property is read reflectively.
struct PropertyAccess {
    meta::Property property;
    // Text: the value, or null when unset.
    const std::u16string* (*text)(const ModelElement::Impl&) = nullptr;
    // Integers, logicals and enumerations as 32-bit numbers: false when unset.
    bool (*number)(const ModelElement::Impl&, std::int32_t&) = nullptr;
    // A single element (null when empty).
    ModelElement::Impl* (*element)(const ModelElement::Impl&) = nullptr;
    // The elements of a collection, in its order, and their number.
    void (*collection)(const ModelElement::Impl&, CollectionVisitor&) = nullptr;
    std::size_t (*size)(const ModelElement::Impl&) = nullptr;
    // For a reference whose opposite is a keyed map.
    const KeyedOpposite* keyedOpposite = nullptr;

    const meta::Property::Impl& impl() const noexcept { return *property.get(); }
};

enum class Compare : std::uint8_t { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
enum class TextTest : std::uint8_t { StartsWith, Contains, Matches };
enum class Quantifier : std::uint8_t { Some, Every, None };

// What a test needs besides the subject.
struct EvalContext {
    Model::Impl* model = nullptr;
};

class FENMO_API Node {
public:
    enum class Kind : std::uint8_t {
        True,
        CompareText,
        TextPredicate,
        CompareNumber,
        IsSet,
        RelationWhere,
        RelationIs,
        Quantified,
        Count,
        And,
        Or,
        Not,
        SelfIs
    };
    explicit Node(Kind kind) noexcept : m_kind(kind) {}
    virtual ~Node();
    Kind kind() const noexcept { return m_kind; }
    virtual bool test(const ModelElement::Impl& subject, EvalContext& context) const = 0;
    // A readable form of the condition, for messages and tools.
    virtual std::u16string describe() const = 0;
    // The properties a test reads, as navigation paths from the subject (each path in reading order):
    // live queries find the subjects a change concerns by walking them backwards.
    virtual void paths(std::vector<std::vector<const PropertyAccess*>>& out,
                       std::vector<const PropertyAccess*>& prefix) const = 0;

private:
    Kind m_kind;
};

using NodePtr = std::shared_ptr<const Node>;

// Node factories (Node.cpp).
FENMO_API NodePtr trueNode();
FENMO_API NodePtr compareText(PropertyAccess access, Compare op, std::u16string value);
FENMO_API NodePtr textPredicate(PropertyAccess access, TextTest test, std::u16string text);
FENMO_API NodePtr compareNumber(PropertyAccess access, Compare op, std::int32_t value);
FENMO_API NodePtr isSet(PropertyAccess access, bool wanted);
FENMO_API NodePtr relationWhere(PropertyAccess access, NodePtr inner);
FENMO_API NodePtr relationIs(PropertyAccess access, ModelElement target);
FENMO_API NodePtr quantified(PropertyAccess access, Quantifier quantifier, NodePtr inner);
// The number of a collection's elements that satisfy `inner` (all of them when it is null), compared.
FENMO_API NodePtr count(PropertyAccess access, NodePtr inner, Compare op, std::int32_t value);
FENMO_API NodePtr allOf(NodePtr a, NodePtr b);
FENMO_API NodePtr anyOf(NodePtr a, NodePtr b);
FENMO_API NodePtr negation(NodePtr a);
FENMO_API NodePtr selfIs(ModelElement target);

// The parts of a conjunction (the node itself if it is none), for the planner.
FENMO_API std::vector<const Node*> conjuncts(const Node& node);

}  // namespace fenmo::query::detail

FENMO_API_END
