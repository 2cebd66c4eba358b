// The recorder's samples thinned to what a chart of a given width can show.
#include "TelemetryDecimation.h"

#include "Registers.h"

#include <algorithm>
#include <cmath>

namespace kvel {

std::uint16_t RegisterOf(ChartQuantity quantity) {
    switch (quantity) {
    case ChartQuantity::OutputVoltage:
        return reg::holding::OutputVoltage;
    case ChartQuantity::VoltageSetpoint:
        return reg::holding::VoltageSetpoint;
    case ChartQuantity::OutputCurrent:
        return reg::holding::OutputCurrent;
    case ChartQuantity::CurrentSetpoint:
        return reg::holding::CurrentSetpoint;
    case ChartQuantity::StageTemperature:
        return reg::holding::PowerStageTemperature;
    }
    return reg::holding::OutputVoltage;
}

double ChartValue(const TelemetrySample& sample, ChartQuantity quantity) {
    const std::uint16_t reg = RegisterOf(quantity);
    return unit::NumericValue(unit::Holding(reg), SampledWord(sample, reg));
}

std::int64_t ChartColumns::Of(std::int64_t timeMs) const {
    const auto column = static_cast<std::int64_t>(
        std::floor(static_cast<double>(timeMs - originMs) / std::max(widthMs, 1e-3)));
    return std::min(column, lastColumn);
}

ThinnedLine::ThinnedLine(ChartQuantity quantity, ChartColumns columns)
    : quantity_(quantity), columns_(columns) {}

void ThinnedLine::Take(const TelemetrySample& sample) {
    // The open column of a broken stretch keeps its newest point: it is the stretch's last.
    if (sample.gap) {
        broken_ = true;
        return;
    }
    const ChartPoint point{sample.timeMs, ChartValue(sample, quantity_)};
    const std::int64_t column = columns_.Of(sample.timeMs);
    if (broken_) {
        stretches_.emplace_back();
        runEnd_.reset();
        broken_ = false;
    } else if (column == openColumn_) {
        if (point.value < lowest_.value) lowest_ = point;
        if (point.value > highest_.value) highest_ = point;
        newest_ = point;
        ShowOpenColumn();
        return;
    } else {
        SettleOpenColumn();
    }
    openColumn_ = column;
    lowest_ = highest_ = newest_ = point;
    ShowOpenColumn();
}

// The open column's lowest and highest in the order they came.
ChartSegment ThinnedLine::OpenEnvelope() const {
    const bool lowestFirst = lowest_.timeMs <= highest_.timeMs;
    ChartSegment envelope{lowestFirst ? lowest_ : highest_};
    if (lowest_.timeMs != highest_.timeMs) envelope.push_back(lowestFirst ? highest_ : lowest_);
    return envelope;
}

// The newest point ends the line, so the line reaches the newest sample.
void ThinnedLine::ShowOpenColumn() {
    ChartSegment& open = stretches_.back().open;
    open.clear();
    if (runEnd_) open.push_back(*runEnd_);
    const ChartSegment envelope = OpenEnvelope();
    open.insert(open.end(), envelope.begin(), envelope.end());
    if (open.back().timeMs != newest_.timeMs) open.push_back(newest_);
}

// A column of one point level with the last settled one lengthens the run; the run's last point
// settles once the line leaves the level.
void ThinnedLine::SettleOpenColumn() {
    Stretch& stretch = stretches_.back();
    stretch.open.clear();
    const ChartSegment envelope = OpenEnvelope();
    if (envelope.size() == 1 && !stretch.settled.empty() &&
        stretch.settled.back().value == envelope.front().value) {
        runEnd_ = envelope.front();
        return;
    }
    if (runEnd_) stretch.settled.push_back(*runEnd_);
    runEnd_.reset();
    stretch.settled.insert(stretch.settled.end(), envelope.begin(), envelope.end());
}

void ThinnedLine::DropBefore(std::int64_t startMs) {
    while (!stretches_.empty()) {
        Stretch& oldest = stretches_.front();
        while (!oldest.settled.empty() && oldest.settled.front().timeMs < startMs) {
            oldest.settled.pop_front();
            ++oldest.droppedSettled;
        }
        const bool gone =
            oldest.settled.empty() && (oldest.open.empty() || oldest.open.back().timeMs < startMs);
        if (!gone) return;
        if (stretches_.size() == 1) broken_ = true;
        stretches_.pop_front();
        ++droppedStretches_;
    }
}

std::vector<ChartSegment> ThinnedLine::Segments() const {
    std::vector<ChartSegment> segments;
    for (const Stretch& stretch : stretches_) {
        ChartSegment segment(stretch.settled.begin(), stretch.settled.end());
        segment.insert(segment.end(), stretch.open.begin(), stretch.open.end());
        segments.push_back(std::move(segment));
    }
    return segments;
}

std::vector<ChartSegment> DecimateForChart(const TelemetryRecorder& recorder, std::size_t first,
                                           std::size_t last, ChartQuantity quantity,
                                           std::int64_t startMs, std::int64_t endMs, int columns) {
    columns = std::clamp(columns, 1, kMaxChartColumns);
    const double widthMs =
        static_cast<double>(std::max<std::int64_t>(1, endMs - startMs)) / columns;
    ThinnedLine line(quantity, ChartColumns{startMs, widthMs, columns - 1});
    for (std::size_t i = first; i < last; ++i)
        line.Take(recorder.At(i));
    return line.Segments();
}

} // namespace kvel
