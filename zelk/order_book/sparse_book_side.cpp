#include "zelk/order_book/sparse_book_side.hpp"

#include <algorithm>

#include "zelk/order_book/size_sum.hpp"

namespace zelk {

namespace {

// Levels examined from the best end before switching to a binary search.
// Almost every feed update lands within the first few levels.
constexpr size_t LINEAR_PROBE = 8;

}  // namespace

template <Side S>
SparseBookSide::Position SparseBookSide::locate(const ExactDecimal& price) const {
    size_t end = levels_.size();
    const size_t stop = end > LINEAR_PROBE ? end - LINEAR_PROBE : 0;
    while (end > stop) {
        const int rel = relation<S>(levels_[end - 1].price, price);
        if (rel == 0) return {end - 1, true};
        if (rel < 0) return {end, false};
        --end;
    }
    // Everything from `end` on is better than `price`.
    size_t lo = 0;
    size_t hi = end;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const int rel = relation<S>(levels_[mid].price, price);
        if (rel == 0) return {mid, true};
        if (rel < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return {lo, false};
}

template SparseBookSide::Position SparseBookSide::locate<Side::Bid>(const ExactDecimal&) const;
template SparseBookSide::Position SparseBookSide::locate<Side::Ask>(const ExactDecimal&) const;

void SparseBookSide::update_level(const ExactDecimal& price, const ExactDecimal& size) {
    const Position at = locate(price);
    if (size.is_zero()) {
        if (at.found) levels_.erase(levels_.begin() + static_cast<std::ptrdiff_t>(at.index));
        return;
    }
    if (at.found) {
        levels_[at.index].size = size;
    } else {
        levels_.insert(levels_.begin() + static_cast<std::ptrdiff_t>(at.index), Level{price, size});
    }
}

void SparseBookSide::apply_snapshot(std::vector<Level>&& levels) {
    const auto worse = [this](const Level& a, const Level& b) {
        return relation(a.price, b.price) < 0;
    };
    const auto better = [this](const Level& a, const Level& b) {
        return relation(a.price, b.price) > 0;
    };
    // Feeds send snapshots best first; such a list only needs reversing. Any
    // other order is sorted stably so repeated prices keep their list order.
    const auto strictly = [&levels](auto&& in_order) {
        return std::adjacent_find(levels.begin(), levels.end(),
                                  [&](const Level& a, const Level& b) {
                                      return !in_order(a, b);
                                  }) == levels.end();
    };
    if (strictly(better)) {
        std::reverse(levels.begin(), levels.end());
    } else if (!strictly(worse)) {
        std::stable_sort(levels.begin(), levels.end(), worse);
    }

    // Fold each run of equal prices as successive updates would: the first
    // stored price text stays, the last size wins, a zero size removes.
    size_t out = 0;
    for (size_t i = 0; i < levels.size();) {
        std::optional<Level> current;
        size_t j = i;
        for (; j < levels.size() && levels[j].price == levels[i].price; ++j) {
            if (levels[j].size.is_zero()) {
                current.reset();
            } else if (current) {
                current->size = levels[j].size;
            } else {
                current = levels[j];
            }
        }
        if (current) levels[out++] = *current;
        i = j;
    }
    levels.resize(out);

    // Keep our own buffer when it is large enough, so later inserts do not
    // have to grow a tightly sized one.
    if (levels_.capacity() >= levels.size()) {
        levels_.assign(levels.begin(), levels.end());
    } else {
        levels_.swap(levels);
    }
}

std::optional<ExactDecimal> SparseBookSide::size_at(const ExactDecimal& price) const {
    const Position at = locate(price);
    if (!at.found) return std::nullopt;
    return levels_[at.index].size;
}

std::optional<ExactDecimal> SparseBookSide::sum_sizes_between(const ExactDecimal& from,
                                                              const ExactDecimal& to) const {
    // Bids are stored in ascending price order, asks in descending order.
    auto first = levels_.begin();
    auto last = levels_.end();
    if (side_ == Side::Bid) {
        first = std::partition_point(levels_.begin(), levels_.end(),
                                     [&](const Level& l) { return l.price < from; });
        last = std::partition_point(first, levels_.end(),
                                    [&](const Level& l) { return l.price < to; });
    } else {
        first = std::partition_point(levels_.begin(), levels_.end(),
                                     [&](const Level& l) { return l.price >= to; });
        last = std::partition_point(first, levels_.end(),
                                    [&](const Level& l) { return l.price >= from; });
    }
    SizeSum total;
    for (auto it = first; it != last; ++it) {
        if (!total.add(it->size)) return std::nullopt;
    }
    return total.value();
}

}  // namespace zelk
