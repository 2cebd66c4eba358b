// Where a chart's time axis puts its ticks: on round times of the local clock.
#include "ChartTimeTicks.h"

#include <algorithm>
#include <array>

namespace kvel {

namespace {

constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kMinuteMs = 60 * kSecondMs;
constexpr std::int64_t kHourMs = 60 * kMinuteMs;
constexpr std::int64_t kDayMs = 24 * kHourMs;
constexpr std::array<std::int64_t, 18> kRoundIntervals{
    kSecondMs, 2 * kSecondMs, 5 * kSecondMs, 10 * kSecondMs, 15 * kSecondMs, 30 * kSecondMs,
    kMinuteMs, 2 * kMinuteMs, 5 * kMinuteMs, 10 * kMinuteMs, 15 * kMinuteMs, 30 * kMinuteMs,
    kHourMs,   2 * kHourMs,   3 * kHourMs,   6 * kHourMs,    12 * kHourMs,   kDayMs};

// Floor division that rounds towards minus infinity for times before 1970 too.
std::int64_t FloorTo(std::int64_t value, std::int64_t step) {
    const std::int64_t quotient = value / step;
    return (value % step < 0 ? quotient - 1 : quotient) * step;
}

std::int64_t IntervalFor(std::int64_t spanMs, int maxTicks) {
    for (std::int64_t interval : kRoundIntervals)
        if (spanMs / interval < maxTicks) return interval;
    // Whole days beyond the ladder.
    return (spanMs / (maxTicks - 1) / kDayMs + 1) * kDayMs;
}

} // namespace

TimeTicks RoundTimeTicks(std::int64_t startMs, std::int64_t endMs, std::int64_t utcOffsetMs,
                         int maxTicks) {
    maxTicks = std::max(maxTicks, 2);
    TimeTicks ticks;
    ticks.intervalMs = IntervalFor(std::max<std::int64_t>(endMs - startMs, 1), maxTicks);
    const std::int64_t firstLocal = FloorTo(startMs + utcOffsetMs, ticks.intervalMs);
    for (std::int64_t local = firstLocal; local - utcOffsetMs <= endMs; local += ticks.intervalMs)
        if (local - utcOffsetMs >= startMs) ticks.timesMs.push_back(local - utcOffsetMs);
    return ticks;
}

} // namespace kvel
