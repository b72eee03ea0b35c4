// RuntimeDriver<Core>: the engine behind the Python runtime classes.
//
// It turns Python scalars and NumPy columns into core events, keeps the
// object-local table of symbol handles, and runs single events (live
// stepping) and whole batches (replay) through the same core call, so both
// modes agree exactly. `Core` adapts one core runtime (the feature extractor,
// or a pipeline wrapping one) to the small interface of `DriverCore` below.
//
// Validation happens before anything is dispatched: a batch is built into a
// list of events and every context batch is checked before the first row
// runs. The only partial application is a core refusal in the middle of a
// replay: earlier rows stay applied and the error names the failing row.
//
// The replay loop makes no Python calls between rows; the output block is
// allocated once and handed to NumPy without a copy.
//
// Not thread-safe; every call runs under the interpreter lock.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>

#include "zelk-python/arguments.hpp"
#include "zelk-python/numpy_arrays.hpp"
#include "zelk-python/order_book.hpp"
#include "zelk/event.hpp"
#include "zelk/features/feature_extractor.hpp"
#include "zelk/symbols.hpp"

namespace zelk::python {

namespace nb = nanobind;

// What the driver needs from a core runtime. `handle_event` and
// `update_context` include whatever refresh the runtime does after an
// accepted event or a non-empty context batch.
template <typename Core>
concept DriverCore = requires(Core core, const Core& view, Event event,
                              std::span<const ContextUpdate> updates) {
    { core.handle_event(std::move(event)) } -> std::same_as<Status>;
    { core.update_context(updates) } -> std::same_as<Status>;
    { view.validate_context(updates) } -> std::same_as<Status>;
    // The values snapshot: every output cell, reserved ones included.
    { view.output() } -> std::same_as<std::span<const double>>;
    // The raw extractor vector (the same as output() for the extractor).
    { view.raw_output() } -> std::same_as<std::span<const double>>;
    { view.extractor() } -> std::same_as<const FeatureExtractor&>;
};

namespace detail {
constexpr bool any_object(PyObject*) {
    return true;
}
}  // namespace detail

// A NumPy array of float32 or float64 handed back to Python. The type only
// names the result in signatures and stubs.
class FloatArray : public nb::object {
    NB_OBJECT_DEFAULT(FloatArray, nb::object, "numpy.typing.NDArray[numpy.floating]",
                      detail::any_object)
};

// An output_dtype argument: a string or a NumPy scalar type, checked by
// parse_output_dtype.
class DtypeArgument : public nb::object {
    NB_OBJECT_DEFAULT(DtypeArgument, nb::object, "str | type[numpy.floating]", detail::any_object)
};

// The argument of update_context, and one value of context_updates.
using ContextDict = nb::typed<nb::dict, nb::str, std::optional<double>>;
// The context_updates argument of the batch methods: row index -> batch.
using RowContextDict = nb::typed<nb::dict, int, ContextDict>;

enum class OutputDtype : uint8_t { Float32, Float64 };

// "float32" / "float64".
std::string_view to_string(OutputDtype dtype);
// Accepts the strings "float32" and "float64" and the objects numpy.float32
// and numpy.float64; anything else raises ValueError.
OutputDtype parse_output_dtype(nb::handle value);

// `ids` followed by "__reserved_{i}" for every cell index i from ids.size()
// up to `capacity`.
std::vector<std::string> complete_names(std::span<const std::string> ids, size_t capacity);

// Names and labels of one runtime class.
struct RuntimeLayout {
    std::vector<std::string> names;      // complete output names
    std::vector<std::string> raw_names;  // complete raw extractor names
    size_t active_count = 0;
    std::string_view class_name;  // "FeatureExtractor", used in messages
    std::string_view label;       // "extractor", used in messages
};

// Batch columns: one-dimensional CPU arrays of exactly this dtype. Bound with
// noconvert, so another dtype is a TypeError instead of a silent cast.
// Contiguity is checked by require_contiguous rather than in the type, so a
// strided column is refused with its own message, in the documented order.
template <typename T>
using Column = nb::ndarray<const T, nb::ndim<1>, nb::device::cpu>;
using KindColumn = Column<uint8_t>;
using HandleColumn = Column<int64_t>;
using TimestampColumn = Column<int64_t>;
using ValueColumn = Column<double>;
using SideColumn = Column<uint8_t>;

// One batch column as the driver reads it: its elements, its length, and
// whether they are contiguous (a strided column is refused by the driver,
// in the documented order of checks).
template <typename T>
struct ColumnView {
    const T* data = nullptr;
    size_t size = 0;
    bool contiguous = true;
};

// The view of a column converted by the binding layer.
template <typename T>
ColumnView<T> view_of(const Column<T>& column) {
    return ColumnView<T>{column.data(), column.shape(0),
                         column.shape(0) <= 1 || column.stride(0) == 1};
}
template <typename T>
std::optional<ColumnView<T>> view_of(const std::optional<Column<T>>& column) {
    if (!column) return std::nullopt;
    return view_of(*column);
}

// The columns of one transform call; an optional column is nullopt when
// not given.
struct BatchColumns {
    ColumnView<uint8_t> kind;
    ColumnView<int64_t> symbol;
    ColumnView<int64_t> timestamp;
    std::optional<ColumnView<double>> price;
    std::optional<ColumnView<double>> volume;
    std::optional<ColumnView<uint8_t>> side;
    std::optional<ColumnView<double>> bid;
    std::optional<ColumnView<double>> ask;
};

// Raises TypeError "The given array is not contiguous" for a strided column.
template <typename T>
void require_contiguous(const ColumnView<T>& column) {
    if (!column.contiguous) throw nb::type_error("The given array is not contiguous");
}

// One owned context batch: the names the updates point into live here.
class ContextBatch {
  public:
    // Converts a dict of feature ID to float or None, in iteration order.
    // A non-str key or a value that is neither a number nor None raises
    // TypeError naming `argument`.
    static ContextBatch from_dict(nb::handle dict, std::string_view argument);

    ContextBatch() = default;
    ContextBatch(ContextBatch&&) noexcept = default;
    ContextBatch& operator=(ContextBatch&&) noexcept = default;

    std::span<const ContextUpdate> updates() const { return updates_; }
    bool empty() const { return updates_.empty(); }

  private:
    std::vector<std::unique_ptr<std::string>> names_;  // stable addresses
    std::vector<ContextUpdate> updates_;
};

// The context batch applied before one replay row.
struct RowContext {
    size_t row = 0;
    ContextBatch batch;
};

// Converts and checks the `context_updates` argument of a replay of `rows`
// rows (keys, ranges and every batch with `validate`), and returns the
// batches sorted by row. Raises before anything is applied.
template <typename Validate>
std::vector<RowContext> prepare_context_rows(nb::handle context_updates, size_t rows,
                                             Validate&& validate);

// Raw storage for output blocks. Blocks of many rows are aligned to 2 MiB and
// marked for transparent huge pages: the replay writes every byte of a fresh
// block once, and with 4 KiB pages the page faults alone cost about as much
// as copying the rows in. `release` frees `data` and never throws.
struct BlockStorage {
    void* data = nullptr;
    void (*release)(void*) noexcept = nullptr;
};
// At least one byte is allocated, so `data` is never null. Throws
// std::bad_alloc when the block cannot be allocated.
BlockStorage allocate_block(size_t bytes);

// One output block of rows x width cells owned by NumPy once returned.
template <typename T>
class OutputBlock {
  public:
    OutputBlock(size_t rows, size_t width)
        : rows_(rows), width_(width), storage_(allocate_block(rows * width * sizeof(T))) {}
    OutputBlock(const OutputBlock&) = delete;
    OutputBlock& operator=(const OutputBlock&) = delete;
    ~OutputBlock() {
        if (storage_.data != nullptr) storage_.release(storage_.data);
    }

    T* row(size_t index) { return static_cast<T*>(storage_.data) + index * width_; }

    // Hands the block to a NumPy array of shape (rows, width) without a copy.
    FloatArray release() {
        nb::capsule owner(storage_.data, storage_.release);
        T* data = static_cast<T*>(std::exchange(storage_.data, nullptr));
        return nb::steal<FloatArray>(wrap_matrix(data, rows_, width_, std::move(owner)).release());
    }

  private:
    size_t rows_;
    size_t width_;
    BlockStorage storage_;
};

// Copies one snapshot into `out`: a block copy for float64, a rounding
// conversion for float32. Rows are short, so the float64 copy moves whole
// groups of four cells inline instead of calling memmove once per row.
inline void copy_snapshot(std::span<const double> values, double* out) {
    const double* in = values.data();
    const size_t size = values.size();
    size_t i = 0;
    for (; i + 4 <= size; i += 4) std::memcpy(out + i, in + i, 4 * sizeof(double));
    for (; i < size; ++i) out[i] = in[i];
}
inline void copy_snapshot(std::span<const double> values, float* out) {
    for (size_t i = 0; i < values.size(); ++i) out[i] = static_cast<float>(values[i]);
}

// A new one-dimensional NumPy array holding `values` in `dtype`.
FloatArray snapshot_array(std::span<const double> values, OutputDtype dtype);

// The scalar payload of one row or one update() call. A payload pointer is
// null when its column or argument is absent.
struct ScalarRow {
    uint8_t kind = 0;
    int64_t handle = 0;
    Timestamp timestamp = 0;
    const double* price = nullptr;
    const double* volume = nullptr;
    const uint8_t* side = nullptr;
};

// The columns of one scalar batch, already checked for dtype, contiguity and
// length. An optional column is null when absent.
struct ScalarColumns {
    const uint8_t* kind = nullptr;
    const int64_t* handle = nullptr;
    const int64_t* timestamp = nullptr;
    const double* price = nullptr;
    const double* volume = nullptr;
    const uint8_t* side = nullptr;

    ScalarRow row(size_t i) const {
        return ScalarRow{kind[i],
                         handle[i],
                         timestamp[i],
                         price ? price + i : nullptr,
                         volume ? volume + i : nullptr,
                         side ? side + i : nullptr};
    }
};

template <DriverCore Core>
class RuntimeDriver {
  public:
    RuntimeDriver(Core core, OutputDtype dtype, RuntimeLayout layout)
        : core_(std::move(core)), layout_(std::move(layout)), dtype_(dtype) {
        handles_.fill(-1);
    }

    const Core& core() const { return core_; }
    const RuntimeLayout& layout() const { return layout_; }
    size_t width() const { return core_.output().size(); }

    // The object-local handle of `name`, issuing the next one for a symbol
    // this object has not seen. The symbol limit raises ValueError.
    int64_t symbol(std::string_view name) {
        const Symbol symbol = intern_symbol(name);
        int32_t& handle = handles_[symbol.id];
        if (handle < 0) {
            handle = static_cast<int32_t>(symbols_.size());
            symbols_.push_back(symbol);
        }
        return handle;
    }

    // One scalar event (live stepping); a refusal raises ValueError and
    // changes nothing.
    void update(const ScalarRow& row) {
        if (auto fault = row_fault(row)) raise_value_error(*fault);
        unwrap(core_.handle_event(make_event(row)));
    }

    // One context batch, applied atomically; a non-empty batch locks the
    // output dtype.
    void update_context(nb::handle updates) {
        ContextBatch batch = ContextBatch::from_dict(updates, "updates");
        unwrap(core_.update_context(batch.updates()));
        if (!batch.empty()) locked_ = true;
    }

    void update_order_book(const OrderBookEvent& event) {
        require_book(event.symbol(), std::nullopt);
        unwrap(core_.handle_event(event.event()));
    }

    // Batch replay of scalar columns; returns an (n, width) array.
    FloatArray transform(const BatchColumns& batch, nb::handle context_updates) {
        require_contiguous(batch.kind);
        require_contiguous(batch.symbol);
        require_contiguous(batch.timestamp);
        const size_t n = batch.kind.size;
        if (batch.symbol.size != n || batch.timestamp.size != n) {
            raise_value_error("kind, symbol and timestamp must have the same length");
        }
        check_optional_column(batch.price, n, "price");
        check_optional_column(batch.volume, n, "volume");
        check_optional_column(batch.side, n, "side");
        check_optional_column(batch.bid, n, "bid");
        check_optional_column(batch.ask, n, "ask");

        const ScalarColumns columns{batch.kind.data,
                                    batch.symbol.data,
                                    batch.timestamp.data,
                                    batch.price ? batch.price->data : nullptr,
                                    batch.volume ? batch.volume->data : nullptr,
                                    batch.side ? batch.side->data : nullptr};
        // Every row is checked before the first one is dispatched; the
        // replay then builds each event from its row just before handing it
        // to the core, so no list of n events is materialised.
        const auto check_rows = [&] {
            for (size_t i = 0; i < n; ++i) {
                if (auto fault = row_fault(columns.row(i))) {
                    raise_value_error(fmt::format("row {}: {}", i, *fault));
                }
            }
        };
        check_rows();
        std::vector<RowContext> contexts = prepare_contexts(context_updates, n);
        // Converting the context values can run Python code (a value's
        // __float__) that writes to the columns: the rows are checked again
        // before any is dispatched.
        if (!contexts.empty()) check_rows();
        return replay_events(
            n, [&](size_t i) { return make_event(columns.row(i)); }, contexts);
    }

    // Batch replay of order-book events; returns an (n, width) array.
    FloatArray transform_order_book(const std::vector<const OrderBookEvent*>& book_events,
                                    nb::handle context_updates) {
        for (size_t i = 0; i < book_events.size(); ++i) {
            if (book_events[i] == nullptr) {
                throw nb::type_error("events must be OrderBookEvent objects");
            }
            require_book(book_events[i]->symbol(), i);
        }
        const size_t n = book_events.size();
        if (context_updates.is_none()) {
            // Each row's copy of its payload is made just before dispatch,
            // so at most one copy is alive at a time.
            return replay_events(n, [&](size_t i) { return book_events[i]->event(); }, {});
        }
        // Converting the context values can run Python code (a value's
        // __float__) that could drop the last reference to an event object:
        // every payload is copied first.
        std::vector<Event> events;
        events.reserve(n);
        for (const OrderBookEvent* event : book_events) events.push_back(event->event());
        std::vector<RowContext> contexts = prepare_contexts(context_updates, n);
        return replay_events(
            n, [&](size_t i) { return std::move(events[i]); }, contexts);
    }

    FloatArray values() const { return snapshot_array(core_.output(), dtype_); }
    FloatArray raw_values() const { return snapshot_array(core_.raw_output(), dtype_); }

    OutputDtype output_dtype() const { return dtype_; }

    // True once the core accepted a market event or a non-empty context
    // batch was applied; the output dtype is fixed from then on.
    bool has_events() const { return locked_ || core_.extractor().last_timestamp().has_value(); }

    void set_output_dtype(nb::handle value) {
        if (has_events()) {
            raise_value_error(fmt::format(
                "output_dtype cannot be changed after the {} has processed an event or context "
                "update",
                layout_.label));
        }
        dtype_ = parse_output_dtype(value);
    }

  private:
    // The message refusing one row, or nullopt when make_event may build it.
    std::optional<std::string> row_fault(const ScalarRow& row) const {
        if (row.kind == 3) {
            return std::string(
                "KIND_ORDERBOOK no longer accepts bid/ask scalars; use OrderBookEvent with "
                "update_order_book or transform_order_book");
        }
        if (row.kind > 4) {
            return fmt::format(
                "unsupported event kind {} (expected 0=price, 1=volume, 2=trade, 3=orderbook, "
                "4=time)",
                row.kind);
        }
        if (row.kind == 4) return std::nullopt;
        if (row.handle < 0 || static_cast<uint64_t>(row.handle) >= symbols_.size()) {
            return fmt::format("unknown symbol handle {}; call {}.symbol(name) first", row.handle,
                               layout_.class_name);
        }
        const auto missing = [](std::string_view column) {
            return fmt::format("event kind requires the `{}` column", column);
        };
        if (row.kind != 1 && row.price == nullptr) return missing("price");
        if (row.kind != 0 && row.volume == nullptr) return missing("volume");
        if (row.kind == 2 && row.side != nullptr && *row.side > 1) {
            return fmt::format(
                "invalid `side` {}; expected SIDE_AGGRESSOR_BUY ({}) or SIDE_AGGRESSOR_SELL ({})",
                *row.side, 0, 1);
        }
        // The core owns the finiteness rule and its message; the inline test
        // only spares the common all-finite row a call into it.
        const bool price_finite = row.kind == 1 || std::isfinite(*row.price);
        const bool volume_finite = row.kind == 0 || std::isfinite(*row.volume);
        if (price_finite && volume_finite) return std::nullopt;
        if (auto finite = make_event(row).validate_finite_values(); !finite) {
            return to_string(finite.error());
        }
        return std::nullopt;
    }

    // The event of one row. REQUIRES: the checks of row_fault up to the
    // finiteness check passed (kind, handle, payload presence, side).
    Event make_event(const ScalarRow& row) const {
        const auto symbol = [&] { return symbols_[static_cast<size_t>(row.handle)]; };
        switch (row.kind) {
            case 0:
                return Event::price(symbol(), row.timestamp, *row.price);
            case 1:
                return Event::volume(symbol(), row.timestamp, *row.volume);
            case 2: {
                std::optional<AggressorSide> side;
                if (row.side != nullptr) side = static_cast<AggressorSide>(*row.side);
                return Event::trade(symbol(), row.timestamp, *row.price, *row.volume, side);
            }
            default:
                return Event::time(row.timestamp);
        }
    }

    template <typename T>
    static void check_optional_column(const std::optional<ColumnView<T>>& column, size_t n,
                                      std::string_view name) {
        if (!column) return;
        require_contiguous(*column);
        if (column->size != n) {
            raise_value_error(fmt::format("the `{}` column must match the length of `kind`", name));
        }
    }

    // Refuses a book event whose symbol has no configured book; `row` adds
    // the replay prefix.
    void require_book(Symbol symbol, std::optional<size_t> row) const {
        if (core_.extractor().order_book(symbol) != nullptr) return;
        const std::string message = to_string(ZelkError(err::OrderBookNotConfigured{symbol}));
        if (row) raise_value_error(fmt::format("row {}: {}", *row, message));
        raise_value_error(message);
    }

    // The context batches of a replay of n rows, converted and validated.
    // Can run Python code, so a caller must not rely across this call on
    // anything Python code could change.
    std::vector<RowContext> prepare_contexts(nb::handle context_updates, size_t n) const {
        return prepare_context_rows(context_updates, n,
                                    [this](std::span<const ContextUpdate> updates) {
                                        return core_.validate_context(updates);
                                    });
    }

    // Replays the events event_at(0) .. event_at(n - 1), each built just
    // before its dispatch, and returns the (n, width) output block. Makes no
    // Python calls.
    template <typename EventAt>
    FloatArray replay_events(size_t n, EventAt&& event_at,
                             const std::vector<RowContext>& contexts) {
        if (dtype_ == OutputDtype::Float32) return replay_into<float>(n, event_at, contexts);
        return replay_into<double>(n, event_at, contexts);
    }

    template <typename T, typename EventAt>
    FloatArray replay_into(size_t n, EventAt& event_at, const std::vector<RowContext>& contexts) {
        const size_t width = this->width();
        OutputBlock<T> block(n, width);
        auto next_context = contexts.begin();
        for (size_t i = 0; i < n; ++i) {
            if (next_context != contexts.end() && next_context->row == i) {
                const ContextBatch& batch = next_context->batch;
                if (auto applied = core_.update_context(batch.updates()); !applied) {
                    raise_row_error(i, applied.error());
                }
                if (!batch.empty()) locked_ = true;
                ++next_context;
            }
            if (auto handled = core_.handle_event(event_at(i)); !handled) {
                raise_row_error(i, handled.error());
            }
            copy_snapshot(core_.output(), block.row(i));
        }
        return block.release();
    }

    [[noreturn]] static void raise_row_error(size_t row, const ZelkError& error) {
        raise_value_error(fmt::format("row {}: {}", row, to_string(error)));
    }

    Core core_;
    RuntimeLayout layout_;
    OutputDtype dtype_;
    bool locked_ = false;
    // Handle -> symbol, and symbol id -> handle (-1 when not issued).
    std::vector<Symbol> symbols_;
    std::array<int32_t, SYMBOL_LIMIT> handles_{};
};

// ---------------------------------------------------------------------------

// Parses one context row key: a Python int (not a bool) in [0, rows).
size_t context_row_index(nb::handle key, size_t rows);

template <typename Validate>
std::vector<RowContext> prepare_context_rows(nb::handle context_updates, size_t rows,
                                             Validate&& validate) {
    std::vector<RowContext> contexts;
    if (context_updates.is_none()) return contexts;
    nb::dict dict = nb::borrow<nb::dict>(context_updates);
    contexts.reserve(dict.size());
    for (auto [key, value] : dict) {
        const size_t row = context_row_index(key, rows);
        ContextBatch batch = ContextBatch::from_dict(value, "context_updates");
        if (auto valid = validate(batch.updates()); !valid) {
            raise_value_error(fmt::format("row {}: {}", row, to_string(valid.error())));
        }
        contexts.push_back(RowContext{row, std::move(batch)});
    }
    std::sort(contexts.begin(), contexts.end(),
              [](const RowContext& a, const RowContext& b) { return a.row < b.row; });
    return contexts;
}

}  // namespace zelk::python
