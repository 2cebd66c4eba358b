// Every register of the unit that the program (and the simulated unit) touches, by name.
#pragma once

#include <cstdint>
#include <optional>

namespace kvel::reg {

// Holding registers: read with function 3, written one at a time with function 6.
namespace holding {
constexpr std::uint16_t PowerStageVoltage = 0;  // tenths of a volt
constexpr std::uint16_t OutputCurrent = 1;      // tenths of an ampere; guards the firmware update
constexpr std::uint16_t PowerStageTemperature = 2; // signed whole degrees
constexpr std::uint16_t OutputVoltage = 3;      // tenths of a volt
constexpr std::uint16_t MaxTemperature = 4;     // unsigned whole degrees
constexpr std::uint16_t ChargeVoltageFull = 5;  // tenths of a volt, "100%"
constexpr std::uint16_t ChargeVoltageEmpty = 6; // tenths of a volt, "0%"
constexpr std::uint16_t MinBatteryVoltage = 7;  // tenths of a volt
constexpr std::uint16_t CalibVoltageMin = 8;    // tenths of a volt
constexpr std::uint16_t CalibVoltageMax = 9;    // tenths of a volt
constexpr std::uint16_t CalibCurrentMin = 10;   // tenths of an ampere
constexpr std::uint16_t CalibCurrentMax = 11;   // tenths of an ampere
constexpr std::uint16_t ShowVoltageSetpoint = 12; // flag
constexpr std::uint16_t CalibrationEnable = 13; // kCalibrationEnabled or 0
constexpr std::uint16_t DeviceAddress = 14;     // new Modbus address, 0..254
constexpr std::uint16_t BaudIndex = 15;         // baud index 0..9
constexpr std::uint16_t VoltageSetpoint = 16;   // tenths of a volt
constexpr std::uint16_t CurrentSetpoint = 17;   // tenths of an ampere
constexpr std::uint16_t SoundSignal = 18;       // flag
constexpr std::uint16_t RelayContacts = 19;     // index: 0 normally closed, 1 normally open
constexpr std::uint16_t RelayOnChargeFull = 20; // flag
constexpr std::uint16_t RelayOnBatteryLow = 21; // flag
constexpr std::uint16_t RelayOnPolarity = 22;   // flag
constexpr std::uint16_t RelayOnOverheat = 23;   // flag
constexpr std::uint16_t RelayOnWorking = 24;    // flag
constexpr std::uint16_t VoltageSource = 25;     // index: setpoint, minimum, maximum
constexpr std::uint16_t CurrentSource = 26;     // index: setpoint, minimum, maximum
constexpr std::uint16_t Count = 27;
} // namespace holding

constexpr std::uint16_t kCalibrationEnabled = 614;

// Input registers: read with function 4 only.
namespace input {
constexpr std::uint16_t Status = 0;          // bit field, see status::
constexpr std::uint16_t FirmwareVersion = 1;
constexpr std::uint16_t CompileYear = 2;
constexpr std::uint16_t CompileMonth = 3;    // low byte only
constexpr std::uint16_t CompileDay = 4;      // low byte only
constexpr std::uint16_t CompileNumber = 5;
constexpr std::uint16_t VoltageCorrection = 20; // signed tenths of a volt
constexpr std::uint16_t Count = 21;
} // namespace input

// Bits of the status word (bit 0 least significant).
namespace status {
constexpr std::uint16_t Working = 1u << 0;
constexpr std::uint16_t BatteryFault = 1u << 1;
constexpr std::uint16_t Overheat = 1u << 2;
constexpr std::uint16_t BatteryLow = 1u << 3;
constexpr int FirstLevelBit = 4; // bits 4..8: battery level steps 1..5
constexpr int LevelSteps = 5;

// The highest set level bit of the status word, 0 when none is set.
constexpr int BatteryLevel(std::uint16_t status) {
    for (int step = LevelSteps; step > 0; --step)
        if (status & (1u << (FirstLevelBit + step - 1))) return step;
    return 0;
}
} // namespace status

// The range the unit regulates a setpoint to, from its calibration registers.
struct SetpointRange {
    std::uint16_t lowestReg;
    std::uint16_t highestReg;
    std::uint16_t lowest;
    std::uint16_t highest;

    constexpr bool Holds(std::uint16_t word) const { return word >= lowest && word <= highest; }
};

// The voltage or current setpoint's range as the unit last reported it in `holding`. Nothing for
// other registers, and nothing while no range is known: the images are zero at start and after
// a link loss, and neither a maximum of 0 nor a minimum above the maximum says anything.
template <class HoldingImage>
constexpr std::optional<SetpointRange> ReportedSetpointRange(std::uint16_t setpointReg,
                                                             const HoldingImage& holding) {
    std::optional<SetpointRange> range;
    if (setpointReg == holding::VoltageSetpoint)
        range = SetpointRange{holding::CalibVoltageMin, holding::CalibVoltageMax, 0, 0};
    if (setpointReg == holding::CurrentSetpoint)
        range = SetpointRange{holding::CalibCurrentMin, holding::CalibCurrentMax, 0, 0};
    if (!range) return std::nullopt;
    range->lowest = holding[range->lowestReg];
    range->highest = holding[range->highestReg];
    if (range->highest == 0 || range->lowest > range->highest) return std::nullopt;
    return range;
}

// Used only by the firmware update, outside the two banks.
constexpr std::uint16_t kCommandRegister = 0xFFFD;

} // namespace kvel::reg
