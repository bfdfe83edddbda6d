#pragma once
// The example hierarchy of the demo: the signals and buses of an adaptive cruise controller.

#include "Tree.hpp"

namespace arvelle::tools {

// Builds the example into `model` with one builder, so that it is created in a single commit, and
// returns its root node "CruiseControl". Host blocks and ports are made-up addresses.
tn::TreeNode buildExample(const ::fenmo::Model& model);

}  // namespace arvelle::tools
