#include "zelk-python/fast_call.hpp"

namespace zelk::python::fast_call {

namespace {

// The interned parameter names, in Keyword order; made once, kept for the
// life of the process.
const std::array<PyObject*, KEYWORD_COUNT>& keyword_names() {
    static const std::array<PyObject*, KEYWORD_COUNT> names = [] {
        static constexpr std::array<const char*, KEYWORD_COUNT> TEXT = {
            "price", "volume", "side", "bid", "ask", "context_updates"};
        std::array<PyObject*, KEYWORD_COUNT> interned{};
        for (size_t i = 0; i < TEXT.size(); ++i) {
            interned[i] = PyUnicode_InternFromString(TEXT[i]);
            if (interned[i] == nullptr) throw nb::python_error();
        }
        return interned;
    }();
    return names;
}

}  // namespace

vectorcallfunc install(nb::handle cls, const char* name, vectorcallfunc fast) {
    keyword_names();  // interned up front, so a call never fails making them
    PyObject* method =
        PyDict_GetItemString(reinterpret_cast<PyTypeObject*>(cls.ptr())->tp_dict, name);
    if (method == nullptr) throw std::logic_error("fast call: method not defined");
    PyTypeObject* type = Py_TYPE(method);
    if (!PyType_HasFeature(type, Py_TPFLAGS_HAVE_VECTORCALL) || type->tp_vectorcall_offset <= 0) {
        throw std::logic_error("fast call: method without a vectorcall entry");
    }
    auto* entry = reinterpret_cast<vectorcallfunc*>(reinterpret_cast<char*>(method) +
                                                    type->tp_vectorcall_offset);
    const vectorcallfunc replaced = *entry;
    *entry = fast;
    return replaced;
}

void set_error_from_exception() noexcept {
    try {
        throw;
    } catch (nb::python_error& error) {
        error.restore();
    } catch (const nb::builtin_exception& error) {
        PyObject* type = PyExc_RuntimeError;
        switch (error.type()) {
            case nb::exception_type::value_error:
                type = PyExc_ValueError;
                break;
            case nb::exception_type::type_error:
                type = PyExc_TypeError;
                break;
            case nb::exception_type::index_error:
                type = PyExc_IndexError;
                break;
            case nb::exception_type::key_error:
                type = PyExc_KeyError;
                break;
            default:
                break;
        }
        PyErr_SetString(type, error.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
    }
}

bool read_keywords(PyObject* const* values_in, PyObject* kwnames, size_t accepted,
                   KeywordValues& values) {
    if (kwnames == nullptr) return true;
    const auto& names = keyword_names();
    const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, i);
        size_t k = 0;
        while (k < accepted && names[k] != name) ++k;
        if (k == accepted || values[k] != nullptr) return false;
        values[k] = values_in[i];
    }
    return true;
}

}  // namespace zelk::python::fast_call
