// VolumePriceTrend: the running sum of volume * relative price change over
// all trades.
//
// value += ((price - previous) * volume) / previous for every trade after the
// first whose previous price is not 0.0; the first trade yields 0.0.
#pragma once

#include <optional>

namespace zelk {

class VolumePriceTrend {
public:
    // Feeds one trade.
    void update(double price, double volume) {
        if (previous_ && *previous_ != 0.0) {
            value_ = ((price - *previous_) * volume) / *previous_ + value_;
        }
        previous_ = price;
    }

    // The running value; 0.0 before and after the first trade.
    double value() const { return value_; }

private:
    double value_ = 0.0;
    std::optional<double> previous_;
};

}  // namespace zelk
