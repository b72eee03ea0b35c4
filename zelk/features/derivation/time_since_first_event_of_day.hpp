// TimeSinceFirstEventOfDay derivation: milliseconds since the first event seen
// on the current local day, where the local day is the UTC day shifted by a
// fixed offset.
#pragma once

#include <cstdint>
#include <optional>

#include "zelk/event.hpp"
#include "zelk/features/output_sink.hpp"

namespace zelk {

class TimeSinceFirstEventOfDayDerivation {
public:
    // Any offset is handled without overflow; the compiler limits it to
    // +-14 h in whole minutes.
    explicit TimeSinceFirstEventOfDayDerivation(int64_t utc_offset_ms)
        : utc_offset_ms_(utc_offset_ms) {}

    // floor((t + utc_offset_ms) / 1 day), with a 128-bit intermediate.
    static int64_t local_day(Timestamp t, int64_t utc_offset_ms);

    // For every routed event: on a new local day, the event becomes the day's
    // first; writes max(t - first, 0) milliseconds as a float.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink);

    int64_t utc_offset_ms() const { return utc_offset_ms_; }

private:
    int64_t utc_offset_ms_;
    std::optional<int64_t> day_;
    Timestamp first_timestamp_ = 0;
};

}  // namespace zelk
