#include "Codec.hpp"

#include <fenmo/ModelComparison.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Text.hpp>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <unordered_map>

namespace fenmo {

namespace {

using Index = std::unordered_map<uuid, ModelElement::Impl*, UuidHash>;

struct Place {
    uuid container{};
    const meta::Property::Impl* property = nullptr;
    std::vector<uuid>* siblings = nullptr;
    // The element's position among those of its siblings that the other model holds at the same place.
    std::size_t stablePosition = 0;
    // Set by keepInOrder: the element is one of the most siblings whose order both models share.
    bool inOrder = false;
};

struct Side {
    Index elements;
    std::unordered_map<uuid, Place, UuidHash> places;
    std::vector<std::unique_ptr<std::vector<uuid>>> lists;
};

Side indexModel(const Model& model) {
    Side side;
    for (const ModelElement& element : model->elements())
        if (!element->isProxy()) side.elements.emplace(element->getUuid(), element.get());
    for (auto& [id, element] : side.elements) {
        for (const meta::Property& property : persist::persistedProperties(*element->getMetaClass().get())) {
            if (!property->isComposite() || !persist::hasValue(*element, property)) continue;
            auto list = std::make_unique<std::vector<uuid>>();
            for (const Value& entry : persist::entriesOf(persist::readValue(*element, property)))
                if (ModelElement child = entry.getElement(); child.get() && !child->isProxy())
                    list->push_back(child->getUuid());
            if (!property->isOrdered()) std::sort(list->begin(), list->end());
            for (const uuid& child : *list) side.places[child] = Place{id, property.get(), list.get()};
            side.lists.push_back(std::move(list));
        }
    }
    return side;
}

std::string valueText(const Model& model, ModelElement::Impl& element, const meta::Property& property) {
    if (!persist::hasValue(element, property)) return "(unset)";
    Value value = persist::readValue(element, property);
    persist::Shape shape = persist::shapeOf(property);
    Value::List entries = persist::entriesOf(value);
    std::vector<std::string> texts;
    for (const Value& entry : entries) {
        if (shape == persist::Shape::Element) {
            ModelElement target = entry.getElement();
            texts.push_back(target.get() ? persist::referenceToken(*model.get(), target, property)
                                         : "(none)");
        } else {
            texts.push_back(toUtf8(persist::textOf(property, shape, entry)));
        }
    }
    if (!property->isMany()) return texts.empty() ? "(none)" : texts.front();
    if (!property->isOrdered()) std::sort(texts.begin(), texts.end());
    std::string joined = property->isOrdered() ? "[" : "{";
    for (std::size_t i = 0; i < texts.size(); ++i) joined += (i ? ", " : "") + texts[i];
    return joined + (property->isOrdered() ? "]" : "}");
}

// Fills each place's stable position against the other model, one walk over each list of siblings
// (a position found per element would walk its list once per sibling: quadratic in a wide parent).
void rankAgainst(Side& side, const Side& other) {
    for (const auto& list : side.lists) {
        std::size_t position = 0;
        for (const uuid& sibling : *list) {
            Place& place = side.places[sibling];
            place.stablePosition = position;
            auto it = other.places.find(sibling);
            if (it != other.places.end() && it->second.container == place.container &&
                it->second.property == place.property)
                ++position;
        }
    }
}

// Marks, in each list of `before`, the longest run (not necessarily contiguous) of siblings that `after`
// holds at the same place in the same order: the others are the fewest moves that explain the new
// order, so moving one child of a wide list reports that child alone.
void keepInOrder(Side& before, const Side& after) {
    std::vector<Place*> shared;
    std::vector<std::size_t> positions, tails, previous;
    for (const auto& list : before.lists) {
        shared.clear();
        positions.clear();
        for (const uuid& sibling : *list) {
            Place& place = before.places[sibling];
            auto it = after.places.find(sibling);
            if (it == after.places.end() || it->second.container != place.container ||
                it->second.property != place.property)
                continue;
            shared.push_back(&place);
            positions.push_back(it->second.stablePosition);
        }
        // Longest increasing subsequence of the positions `after` gives them (patience sorting).
        tails.clear();
        previous.assign(positions.size(), SIZE_MAX);
        for (std::size_t i = 0; i < positions.size(); ++i) {
            auto at = std::lower_bound(tails.begin(), tails.end(), i, [&](std::size_t t, std::size_t) {
                return positions[t] < positions[i];
            });
            if (at != tails.begin()) previous[i] = *(at - 1);
            if (at == tails.end())
                tails.push_back(i);
            else
                *at = i;
        }
        for (std::size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = previous[i])
            shared[i]->inOrder = true;
    }
}

std::string placeText(const Place* place, std::size_t position) {
    if (!place) return "(top level)";
    return toString(place->container) + "." + toUtf8(place->property->getName()) + "[" +
           std::to_string(position) + "]";
}

ModelDifference difference(ModelDifference::Kind kind, const uuid& id, std::u16string name,
                           std::string oldText, std::string newText) {
    ModelDifference result;
    result.kind = kind;
    result.element = id;
    result.name = std::move(name);
    result.oldText = std::move(oldText);
    result.newText = std::move(newText);
    return result;
}

}  // namespace

std::vector<ModelDifference> compareModels(const Model& before, const Model& after) {
    Side a = indexModel(before), b = indexModel(after);
    rankAgainst(a, b);
    rankAgainst(b, a);
    keepInOrder(a, b);
    std::vector<ModelDifference> result;
    using Kind = ModelDifference::Kind;
    for (auto& [id, element] : a.elements)
        if (!b.elements.count(id))
            result.push_back(difference(Kind::Removed, id, element->getMetaClass()->getName(), "", ""));
    for (auto& [id, element] : b.elements) {
        auto old = a.elements.find(id);
        if (old == a.elements.end()) {
            result.push_back(difference(Kind::Added, id, element->getMetaClass()->getName(), "", ""));
            continue;
        }
        ModelElement::Impl* was = old->second;
        if (was->getMetaClass().get() != element->getMetaClass().get()) {
            result.push_back(difference(Kind::Changed, id, u"(class)", toUtf8(was->getMetaClass()->getName()),
                                        toUtf8(element->getMetaClass()->getName())));
            continue;
        }
        auto pa = a.places.find(id), pb = b.places.find(id);
        const Place* placeA = pa == a.places.end() ? nullptr : &pa->second;
        const Place* placeB = pb == b.places.end() ? nullptr : &pb->second;
        bool samePlace =
            (!placeA && !placeB) || (placeA && placeB && placeA->container == placeB->container &&
                                     placeA->property == placeB->property);
        std::size_t positionA = placeA ? placeA->stablePosition : 0;
        std::size_t positionB = placeB ? placeB->stablePosition : 0;
        if (!samePlace || (placeA && !placeA->inOrder)) {
            ModelDifference moved = difference(Kind::Moved, id, placeB ? placeB->property->getName() : u"",
                                               placeText(placeA, positionA), placeText(placeB, positionB));
            if (placeA)
                moved.oldContainer = placeA->container, moved.oldProperty = placeA->property->getName();
            if (placeB)
                moved.newContainer = placeB->container, moved.newProperty = placeB->property->getName();
            moved.oldPosition = positionA;
            moved.newPosition = positionB;
            result.push_back(std::move(moved));
        }
        for (const meta::Property& property : persist::persistedProperties(*element->getMetaClass().get())) {
            if (property->isComposite()) continue;
            std::string x = valueText(before, *was, property), y = valueText(after, *element, property);
            if (x != y) result.push_back(difference(Kind::Changed, id, property->getName(), x, y));
        }
    }
    std::sort(result.begin(), result.end(), [](const ModelDifference& x, const ModelDifference& y) {
        return std::tie(x.kind, x.element, x.name) < std::tie(y.kind, y.element, y.name);
    });
    return result;
}

}  // namespace fenmo
