#pragma once
// The python command: a Python script run with this build's arvelle package importable.

#include <ostream>
#include <string>
#include <vector>

namespace arvelle::tools {

// Replaces the process by the Python interpreter the package was built for, running `script` with
// `arguments`, with the package's directory first on PYTHONPATH. Returns only when that fails (no
// interpreter, or a build without the package): then it says why on `err` and answers exit code 1.
int runPython(const std::string& script, const std::vector<std::string>& arguments, std::ostream& err);

}  // namespace arvelle::tools
