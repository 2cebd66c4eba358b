// The unit's two register banks and the slowly changing plant behind the measured values.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "RegisterMap.h"

namespace kvel::sim {

struct UnitSetup {
    std::uint8_t address = 1;
    std::uint8_t baudIndex = 3;
    std::uint32_t seed = 1;
};

using HoldingBank = std::array<std::uint16_t, reg::holding::Count>;
using InputBank = std::array<std::uint16_t, reg::input::Count>;

class UnitModel {
public:
    explicit UnitModel(const UnitSetup& setup);

    const HoldingBank& Holding() const { return holding_; }
    const InputBank& Input() const { return input_; }
    // False when the unit refuses the value; the register is then left as it was.
    bool WriteHolding(std::uint16_t reg, std::uint16_t value);
    // Advances the plant by `seconds` and republishes every measured register.
    void Tick(double seconds);
    int BatteryLevel() const;
    // A new program was written: it reports the next compile number.
    void NewFirmware() { ++input_[reg::input::CompileNumber]; }

private:
    double TenthsOf(std::uint16_t holdingReg) const { return holding_[holdingReg] / 10.0; }
    double TargetVoltage() const;
    double DeliveredCurrent() const;
    void DriftLoad(double seconds);
    void PublishMeasurements();
    void PublishStatus();
    std::uint16_t Noisy(double value);

    std::mt19937 rng_;
    HoldingBank holding_{};
    InputBank input_{};
    double outputVoltage_ = 0;
    double load_ = 0;
    double temperature_ = 0;
    double chargingSeconds_ = 0;
};

} // namespace kvel::sim
