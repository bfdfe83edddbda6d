#pragma once
// A change report as short, aligned text: created and destroyed elements grouped by the node they
// belong to, then every modified element with its changed properties.

#include "ElementNames.hpp"
#include "Style.hpp"

#include <fenmo/ChangeReport.hpp>

#include <string>

namespace arvelle::tools {

// Example (without colour):
//   + Root/State/Speed                 node, childAttrs, signalAttrs
//   ~ Root/Inputs/Speed [signalAttrs]
//       dataType  single → double
//   ~ Root/Inputs [parentAttrs]
//       children  − Speed
std::string printReport(const ::fenmo::ChangeReport& report, const ElementNames& names, const Style& style);

// The change of one property: "old → new" for single values; for collections of elements the entries
// added ("+ a") and removed ("− b"), or the new order when only the order changed.
std::string changeText(const ::fenmo::PropertyChange& change, const ElementNames& names, const Style& style);

}  // namespace arvelle::tools
