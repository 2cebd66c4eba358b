// The unit's registers: every register the program (and the simulated unit) touches, by name,
// and below them the one table of what each holds: its encoding, unit, the caption the windows
// show, the name the command line and settings files use, and what it is for.
#pragma once

#include "ModbusLink.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kvel::reg {

// Holding registers: read with function 3, written one at a time with function 6.
namespace holding {
constexpr std::uint16_t PowerStageVoltage = 0;
constexpr std::uint16_t OutputCurrent = 1; // also guards the firmware update
constexpr std::uint16_t PowerStageTemperature = 2;
constexpr std::uint16_t OutputVoltage = 3;
constexpr std::uint16_t MaxTemperature = 4;
constexpr std::uint16_t ChargeVoltageFull = 5;
constexpr std::uint16_t ChargeVoltageEmpty = 6;
constexpr std::uint16_t MinBatteryVoltage = 7;
constexpr std::uint16_t CalibVoltageMin = 8;
constexpr std::uint16_t CalibVoltageMax = 9;
constexpr std::uint16_t CalibCurrentMin = 10;
constexpr std::uint16_t CalibCurrentMax = 11;
constexpr std::uint16_t ShowVoltageSetpoint = 12;
constexpr std::uint16_t CalibrationEnable = 13; // kCalibrationEnabled or 0
constexpr std::uint16_t DeviceAddress = kAddressRegister;
constexpr std::uint16_t BaudIndex = kBaudRegister;
constexpr std::uint16_t VoltageSetpoint = 16;
constexpr std::uint16_t CurrentSetpoint = 17;
constexpr std::uint16_t SoundSignal = 18;
constexpr std::uint16_t RelayContacts = 19;
constexpr std::uint16_t RelayOnChargeFull = 20;
constexpr std::uint16_t RelayOnBatteryLow = 21;
constexpr std::uint16_t RelayOnPolarity = 22;
constexpr std::uint16_t RelayOnOverheat = 23;
constexpr std::uint16_t RelayOnWorking = 24;
constexpr std::uint16_t VoltageSource = 25;
constexpr std::uint16_t CurrentSource = 26;
constexpr std::uint16_t Count = kPolledHoldingCount;
} // namespace holding

constexpr std::uint16_t kCalibrationEnabled = 614;

// Input registers: read with function 4 only.
namespace input {
constexpr std::uint16_t Status = 0; // bit field, see status::
constexpr std::uint16_t FirmwareVersion = 1;
constexpr std::uint16_t CompileYear = 2;
constexpr std::uint16_t CompileMonth = 3;
constexpr std::uint16_t CompileDay = 4;
constexpr std::uint16_t CompileNumber = 5;
constexpr std::uint16_t VoltageCorrection = 20;
constexpr std::uint16_t Count = kPolledInputCount;
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

namespace kvel::unit {

enum class Bank { Holding, Input };

// How the 16-bit word reads.
enum class Encoding {
    Tenths,        // unsigned count of tenths of the unit: 545 is 54,5
    SignedTenths,  // signed 16-bit count of tenths
    SignedWhole,   // signed 16-bit whole number
    UnsignedWhole, // unsigned whole number
    Flag,          // written 0 or 1; any non-zero value read is on
    Choice,        // index of one of `choices` items
    Word,          // any 16-bit value, as it travels
};

enum class Quantity { None, Volts, Amperes, Degrees };

// A quantity's unit as the command line and settings files write it, and as the windows do.
struct Symbols {
    const char* latin;
    const char* russian;
};
inline constexpr std::array<Symbols, 4> kSymbols{{{"", ""}, {"V", "В"}, {"A", "А"}, {"°C", "°С"}}};

// What a register is for: whether a settings file keeps it, whether restoring it must be asked
// for, whether the command line may write it.
enum class Role {
    Reading,        // measured; writing it makes no sense
    Setpoint,       // what the unit regulates to; kept in settings files
    Setting,        // kept in settings files and restored
    Calibration,    // kept in settings files, restored only when asked: it belongs to one unit
    Identification, // the firmware's, read only
    Link,           // the unit's address and bit rate, changed from the connection window
    Gate,           // the calibration gate
};

struct Register {
    std::uint16_t number;
    Bank bank;
    Encoding encoding;
    Quantity quantity;
    // As the windows show it, character for character (a settings window label keeps its colon).
    const char* caption;
    // As typed on the command line and written in settings files.
    const char* name;
    Role role;
    // The caption's context where the window groups it under a heading: the relay panel.
    const char* group = "";
    std::uint16_t choices = 0;
};

// The table's rows name their encodings, quantities and roles bare, as the table reads best.
namespace rows {
namespace h = reg::holding;
namespace in = reg::input;
constexpr auto Holding = Bank::Holding;
constexpr auto Input = Bank::Input;
constexpr auto Tenths = Encoding::Tenths;
constexpr auto SignedTenths = Encoding::SignedTenths;
constexpr auto SignedWhole = Encoding::SignedWhole;
constexpr auto UnsignedWhole = Encoding::UnsignedWhole;
constexpr auto Flag = Encoding::Flag;
constexpr auto Choice = Encoding::Choice;
constexpr auto Word = Encoding::Word;
constexpr auto None = Quantity::None;
constexpr auto Volts = Quantity::Volts;
constexpr auto Amperes = Quantity::Amperes;
constexpr auto Degrees = Quantity::Degrees;
constexpr auto Reading = Role::Reading;
constexpr auto Setpoint = Role::Setpoint;
constexpr auto Setting = Role::Setting;
constexpr auto Calibration = Role::Calibration;
constexpr auto Identification = Role::Identification;
constexpr auto Link = Role::Link;
constexpr auto Gate = Role::Gate;
// The settings window groups these under the heading of its relay panel.
constexpr const char* kRelay = "Реле";

// Holding registers in number order, then the input registers the program reads.
// clang-format off
inline constexpr std::array<Register, 34> kRegisterTable{{
//   number                     bank     encoding       quantity caption as the windows show it               name                       role
    {h::PowerStageVoltage,     Holding, Tenths,        Volts,   "U бпс",                               "power-stage-voltage",     Reading},
    {h::OutputCurrent,         Holding, Tenths,        Amperes, "I вых",                               "output-current",          Reading},
    {h::PowerStageTemperature, Holding, SignedWhole,   Degrees, "t бпс",                               "power-stage-temperature", Reading},
    {h::OutputVoltage,         Holding, Tenths,        Volts,   "U вых",                               "output-voltage",          Reading},
    {h::MaxTemperature,        Holding, UnsignedWhole, Degrees, "Максимальная температура:",           "max-temperature",         Setting},
    {h::ChargeVoltageFull,     Holding, Tenths,        Volts,   "Напряжение заряда 100%:",             "charge-voltage-full",     Setting},
    {h::ChargeVoltageEmpty,    Holding, Tenths,        Volts,   "Напряжение заряда 0%:",               "charge-voltage-empty",    Setting},
    {h::MinBatteryVoltage,     Holding, Tenths,        Volts,   "Минимальное напряжение на батареи:",  "min-battery-voltage",     Setting},
    {h::CalibVoltageMin,       Holding, Tenths,        Volts,   "U мин",                               "voltage-min",             Calibration},
    {h::CalibVoltageMax,       Holding, Tenths,        Volts,   "U макс",                              "voltage-max",             Calibration},
    {h::CalibCurrentMin,       Holding, Tenths,        Amperes, "I мин",                               "current-min",             Calibration},
    {h::CalibCurrentMax,       Holding, Tenths,        Amperes, "I макс",                              "current-max",             Calibration},
    {h::ShowVoltageSetpoint,   Holding, Flag,          None,    "Отображать уставку U в главном меню", "show-voltage-setpoint",   Setting},
    {h::CalibrationEnable,     Holding, Word,          None,    "Разрешить калибровку",                "calibration-enable",      Gate},
    {h::DeviceAddress,         Holding, UnsignedWhole, None,    "Адрес",                               "device-address",          Link},
    {h::BaudIndex,             Holding, UnsignedWhole, None,    "Скорость",                            "baud-index",              Link},
    {h::VoltageSetpoint,       Holding, Tenths,        Volts,   "Уставка выходного напряжения",        "voltage-setpoint",        Setpoint},
    {h::CurrentSetpoint,       Holding, Tenths,        Amperes, "Уставка выходного тока",              "current-setpoint",        Setpoint},
    {h::SoundSignal,           Holding, Flag,          None,    "Звуковой сигнал",                     "sound-signal",            Setting},
    {h::RelayContacts,         Holding, Choice,        None,    "контакты",                            "relay-contacts",          Setting, kRelay, 2},
    {h::RelayOnChargeFull,     Holding, Flag,          None,    "Uзаряда 100%",                        "relay-on-charge-full",    Setting, kRelay},
    {h::RelayOnBatteryLow,     Holding, Flag,          None,    "Uбатареи<Uмин.",                      "relay-on-battery-low",    Setting, kRelay},
    {h::RelayOnPolarity,       Holding, Flag,          None,    "Полярность АКБ",                      "relay-on-polarity",       Setting, kRelay},
    {h::RelayOnOverheat,       Holding, Flag,          None,    "Перегрев",                            "relay-on-overheat",       Setting, kRelay},
    {h::RelayOnWorking,        Holding, Flag,          None,    "\"Работа\" включен",                  "relay-on-working",        Setting, kRelay},
    {h::VoltageSource,         Holding, Choice,        None,    "Выходное напряжение",                 "voltage-source",          Setting, "",    3},
    {h::CurrentSource,         Holding, Choice,        None,    "Выходной ток:",                       "current-source",          Setting, "",    3},
    {in::Status,               Input,   Word,          None,    "Состояние",                           "status",                  Reading},
    {in::FirmwareVersion,      Input,   UnsignedWhole, None,    "Версия ПО:  ",                        "firmware-version",        Identification},
    {in::CompileYear,          Input,   UnsignedWhole, None,    "Год компиляции",                      "compile-year",            Identification},
    {in::CompileMonth,         Input,   UnsignedWhole, None,    "Месяц компиляции",                    "compile-month",           Identification},
    {in::CompileDay,           Input,   UnsignedWhole, None,    "День компиляции",                     "compile-day",             Identification},
    {in::CompileNumber,        Input,   UnsignedWhole, None,    "Номер компиляции: ",                  "compile-number",          Identification},
    {in::VoltageCorrection,    Input,   SignedTenths,  Volts,   "Коррекция выходного напряжения:",     "voltage-correction",      Reading},
}};
// clang-format on

} // namespace rows

using rows::kRegisterTable;

// The lamps of the main window's column, top to bottom, with the status bit each shows.
struct Lamp {
    std::uint16_t bit;
    const char* caption;
    const char* name;
};

inline constexpr std::array<Lamp, 4> kLamps{{
    {reg::status::Working, "Работа", "working"},
    {reg::status::BatteryFault, "Авария АКБ", "battery-fault"},
    {reg::status::BatteryLow, "Uакб<Uмин", "battery-low"},
    {reg::status::Overheat, "Перегрев", "overheat"},
}};

} // namespace kvel::unit
