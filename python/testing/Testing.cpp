// A test-only extension module: registers the scripting classes the scripting layer's C++ suites use
// (fenmoTest.Node, fenmoTest.Complexity, and minimal TreeNode and ParentAttributes classes), so that the
// Python tests drive element classes, enumerations and collections through the generic package.

#include "qorin/Support.hpp"

#include <fenmo/meta/AbstractMetaPackage.hpp>
#include <plexo/Factory.hpp>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <boost/optional.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace {
// The floor of a bound property access: a plain C++ struct with the test element's fields, bound
// directly with pybind11 (the Python access benchmark compares the package against it).
struct Floor {
    std::optional<std::string> text;
    std::optional<std::int32_t> number;
};
}  // namespace

// The initialiser a library exports for hosts: arvelle.load_library finds and calls it.
extern "C" __attribute__((visibility("default"))) void QorinInitialize_arvelletesting() {
    qorin_test::registerTestNamespaces();
}

PYBIND11_MODULE(_arvelle_testing, m) {
    // Scripting objects bound to native objects right now.
    m.def("bound_count", [] { return plexo::factory::BindingRegistry::size(); });
    pybind11::class_<Floor>(m, "Floor")
        .def(pybind11::init<>())
        .def_readwrite("text", &Floor::text)
        .def_readwrite("number", &Floor::number);
}
