// DayOfWeek derivation: 0 = Sunday .. 6 = Saturday of the event's UTC day.
#pragma once

#include "zelk/event.hpp"
#include "zelk/features/output_sink.hpp"

namespace zelk {

inline constexpr int64_t MILLIS_PER_DAY = 86'400'000;

// 1970-01-01 was a Thursday (4); floor division keeps negative times right.
constexpr double day_of_week(Timestamp t) {
    const int64_t day = floor_div(t, MILLIS_PER_DAY);
    const int64_t dow = (day % 7 + 7 + 4) % 7;
    return static_cast<double>(dow);
}

class DayOfWeekDerivation {
public:
    void update(const Event& event, size_t first, size_t /*count*/, OutputSink& sink) const {
        sink.write(first, day_of_week(event.timestamp()));
    }
};

}  // namespace zelk
