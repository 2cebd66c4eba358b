// The unit's registers by name, and their values as text.
#include "RegisterCatalogue.h"

#include "RegisterMap.h"

#include <algorithm>
#include <cstdlib>

namespace kvel {

namespace {

namespace h = reg::holding;
namespace in = reg::input;

const std::vector<RegisterInfo> kRegisters = {
    {"power-stage-voltage", Bank::Holding, h::PowerStageVoltage, Encoding::Tenths, "V",
     Role::Reading, "U бпс"},
    {"output-current", Bank::Holding, h::OutputCurrent, Encoding::Tenths, "A", Role::Reading,
     "I вых"},
    {"power-stage-temperature", Bank::Holding, h::PowerStageTemperature, Encoding::SignedWhole,
     "°C", Role::Reading, "t бпс"},
    {"output-voltage", Bank::Holding, h::OutputVoltage, Encoding::Tenths, "V", Role::Reading,
     "U вых"},
    {"max-temperature", Bank::Holding, h::MaxTemperature, Encoding::UnsignedWhole, "°C",
     Role::Setting, "Максимальная температура"},
    {"charge-voltage-full", Bank::Holding, h::ChargeVoltageFull, Encoding::Tenths, "V",
     Role::Setting, "Напряжение заряда 100%"},
    {"charge-voltage-empty", Bank::Holding, h::ChargeVoltageEmpty, Encoding::Tenths, "V",
     Role::Setting, "Напряжение заряда 0%"},
    {"min-battery-voltage", Bank::Holding, h::MinBatteryVoltage, Encoding::Tenths, "V",
     Role::Setting, "Минимальное напряжение на батареи"},
    {"voltage-min", Bank::Holding, h::CalibVoltageMin, Encoding::Tenths, "V", Role::Calibration,
     "U мин"},
    {"voltage-max", Bank::Holding, h::CalibVoltageMax, Encoding::Tenths, "V", Role::Calibration,
     "U макс"},
    {"current-min", Bank::Holding, h::CalibCurrentMin, Encoding::Tenths, "A", Role::Calibration,
     "I мин"},
    {"current-max", Bank::Holding, h::CalibCurrentMax, Encoding::Tenths, "A", Role::Calibration,
     "I макс"},
    {"show-voltage-setpoint", Bank::Holding, h::ShowVoltageSetpoint, Encoding::Flag, "",
     Role::Setting, "Отображать уставку U в главном меню"},
    {"calibration-enable", Bank::Holding, h::CalibrationEnable, Encoding::Word, "", Role::Control,
     "Разрешить калибровку"},
    {"device-address", Bank::Holding, h::DeviceAddress, Encoding::UnsignedWhole, "", Role::Link,
     "Адрес"},
    {"baud-index", Bank::Holding, h::BaudIndex, Encoding::UnsignedWhole, "", Role::Link,
     "Скорость"},
    {"voltage-setpoint", Bank::Holding, h::VoltageSetpoint, Encoding::Tenths, "V", Role::Setting,
     "Уставка выходного напряжения"},
    {"current-setpoint", Bank::Holding, h::CurrentSetpoint, Encoding::Tenths, "A", Role::Setting,
     "Уставка выходного тока"},
    {"sound-signal", Bank::Holding, h::SoundSignal, Encoding::Flag, "", Role::Setting,
     "Звуковой сигнал"},
    {"relay-contacts", Bank::Holding, h::RelayContacts, Encoding::Choice, "", Role::Setting,
     "Контакты реле", 2},
    {"relay-on-charge-full", Bank::Holding, h::RelayOnChargeFull, Encoding::Flag, "", Role::Setting,
     "Реле: Uзаряда 100%"},
    {"relay-on-battery-low", Bank::Holding, h::RelayOnBatteryLow, Encoding::Flag, "", Role::Setting,
     "Реле: Uбатареи<Uмин."},
    {"relay-on-polarity", Bank::Holding, h::RelayOnPolarity, Encoding::Flag, "", Role::Setting,
     "Реле: Полярность АКБ"},
    {"relay-on-overheat", Bank::Holding, h::RelayOnOverheat, Encoding::Flag, "", Role::Setting,
     "Реле: Перегрев"},
    {"relay-on-working", Bank::Holding, h::RelayOnWorking, Encoding::Flag, "", Role::Setting,
     "Реле: \"Работа\" включен"},
    {"voltage-source", Bank::Holding, h::VoltageSource, Encoding::Choice, "", Role::Setting,
     "Выходное напряжение", 3},
    {"current-source", Bank::Holding, h::CurrentSource, Encoding::Choice, "", Role::Setting,
     "Выходной ток", 3},
    {"status", Bank::Input, in::Status, Encoding::Word, "", Role::Reading, "Состояние"},
    {"firmware-version", Bank::Input, in::FirmwareVersion, Encoding::UnsignedWhole, "",
     Role::Reading, "Версия ПО"},
    {"compile-year", Bank::Input, in::CompileYear, Encoding::UnsignedWhole, "", Role::Reading,
     "Год компиляции"},
    {"compile-month", Bank::Input, in::CompileMonth, Encoding::UnsignedWhole, "", Role::Reading,
     "Месяц компиляции"},
    {"compile-day", Bank::Input, in::CompileDay, Encoding::UnsignedWhole, "", Role::Reading,
     "День компиляции"},
    {"compile-number", Bank::Input, in::CompileNumber, Encoding::UnsignedWhole, "", Role::Reading,
     "Номер компиляции"},
    {"voltage-correction", Bank::Input, in::VoltageCorrection, Encoding::SignedTenths, "V",
     Role::Reading, "Коррекция выходного напряжения"},
};

bool Signed(Encoding encoding) {
    return encoding == Encoding::SignedTenths || encoding == Encoding::SignedWhole;
}

int Decimals(Encoding encoding) {
    return encoding == Encoding::Tenths || encoding == Encoding::SignedTenths ? 1 : 0;
}

long RangeLow(const RegisterInfo& info) {
    return Signed(info.encoding) ? -32768 : 0;
}

long RangeHigh(const RegisterInfo& info) {
    switch (info.encoding) {
    case Encoding::Flag:
        return 1;
    case Encoding::Choice:
        return info.choices - 1;
    case Encoding::SignedTenths:
    case Encoding::SignedWhole:
        return 32767;
    default:
        return 65535;
    }
}

long SignedValue(const RegisterInfo& info, std::uint16_t word) {
    return Signed(info.encoding) ? static_cast<std::int16_t>(word) : word;
}

// The number in the register's own scale as a decimal text, without the unit.
std::string ScaledText(long scaled, int decimals, char separator) {
    if (decimals == 0) return std::to_string(scaled);
    const long magnitude = std::labs(scaled);
    return (scaled < 0 ? "-" : "") + std::to_string(magnitude / 10) + separator +
           std::to_string(magnitude % 10);
}

std::string RangeText(const RegisterInfo& info) {
    const int decimals = Decimals(info.encoding);
    std::string text = ScaledText(RangeLow(info), decimals, '.') + " to " +
                       ScaledText(RangeHigh(info), decimals, '.');
    if (*info.unit) text += std::string(" ") + info.unit;
    return text;
}

// Digits with at most one decimal separator and an optional leading minus; the value in
// units of 10^-decimals, or empty with the reason.
struct FixedPoint {
    std::optional<long> scaled;
    std::string refusal;
    ValueFault fault = ValueFault::None;
};

FixedPoint ReadFixedPoint(std::string_view text, int decimals) {
    const auto notNumber = FixedPoint{std::nullopt, "is not a number", ValueFault::NotANumber};
    std::size_t pos = 0;
    const bool negative = pos < text.size() && text[pos] == '-';
    if (negative) ++pos;
    long value = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool separator = false;
    constexpr int kMostDigits = 12;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '.' || c == ',') {
            if (separator) return notNumber;
            separator = true;
            continue;
        }
        if (c < '0' || c > '9') return notNumber;
        if (++digits > kMostDigits)
            return {std::nullopt, "is far too large", ValueFault::FarTooLarge};
        if (separator && ++fractionDigits > decimals) {
            if (c != '0')
                return decimals == 0 ? FixedPoint{std::nullopt, "must be a whole number",
                                                  ValueFault::NotWhole}
                                     : FixedPoint{std::nullopt, "has more than one decimal",
                                                  ValueFault::TooManyDecimals};
            continue;
        }
        value = value * 10 + (c - '0');
    }
    if (digits == 0) return notNumber;
    for (; fractionDigits < decimals; ++fractionDigits)
        value *= 10;
    return {negative ? -value : value, {}};
}

} // namespace

const std::vector<RegisterInfo>& Registers() {
    return kRegisters;
}

const RegisterInfo* FindRegister(std::string_view name) {
    const auto found = std::find_if(kRegisters.begin(), kRegisters.end(),
                                    [&](const RegisterInfo& info) { return name == info.name; });
    return found == kRegisters.end() ? nullptr : &*found;
}

const RegisterInfo* HoldingRegister(std::uint16_t number) {
    const auto found =
        std::find_if(kRegisters.begin(), kRegisters.end(), [&](const RegisterInfo& info) {
            return info.bank == Bank::Holding && info.number == number;
        });
    return found == kRegisters.end() ? nullptr : &*found;
}

const RegisterInfo* FindRegisterByNameOrNumber(std::string_view text) {
    constexpr std::size_t kMostDigits = 3;
    const bool number =
        !text.empty() && text.size() <= kMostDigits &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!number) return FindRegister(text);
    return HoldingRegister(static_cast<std::uint16_t>(std::atoi(std::string(text).c_str())));
}

std::string RegisterNames(Bank bank) {
    std::string names;
    for (const RegisterInfo& info : kRegisters) {
        if (info.bank != bank) continue;
        if (!names.empty()) names += ", ";
        names += info.name;
    }
    return names;
}

bool InSettingsFile(const RegisterInfo& info) {
    return info.role == Role::Setting || info.role == Role::Calibration;
}

std::string RussianUnit(const RegisterInfo& info) {
    const std::string_view unit = info.unit;
    if (unit == "V") return "В";
    if (unit == "A") return "А";
    if (unit == "°C") return "°С";
    return "";
}

std::string FormatValue(const RegisterInfo& info, std::uint16_t word, char separator) {
    return ScaledText(SignedValue(info, word), Decimals(info.encoding), separator);
}

double NumericValue(const RegisterInfo& info, std::uint16_t word) {
    const double value = static_cast<double>(SignedValue(info, word));
    return Decimals(info.encoding) == 1 ? value / 10 : value;
}

ParsedValue ParseValue(const RegisterInfo& info, std::string_view text) {
    const FixedPoint number = ReadFixedPoint(text, Decimals(info.encoding));
    const std::string quoted = "\"" + std::string(text) + "\"";
    if (!number.scaled) return {std::nullopt, quoted + " " + number.refusal, number.fault};
    if (*number.scaled < RangeLow(info) || *number.scaled > RangeHigh(info))
        return {std::nullopt,
                quoted + " does not fit " + info.name + ": it takes " + RangeText(info),
                ValueFault::OutOfRange};
    return {static_cast<std::uint16_t>(*number.scaled & 0xFFFF), {}};
}

std::pair<std::uint16_t, std::uint16_t> WordRange(const RegisterInfo& info) {
    return {static_cast<std::uint16_t>(RangeLow(info) & 0xFFFF),
            static_cast<std::uint16_t>(RangeHigh(info) & 0xFFFF)};
}

std::string RefusalOfLimits(std::uint16_t number, std::uint16_t word,
                            const RegisterImage& holding) {
    const std::optional<reg::SetpointRange> range = reg::ReportedSetpointRange(number, holding);
    if (!range || range->Holds(word)) return {};
    const RegisterInfo& info = *HoldingRegister(number);
    return std::string(info.name) + " " + FormatValue(info, word) + " " + info.unit +
           " is outside the unit's limits " + FormatValue(info, range->lowest) + " to " +
           FormatValue(info, range->highest) + " " + info.unit + " (" +
           HoldingRegister(range->lowestReg)->name + ", " + HoldingRegister(range->highestReg)->name + ")";
}

} // namespace kvel
