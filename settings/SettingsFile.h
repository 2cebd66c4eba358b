// Settings files: the unit's writable settings by name with their units, its firmware
// identification and when they were saved, in a versioned text format people can read. The
// writer ends every file with the line [end], so a file cut off while being written is told
// from a whole one; a file made by hand that holds only some values says so with
// "partial = yes" in [file].
#pragma once

#include "LinkState.h"
#include "Registers.h"
#include "VersionInfo.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvel {

constexpr int kSettingsFormat = 1;

struct SettingsSnapshot {
    std::string savedAt; // ISO 8601
    VersionInfo firmware;
    std::map<std::uint16_t, std::uint16_t> holding; // register number to word

    bool operator==(const SettingsSnapshot& other) const;
};

// Every register that belongs in a settings file, as the unit reports it.
SettingsSnapshot SnapshotOf(const RegisterImage& holding, const VersionInfo& firmware,
                            std::string savedAt);

std::string WriteSettingsFile(const SettingsSnapshot& snapshot);

// What a settings file is refused for, apart from its wording: kvel-cli says it in English, the
// windows in Russian.
enum class FileRefusal {
    AfterEnd,        // subject: the line after [end]
    NotAnEntry,      // subject: the line
    FormatFirst,     // the file does not begin with [file] and format
    RepeatedName,    // subject: the name, in `section`
    SectionUnclosed, // a section name without its ]
    RepeatedSection, // subject: the section's name
    UnknownSection,  // subject: the section's name
    UnknownName,     // subject: the name, in `section`
    BadSaved,
    BadFormat,
    NewerFormat, // subject: the file's format
    BadPartial,
    BadCompiled,
    BadWord,       // subject: the name
    WrongUnit,     // subject: the unit written, for `info`
    BadValue,      // subject: the value written, for `info`, refused as `parsed` says
    MissingEntry,  // subject: the name, in `section`
    CutOff,        // no closing [end]
    MissingValues, // subject: the names of the values missing
};

struct SettingsFileFault {
    FileRefusal refusal = FileRefusal::CutOff;
    int line = 0; // the line it is on; 0 for the file as a whole
    std::string subject;
    std::string section;
    const unit::Register* info = nullptr;
    unit::ParsedValue parsed;
};
// "line 7: ...", for kvel-cli.
std::string EnglishText(const SettingsFileFault& fault);
// "строка 7: ...", for the windows.
std::string RussianText(const SettingsFileFault& fault);

struct SettingsFileRead {
    std::optional<SettingsSnapshot> snapshot;
    // Why the file is refused, naming the line where it can: "line 7: ..." for kvel-cli,
    // "строка 7: ..." for the windows.
    std::string error;
    std::string russianError;
};
// Refuses a newer format, unknown sections and names, values that do not fit, a unit other
// than the register's, a file without its closing [end], and values missing from a file that
// does not say it is partial. A value without its unit is in the register's unit; the Russian
// unit names are taken too; a UTF-8 byte-order mark at the start is passed over.
SettingsFileRead ReadSettingsFile(std::string_view text);

bool SameFirmware(const VersionInfo& a, const VersionInfo& b);
std::string FirmwareText(const VersionInfo& firmware);

struct Difference {
    const unit::Register* info;
    std::uint16_t fileWord;
    std::uint16_t unitWord;
};
// The file's registers whose value the unit does not hold, in register order; calibration
// values only when asked for.
std::vector<Difference> Differences(const SettingsSnapshot& file, const RegisterImage& holding,
                                    bool withCalibration);

} // namespace kvel
