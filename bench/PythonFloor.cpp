// The floor of a property access from Python: the workload's leaf as plain C++ structs with the same
// fields, bound directly with pybind11. bench/python_bench.py runs the same loops over these and over
// the arvelle package; the difference is what the package's crossing costs.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>

namespace {

// SignalAttributes' fields: texts as text, enumerations as their value (none when unset).
struct Signal {
    std::optional<int> complexity, dimsMode, virtuality, dataMode, outputWhenDisabled;
    std::string min, max, unit, dataType, dims, sampleTime, valueType, desc, outputSignalName, initialOutput;
};

struct Leaf {
    std::shared_ptr<Signal> signalAttrs = std::make_shared<Signal>();
};

}  // namespace

PYBIND11_MODULE(_arvelle_floor, m) {
    namespace py = pybind11;
    py::class_<Signal, std::shared_ptr<Signal>>(m, "Signal")
        .def(py::init<>())
        .def_readwrite("complexity", &Signal::complexity)
        .def_readwrite("min", &Signal::min)
        .def_readwrite("max", &Signal::max)
        .def_readwrite("unit", &Signal::unit)
        .def_readwrite("dataType", &Signal::dataType)
        .def_readwrite("dims", &Signal::dims)
        .def_readwrite("dimsMode", &Signal::dimsMode)
        .def_readwrite("sampleTime", &Signal::sampleTime)
        .def_readwrite("virtuality", &Signal::virtuality)
        .def_readwrite("dataMode", &Signal::dataMode)
        .def_readwrite("valueType", &Signal::valueType)
        .def_readwrite("desc", &Signal::desc)
        .def_readwrite("outputSignalName", &Signal::outputSignalName)
        .def_readwrite("initialOutput", &Signal::initialOutput)
        .def_readwrite("outputWhenDisabled", &Signal::outputWhenDisabled);
    py::class_<Leaf>(m, "Leaf").def(py::init<>()).def_readonly("signalAttrs", &Leaf::signalAttrs);
}
