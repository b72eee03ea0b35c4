// SimpleMovingAverageTimed: the mean of the bucket means of the last W
// milliseconds, for up to 16 timed windows.
//
// A bucket's value is the mean of the samples that fell into it; a window's
// value is the plain mean of its bucket values, so every bucket counts once
// however many samples it had (samples 1 and 3 in one bucket and 10 in the
// next average to 6, not 14 / 3). Each window keeps the number of newest
// buckets it holds and the sum of their means. update and observe never
// allocate. Timestamps given to one instance must not decrease. Not
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zelk/indicators/timed_indicator.hpp"

namespace zelk {

struct SmaTimedBucket {
    int64_t bucket = 0;
    double mean = 0.0;
};
struct SmaTimedWindow {
    size_t buckets = 0;  // how many of the newest buckets lie inside the window
    double sum = 0.0;    // sum of their means
};

class SimpleMovingAverageTimed
    : public TimedIndicator<SimpleMovingAverageTimed, SmaTimedBucket, SmaTimedWindow> {
  public:
    // The kind that create() names in TimedPeriodTooLarge.
    static constexpr IndicatorKind KIND = IndicatorKind::SmaTimed;

    // Feeds one sample at `t`.
    void update(Timestamp t, double x);

    // Number of buckets inside the window.
    size_t bucket_count(size_t w) const { return windows_[w].buckets; }
    // Mean of the window's bucket means, ready or not; 0.0 when the window
    // holds no bucket.
    double average(size_t w) const {
        const SmaTimedWindow& s = windows_[w];
        if (s.buckets == 0) return 0.0;
        return s.sum / static_cast<double>(static_cast<int64_t>(s.buckets));
    }

  private:
    friend TimedIndicator;
    using TimedIndicator::TimedIndicator;

    void expire(int64_t current);

    // Running sum and sample count of the newest bucket.
    double bucket_sum_ = 0.0;
    uint64_t bucket_samples_ = 0;
};

}  // namespace zelk
