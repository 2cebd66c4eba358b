// The register table looked up, and a register's value as text.
#include "Registers.h"

#include <algorithm>
#include <cstdlib>

namespace kvel::unit {

namespace {

constexpr bool HoldingRowsInNumberOrder() {
    for (std::uint16_t n = 0; n < reg::holding::Count; ++n)
        if (kRegisterTable[n].bank != Bank::Holding || kRegisterTable[n].number != n) return false;
    for (std::size_t i = reg::holding::Count; i < kRegisterTable.size(); ++i)
        if (kRegisterTable[i].bank != Bank::Input || kRegisterTable[i].number >= reg::input::Count)
            return false;
    return true;
}
// The holding rows are looked up by index; every register the poll brings has its row.
static_assert(HoldingRowsInNumberOrder());

bool Signed(Encoding encoding) {
    return encoding == Encoding::SignedTenths || encoding == Encoding::SignedWhole;
}

int Decimals(Encoding encoding) {
    return encoding == Encoding::Tenths || encoding == Encoding::SignedTenths ? 1 : 0;
}

long RangeLow(const Register& reg) {
    return Signed(reg.encoding) ? -32768 : 0;
}

long RangeHigh(const Register& reg) {
    switch (reg.encoding) {
    case Encoding::Flag:
        return 1;
    case Encoding::Choice:
        return reg.choices - 1;
    case Encoding::SignedTenths:
    case Encoding::SignedWhole:
        return 32767;
    default:
        return 65535;
    }
}

long SignedValue(const Register& reg, std::uint16_t raw) {
    return Signed(reg.encoding) ? static_cast<std::int16_t>(raw) : raw;
}

// The number in the register's own scale as a decimal text, without the unit.
std::string ScaledText(long scaled, int decimals, char separator) {
    if (decimals == 0) return std::to_string(scaled);
    const long magnitude = std::labs(scaled);
    return (scaled < 0 ? "-" : "") + std::to_string(magnitude / 10) + separator +
           std::to_string(magnitude % 10);
}

std::string WithSymbol(std::string value, std::string_view symbol) {
    if (!symbol.empty()) value += ' ' + std::string(symbol);
    return value;
}

std::string RangeText(const Register& reg) {
    const int decimals = Decimals(reg.encoding);
    return WithSymbol(ScaledText(RangeLow(reg), decimals, '.') + " to " +
                          ScaledText(RangeHigh(reg), decimals, '.'),
                      Symbol(reg.quantity));
}

const char* RefusalWords(ValueFault fault) {
    switch (fault) {
    case ValueFault::NotANumber:
        return "is not a number";
    case ValueFault::FarTooLarge:
        return "is far too large";
    case ValueFault::NotWhole:
        return "must be a whole number";
    case ValueFault::TooManyDecimals:
        return "has more than one decimal";
    default:
        return "";
    }
}

} // namespace

const Register* Find(Bank bank, std::uint16_t number) {
    if (bank == Bank::Holding)
        return number < reg::holding::Count ? &kRegisterTable[number] : nullptr;
    const auto found =
        std::find_if(kRegisterTable.begin(), kRegisterTable.end(),
                     [&](const Register& reg) { return reg.bank == bank && reg.number == number; });
    return found == kRegisterTable.end() ? nullptr : &*found;
}

const Register& Holding(std::uint16_t number) {
    return *Find(Bank::Holding, number);
}

const Register* ByName(std::string_view name) {
    const auto found = std::find_if(kRegisterTable.begin(), kRegisterTable.end(),
                                    [&](const Register& reg) { return name == reg.name; });
    return found == kRegisterTable.end() ? nullptr : &*found;
}

const Register* ByNameOrNumber(std::string_view text) {
    constexpr std::size_t kMostDigits = 3;
    const bool number =
        !text.empty() && text.size() <= kMostDigits &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!number) return ByName(text);
    return Find(Bank::Holding, static_cast<std::uint16_t>(std::atoi(std::string(text).c_str())));
}

std::string Names(Bank bank) {
    std::string names;
    for (const Register& reg : kRegisterTable) {
        if (reg.bank != bank) continue;
        if (!names.empty()) names += ", ";
        names += reg.name;
    }
    return names;
}

std::string Title(const Register& reg) {
    std::string_view caption = reg.caption;
    while (!caption.empty() && (caption.back() == ' ' || caption.back() == ':'))
        caption.remove_suffix(1);
    if (*reg.group == '\0') return std::string(caption);
    return std::string(reg.group) + ": " + std::string(caption);
}

const char* Symbol(Quantity quantity) {
    return kSymbols[static_cast<std::size_t>(quantity)].latin;
}

const char* RussianSymbol(Quantity quantity) {
    return kSymbols[static_cast<std::size_t>(quantity)].russian;
}

FileSection SectionOf(const Register& reg) {
    switch (reg.role) {
    case Role::Setpoint:
    case Role::Setting:
        return FileSection::Settings;
    case Role::Calibration:
        return FileSection::Calibration;
    default:
        return FileSection::None;
    }
}

std::string FormatValue(const Register& reg, std::uint16_t raw, char separator) {
    return ScaledText(SignedValue(reg, raw), Decimals(reg.encoding), separator);
}

std::string ValueWithSymbol(const Register& reg, std::uint16_t raw) {
    return WithSymbol(FormatValue(reg, raw), Symbol(reg.quantity));
}

std::string RussianValueText(const Register& reg, std::uint16_t raw) {
    return WithSymbol(FormatValue(reg, raw, ','), RussianSymbol(reg.quantity));
}

double NumericValue(const Register& reg, std::uint16_t raw) {
    const double value = static_cast<double>(SignedValue(reg, raw));
    return Decimals(reg.encoding) == 1 ? value / 10 : value;
}

ParsedValue ParseValue(const Register& reg, std::string_view text) {
    const FixedPoint number = ReadFixedPoint(text, Decimals(reg.encoding));
    const std::string quoted = "\"" + std::string(text) + "\"";
    if (!number.scaled)
        return {std::nullopt, quoted + " " + RefusalWords(number.fault), number.fault};
    if (*number.scaled < RangeLow(reg) || *number.scaled > RangeHigh(reg))
        return {std::nullopt,
                quoted + " does not fit " + std::string(reg.name) + ": it takes " + RangeText(reg),
                ValueFault::OutOfRange};
    return {static_cast<std::uint16_t>(*number.scaled & 0xFFFF), {}};
}

std::pair<std::uint16_t, std::uint16_t> WordRange(const Register& reg) {
    return {static_cast<std::uint16_t>(RangeLow(reg) & 0xFFFF),
            static_cast<std::uint16_t>(RangeHigh(reg) & 0xFFFF)};
}

std::string RefusalOfLimits(std::uint16_t number, std::uint16_t raw, const RegisterImage& holding) {
    const std::optional<reg::SetpointRange> range = reg::ReportedSetpointRange(number, holding);
    if (!range || range->Holds(raw)) return {};
    const Register& setpoint = Holding(number);
    return std::string(setpoint.name) + " " + ValueWithSymbol(setpoint, raw) +
           " is outside the unit's limits " + FormatValue(setpoint, range->lowest) + " to " +
           ValueWithSymbol(setpoint, range->highest) + " (" +
           std::string(Holding(range->lowestReg).name) + ", " +
           std::string(Holding(range->highestReg).name) + ")";
}

std::string TenthsText(std::uint16_t tenths, char separator) {
    return ScaledText(tenths, 1, separator);
}

} // namespace kvel::unit
