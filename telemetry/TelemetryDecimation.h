// The recorder's samples thinned to what a chart of a given width can show.
#pragma once

#include "TelemetryRecorder.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

namespace kvel {

// Which reading a chart line shows.
enum class ChartQuantity {
    OutputVoltage,
    VoltageSetpoint,
    OutputCurrent,
    CurrentSetpoint,
    StageTemperature,
};

// The holding register the line follows.
std::uint16_t RegisterOf(ChartQuantity quantity);
// In volts, amperes or degrees.
double ChartValue(const TelemetrySample& sample, ChartQuantity quantity);

struct ChartPoint {
    std::int64_t timeMs;
    double value;
};
// The points of one unbroken stretch of line.
using ChartSegment = std::vector<ChartPoint>;

// A chart draws at most this many pixel columns; a stretch of line gets two points a column
// and its newest.
constexpr int kMaxChartColumns = 1000;

// Pixel columns laid over time: column n covers [originMs + n * widthMs, originMs + (n + 1) *
// widthMs), and none lies beyond `lastColumn`.
struct ChartColumns {
    std::int64_t originMs = 0;
    double widthMs = 1;
    std::int64_t lastColumn = std::numeric_limits<std::int64_t>::max();
    std::int64_t Of(std::int64_t timeMs) const;
    bool operator==(const ChartColumns& other) const {
        return originMs == other.originMs && widthMs == other.widthMs &&
               lastColumn == other.lastColumn;
    }
};

// One quantity's line thinned as its samples come: each column keeps its lowest and highest
// value in the order they came, which draws the same envelope as all of them would, and a
// stretch also keeps its newest point. A level run (a setpoint that does not move) keeps only
// its first and last point. A column the samples have left is settled and never
// changes, so a chart that follows the recording appends settled points, replaces only the
// open column's, and drops what scrolls out: an update costs the new samples, not the span.
class ThinnedLine {
public:
    // One unbroken stretch: its settled points, numbered from the stretch's start so a reader
    // can tell which it already has, and the open column's points after them.
    struct Stretch {
        std::deque<ChartPoint> settled;
        std::uint64_t droppedSettled = 0; // settled points dropped from the front so far
        ChartSegment open; // a level run's last point, the open column's points, the newest
    };

    ThinnedLine(ChartQuantity quantity, ChartColumns columns);

    void Take(const TelemetrySample& sample);
    // Forgets points before `startMs`; a stretch left empty goes.
    void DropBefore(std::int64_t startMs);

    // Oldest first; the stretch with index i is the (DroppedStretches() + i)-th since the start.
    const std::deque<Stretch>& Stretches() const { return stretches_; }
    std::uint64_t DroppedStretches() const { return droppedStretches_; }
    // Each stretch's points, settled and open, as one segment.
    std::vector<ChartSegment> Segments() const;

private:
    void SettleOpenColumn();
    void ShowOpenColumn();
    ChartSegment OpenEnvelope() const;

    ChartQuantity quantity_;
    ChartColumns columns_;
    std::deque<Stretch> stretches_;
    std::uint64_t droppedStretches_ = 0;
    bool broken_ = true; // the next point starts a stretch
    std::int64_t openColumn_ = -1;
    ChartPoint lowest_{};
    ChartPoint highest_{};
    ChartPoint newest_{};
    std::optional<ChartPoint> runEnd_; // not settled while the level run may go on
};

// Entries `first` up to but not including `last`, which lie within [startMs, endMs], spread
// over `columns` pixel columns from `startMs` as a ThinnedLine thins them. A gap ends a
// stretch, so the line breaks there.
std::vector<ChartSegment> DecimateForChart(const TelemetryRecorder& recorder, std::size_t first,
                                           std::size_t last, ChartQuantity quantity,
                                           std::int64_t startMs, std::int64_t endMs, int columns);

} // namespace kvel
