#pragma once
// Two models compared element by element by identity: what was added, removed, moved and changed.

#include <fenmo/Export.hpp>
#include <fenmo/Model.hpp>

#include <cstddef>
#include <string>
#include <vector>

FENMO_API_BEGIN

namespace fenmo {

struct ModelDifference {
    enum class Kind { Added, Removed, Moved, Changed };
    Kind kind = Kind::Changed;
    uuid element{};
    // Added and Removed: the element's class; Changed: the property; Moved: the containing property.
    std::u16string name;
    // Changed: the values as a file holds them ("(unset)" when not set); Moved:
    // "container.property[position]".
    std::string oldText;
    std::string newText;
    // Moved: an element at another place, or among the fewest siblings whose moving explains their new
    // order (moving one child of a list reports that child alone). Where the element was and is (a nil
    // container for a top-level element); the position counts only the siblings both models hold
    // there, so one insertion does not move the others.
    uuid oldContainer{};
    uuid newContainer{};
    std::u16string oldProperty;
    std::u16string newProperty;
    std::size_t oldPosition = 0;
    std::size_t newPosition = 0;
};

// The differences that take `before` to `after`, ordered by kind, then identity, then property.
// Empty when the models hold the same elements with the same identities, classes, containers,
// order and values.
std::vector<ModelDifference> compareModels(const Model& before, const Model& after);

}  // namespace fenmo

FENMO_API_END
