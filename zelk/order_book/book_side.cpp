#include "zelk/order_book/book_side.hpp"

namespace zelk {

std::expected<BookSide, OrderBookUpdateError> BookSide::dense(Side side,
                                                              const DenseBookConfig& config) {
    auto form = DenseBookSide::create(side, config);
    if (!form) return std::unexpected(form.error());
    return BookSide(std::move(*form));
}

void BookSide::apply_snapshot(std::vector<Level>&& levels) {
    if (auto* s = std::get_if<SparseBookSide>(&form_)) {
        s->apply_snapshot(std::move(levels));
        return;
    }
    auto& dense = *std::get_if<DenseBookSide>(&form_);
    dense.clear();
    for (const Level& level : levels) dense.update_level(level.price, level.size);
}

}  // namespace zelk
