// A fast call path for the runtime classes' `update` method.
//
// `update` is the one method Python code calls once per event, and
// nanobind's general dispatcher (keyword matching against every parameter,
// one type caster per argument, std::optional wrappers) costs several times
// the core's work for one event. `install_update_fast_path` puts a small
// vectorcall function in front of the bound method: a call whose arguments
// are exactly of the common types (an exact `int` for kind, symbol,
// timestamp and side, a `float` or None for the payloads, keywords spelled
// as in the signature) is parsed here and handed to the driver's try_update;
// any other call goes unchanged to nanobind's dispatcher, which therefore
// still owns conversions, defaults and every type error message. The
// method object itself is nanobind's, so its docstring, signature and stub
// do not change.
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
#include <string>

#include <nanobind/nanobind.h>

#include "zelk-python/runtime.hpp"

namespace zelk::python {

namespace nb = nanobind;

namespace detail {

// Reads an exact int into [low, high]; false for anything else (including
// bool, an int subclass, and an int out of range).
inline bool read_exact_int(PyObject* object, long long low, long long high, long long& out) {
    if (!PyLong_CheckExact(object)) return false;
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (overflow != 0 || value < low || value > high) return false;
    out = value;
    return true;
}

// Reads a float or None (`present` false); false for anything else.
inline bool read_optional_float(PyObject* object, bool& present, double& out) {
    if (object == Py_None) {
        present = false;
        return true;
    }
    if (!PyFloat_Check(object)) return false;
    present = true;
    out = PyFloat_AS_DOUBLE(object);
    return true;
}

// Keyword names accepted by update, in signature order.
enum UpdateKeyword : uint8_t { PRICE, VOLUME, SIDE, BID, ASK, KEYWORD_COUNT };

}  // namespace detail

template <typename Driver>
class UpdateFastPath {
  public:
    // Installs the fast path on `cls.update`, which must be a nanobind
    // method already defined with the signature (self, kind, symbol,
    // timestamp, *, price, volume, side, bid, ask).
    static void install(nb::handle cls) {
        PyObject* method =
            PyDict_GetItemString(reinterpret_cast<PyTypeObject*>(cls.ptr())->tp_dict, "update");
        if (method == nullptr) throw std::runtime_error("update is not defined");
        PyTypeObject* method_type = Py_TYPE(method);
        if (!PyType_HasFeature(method_type, Py_TPFLAGS_HAVE_VECTORCALL) ||
            method_type->tp_vectorcall_offset <= 0) {
            throw std::runtime_error("update does not support vectorcall");
        }
        static constexpr std::array<const char*, detail::KEYWORD_COUNT> NAMES = {
            "price", "volume", "side", "bid", "ask"};
        for (size_t i = 0; i < NAMES.size(); ++i) {
            keywords_[i] = PyUnicode_InternFromString(NAMES[i]);  // kept for the process
            if (keywords_[i] == nullptr) throw nb::python_error();
        }
        cls_ = reinterpret_cast<PyTypeObject*>(cls.ptr());
        auto* slot = reinterpret_cast<vectorcallfunc*>(reinterpret_cast<char*>(method) +
                                                       method_type->tp_vectorcall_offset);
        dispatcher_ = *slot;
        *slot = &call;
    }

  private:
    static PyObject* call(PyObject* callable, PyObject* const* args, size_t nargsf,
                          PyObject* kwnames) noexcept {
        ScalarRow row;
        std::array<double, 2> payload{};
        uint8_t side = 0;
        if (!parse(args, PyVectorcall_NARGS(nargsf), kwnames, row, payload, side)) {
            return dispatcher_(callable, args, nargsf, kwnames);
        }
        try {
            Driver& driver = *nb::inst_ptr<Driver>(args[0]);
            if (std::optional<std::string> refused = driver.try_update(row)) {
                PyErr_SetString(PyExc_ValueError, refused->c_str());
                return nullptr;
            }
        } catch (const std::bad_alloc&) {
            return PyErr_NoMemory();
        } catch (const std::exception& error) {
            PyErr_SetString(PyExc_RuntimeError, error.what());
            return nullptr;
        }
        Py_RETURN_NONE;
    }

    // Fills `row` from a call with exactly the common argument types; false
    // sends the call to nanobind's dispatcher. `payload` and `side` hold the
    // values the row points to.
    static bool parse(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, ScalarRow& row,
                      std::array<double, 2>& payload, uint8_t& side) {
        // self, kind, symbol, timestamp: positional only on this path.
        if (nargs != 4 || Py_TYPE(args[0]) != cls_ || !nb::inst_ready(args[0])) return false;
        long long kind = 0;
        long long handle = 0;
        long long timestamp = 0;
        if (!detail::read_exact_int(args[1], 0, UINT8_MAX, kind) ||
            !detail::read_exact_int(args[2], INT64_MIN, INT64_MAX, handle) ||
            !detail::read_exact_int(args[3], INT64_MIN, INT64_MAX, timestamp)) {
            return false;
        }
        row.kind = static_cast<uint8_t>(kind);
        row.handle = handle;
        row.timestamp = timestamp;
        const Py_ssize_t count = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t i = 0; i < count; ++i) {
            PyObject* name = PyTuple_GET_ITEM(kwnames, i);
            PyObject* value = args[nargs + i];
            size_t keyword = 0;
            while (keyword < detail::KEYWORD_COUNT && keywords_[keyword] != name) ++keyword;
            bool present = false;
            double number = 0.0;
            switch (keyword) {
                case detail::PRICE:
                case detail::VOLUME:
                    if (!detail::read_optional_float(value, present, number)) return false;
                    payload[keyword] = number;
                    (keyword == detail::PRICE ? row.price : row.volume) =
                        present ? &payload[keyword] : nullptr;
                    break;
                case detail::SIDE: {
                    long long read = 0;
                    if (value == Py_None) {
                        row.side = nullptr;
                    } else if (detail::read_exact_int(value, 0, UINT8_MAX, read)) {
                        side = static_cast<uint8_t>(read);
                        row.side = &side;
                    } else {
                        return false;
                    }
                    break;
                }
                case detail::BID:
                case detail::ASK:
                    // Never read, but their type is still checked.
                    if (!detail::read_optional_float(value, present, number)) return false;
                    break;
                default:
                    return false;  // an unknown or non-interned keyword
            }
        }
        return true;
    }

    static inline PyTypeObject* cls_ = nullptr;
    static inline vectorcallfunc dispatcher_ = nullptr;
    static inline std::array<PyObject*, detail::KEYWORD_COUNT> keywords_{};
};

}  // namespace zelk::python
