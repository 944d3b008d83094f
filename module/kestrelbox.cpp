// The Python module: argument checks, the result pair and the one diagnostic
// line around the message codec.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "../codec/codec.h"
#include "diagnostic.h"

namespace py = pybind11;

using codec_function = std::int32_t (*)(const std::uint8_t*, std::int32_t, const output_sink&,
                                        const std::uint8_t*, const std::uint8_t*);

static const std::uint8_t* bytes_of(const py::bytes& object) {
    return reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(object.ptr()));
}

// The codec's one allocation of the message's size is the result's bytes
// object, uninitialised, which the codec fills. When Python cannot allocate
// it, its MemoryError is what the caller sees.
static std::uint8_t* allocate_result(void* owner, std::size_t size) {
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (bytes == nullptr) {
        throw py::error_already_set();
    }
    *static_cast<py::object*>(owner) = py::reinterpret_steal<py::bytes>(bytes);
    return reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(bytes));
}

// The frame both functions share: lengths checked here, the codec called with
// the caller's bytes as they are, and (status, bytes or None) returned.
static py::tuple call_codec(codec_function codec, const py::bytes& data, const py::bytes& key,
                            const py::bytes& iv) {
    py::tuple result(2);
    const Py_ssize_t data_size = PyBytes_GET_SIZE(data.ptr());
    const Py_ssize_t key_size = PyBytes_GET_SIZE(key.ptr());
    const Py_ssize_t iv_size = PyBytes_GET_SIZE(iv.ptr());
    py::object output;

    // The codec counts in signed 32 bits; a longer message must be refused,
    // never cut down to what a narrowing cast would leave of its length.
    if (data_size > INT32_MAX) {
        throw std::overflow_error("data is too long: at most 2147483647 bytes");
    }

    std::int32_t status;
    if (data_size > 0 && key_size == 16 && iv_size == key_size) {
        status = codec(bytes_of(data), static_cast<std::int32_t>(data_size),
                       output_sink{allocate_result, &output}, bytes_of(key), bytes_of(iv));
        if (status != -1) {
            result[1] = std::move(output);
        }
    } else {
        print_diagnostic();
        status = -1;
    }
    result[0] = py::int_(status);
    if (status == -1) {
        result[1] = py::none();
    }
    return result;
}

static py::tuple aes_encode(py::bytes data, py::bytes key, py::bytes iv) {
    return call_codec(encode_message, data, key, iv);
}

static py::tuple aes_decode(py::bytes data, py::bytes key, py::bytes iv) {
    return call_codec(decode_message, data, key, iv);
}

PYBIND11_MODULE(kestrelbox, m) {
    m.doc() = "kestrelbox plugin";
    m.def("aes_encode", &aes_encode, "aes aes_encode");
    m.def("aes_decode", &aes_decode, "aes aes_decode");
}
