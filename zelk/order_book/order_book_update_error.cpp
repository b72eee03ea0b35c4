#include "zelk/order_book/order_book_update_error.hpp"

#include <fmt/format.h>

namespace zelk {

namespace {

struct Render {
    std::string operator()(const SequenceGap& e) const {
        return fmt::format("expected update ID {}, received {}", e.expected, e.received);
    }
    std::string operator()(const SnapshotHistoryGap& e) const {
        return fmt::format("snapshot {} requires update ID {}, received {}", e.snapshot_update_id,
                           e.expected_next_id, e.received);
    }
    std::string operator()(const BufferCapacityExceeded& e) const {
        return fmt::format("order-book update buffer capacity {} was exceeded", e.capacity);
    }
    std::string operator()(const StaleSnapshot& e) const {
        return fmt::format("snapshot {} is not newer than current snapshot {}",
                           e.received_snapshot_update_id, e.current_snapshot_update_id);
    }
    std::string operator()(const InvalidDenseConfiguration& e) const {
        return fmt::format("invalid dense order-book grid: tick {}, range [{}, {}]",
                           e.tick_size.to_string(), e.min_price.to_string(),
                           e.max_price.to_string());
    }
    std::string operator()(const DenseCapacityExceeded&) const {
        return "dense order-book price range cannot be allocated";
    }
    std::string operator()(const InvalidUpdate& e) const {
        return fmt::format("invalid {} level update with price {} and size {}",
                           debug_name(e.side), e.price.to_string(), e.size.to_string());
    }
};

}  // namespace

std::string to_string(const OrderBookUpdateError& error) { return std::visit(Render{}, error.value); }

}  // namespace zelk
