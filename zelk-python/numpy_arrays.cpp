#include "zelk-python/numpy_arrays.hpp"

#define NPY_NO_DEPRECATED_API NPY_1_23_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL zelk_numpy_api
#include <numpy/arrayobject.h>

namespace zelk::python {

namespace {

template <typename T>
constexpr int type_number() {
    if constexpr (std::is_same_v<T, uint8_t>) return NPY_UINT8;
    if constexpr (std::is_same_v<T, int64_t>) return NPY_INT64;
    if constexpr (std::is_same_v<T, float>) return NPY_FLOAT32;
    if constexpr (std::is_same_v<T, double>) return NPY_FLOAT64;
}

}  // namespace

void import_numpy() {
    if (_import_array() < 0) throw nb::python_error();
}

template <typename T>
nb::object new_vector(size_t size, T*& data) {
    npy_intp dims[1] = {static_cast<npy_intp>(size)};
    PyObject* array = PyArray_SimpleNew(1, dims, type_number<T>());
    if (array == nullptr) throw nb::python_error();
    data = static_cast<T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)));
    return nb::steal(array);
}

template <typename T>
nb::object wrap_matrix(T* data, size_t rows, size_t width, nb::capsule owner) {
    npy_intp dims[2] = {static_cast<npy_intp>(rows), static_cast<npy_intp>(width)};
    PyObject* array = PyArray_New(&PyArray_Type, 2, dims, type_number<T>(), nullptr, data, 0,
                                  NPY_ARRAY_CARRAY, nullptr);
    if (array == nullptr) throw nb::python_error();
    // Steals the reference to the owner, even on failure.
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array), owner.release().ptr()) < 0) {
        Py_DECREF(array);
        throw nb::python_error();
    }
    return nb::steal(array);
}

template <typename T>
const T* exact_column(PyObject* object, size_t& size) {
    if (!PyArray_CheckExact(object)) return nullptr;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    constexpr int REQUIRED = NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED;
    if (PyArray_NDIM(array) != 1 || PyArray_TYPE(array) != type_number<T>() ||
        !PyArray_ISNOTSWAPPED(array) || (PyArray_FLAGS(array) & REQUIRED) != REQUIRED) {
        return nullptr;
    }
    size = static_cast<size_t>(PyArray_DIM(array, 0));
    return static_cast<const T*>(PyArray_DATA(array));
}

template nb::object new_vector<float>(size_t, float*&);
template nb::object new_vector<double>(size_t, double*&);
template nb::object wrap_matrix<float>(float*, size_t, size_t, nb::capsule);
template nb::object wrap_matrix<double>(double*, size_t, size_t, nb::capsule);
template const uint8_t* exact_column<uint8_t>(PyObject*, size_t&);
template const int64_t* exact_column<int64_t>(PyObject*, size_t&);
template const double* exact_column<double>(PyObject*, size_t&);

}  // namespace zelk::python
