// What kvel-cli prints about the unit.
#include "Report.h"

#include "Registers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdio>

namespace kvel::cli {

namespace {

const std::array<const char*, 5> kReadings = {"output-voltage", "output-current",
                                              "power-stage-voltage", "power-stage-temperature",
                                              "voltage-correction"};
const std::array<const char*, 2> kSetpoints = {"voltage-setpoint", "current-setpoint"};

std::uint16_t Status(const UnitReading& unit) {
    return unit.input[reg::input::Status];
}

QString Symbol(const unit::Register& info) {
    const std::string_view symbol = unit::Symbol(info.quantity);
    return QString::fromUtf8(symbol.data(), static_cast<qsizetype>(symbol.size()));
}

bool Lit(const UnitReading& unit, const unit::Lamp& lamp) {
    return (Status(unit) & lamp.bit) != 0;
}

// Pads to `width` characters, counting a UTF-8 sequence as one.
std::string Padded(std::string text, std::size_t width) {
    std::size_t characters = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
    if (characters < width) text.append(width - characters, ' ');
    return text;
}

template <std::size_t N>
std::string ValueLines(const UnitReading& unit, const std::array<const char*, N>& names) {
    std::string text;
    for (const char* name : names) {
        const unit::Register& info = *unit::ByName(name);
        text += "  " + Padded(name, 26) +
                Padded(unit::ValueWithSymbol(info, WordOf(unit, info)), 10) + unit::Title(info) +
                "\n";
    }
    return text;
}

template <std::size_t N>
QJsonObject ValueObject(const UnitReading& unit, const std::array<const char*, N>& names) {
    QJsonObject object;
    for (const char* name : names) {
        const unit::Register& info = *unit::ByName(name);
        object.insert(name, QJsonObject{{"value", unit::NumericValue(info, WordOf(unit, info))},
                                        {"unit", Symbol(info)}});
    }
    return object;
}

QJsonObject LampObject(const UnitReading& unit) {
    QJsonObject lamps;
    for (const unit::Lamp& lamp : unit::kLamps)
        lamps.insert(lamp.name, Lit(unit, lamp));
    return lamps;
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

const std::array<const char*, 6> kWatched = {"output-voltage",      "output-current",
                                             "power-stage-voltage", "power-stage-temperature",
                                             "voltage-setpoint",    "current-setpoint"};

} // namespace

std::uint16_t WordOf(const UnitReading& unit, const unit::Register& info) {
    return (info.bank == unit::Bank::Holding ? unit.holding : unit.input)[info.number];
}

std::string RegisterJson(const unit::Register& info, std::uint16_t word) {
    return Compact({{"name", info.name},
                    {"bank", info.bank == unit::Bank::Holding ? "holding" : "input"},
                    {"register", info.number},
                    {"value", unit::NumericValue(info, word)},
                    {"unit", Symbol(info)},
                    {"raw", word}});
}

std::string StatusText(const UnitReading& unit, const std::string& where) {
    const VersionInfo firmware = VersionFromInputs(unit.input);
    std::string text =
        "Unit at " + where + "\nFirmware: " + FirmwareText(firmware) + "\nReadings:\n";
    text += ValueLines(unit, kReadings) + "Lamps:\n";
    for (const unit::Lamp& lamp : unit::kLamps)
        text += "  " + Padded(lamp.name, 26) + Padded(Lit(unit, lamp) ? "on" : "off", 10) +
                lamp.caption + "\n";
    text += "  " + Padded("battery-level", 26) +
            std::to_string(reg::status::BatteryLevel(Status(unit))) + " of " +
            std::to_string(reg::status::LevelSteps) + "\nSetpoints:\n";
    return text + ValueLines(unit, kSetpoints);
}

std::string StatusJson(const UnitReading& unit, const std::string& port, int address, int bitRate) {
    const VersionInfo firmware = VersionFromInputs(unit.input);
    char compiled[32];
    std::snprintf(compiled, sizeof compiled, "%04u-%02u-%02u", unsigned{firmware.compileYear},
                  unsigned{firmware.compileMonth}, unsigned{firmware.compileDay});
    const QJsonObject status{{"unit", QJsonObject{{"port", QString::fromStdString(port)},
                                                  {"address", address},
                                                  {"baud", bitRate}}},
                             {"firmware", QJsonObject{{"version", firmware.firmwareVersion},
                                                      {"compiled", compiled},
                                                      {"build", firmware.compileNumber}}},
                             {"readings", ValueObject(unit, kReadings)},
                             {"lamps", LampObject(unit)},
                             {"battery-level", reg::status::BatteryLevel(Status(unit))},
                             {"setpoints", ValueObject(unit, kSetpoints)}};
    return QJsonDocument(status).toJson(QJsonDocument::Indented).toStdString();
}

std::string WatchLine(const UnitReading& unit, const std::string& time) {
    std::string line = time;
    for (const char* name : kWatched) {
        const unit::Register& info = *unit::ByName(name);
        line += "  " + unit::Title(info) + " " + unit::ValueWithSymbol(info, WordOf(unit, info));
    }
    for (const unit::Lamp& lamp : unit::kLamps)
        if (Lit(unit, lamp)) line += std::string("  [") + lamp.caption + "]";
    return line + "  battery " + std::to_string(reg::status::BatteryLevel(Status(unit))) + "/" +
           std::to_string(reg::status::LevelSteps);
}

std::string WatchJson(const UnitReading& unit, const std::string& time) {
    QJsonObject line{{"time", QString::fromStdString(time)}};
    for (const char* name : kWatched) {
        const unit::Register& info = *unit::ByName(name);
        line.insert(name, unit::NumericValue(info, WordOf(unit, info)));
    }
    line.insert("lamps", LampObject(unit));
    line.insert("battery-level", reg::status::BatteryLevel(Status(unit)));
    return Compact(line);
}

std::string WatchCsvHeader() {
    std::string header = "time";
    for (const char* name : kWatched)
        header += std::string(",") + name;
    for (const unit::Lamp& lamp : unit::kLamps)
        header += std::string(",") + lamp.name;
    return header + ",battery-level";
}

std::string WatchCsvRow(const UnitReading& unit, const std::string& time) {
    std::string row = time;
    for (const char* name : kWatched) {
        const unit::Register& info = *unit::ByName(name);
        row += "," + unit::FormatValue(info, WordOf(unit, info));
    }
    for (const unit::Lamp& lamp : unit::kLamps)
        row += Lit(unit, lamp) ? ",1" : ",0";
    return row + "," + std::to_string(reg::status::BatteryLevel(Status(unit)));
}

std::string SavedJson(const std::string& file, std::size_t registers) {
    return Compact(
        {{"file", QString::fromStdString(file)}, {"registers", static_cast<int>(registers)}});
}

std::string DifferencesText(const std::vector<Difference>& differences) {
    std::string text = Padded("register", 26) + Padded("file", 12) + "unit\n";
    for (const Difference& d : differences)
        text += Padded(d.info->name, 26) + Padded(unit::ValueWithSymbol(*d.info, d.fileWord), 12) +
                unit::ValueWithSymbol(*d.info, d.unitWord) + "\n";
    return text;
}

std::string DifferencesJson(const std::vector<Difference>& differences) {
    QJsonArray list;
    for (const Difference& d : differences)
        list.append(QJsonObject{{"name", d.info->name},
                                {"register", d.info->number},
                                {"file", unit::NumericValue(*d.info, d.fileWord)},
                                {"unit", unit::NumericValue(*d.info, d.unitWord)},
                                {"measure", Symbol(*d.info)}});
    return Compact({{"equal", differences.empty()}, {"differences", list}});
}

} // namespace kvel::cli
