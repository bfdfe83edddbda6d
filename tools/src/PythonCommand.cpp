#include "PythonCommand.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace arvelle::tools {

int runPython(const std::string& script, const std::vector<std::string>& arguments, std::ostream& err) {
    // Both places are fixed when the program is configured; the environment may name another package.
    const char* fromEnvironment = std::getenv("ARVELLE_PYTHON_PACKAGE_DIR");
    const std::string packageDir = fromEnvironment ? fromEnvironment : ARVELLE_PYTHON_PACKAGE_DIR;
    const std::string interpreter = ARVELLE_PYTHON_INTERPRETER;
    std::error_code ignored;
    if (packageDir.empty() || !std::filesystem::exists(packageDir + "/arvelle/__init__.py", ignored)) {
        err << "arvelle: this build has no Python package (it needs pybind11 and the Python headers; "
               "see README.md)\n";
        return 1;
    }
    const char* before = std::getenv("PYTHONPATH");
    const std::string path = before && *before ? packageDir + ":" + before : packageDir;
    setenv("PYTHONPATH", path.c_str(), 1);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(interpreter.c_str()));
    argv.push_back(const_cast<char*>(script.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    err.flush();
    execv(interpreter.c_str(), argv.data());
    err << "arvelle: cannot run " << interpreter << ": " << std::strerror(errno) << "\n";
    return 1;
}

}  // namespace arvelle::tools
