// What kvel-cli prints about the unit: the status as text or JSON, and the lines of watch as
// text or JSON.
#pragma once

#include "LinkState.h"
#include "SettingsFile.h"

#include <string>
#include <vector>

namespace kvel::cli {

struct UnitReading {
    const RegisterImage& holding;
    const RegisterImage& input;
};

std::string StatusText(const UnitReading& unit, const std::string& where);
std::string StatusJson(const UnitReading& unit, const std::string& port, int address, int bitRate);

std::string WatchLine(const UnitReading& unit, const std::string& time);
std::string WatchJson(const UnitReading& unit, const std::string& time);

// "54.5 V", "1", "-5 °C"
std::string ValueWithUnit(const RegisterInfo& info, std::uint16_t word);
// One register as get prints it: the value in its unit, or the status word's lamps.
std::string RegisterText(const RegisterInfo& info, std::uint16_t word);
std::string RegisterJson(const RegisterInfo& info, std::uint16_t word);
std::uint16_t WordOf(const UnitReading& unit, const RegisterInfo& info);

std::string SavedJson(const std::string& file, std::size_t registers);
std::string DifferencesText(const std::vector<Difference>& differences);
std::string DifferencesJson(const std::vector<Difference>& differences);

} // namespace kvel::cli
