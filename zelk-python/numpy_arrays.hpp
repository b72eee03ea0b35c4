// NumPy arrays made and read through NumPy's C API.
//
// Results handed to Python are created here directly rather than through a
// generic array-exchange protocol, which costs several hundred nanoseconds
// per array: too much for values() after every live event, or for a replay
// call of a few rows. Only this unit includes the NumPy headers.
//
// Every function runs under the interpreter lock and requires
// import_numpy() to have succeeded.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>

#include <nanobind/nanobind.h>

namespace zelk::python {

namespace nb = nanobind;

// Loads NumPy's C API; called once when the module is initialised. Raises
// the Python error (ImportError) when NumPy cannot be imported.
void import_numpy();

// A new one-dimensional array of `size` elements of T (float or double),
// uninitialised; `data` receives its first element.
template <typename T>
nb::object new_vector(size_t size, T*& data);

// A new (rows, width) C-order array over `data`, which `owner` keeps alive
// and frees: the array does not own its data and releases `owner` when it
// goes away. T is float or double.
template <typename T>
nb::object wrap_matrix(T* data, size_t rows, size_t width, nb::capsule owner);

// The elements of `object` when it is a NumPy array (not a subclass) of
// exactly T (uint8_t, int64_t or double), one-dimensional, C-contiguous,
// aligned and in native byte order; nullptr otherwise. `size` receives the
// length.
template <typename T>
const T* exact_column(PyObject* object, size_t& size);

}  // namespace zelk::python
