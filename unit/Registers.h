// The register table looked up, and a register's value written and read as text by its row.
#pragma once

#include "FixedPoint.h"
#include "LinkState.h"
#include "RegisterMap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kvel::unit {

constexpr const auto& Registers() {
    return kRegisterTable;
}
const Register* Find(Bank bank, std::uint16_t number);
// The row of a holding register the table is known to have.
const Register& Holding(std::uint16_t number);
const Register* ByName(std::string_view name);
// A name, or a holding register's number in decimal.
const Register* ByNameOrNumber(std::string_view text);
// The names of one bank, comma-separated, for messages that list what is known.
std::string Names(Bank bank);

// The caption standing alone, as lists show it: without the window's trailing colon and blanks,
// after its group ("Реле: Перегрев").
std::string Title(const Register& reg);
// "V", "A", "°C": for the command line, settings files and machine-readable output.
const char* Symbol(Quantity quantity);
// "В", "А", "°С": for the windows.
const char* RussianSymbol(Quantity quantity);

enum class FileSection { None, Settings, Calibration };
// Where a settings file keeps the register; None for what it does not keep.
FileSection SectionOf(const Register& reg);

// The value in its unit's scale with a decimal point (or `separator`): 545 tenths gives "54.5",
// 65526 as a signed whole "-10".
std::string FormatValue(const Register& reg, std::uint16_t raw, char separator = '.');
// "54.5 V", "1", "-5 °C".
std::string ValueWithSymbol(const Register& reg, std::uint16_t raw);
// "54,5 В", "-5 °С": as the windows write a value.
std::string RussianValueText(const Register& reg, std::uint16_t raw);
// The value as a number for machine-readable output: tenths as a fraction, signed as signed.
double NumericValue(const Register& reg, std::uint16_t raw);

struct ParsedValue {
    std::optional<std::uint16_t> word;
    std::string refusal; // why the text was not taken, when `word` is empty
    ValueFault fault = ValueFault::None;
};
// Reads a value typed in the register's unit, with a decimal comma or point; refuses what does
// not fit the register and what has more decimals than the register holds.
ParsedValue ParseValue(const Register& reg, std::string_view text);
// The lowest and highest words the register takes, in its own encoding.
std::pair<std::uint16_t, std::uint16_t> WordRange(const Register& reg);

// Why the unit would not take `raw` in holding register `number`, given what it reports now:
// the voltage and current setpoints stay within the unit's own limits (registers 8..9 and
// 10..11) whenever those are known, that is, their maximum is not 0. Empty when it is fine.
std::string RefusalOfLimits(std::uint16_t number, std::uint16_t raw, const RegisterImage& holding);

// Whole part, separator, tenths digit, unsigned: 545 gives "54,5", 540 "54,0".
std::string TenthsText(std::uint16_t tenths, char separator = ',');

} // namespace kvel::unit
