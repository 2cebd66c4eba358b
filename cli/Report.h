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

// One register as get prints it: the value in its unit, or the status word's lamps.
std::string RegisterText(const unit::Register& info, std::uint16_t word);
std::string RegisterJson(const unit::Register& info, std::uint16_t word);
std::uint16_t WordOf(const UnitReading& unit, const unit::Register& info);

std::string SavedJson(const std::string& file, std::size_t registers);
std::string DifferencesText(const std::vector<Difference>& differences);
std::string DifferencesJson(const std::vector<Difference>& differences);

} // namespace kvel::cli
