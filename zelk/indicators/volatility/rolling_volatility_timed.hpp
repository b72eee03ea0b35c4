// RollingVolatilityTimed: population standard deviation of the simple returns
// formed during the last W milliseconds, for up to 16 timed windows.
//
// A return r = (x - p) / p is formed from each input and the input before it
// (none when there is no earlier input or it is exactly 0.0) and lands in the
// bucket of the input's timestamp. Each bucket keeps the Moments of its
// returns; each window keeps the Moments of its buckets and the number of
// newest buckets it holds, and removes a bucket's Moments as a group when the
// bucket leaves. update and observe never allocate. Timestamps given to one
// instance must not decrease. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "zelk/indicators/timed_indicator.hpp"
#include "zelk/indicators/volatility/moments.hpp"

namespace zelk {

struct VolatilityTimedBucket {
    int64_t bucket = 0;
    Moments moments;
};
struct VolatilityTimedWindow {
    size_t buckets = 0;  // how many of the newest buckets lie inside the window
    Moments moments;
};

class RollingVolatilityTimed
    : public TimedIndicator<RollingVolatilityTimed, VolatilityTimedBucket, VolatilityTimedWindow> {
  public:
    // The kind that create() names in TimedPeriodTooLarge.
    static constexpr IndicatorKind KIND = IndicatorKind::VolatilityTimed;

    // Feeds one input (a price) at `t`.
    void update(Timestamp t, double x);

    // The window's population volatility, ready or not; nullopt when the
    // window holds no return.
    std::optional<double> volatility(size_t w) const { return windows_[w].moments.volatility(); }
    const Moments& moments(size_t w) const { return windows_[w].moments; }

  private:
    friend TimedIndicator;
    using TimedIndicator::TimedIndicator;

    void expire(int64_t current);

    std::optional<double> previous_;
};

}  // namespace zelk
