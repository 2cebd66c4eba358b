// The chart's thinning: a few points pass unchanged, many keep their envelope within the
// bound, and a gap breaks the line.
#include "TelemetryDecimation.h"
#include "TelemetrySamples.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kvel {
namespace {

using test::kMorningMs;
using test::Reading;

class TelemetryDecimationTest : public ::testing::Test {
protected:
    // One sample every `stepMs` whose output voltage is given by `tenths(i)`.
    template <class Tenths> void Fill(int count, std::int64_t stepMs, Tenths tenths) {
        recorder.InputReplyAccepted(kMorningMs - stepMs);
        for (int i = 0; i < count; ++i) {
            Reading reading;
            reading.outputVoltage = static_cast<std::uint16_t>(tenths(i));
            test::SetImages(state, reading);
            recorder.HoldingReplyAccepted(kMorningMs + i * stepMs);
        }
    }
    std::vector<ChartSegment> Decimate(std::int64_t startMs, std::int64_t endMs, int columns) {
        return DecimateForChart(recorder, recorder.FirstAtOrAfter(startMs),
                                recorder.FirstAtOrAfter(endMs + 1), ChartQuantity::OutputVoltage,
                                startMs, endMs, columns);
    }

    LinkState state;
    TelemetryRecorder recorder{state};
};

TEST_F(TelemetryDecimationTest, FewerSamplesThanColumnsPassUnchanged) {
    Fill(10, 500, [](int i) { return 500 + i; });
    const std::vector<ChartSegment> segments = Decimate(kMorningMs, kMorningMs + 4500, 100);
    ASSERT_EQ(segments.size(), 1u);
    ASSERT_EQ(segments[0].size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(segments[0][i].timeMs, kMorningMs + i * 500);
        EXPECT_DOUBLE_EQ(segments[0][i].value, 50.0 + i / 10.0);
    }
}

TEST_F(TelemetryDecimationTest, ManySamplesKeepEachColumnsLowestAndHighestInTimeOrder) {
    // A saw between 500 and 599 with a lone spike that the thinning must not lose.
    Fill(20000, 500, [](int i) { return i == 12345 ? 900 : 500 + i % 100; });
    const std::int64_t endMs = kMorningMs + 19999 * 500;
    const std::vector<ChartSegment> segments = Decimate(kMorningMs, endMs, 200);
    ASSERT_EQ(segments.size(), 1u);
    const ChartSegment& line = segments[0];
    EXPECT_LE(line.size(), 400u);
    EXPECT_GE(line.size(), 300u);
    EXPECT_TRUE(
        std::is_sorted(line.begin(), line.end(), [](const ChartPoint& a, const ChartPoint& b) {
            return a.timeMs < b.timeMs;
        }));
    const auto [lowest, highest] =
        std::minmax_element(line.begin(), line.end(), [](const ChartPoint& a, const ChartPoint& b) {
            return a.value < b.value;
        });
    EXPECT_DOUBLE_EQ(lowest->value, 50.0);
    EXPECT_DOUBLE_EQ(highest->value, 90.0);
    EXPECT_EQ(highest->timeMs, kMorningMs + 12345 * 500);
}

TEST_F(TelemetryDecimationTest, ColumnEmitsItsHighestFirstWhenItCameFirstAndTheLineItsNewest) {
    const std::array<int, 4> tenths{700, 600, 500, 650};
    Fill(4, 100, [&](int i) { return tenths[i]; });
    const std::vector<ChartSegment> segments = Decimate(kMorningMs, kMorningMs + 10000, 1);
    ASSERT_EQ(segments.size(), 1u);
    ASSERT_EQ(segments[0].size(), 3u);
    EXPECT_DOUBLE_EQ(segments[0][0].value, 70.0);
    EXPECT_EQ(segments[0][0].timeMs, kMorningMs);
    EXPECT_DOUBLE_EQ(segments[0][1].value, 50.0);
    EXPECT_EQ(segments[0][1].timeMs, kMorningMs + 200);
    EXPECT_DOUBLE_EQ(segments[0][2].value, 65.0);
    EXPECT_EQ(segments[0][2].timeMs, kMorningMs + 300);
}

TEST_F(TelemetryDecimationTest, GapBreaksTheLineEvenInsideOneColumn) {
    test::PollReplies(recorder, state, Reading{}, kMorningMs, 5);
    test::LoseLink(recorder, state, kMorningMs + 3000);
    test::PollReplies(recorder, state, Reading{}, kMorningMs + 4000, 5);
    for (int columns : {1, 1000}) {
        const std::vector<ChartSegment> segments = Decimate(kMorningMs, kMorningMs + 6000, columns);
        ASSERT_EQ(segments.size(), 2u) << columns;
        for (const ChartPoint& point : segments[0])
            EXPECT_LT(point.timeMs, kMorningMs + 3000);
        for (const ChartPoint& point : segments[1])
            EXPECT_GT(point.timeMs, kMorningMs + 3000);
    }
}

TEST_F(TelemetryDecimationTest, ColumnsBeyondTheBoundAreNotDrawn) {
    Fill(10000, 10, [](int i) { return i % 2 == 0 ? 100 : 200; });
    const std::vector<ChartSegment> segments =
        Decimate(kMorningMs, kMorningMs + 99990, 100 * kMaxChartColumns);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_LE(segments[0].size(), 2u * kMaxChartColumns + 1);
}

TEST(ChartValueTest, ReadingsInVoltsAmperesAndDegrees) {
    TelemetrySample sample;
    sample.outputVoltage = 545;
    sample.voltageSetpoint = 540;
    sample.outputCurrent = 7;
    sample.currentSetpoint = 50;
    sample.stageTemperature = -10;
    EXPECT_DOUBLE_EQ(ChartValue(sample, ChartQuantity::OutputVoltage), 54.5);
    EXPECT_DOUBLE_EQ(ChartValue(sample, ChartQuantity::VoltageSetpoint), 54.0);
    EXPECT_DOUBLE_EQ(ChartValue(sample, ChartQuantity::OutputCurrent), 0.7);
    EXPECT_DOUBLE_EQ(ChartValue(sample, ChartQuantity::CurrentSetpoint), 5.0);
    EXPECT_DOUBLE_EQ(ChartValue(sample, ChartQuantity::StageTemperature), -10.0);
}

} // namespace
} // namespace kvel
