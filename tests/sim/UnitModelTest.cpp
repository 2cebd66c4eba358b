// The plant behind the measured registers: values settle, drift and raise status bits in time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "RegisterMap.h"
#include "UnitModel.h"

namespace kvel::sim {
namespace {

namespace h = reg::holding;

class UnitModelTest : public ::testing::Test {
protected:
    std::uint16_t Holding(std::uint16_t reg) const { return model.Holding()[reg]; }
    std::uint16_t Status() const { return model.Input()[reg::input::Status]; }
    void Run(double seconds) {
        for (double elapsed = 0; elapsed < seconds; elapsed += 0.5)
            model.Tick(0.5);
    }

    UnitModel model{UnitSetup{}};
};

TEST_F(UnitModelTest, OutputVoltageSettlesAtNewSetpoint) {
    ASSERT_GT(Holding(h::OutputVoltage), 500);
    model.WriteHolding(h::VoltageSetpoint, 485);
    Run(10);
    EXPECT_LE(std::abs(Holding(h::OutputVoltage) - 485), 1);
    EXPECT_GT(Holding(h::PowerStageVoltage), Holding(h::OutputVoltage));
}

TEST_F(UnitModelTest, OutputVoltageFollowsCalibrationLimitWhenSourceSelectsIt) {
    model.WriteHolding(h::VoltageSource, 2);
    Run(10);
    EXPECT_LE(std::abs(Holding(h::OutputVoltage) - Holding(h::CalibVoltageMax)), 1);
}

TEST_F(UnitModelTest, CurrentNeverExceedsItsSetpoint) {
    model.WriteHolding(h::CurrentSetpoint, 50);
    for (int step = 0; step < 100; ++step) {
        model.Tick(1);
        EXPECT_LE(Holding(h::OutputCurrent), 51);
    }
}

TEST_F(UnitModelTest, BatteryLevelClimbsStepByStepToFull) {
    const auto level = [this] { return (Status() >> reg::status::FirstLevelBit) & 0x1F; };
    EXPECT_EQ(level(), 0b11u);
    Run(15);
    EXPECT_EQ(level(), 0b111u);
    Run(300);
    EXPECT_EQ(level(), 0b11111u);
    EXPECT_TRUE(Status() & reg::status::Working);
}

TEST_F(UnitModelTest, ReportsOverheatOnceTemperaturePassesItsLimit) {
    model.WriteHolding(h::MaxTemperature, 35);
    EXPECT_FALSE(Status() & reg::status::Overheat);
    Run(600);
    EXPECT_GT(Holding(h::PowerStageTemperature), 35);
    EXPECT_TRUE(Status() & reg::status::Overheat);
}

TEST_F(UnitModelTest, IgnoresTicksThatAreNotForward) {
    const auto before = model.Holding();
    model.Tick(0);
    model.Tick(-5);
    model.Tick(std::nan(""));
    EXPECT_EQ(model.Holding(), before);
}

TEST_F(UnitModelTest, SameSeedGivesSameValues) {
    UnitModel twin{UnitSetup{}};
    UnitModel other{UnitSetup{1, 3, 99}};
    bool differs = false;
    for (int step = 0; step < 20; ++step) {
        model.Tick(1);
        twin.Tick(1);
        other.Tick(1);
        EXPECT_EQ(model.Holding(), twin.Holding());
        differs = differs || model.Holding() != other.Holding();
    }
    EXPECT_TRUE(differs);
}

} // namespace
} // namespace kvel::sim
