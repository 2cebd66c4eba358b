// The unit's readings over time: one sample at every accepted read reply, kept in a bounded ring.
#include "TelemetryRecorder.h"

#include "RegisterMap.h"

#include <stdexcept>

namespace kvel {

TelemetryRecorder::TelemetryRecorder(const LinkState& state, std::size_t capacity)
    : state_(state), capacity_(capacity) {
    if (capacity_ == 0) throw std::invalid_argument("TelemetryRecorder needs room for a sample");
    ring_.reserve(capacity_);
}

void TelemetryRecorder::HoldingReplyAccepted(std::int64_t nowMs) {
    holdingRead_ = true;
    if (inputRead_) Record(SampleNow(nowMs));
}

void TelemetryRecorder::InputReplyAccepted(std::int64_t nowMs) {
    inputRead_ = true;
    if (holdingRead_) Record(SampleNow(nowMs));
}

// One break is enough however many polls time out in a row.
void TelemetryRecorder::LinkLost(std::int64_t nowMs) {
    holdingRead_ = false;
    inputRead_ = false;
    if (ring_.empty() || At(Size() - 1).gap) return;
    TelemetrySample gap;
    gap.timeMs = nowMs;
    gap.gap = true;
    Record(gap);
}

const TelemetrySample& TelemetryRecorder::At(std::size_t index) const {
    return ring_[(oldest_ + index) % ring_.size()];
}

std::size_t TelemetryRecorder::FirstAtOrAfter(std::int64_t timeMs) const {
    std::size_t low = 0;
    std::size_t high = Size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (At(middle).timeMs < timeMs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

void TelemetryRecorder::Record(const TelemetrySample& entry) {
    ++recorded_;
    if (ring_.size() < capacity_) {
        ring_.push_back(entry);
        return;
    }
    ring_[oldest_] = entry;
    oldest_ = (oldest_ + 1) % capacity_;
}

TelemetrySample TelemetryRecorder::SampleNow(std::int64_t nowMs) const {
    return SampleOfImages(state_.HoldingImage, state_.InputImage, nowMs);
}

std::uint16_t SampledWord(const TelemetrySample& sample, std::uint16_t reg) {
    switch (reg) {
    case reg::holding::OutputVoltage:
        return sample.outputVoltage;
    case reg::holding::OutputCurrent:
        return sample.outputCurrent;
    case reg::holding::PowerStageVoltage:
        return sample.stageVoltage;
    case reg::holding::PowerStageTemperature:
        return static_cast<std::uint16_t>(sample.stageTemperature);
    case reg::holding::VoltageSetpoint:
        return sample.voltageSetpoint;
    case reg::holding::CurrentSetpoint:
        return sample.currentSetpoint;
    default:
        return 0;
    }
}

TelemetrySample SampleOfImages(const RegisterImage& holding, const RegisterImage& input,
                               std::int64_t nowMs) {
    TelemetrySample sample;
    sample.timeMs = nowMs;
    sample.outputVoltage = holding[reg::holding::OutputVoltage];
    sample.outputCurrent = holding[reg::holding::OutputCurrent];
    sample.stageVoltage = holding[reg::holding::PowerStageVoltage];
    sample.stageTemperature =
        static_cast<std::int16_t>(holding[reg::holding::PowerStageTemperature]);
    sample.voltageSetpoint = holding[reg::holding::VoltageSetpoint];
    sample.currentSetpoint = holding[reg::holding::CurrentSetpoint];
    sample.status = input[reg::input::Status];
    sample.batteryLevel = static_cast<std::uint8_t>(reg::status::BatteryLevel(sample.status));
    return sample;
}

} // namespace kvel
