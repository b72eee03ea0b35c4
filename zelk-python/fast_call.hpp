// Fast call paths for the methods Python code calls once per event or per
// small batch: the runtime classes' `update` and `transform` (here) and
// OrderBookEvent's two constructors (in order_book.cpp).
//
// nanobind's general dispatcher (keyword matching against every parameter,
// one type caster per argument, std::optional wrappers, array import
// through DLPack, std::string copies) costs several times the work of such
// a call. A fast path is a small vectorcall function put in front of the
// nanobind function object: a call whose arguments are exactly of the
// common types (an exact `int` for kind, symbol, timestamp and side, a
// `float` or None for the payloads, NumPy arrays of exactly the column
// dtype that are C-contiguous, aligned and in native byte order, exact
// `str` texts, keywords spelled as in the signature) is parsed there and
// handed to the same operation; any other call goes unchanged to nanobind's
// dispatcher, which therefore still owns conversions, defaults and every
// type error message. Parsing has no side effects, so a call can be passed
// on at any point of it. The function objects stay nanobind's, so their
// docstrings, signatures and stubs do not change.
//
// Not thread-safe; every call runs under the interpreter lock.
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>

#include <nanobind/nanobind.h>

#include "zelk-python/numpy_arrays.hpp"
#include "zelk-python/runtime.hpp"

namespace zelk::python {

namespace nb = nanobind;

namespace fast_call {

// Replaces the vectorcall entry of the method `name` of `cls` (a nanobind
// method) with `fast`, and returns the entry it replaced.
vectorcallfunc install(nb::handle cls, const char* name, vectorcallfunc fast);

// Sets the Python error for the C++ exception being handled, mapping the
// exceptions the driver raises as nanobind's dispatcher does. REQUIRES: an
// exception is being handled.
void set_error_from_exception() noexcept;

// Keyword-only parameters of update (the first five) and transform (all).
enum Keyword : uint8_t { PRICE, VOLUME, SIDE, BID, ASK, CONTEXT_UPDATES, KEYWORD_COUNT };

// The keyword arguments of one call, by parameter; null when not given.
using KeywordValues = std::array<PyObject*, KEYWORD_COUNT>;

// Sorts the keyword arguments of a vectorcall into `values`, accepting the
// first `accepted` parameters of Keyword. False when a name is unknown, not
// interned, or given twice.
bool read_keywords(PyObject* const* values_in, PyObject* kwnames, size_t accepted,
                   KeywordValues& values);

// An exact int in [low, high]; false for anything else (including bool, an
// int subclass, and an int out of range).
inline bool read_exact_int(PyObject* object, long long low, long long high, long long& out) {
    if (!PyLong_CheckExact(object)) return false;
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (overflow != 0 || value < low || value > high) return false;
    out = value;
    return true;
}

// Null (not given) or None leaves `out` absent; a float sets it.
inline bool read_optional_float(PyObject* object, const double*& out, double& storage) {
    if (object == nullptr || object == Py_None) {
        out = nullptr;
        return true;
    }
    if (!PyFloat_Check(object)) return false;
    storage = PyFloat_AS_DOUBLE(object);
    out = &storage;
    return true;
}

// A NumPy array of exactly T that is C-contiguous, aligned and in native
// byte order; false for anything else.
template <typename T>
bool read_column(PyObject* object, ColumnView<T>& out) {
    size_t size = 0;
    const T* data = exact_column<T>(object, size);
    if (data == nullptr) return false;
    out = ColumnView<T>{data, size, true};
    return true;
}

// Null (not given) or None leaves `out` absent; otherwise as read_column.
template <typename T>
bool read_optional_column(PyObject* object, std::optional<ColumnView<T>>& out) {
    if (object == nullptr || object == Py_None) return true;
    return read_column(object, out.emplace());
}

}  // namespace fast_call

template <typename Driver>
class RuntimeFastCalls {
  public:
    // Installs the fast paths on `cls.update` and `cls.transform`, which
    // must be nanobind methods with the signatures (self, kind, symbol,
    // timestamp, *, price, volume, side, bid, ask) and (the same,
    // context_updates).
    static void install(nb::handle cls) {
        cls_ = reinterpret_cast<PyTypeObject*>(cls.ptr());
        update_dispatcher_ = fast_call::install(cls, "update", &update);
        transform_dispatcher_ = fast_call::install(cls, "transform", &transform);
    }

  private:
    // The driver of `self` when the call is on this exact class with
    // self, kind, symbol, timestamp given positionally, or null.
    static Driver* driver(PyObject* const* args, Py_ssize_t nargs) {
        if (nargs != 4 || Py_TYPE(args[0]) != cls_ || !nb::inst_ready(args[0])) return nullptr;
        return nb::inst_ptr<Driver>(args[0]);
    }

    static PyObject* update(PyObject* callable, PyObject* const* args, size_t nargsf,
                            PyObject* kwnames) noexcept {
        const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
        Driver* self = driver(args, nargs);
        fast_call::KeywordValues keywords{};
        ScalarRow row;
        long long kind = 0;
        long long handle = 0;
        long long timestamp = 0;
        long long side = 0;
        uint8_t side_value = 0;
        std::array<double, 4> payload{};  // price, volume, and the unread bid and ask
        const double* unread = nullptr;
        if (self == nullptr ||
            !fast_call::read_keywords(args + nargs, kwnames, fast_call::CONTEXT_UPDATES,
                                      keywords) ||
            !fast_call::read_exact_int(args[1], 0, UINT8_MAX, kind) ||
            !fast_call::read_exact_int(args[2], INT64_MIN, INT64_MAX, handle) ||
            !fast_call::read_exact_int(args[3], INT64_MIN, INT64_MAX, timestamp) ||
            !fast_call::read_optional_float(keywords[fast_call::PRICE], row.price, payload[0]) ||
            !fast_call::read_optional_float(keywords[fast_call::VOLUME], row.volume, payload[1]) ||
            // bid and ask are never read, but their type is still checked.
            !fast_call::read_optional_float(keywords[fast_call::BID], unread, payload[2]) ||
            !fast_call::read_optional_float(keywords[fast_call::ASK], unread, payload[3])) {
            return update_dispatcher_(callable, args, nargsf, kwnames);
        }
        if (PyObject* given = keywords[fast_call::SIDE]; given != nullptr && given != Py_None) {
            if (!fast_call::read_exact_int(given, 0, UINT8_MAX, side)) {
                return update_dispatcher_(callable, args, nargsf, kwnames);
            }
            side_value = static_cast<uint8_t>(side);
            row.side = &side_value;
        }
        row.kind = static_cast<uint8_t>(kind);
        row.handle = handle;
        row.timestamp = timestamp;
        try {
            self->update(row);
        } catch (...) {
            fast_call::set_error_from_exception();
            return nullptr;
        }
        Py_RETURN_NONE;
    }

    static PyObject* transform(PyObject* callable, PyObject* const* args, size_t nargsf,
                               PyObject* kwnames) noexcept {
        const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
        Driver* self = driver(args, nargs);
        fast_call::KeywordValues keywords{};
        BatchColumns columns;
        PyObject* context = nullptr;
        if (self == nullptr ||
            !fast_call::read_keywords(args + nargs, kwnames, fast_call::KEYWORD_COUNT, keywords) ||
            !fast_call::read_column(args[1], columns.kind) ||
            !fast_call::read_column(args[2], columns.symbol) ||
            !fast_call::read_column(args[3], columns.timestamp) ||
            !fast_call::read_optional_column(keywords[fast_call::PRICE], columns.price) ||
            !fast_call::read_optional_column(keywords[fast_call::VOLUME], columns.volume) ||
            !fast_call::read_optional_column(keywords[fast_call::SIDE], columns.side) ||
            !fast_call::read_optional_column(keywords[fast_call::BID], columns.bid) ||
            !fast_call::read_optional_column(keywords[fast_call::ASK], columns.ask)) {
            return transform_dispatcher_(callable, args, nargsf, kwnames);
        }
        context = keywords[fast_call::CONTEXT_UPDATES];
        if (context == nullptr) context = Py_None;
        if (context != Py_None && !PyDict_Check(context)) {
            return transform_dispatcher_(callable, args, nargsf, kwnames);
        }
        try {
            return self->transform(columns, context).release().ptr();
        } catch (...) {
            fast_call::set_error_from_exception();
            return nullptr;
        }
    }

    static inline PyTypeObject* cls_ = nullptr;
    static inline vectorcallfunc update_dispatcher_ = nullptr;
    static inline vectorcallfunc transform_dispatcher_ = nullptr;
};

}  // namespace zelk::python
