#pragma once
// The framework's own types: the primitive types String, Integer and Boolean and the class ModelElement.

#include <fenmo/meta/Class.hpp>

namespace fenmo::meta {

struct StandardTypes {
    static const Type& stringMeta();
    static const Type& integerMeta();
    static const Type& booleanMeta();
    static const Class& modelElementMeta();
};

}  // namespace fenmo::meta
