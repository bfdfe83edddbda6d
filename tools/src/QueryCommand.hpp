#pragma once
// The query command: a query in text form over a model file or the demo's example model.

#include "Style.hpp"

#include <ostream>
#include <string>

namespace arvelle::tools {

// Runs the query `text` over the model in `path` (the demo's example model when `path` is empty) and
// prints each match, by its path and as the tree printer prints its node, then the number of matches.
// A query text that does not parse or fit the metamodel is reported on `err` with a caret under the
// column, and nothing is evaluated. Answers the exit code: 0 with matches or none, 1 for a bad query.
int runQuery(const std::string& text, const std::string& path, std::ostream& out, std::ostream& err,
             const Style& style, bool progress);

}  // namespace arvelle::tools
