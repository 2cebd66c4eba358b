// What kvel-cli prints about the unit.
#include "Report.h"

#include "Registers.h"
#include "TelemetryRecorder.h"

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

bool Lit(std::uint16_t status, const unit::Lamp& lamp) {
    return (status & lamp.bit) != 0;
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

// Every reading in every output has this shape; `unit` is its physical unit and nothing else.
QJsonObject ReadingObject(const unit::Register& info, std::uint16_t word) {
    return {{"name", info.name},
            {"bank", info.bank == unit::Bank::Holding ? "holding" : "input"},
            {"register", info.number},
            {"value", unit::NumericValue(info, word)},
            {"unit", unit::Symbol(info.quantity)},
            {"raw", word}};
}

template <std::size_t N>
QJsonObject ReadingsObject(const UnitReading& unit, const std::array<const char*, N>& names) {
    QJsonObject object;
    for (const char* name : names) {
        const unit::Register& info = *unit::ByName(name);
        object.insert(name, ReadingObject(info, WordOf(unit, info)));
    }
    return object;
}

QJsonObject LampObject(std::uint16_t status) {
    QJsonObject lamps;
    for (const unit::Lamp& lamp : unit::kLamps)
        lamps.insert(lamp.name, Lit(status, lamp));
    return lamps;
}

// What status and watch share: the readings, the setpoints and the status word's lamps.
QJsonObject UnitObject(const UnitReading& unit) {
    return {{"readings", ReadingsObject(unit, kReadings)},
            {"lamps", LampObject(Status(unit))},
            {"battery-level", reg::status::BatteryLevel(Status(unit))},
            {"setpoints", ReadingsObject(unit, kSetpoints)}};
}

std::string LampLines(std::uint16_t status) {
    std::string text;
    for (const unit::Lamp& lamp : unit::kLamps)
        text += "  " + Padded(lamp.name, 26) + Padded(Lit(status, lamp) ? "on" : "off", 10) +
                lamp.caption + "\n";
    return text + "  " + Padded("battery-level", 26) +
           std::to_string(reg::status::BatteryLevel(status)) + " of " +
           std::to_string(reg::status::LevelSteps) + "\n";
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

std::uint16_t WordOf(const UnitReading& unit, const unit::Register& info) {
    return (info.bank == unit::Bank::Holding ? unit.holding : unit.input)[info.number];
}

bool IsStatusWord(const unit::Register& info) {
    return info.bank == unit::Bank::Input && info.number == reg::input::Status;
}

std::string RegisterText(const unit::Register& info, std::uint16_t word) {
    if (IsStatusWord(info)) return LampLines(word);
    return unit::ValueWithSymbol(info, word);
}

std::string RegisterJson(const unit::Register& info, std::uint16_t word) {
    QJsonObject reading = ReadingObject(info, word);
    if (IsStatusWord(info)) {
        reading.insert("lamps", LampObject(word));
        reading.insert("battery-level", reg::status::BatteryLevel(word));
    }
    return Compact(reading);
}

std::string StatusText(const UnitReading& unit, const std::string& where) {
    const VersionInfo firmware = VersionFromInputs(unit.input);
    std::string text =
        "Unit at " + where + "\nFirmware: " + FirmwareText(firmware) + "\nReadings:\n";
    text += ValueLines(unit, kReadings) + "Lamps:\n" + LampLines(Status(unit)) + "Setpoints:\n";
    return text + ValueLines(unit, kSetpoints);
}

std::string StatusJson(const UnitReading& unit, const std::string& port, int address, int bitRate) {
    const VersionInfo firmware = VersionFromInputs(unit.input);
    char compiled[32];
    std::snprintf(compiled, sizeof compiled, "%04u-%02u-%02u", unsigned{firmware.compileYear},
                  unsigned{firmware.compileMonth}, unsigned{firmware.compileDay});
    QJsonObject status = UnitObject(unit);
    status.insert("link", QJsonObject{{"port", QString::fromStdString(port)},
                                      {"address", address},
                                      {"baud", bitRate}});
    status.insert("firmware", QJsonObject{{"version", firmware.firmwareVersion},
                                          {"compiled", compiled},
                                          {"build", firmware.compileNumber}});
    return QJsonDocument(status).toJson(QJsonDocument::Indented).toStdString();
}

std::string WatchLine(const UnitReading& unit, const std::string& time) {
    std::string line = time;
    // The telemetry log's readings, in its order, so a watch line and a log row read alike.
    for (const std::uint16_t number : kSampledRegisters) {
        const unit::Register& info = unit::Holding(number);
        line += "  " + unit::Title(info) + " " + unit::ValueWithSymbol(info, WordOf(unit, info));
    }
    for (const unit::Lamp& lamp : unit::kLamps)
        if (Lit(Status(unit), lamp)) line += std::string("  [") + lamp.caption + "]";
    return line + "  battery " + std::to_string(reg::status::BatteryLevel(Status(unit))) + "/" +
           std::to_string(reg::status::LevelSteps);
}

std::string WatchJson(const UnitReading& unit, const std::string& time) {
    QJsonObject line = UnitObject(unit);
    line.insert("time", QString::fromStdString(time));
    return Compact(line);
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
                                {"device", unit::NumericValue(*d.info, d.unitWord)},
                                {"unit", unit::Symbol(d.info->quantity)}});
    return Compact({{"equal", differences.empty()}, {"differences", list}});
}

} // namespace kvel::cli
