#pragma once
// The commands on model files: show, check and diff.

#include "Style.hpp"

#include <fenmo/Model.hpp>

#include <ostream>
#include <string>

namespace arvelle::tools {

// Loads `path`, showing progress on `err` when `progress` is set (a terminal).
::fenmo::Model loadFile(const std::string& path, bool newIdentity, std::ostream& err, bool progress);

// The tree of each top-level node of the file (or of the node at `nodePath` below it, which may start
// with the root's own name), `maxDepth` levels deep (negative: all).
void showFile(const std::string& path, int maxDepth, const std::string& nodePath, std::ostream& out,
              std::ostream& err, const Style& style, bool progress);

// Loads and validates: names and indices unique among siblings, indices without gaps from 1, proxies
// that resolve. One line per finding with the element's path; answers the number of findings.
std::size_t checkFile(const std::string& path, std::ostream& out, std::ostream& err, bool progress);

// The differences from `before` to `after` by identity, one line each ("+" added, "-" removed, ">"
// moved, "~" changed: old -> new); answers their number.
std::size_t diffFiles(const std::string& before, const std::string& after, std::ostream& out,
                      std::ostream& err, const Style& style, bool progress);

}  // namespace arvelle::tools
