// A test-only extension module: registers the scripting classes the scripting layer's C++ suites use
// (fenmoTest.Node, fenmoTest.Complexity, and minimal TreeNode and ParentAttributes classes), so that the
// Python tests drive element classes, enumerations and collections through the generic package.

#include "qorin/Support.hpp"

#include <fenmo/meta/AbstractMetaPackage.hpp>
#include <plexo/Factory.hpp>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

// The initialiser a library exports for hosts: arvelle.load_library finds and calls it.
extern "C" __attribute__((visibility("default"))) void QorinInitialize_arvelletesting() {
    qorin_test::registerTestNamespaces();
}

PYBIND11_MODULE(_arvelle_testing, m) {
    // Scripting objects bound to native objects right now.
    m.def("bound_count", [] { return plexo::factory::BindingRegistry::size(); });
}
