#pragma once
// The framework's own types: the primitive types String, Integer and Boolean and the class ModelElement.

#include <fenmo/Export.hpp>
#include <fenmo/meta/Class.hpp>

FENMO_API_BEGIN

namespace fenmo::meta {

struct StandardTypes {
    static const Type& stringMeta();
    static const Type& integerMeta();
    static const Type& booleanMeta();
    static const Class& modelElementMeta();
};

}  // namespace fenmo::meta

FENMO_API_END
