// The unit's registers by name, with their units and how their values are written as text, for
// kvel-cli and the settings files.
#pragma once

#include "LinkState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvel {

enum class Bank { Holding, Input };

enum class Encoding {
    Tenths,        // unsigned count of tenths of the unit
    SignedTenths,  // signed count of tenths
    SignedWhole,   // signed whole number
    UnsignedWhole, // unsigned whole number
    Flag,          // 0 or 1
    Choice,        // index of one of `choices` items
    Word,          // any 16-bit value, as it travels
};

// What a register is for, which decides whether it goes into a settings file and whether
// restoring it needs to be asked for.
enum class Role {
    Reading,     // a measured value or identification; restoring it makes no sense
    Setting,     // kept in settings files and restored
    Calibration, // kept in settings files, restored only when asked: it belongs to one unit
    Link,        // the unit's address and bit rate, changed from the connection window
    Control,     // the calibration gate
};

struct RegisterInfo {
    const char* name; // as typed on the command line and written in settings files
    Bank bank;
    std::uint16_t number;
    Encoding encoding;
    const char* unit; // "V", "A", "°C" or empty
    Role role;
    const char* caption; // the Russian name the windows use
    std::uint16_t choices = 0;
};

const std::vector<RegisterInfo>& Registers();
const RegisterInfo* FindRegister(std::string_view name);
const RegisterInfo* HoldingRegister(std::uint16_t number);
// A name, or a holding register's number in decimal.
const RegisterInfo* FindRegisterByNameOrNumber(std::string_view text);
// The names, comma-separated, for messages that list what is known.
std::string RegisterNames(Bank bank);

bool InSettingsFile(const RegisterInfo& info);
// The unit's words as Russian readers expect them in the windows.
std::string RussianUnit(const RegisterInfo& info);

// The value in its unit with a decimal point (or `separator`): 545 tenths gives "54.5".
std::string FormatValue(const RegisterInfo& info, std::uint16_t word, char separator = '.');
// The value as a number for machine-readable output: tenths as a fraction, signed as signed.
double NumericValue(const RegisterInfo& info, std::uint16_t word);

// Why a typed value was not taken, for callers that say it in another language.
enum class ValueFault { None, NotANumber, FarTooLarge, NotWhole, TooManyDecimals, OutOfRange };

struct ParsedValue {
    std::optional<std::uint16_t> word;
    std::string refusal; // why the text was not taken, when `word` is empty
    ValueFault fault = ValueFault::None;
};
// Reads a value typed in the register's unit, with a decimal comma or point; refuses what does
// not fit the register and what has more decimals than the register holds.
ParsedValue ParseValue(const RegisterInfo& info, std::string_view text);
// The lowest and highest words the register takes, in its own encoding.
std::pair<std::uint16_t, std::uint16_t> WordRange(const RegisterInfo& info);

// Why the unit would not take `word` in holding register `number`, given what it reports now:
// the voltage and current setpoints stay within the unit's own limits (registers 8..9 and
// 10..11) whenever those are known, that is, their maximum is not 0. Empty when it is fine.
std::string RefusalOfLimits(std::uint16_t number, std::uint16_t word, const RegisterImage& holding);

} // namespace kvel
