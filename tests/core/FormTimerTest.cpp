// The form toolkit's timer rules, on a real event loop.
#include "FormTimer.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel {
namespace {

TEST(FormTimerTest, StartsStoppedAndZeroStopsIt) {
    int ticks = 0;
    FormTimer timer([&] { ++ticks; });
    EXPECT_FALSE(timer.IsRunning());
    timer.SetInterval(10);
    EXPECT_TRUE(timer.IsRunning());
    timer.SetInterval(0);
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_EQ(timer.Interval(), 0);
    QTest::qWait(40);
    EXPECT_EQ(ticks, 0);
}

TEST(FormTimerTest, SameIntervalLeavesTheRunningPeriodAlone) {
    int ticks = 0;
    FormTimer timer([&] { ++ticks; });
    timer.SetInterval(100);
    // Setting 100 again every 30 ms would starve a timer that restarted its period.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 250) {
        QTest::qWait(30);
        timer.SetInterval(100);
    }
    EXPECT_GE(ticks, 1);
}

TEST(FormTimerTest, OtherIntervalRestartsThePeriod) {
    int ticks = 0;
    FormTimer timer([&] { ++ticks; });
    timer.SetInterval(100);
    QElapsedTimer clock;
    clock.start();
    bool toggle = false;
    while (clock.elapsed() < 250) {
        QTest::qWait(30);
        toggle = !toggle;
        timer.SetInterval(toggle ? 101 : 100);
    }
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(timer.IsRunning());
}

} // namespace
} // namespace kvel
