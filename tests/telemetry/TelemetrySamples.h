// Filling a recorder as the link would: register images set, then the reply hooks called.
#pragma once

#include "LinkState.h"
#include "TelemetryRecorder.h"

#include <cstdint>

namespace kvel::test {

constexpr std::int64_t kSecondMs = 1000;
// 2026-12-07 10:00:00 UTC.
constexpr std::int64_t kMorningMs = 1796637600000;

struct Reading {
    std::uint16_t outputVoltage = 540;
    std::uint16_t outputCurrent = 32;
    std::uint16_t stageVoltage = 600;
    std::uint16_t stageTemperature = 35;
    std::uint16_t voltageSetpoint = 540;
    std::uint16_t currentSetpoint = 50;
    std::uint16_t status = 0x0031;
};

inline void SetImages(LinkState& state, const Reading& reading) {
    state.HoldingImage[0] = reading.stageVoltage;
    state.HoldingImage[1] = reading.outputCurrent;
    state.HoldingImage[2] = reading.stageTemperature;
    state.HoldingImage[3] = reading.outputVoltage;
    state.HoldingImage[16] = reading.voltageSetpoint;
    state.HoldingImage[17] = reading.currentSetpoint;
    state.InputImage[0] = reading.status;
}

// `count` poll replies `stepMs` apart from `startMs` on, the input bank first as the poll asks
// for it. After a start or a loss the first of them completes no sample; each later one does.
inline void PollReplies(TelemetryRecorder& recorder, LinkState& state, const Reading& reading,
                        std::int64_t startMs, int count, std::int64_t stepMs = 500) {
    SetImages(state, reading);
    for (int i = 0; i < count; ++i) {
        const std::int64_t timeMs = startMs + i * stepMs;
        if (i % 2 == 0)
            recorder.InputReplyAccepted(timeMs);
        else
            recorder.HoldingReplyAccepted(timeMs);
    }
}

// What netu_svyasi leaves behind.
inline void LoseLink(TelemetryRecorder& recorder, LinkState& state, std::int64_t timeMs) {
    recorder.LinkLost(timeMs);
    state.HoldingImage.fill(0);
    state.InputImage.fill(0);
}

} // namespace kvel::test
