// The chart's thinning: a few points pass unchanged, many keep their envelope within the
// bound, and a gap breaks the line.
#include "TelemetryDecimation.h"
#include "ChartTimeTicks.h"
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

// A chart following ten minutes over half an hour of samples, as the live view drives it.
TEST(ThinnedLineTest, FollowingKeepsSettledPointsAndABoundedLineOfLevelRunsEnds) {
    constexpr std::int64_t kSpanMs = 10 * 60 * 1000;
    constexpr int kColumns = 500;
    const ChartColumns columns{0, static_cast<double>(kSpanMs) / kColumns};
    ThinnedLine reading(ChartQuantity::OutputVoltage, columns);
    ThinnedLine setpoint(ChartQuantity::VoltageSetpoint, columns);
    std::deque<ChartPoint> settledBefore;
    std::uint64_t droppedBefore = 0;
    for (int i = 0; i < 3600; ++i) {
        TelemetrySample sample;
        sample.timeMs = kMorningMs + i * 500;
        sample.outputVoltage = static_cast<std::uint16_t>(500 + (i * 37) % 41);
        sample.voltageSetpoint = i < 3000 ? 540 : 560;
        reading.Take(sample);
        setpoint.Take(sample);
        reading.DropBefore(sample.timeMs - kSpanMs);
        setpoint.DropBefore(sample.timeMs - kSpanMs);
        ASSERT_EQ(reading.Stretches().size(), 1u);
        const ThinnedLine::Stretch& stretch = reading.Stretches().front();
        // What was settled and is still in the span is unchanged.
        for (std::uint64_t n = stretch.droppedSettled; n < droppedBefore + settledBefore.size();
             ++n) {
            ASSERT_EQ(stretch.settled[n - stretch.droppedSettled].timeMs,
                      settledBefore[n - droppedBefore].timeMs)
                << i;
        }
        settledBefore = stretch.settled;
        droppedBefore = stretch.droppedSettled;
        EXPECT_LE(stretch.settled.size() + stretch.open.size(), 2u * kColumns + 3) << i;
        if (!stretch.settled.empty()) {
            EXPECT_GE(stretch.settled.front().timeMs, sample.timeMs - kSpanMs);
        }
        EXPECT_EQ(stretch.open.back().timeMs, sample.timeMs) << "reaches the newest sample";
    }
    const std::vector<ChartSegment> level = setpoint.Segments();
    ASSERT_EQ(level.size(), 1u);
    // The ends of the first run, the start of the second, and the open column's: the second
    // run's end so far, the column's point and the newest sample.
    ASSERT_LE(level[0].size(), 6u);
    EXPECT_DOUBLE_EQ(level[0].front().value, 54.0);
    EXPECT_DOUBLE_EQ(level[0].back().value, 56.0);
    EXPECT_EQ(level[0].back().timeMs, kMorningMs + 3599 * 500);
}

TEST(ThinnedLineTest, StretchesThatScrollOutAreCountedAndTheNextSampleStartsAnother) {
    ThinnedLine line(ChartQuantity::OutputVoltage, ChartColumns{0, 1000});
    TelemetrySample sample;
    sample.timeMs = kMorningMs;
    line.Take(sample);
    sample.gap = true;
    line.Take(sample);
    sample.gap = false;
    sample.timeMs += 5000;
    line.Take(sample);
    ASSERT_EQ(line.Stretches().size(), 2u);
    line.DropBefore(kMorningMs + 1);
    EXPECT_EQ(line.Stretches().size(), 1u);
    EXPECT_EQ(line.DroppedStretches(), 1u);
    line.DropBefore(kMorningMs + 6000);
    EXPECT_TRUE(line.Stretches().empty());
    sample.timeMs += 5000;
    line.Take(sample);
    EXPECT_EQ(line.Stretches().size(), 1u);
    EXPECT_EQ(line.DroppedStretches(), 2u);
}

TEST(RoundTimeTicksTest, TicksFallOnRoundTimesOfTheLocalClock) {
    constexpr std::int64_t kHourMs = 3600 * 1000;
    const struct {
        std::int64_t spanMs;
        std::int64_t offsetMs;
        std::int64_t intervalMs;
    } cases[] = {{60 * 1000, 0, 10 * 1000},
                 {10 * 60 * 1000, 3 * kHourMs, 2 * 60 * 1000},
                 {kHourMs, 5 * kHourMs + kHourMs / 2, 10 * 60 * 1000},
                 {36 * kHourMs, -4 * kHourMs, 6 * kHourMs},
                 {40 * 24 * kHourMs, 0, 6 * 24 * kHourMs}};
    for (const auto& c : cases) {
        // An end a little past a round time, as a live view's is.
        const std::int64_t endMs = kMorningMs + 7 * 60 * 1000 + 1234;
        const TimeTicks ticks = RoundTimeTicks(endMs - c.spanMs, endMs, c.offsetMs, 8);
        EXPECT_EQ(ticks.intervalMs, c.intervalMs) << c.spanMs;
        EXPECT_GE(ticks.timesMs.size(), 3u) << c.spanMs;
        EXPECT_LT(ticks.timesMs.size(), 9u) << c.spanMs;
        for (std::int64_t tick : ticks.timesMs) {
            EXPECT_EQ((tick + c.offsetMs) % std::min(c.intervalMs, 24 * kHourMs), 0) << tick;
            EXPECT_GE(tick, endMs - c.spanMs);
            EXPECT_LE(tick, endMs);
        }
    }
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
