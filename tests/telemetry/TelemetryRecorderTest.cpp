// The recorder: what makes a sample, what a link loss leaves, and the ring's bound.
#include "TelemetryRecorder.h"
#include "TelemetrySamples.h"

#include <gtest/gtest.h>

namespace kvel {
namespace {

using test::kMorningMs;
using test::Reading;

class TelemetryRecorderTest : public ::testing::Test {
protected:
    LinkState state;
    TelemetryRecorder recorder{state};
};

TEST_F(TelemetryRecorderTest, SampleTakesEveryReadingFromBothImages) {
    state.HoldingImage[0] = 65535;  // U бпс
    state.HoldingImage[1] = 7;      // I вых
    state.HoldingImage[2] = 0xFFF6; // t бпс, -10
    state.HoldingImage[3] = 545;    // U вых
    state.HoldingImage[16] = 540;
    state.HoldingImage[17] = 50;
    state.InputImage[0] = 0x00B5; // working, overheat, level bits 4, 5 and 7
    recorder.InputReplyAccepted(kMorningMs);
    recorder.HoldingReplyAccepted(kMorningMs + 400);

    ASSERT_EQ(recorder.Size(), 1u);
    const TelemetrySample& sample = recorder.At(0);
    EXPECT_EQ(sample.timeMs, kMorningMs + 400);
    EXPECT_FALSE(sample.gap);
    EXPECT_EQ(sample.stageVoltage, 65535);
    EXPECT_EQ(sample.outputCurrent, 7);
    EXPECT_EQ(sample.stageTemperature, -10);
    EXPECT_EQ(sample.outputVoltage, 545);
    EXPECT_EQ(sample.voltageSetpoint, 540);
    EXPECT_EQ(sample.currentSetpoint, 50);
    EXPECT_EQ(sample.status, 0x00B5);
    EXPECT_EQ(sample.batteryLevel, 4);
}

TEST_F(TelemetryRecorderTest, NoSampleUntilBothBanksHaveBeenRead) {
    test::SetImages(state, Reading{});
    recorder.InputReplyAccepted(kMorningMs);
    recorder.InputReplyAccepted(kMorningMs + 500);
    EXPECT_EQ(recorder.Size(), 0u);
    recorder.HoldingReplyAccepted(kMorningMs + 1000);
    EXPECT_EQ(recorder.Size(), 1u);
    // From then on every accepted reply of either bank is a sample.
    recorder.InputReplyAccepted(kMorningMs + 1500);
    recorder.HoldingReplyAccepted(kMorningMs + 2000);
    ASSERT_EQ(recorder.Size(), 3u);
    EXPECT_EQ(recorder.At(1).timeMs, kMorningMs + 1500);
    EXPECT_EQ(recorder.At(2).timeMs, kMorningMs + 2000);
}

TEST_F(TelemetryRecorderTest, LinkLossIsOneGapAndTheZeroedImagesAreNotReadings) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 3);
    ASSERT_EQ(recorder.Size(), 2u);
    // Each further poll times out in turn while the unit stays silent.
    test::LoseLink(recorder, state, kMorningMs + 6000);
    test::LoseLink(recorder, state, kMorningMs + 11000);
    test::LoseLink(recorder, state, kMorningMs + 16000);
    // The first reply after the loss meets a zeroed holding image.
    recorder.InputReplyAccepted(kMorningMs + 17000);
    EXPECT_EQ(recorder.Size(), 3u);
    Reading back;
    back.outputVoltage = 551;
    test::SetImages(state, back);
    recorder.HoldingReplyAccepted(kMorningMs + 17500);

    ASSERT_EQ(recorder.Size(), 4u);
    EXPECT_TRUE(recorder.At(2).gap);
    EXPECT_EQ(recorder.At(2).timeMs, kMorningMs + 6000);
    EXPECT_FALSE(recorder.At(3).gap);
    EXPECT_EQ(recorder.At(3).outputVoltage, 551);
    EXPECT_EQ(recorder.At(3).timeMs, kMorningMs + 17500);
}

TEST_F(TelemetryRecorderTest, LossBeforeAnySampleLeavesNothing) {
    recorder.LinkLost(kMorningMs);
    EXPECT_EQ(recorder.Size(), 0u);
    EXPECT_EQ(recorder.Recorded(), 0u);
}

TEST_F(TelemetryRecorderTest, FullRingDropsTheOldest) {
    TelemetryRecorder small(state, 5);
    test::PollReplies(small, state, Reading{}, kMorningMs, 13); // 12 samples
    EXPECT_EQ(small.Size(), 5u);
    EXPECT_EQ(small.Capacity(), 5u);
    EXPECT_EQ(small.Recorded(), 12u);
    for (std::size_t i = 0; i < small.Size(); ++i)
        EXPECT_EQ(small.At(i).timeMs, kMorningMs + static_cast<std::int64_t>(8 + i) * 500) << i;
    EXPECT_EQ(small.FirstAtOrAfter(0), 0u);
    EXPECT_EQ(small.FirstAtOrAfter(kMorningMs + 9 * 500), 1u);
    EXPECT_EQ(small.FirstAtOrAfter(kMorningMs + 9 * 500 + 1), 2u);
    EXPECT_EQ(small.FirstAtOrAfter(kMorningMs + 13 * 500), 5u);
}

TEST_F(TelemetryRecorderTest, DefaultRingHoldsADayAtThePollRate) {
    // The poll asks for one bank every 500 ms.
    EXPECT_GE(recorder.Capacity(), 24u * 3600u * 2u);
}

TEST_F(TelemetryRecorderTest, RingWithoutRoomIsRefused) {
    EXPECT_THROW(TelemetryRecorder(state, 0), std::invalid_argument);
}

} // namespace
} // namespace kvel
