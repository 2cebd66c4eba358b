// Where a chart's time axis puts its ticks: on round times of the local clock (every 10 s, 2 min,
// 1 h...), as a person reads a clock, not at equal fractions of whatever span is shown.
#pragma once

#include <cstdint>
#include <vector>

namespace kvel {

struct TimeTicks {
    std::int64_t intervalMs = 0;
    std::vector<std::int64_t> timesMs; // within [startMs, endMs], oldest first
};

// At most `maxTicks` ticks at the smallest round interval that allows; `utcOffsetMs` is the
// local clock's lead on UTC, so an hour tick falls on the local hour.
TimeTicks RoundTimeTicks(std::int64_t startMs, std::int64_t endMs, std::int64_t utcOffsetMs,
                         int maxTicks);

} // namespace kvel
