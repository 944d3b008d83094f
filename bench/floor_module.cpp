// The floor under every call of the module: a pybind11 function of the same
// signature that does no work, three bytes objects in and (0, 32 bytes) out.
// `make bench` builds it beside the benchmark; it is never shipped.
#include <pybind11/pybind11.h>

#include <cstring>

namespace py = pybind11;

static py::tuple floor_call(py::bytes, py::bytes, py::bytes) {
    py::tuple result(2);
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, 32);
    if (bytes == nullptr) {
        throw py::error_already_set();
    }
    std::memset(PyBytes_AS_STRING(bytes), 0, 32);
    result[0] = py::int_(0);
    result[1] = py::reinterpret_steal<py::bytes>(bytes);
    return result;
}

PYBIND11_MODULE(kestrelbox_floor, m, py::mod_gil_not_used()) {
    m.def("floor_call", &floor_call);
}
