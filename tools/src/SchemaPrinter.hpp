#pragma once
// The registered metamodel as text: every root package of the registry with its sub-packages,
// primitive types, classes (properties and operations) and enumerations (literals).

#include "Style.hpp"

#include <string>

namespace arvelle::tools {

// Builds the library's meta-package first, so that its packages are registered.
std::string printSchema(const Style& style);

}  // namespace arvelle::tools
