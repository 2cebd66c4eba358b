// The recorder's samples thinned to what a chart of a given width can show.
#include "TelemetryDecimation.h"

#include <algorithm>

namespace kvel {

namespace {

// The lowest and highest point of the pixel column being filled.
class ColumnEnvelope {
public:
    bool Holds(int column) const { return column_ == column; }
    void Start(int column, ChartPoint point) {
        column_ = column;
        lowest_ = highest_ = point;
    }
    void Take(ChartPoint point) {
        if (point.value < lowest_.value) lowest_ = point;
        if (point.value > highest_.value) highest_ = point;
    }
    void EmitInto(ChartSegment& segment) {
        if (column_ < 0) return;
        const bool lowestFirst = lowest_.timeMs <= highest_.timeMs;
        segment.push_back(lowestFirst ? lowest_ : highest_);
        if (lowest_.timeMs != highest_.timeMs) segment.push_back(lowestFirst ? highest_ : lowest_);
        column_ = -1;
    }

private:
    int column_ = -1;
    ChartPoint lowest_{};
    ChartPoint highest_{};
};

} // namespace

double ChartValue(const TelemetrySample& sample, ChartQuantity quantity) {
    switch (quantity) {
    case ChartQuantity::OutputVoltage:
        return sample.outputVoltage / 10.0;
    case ChartQuantity::VoltageSetpoint:
        return sample.voltageSetpoint / 10.0;
    case ChartQuantity::OutputCurrent:
        return sample.outputCurrent / 10.0;
    case ChartQuantity::CurrentSetpoint:
        return sample.currentSetpoint / 10.0;
    case ChartQuantity::StageTemperature:
        return sample.stageTemperature;
    }
    return 0;
}

std::vector<ChartSegment> DecimateForChart(const TelemetryRecorder& recorder, std::size_t first,
                                           std::size_t last, ChartQuantity quantity,
                                           std::int64_t startMs, std::int64_t endMs, int columns) {
    columns = std::clamp(columns, 1, kMaxChartColumns);
    const double columnsPerMs =
        static_cast<double>(columns) / std::max<std::int64_t>(1, endMs - startMs);
    std::vector<ChartSegment> segments;
    ChartSegment segment;
    ColumnEnvelope envelope;
    ChartPoint newest{};
    // The line reaches its newest sample even where that is neither lowest nor highest.
    const auto endSegment = [&] {
        envelope.EmitInto(segment);
        if (segment.empty()) return;
        if (segment.back().timeMs != newest.timeMs) segment.push_back(newest);
        segments.push_back(std::move(segment));
        segment.clear();
    };
    for (std::size_t i = first; i < last; ++i) {
        const TelemetrySample& sample = recorder.At(i);
        if (sample.gap) {
            endSegment();
            continue;
        }
        const ChartPoint point{sample.timeMs, ChartValue(sample, quantity)};
        newest = point;
        const int column =
            std::clamp(static_cast<int>((sample.timeMs - startMs) * columnsPerMs), 0, columns - 1);
        if (envelope.Holds(column)) {
            envelope.Take(point);
            continue;
        }
        envelope.EmitInto(segment);
        envelope.Start(column, point);
    }
    endSegment();
    return segments;
}

} // namespace kvel
