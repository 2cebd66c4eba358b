// The recorder's samples thinned to what a chart of a given width can show.
#pragma once

#include "TelemetryRecorder.h"

#include <cstddef>
#include <cstdint>
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

// Entries `first` up to but not including `last`, which lie within [startMs, endMs], spread
// over `columns` pixel columns: each column keeps its lowest and highest value in the order they
// came, which draws the same envelope as all of them would; a stretch also keeps its newest
// point. A gap ends a stretch, so the line breaks there.
std::vector<ChartSegment> DecimateForChart(const TelemetryRecorder& recorder, std::size_t first,
                                           std::size_t last, ChartQuantity quantity,
                                           std::int64_t startMs, std::int64_t endMs, int columns);

} // namespace kvel
