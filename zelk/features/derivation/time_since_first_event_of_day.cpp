#include "zelk/features/derivation/time_since_first_event_of_day.hpp"

#include <algorithm>
#include <limits>

#include "zelk/features/derivation/day_of_week.hpp"

namespace zelk {

int64_t TimeSinceFirstEventOfDayDerivation::local_day(Timestamp t, int64_t utc_offset_ms) {
    const __int128 local = static_cast<__int128>(t) + utc_offset_ms;
    __int128 day = local / MILLIS_PER_DAY;
    if (local % MILLIS_PER_DAY != 0 && local < 0) --day;
    return static_cast<int64_t>(day);  // |day| < 2^64 / 86400000, so it fits
}

void TimeSinceFirstEventOfDayDerivation::update(const Event& event, size_t first,
                                                size_t /*count*/, OutputSink& sink) {
    const Timestamp t = event.timestamp();
    const int64_t day = local_day(t, utc_offset_ms_);
    if (!day_ || *day_ != day) {
        day_ = day;
        first_timestamp_ = t;
    }
    int64_t elapsed = 0;
    if (__builtin_sub_overflow(t, first_timestamp_, &elapsed)) {
        elapsed = t < first_timestamp_ ? std::numeric_limits<int64_t>::min()
                                       : std::numeric_limits<int64_t>::max();
    }
    sink.write(first, static_cast<double>(std::max<int64_t>(elapsed, 0)));
}

}  // namespace zelk
