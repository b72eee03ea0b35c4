// OnBalanceVolumeTimed: signed trade volume over timed windows, for up to 16
// windows.
//
// Each bucket records its close (last trade price), its total volume and a
// direction: +1, -1 or 0 as its close is above, below or equal to the close of
// the bucket before it in the buffer (0 for the first bucket). A window's value
// is the sum of direction * volume over its buckets. Unlike the timed sums, an
// emptied window keeps whatever its sum rounded to. update and observe never
// allocate. Timestamps given to one instance must not decrease. Not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zelk/indicators/timed_indicator.hpp"

namespace zelk {

struct ObvTimedBucket {
    int64_t bucket = 0;
    double close = 0.0;
    double volume = 0.0;
    double direction = 0.0;  // +1, -1 or 0
};
struct ObvTimedWindow {
    size_t front = 0;  // buffer position of the oldest bucket inside the window
    double sum = 0.0;
};

class OnBalanceVolumeTimed
    : public TimedIndicator<OnBalanceVolumeTimed, ObvTimedBucket, ObvTimedWindow> {
  public:
    // The kind that create() names in TimedPeriodTooLarge.
    static constexpr IndicatorKind KIND = IndicatorKind::ObvTimed;

    // Feeds one trade at `t`.
    void update(Timestamp t, double price, double volume);

    // The window's signed-volume sum, ready or not.
    double signed_volume(size_t w) const { return windows_[w].sum; }

  private:
    friend TimedIndicator;
    using TimedIndicator::TimedIndicator;

    void expire(int64_t current);
};

}  // namespace zelk
