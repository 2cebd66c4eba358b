// The unit's readings over time: one sample at every accepted read reply, kept in a bounded ring.
#pragma once

#include "LinkState.h"
#include "RegisterMap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvel {

// One reading of the unit, or a break where the link was lost and nothing was read.
struct TelemetrySample {
    std::int64_t timeMs = 0;           // wall clock, milliseconds since 1970-01-01 UTC
    bool gap = false;                  // the link was lost here; the values below mean nothing
    std::uint8_t batteryLevel = 0;     // 0..5 steps
    std::uint16_t outputVoltage = 0;   // tenths of a volt
    std::uint16_t outputCurrent = 0;   // tenths of an ampere
    std::uint16_t stageVoltage = 0;    // tenths of a volt
    std::int16_t stageTemperature = 0; // whole degrees
    std::uint16_t voltageSetpoint = 0; // tenths of a volt
    std::uint16_t currentSetpoint = 0; // tenths of an ampere
    std::uint16_t status = 0;          // the status word
};

// The holding registers a sample keeps, in the order files and lists show them.
constexpr std::array<std::uint16_t, 6> kSampledRegisters{
    reg::holding::OutputVoltage,     reg::holding::OutputCurrent,
    reg::holding::PowerStageVoltage, reg::holding::PowerStageTemperature,
    reg::holding::VoltageSetpoint,   reg::holding::CurrentSetpoint};

// The sample's value of one of kSampledRegisters as the register's word.
std::uint16_t SampledWord(const TelemetrySample& sample, std::uint16_t reg);

// The reading held in the register images at `nowMs`.
TelemetrySample SampleOfImages(const RegisterImage& holding, const RegisterImage& input,
                               std::int64_t nowMs);

class TelemetryRecorder {
public:
    // Two samples a second for 36 hours: a day at the poll rate with room to spare. The ring's
    // memory is taken as it fills, so a short session costs little.
    static constexpr std::size_t kDefaultCapacity = 2 * 3600 * 36;

    // Reads the register images of `state`, which must outlive the recorder.
    explicit TelemetryRecorder(const LinkState& state, std::size_t capacity = kDefaultCapacity);

    // Called after the images have taken in a reply of that bank.
    void HoldingReplyAccepted(std::int64_t nowMs);
    void InputReplyAccepted(std::int64_t nowMs);
    // Called when the link is lost, before or after the images are zeroed.
    void LinkLost(std::int64_t nowMs);

    std::size_t Size() const { return ring_.size(); }
    std::size_t Capacity() const { return capacity_; }
    // Entry `index` of those held, 0 the oldest.
    const TelemetrySample& At(std::size_t index) const;
    // Entries recorded since the start, including those the ring has dropped. Entry `index`
    // held now was the (Recorded() - Size() + index)-th.
    std::uint64_t Recorded() const { return recorded_; }
    // The index of the first held entry at or after `timeMs` (Size() when none is); entries are
    // in the order they were recorded, which is time order while the wall clock goes forward.
    std::size_t FirstAtOrAfter(std::int64_t timeMs) const;

private:
    void Record(const TelemetrySample& entry);
    TelemetrySample SampleNow(std::int64_t nowMs) const;

    const LinkState& state_;
    std::size_t capacity_;
    std::vector<TelemetrySample> ring_;
    std::size_t oldest_ = 0;
    std::uint64_t recorded_ = 0;
    // A sample mixes both banks, so none is taken until each has been read since the start or
    // the last loss: the zeroed images are not readings.
    bool holdingRead_ = false;
    bool inputRead_ = false;
};

} // namespace kvel
