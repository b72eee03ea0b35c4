// The non-template parts of the runtime driver: output dtypes, names,
// context conversion and snapshot arrays.
#include "zelk-python/runtime.hpp"

#include <Python.h>
#include <sys/mman.h>

#include <new>

#include "zelk/features/feature_id.hpp"

namespace zelk::python {

std::string_view to_string(OutputDtype dtype) {
    return dtype == OutputDtype::Float32 ? "float32" : "float64";
}

OutputDtype parse_output_dtype(nb::handle value) {
    if (nb::isinstance<nb::str>(value)) {
        const std::string_view text = nb::borrow<nb::str>(value).c_str();
        if (text == "float32") return OutputDtype::Float32;
        if (text == "float64") return OutputDtype::Float64;
    } else {
        nb::module_ numpy = nb::module_::import_("numpy");
        if (value.is(numpy.attr("float32"))) return OutputDtype::Float32;
        if (value.is(numpy.attr("float64"))) return OutputDtype::Float64;
    }
    raise_value_error(
        "output_dtype must be \"float32\", \"float64\", numpy.float32, or numpy.float64");
}

std::vector<std::string> complete_names(std::span<const std::string> ids, size_t capacity) {
    std::vector<std::string> names(ids.begin(), ids.end());
    names.reserve(capacity);
    for (size_t i = names.size(); i < capacity; ++i) {
        names.push_back(fmt::format("{}{}", RESERVED_FEATURE_ID_PREFIX, i));
    }
    return names;
}

ContextBatch ContextBatch::from_dict(nb::handle dict, std::string_view argument) {
    if (!nb::isinstance<nb::dict>(dict)) {
        throw nb::type_error(
            fmt::format("{}: expected a dict of feature ID to float or None, got {}", argument,
                        nb::inst_name(dict).c_str())
                .c_str());
    }
    ContextBatch batch;
    nb::dict items = nb::borrow<nb::dict>(dict);
    batch.names_.reserve(items.size());
    batch.updates_.reserve(items.size());
    for (auto [key, value] : items) {
        if (!nb::isinstance<nb::str>(key)) {
            throw nb::type_error(fmt::format("{}: feature IDs must be str, got {}", argument,
                                             nb::inst_name(key).c_str())
                                     .c_str());
        }
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(key.ptr(), &size);
        if (utf8 == nullptr) throw nb::python_error();
        std::optional<double> number;
        if (!value.is_none()) {
            // Any real number converts (float, int, NumPy scalars); other
            // objects are a type error.
            const double converted = PyFloat_AsDouble(value.ptr());
            if (converted == -1.0 && PyErr_Occurred()) {
                PyErr_Clear();
                throw nb::type_error(
                    fmt::format("{}: the value of {} must be a float or None, got {}", argument,
                                nb::repr(key).c_str(), nb::inst_name(value).c_str())
                        .c_str());
            }
            number = converted;
        }
        batch.names_.push_back(std::make_unique<std::string>(utf8, static_cast<size_t>(size)));
        batch.updates_.push_back(ContextUpdate{*batch.names_.back(), number});
    }
    return batch;
}

size_t context_row_index(nb::handle key, size_t rows) {
    if (!PyLong_Check(key.ptr()) || PyBool_Check(key.ptr())) {
        raise_value_error("context row index must be an integer");
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(key.ptr(), &overflow);
    if (value == -1 && PyErr_Occurred()) throw nb::python_error();
    if (overflow < 0 || (overflow == 0 && value < 0)) {
        raise_value_error("context row index must be nonnegative");
    }
    if (overflow > 0 || static_cast<unsigned long long>(value) >= rows) {
        raise_value_error(
            fmt::format("context row {} is outside this replay", nb::str(key).c_str()));
    }
    return static_cast<size_t>(value);
}

namespace {

constexpr size_t HUGE_PAGE = size_t{2} << 20;

void release_plain(void* data) noexcept {
    ::operator delete[](data);
}
void release_huge(void* data) noexcept {
    ::operator delete[](data, std::align_val_t{HUGE_PAGE});
}

}  // namespace

BlockStorage allocate_block(size_t bytes) {
    if (bytes < 2 * HUGE_PAGE)
        return BlockStorage{::operator new[](std::max<size_t>(bytes, 1)), &release_plain};
    void* data = ::operator new[](bytes, std::align_val_t{HUGE_PAGE});
    // Advice only: without huge pages the block works the same, just slower.
    madvise(data, bytes / HUGE_PAGE * HUGE_PAGE, MADV_HUGEPAGE);
    return BlockStorage{data, &release_huge};
}

FloatArray snapshot_array(std::span<const double> values, OutputDtype dtype) {
    const auto make = [&]<typename T>(T* data) {
        nb::object array = new_vector(values.size(), data);
        copy_snapshot(values, data);
        return nb::steal<FloatArray>(array.release());
    };
    if (dtype == OutputDtype::Float32) return make(static_cast<float*>(nullptr));
    return make(static_cast<double*>(nullptr));
}

}  // namespace zelk::python
