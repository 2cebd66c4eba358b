// Settings files: writing, reading with a refusal that names the line, and comparing.
#include "SettingsFile.h"

#include <cstdio>
#include <optional>
#include <set>

namespace kvel {

namespace {

constexpr std::string_view kFileSection = "file";
constexpr std::string_view kFirmwareSection = "firmware";
constexpr std::string_view kSettingsSection = "settings";
constexpr std::string_view kCalibrationSection = "calibration";

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool Digits(std::string_view text, std::size_t fewest, std::size_t most) {
    if (text.size() < fewest || text.size() > most) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

long Number(std::string_view digits) {
    long value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

std::optional<std::uint16_t> ReadWord(std::string_view text) {
    if (!Digits(text, 1, 5) || Number(text) > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(Number(text));
}

// YYYY-MM-DDTHH:MM:SS, optional fraction, then Z or an offset.
bool IsoTimestamp(std::string_view text) {
    if (text.size() < 20) return false;
    const std::string_view date = text.substr(0, 10);
    const std::string_view time = text.substr(11, 8);
    if (!Digits(date.substr(0, 4), 4, 4) || date[4] != '-' || !Digits(date.substr(5, 2), 2, 2) ||
        date[7] != '-' || !Digits(date.substr(8, 2), 2, 2) || text[10] != 'T')
        return false;
    if (!Digits(time.substr(0, 2), 2, 2) || time[2] != ':' || !Digits(time.substr(3, 2), 2, 2) ||
        time[5] != ':' || !Digits(time.substr(6, 2), 2, 2))
        return false;
    std::string_view zone = text.substr(19);
    if (zone.front() == '.') {
        std::size_t digits = 1;
        while (digits < zone.size() && zone[digits] >= '0' && zone[digits] <= '9')
            ++digits;
        if (digits == 1) return false;
        zone.remove_prefix(digits);
    }
    if (zone == "Z") return true;
    return zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') &&
           Digits(zone.substr(1, 2), 2, 2) && zone[3] == ':' && Digits(zone.substr(4, 2), 2, 2);
}

std::string DateText(const VersionInfo& firmware) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned{firmware.compileYear},
                  unsigned{firmware.compileMonth}, unsigned{firmware.compileDay});
    return text;
}

bool ReadDate(std::string_view text, VersionInfo& firmware) {
    const std::size_t first = text.find('-');
    const std::size_t second = text.find('-', first == std::string_view::npos ? first : first + 1);
    if (second == std::string_view::npos) return false;
    const std::string_view year = text.substr(0, first);
    const std::string_view month = text.substr(first + 1, second - first - 1);
    const std::string_view day = text.substr(second + 1);
    if (!Digits(year, 1, 5) || !Digits(month, 1, 3) || !Digits(day, 1, 3)) return false;
    if (Number(year) > 0xFFFF || Number(month) > 0xFF || Number(day) > 0xFF) return false;
    firmware.compileYear = static_cast<std::uint16_t>(Number(year));
    firmware.compileMonth = static_cast<std::uint8_t>(Number(month));
    firmware.compileDay = static_cast<std::uint8_t>(Number(day));
    return true;
}

constexpr std::string_view kEndSection = "end";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

unit::FileSection SectionNamed(std::string_view section) {
    return section == kSettingsSection ? unit::FileSection::Settings
                                       : unit::FileSection::Calibration;
}

std::string SectionKeys(std::string_view section) {
    if (section == kFileSection) return "format, saved, partial";
    if (section == kFirmwareSection) return "version, compiled, build";
    std::string names;
    const unit::FileSection wanted = SectionNamed(section);
    for (const unit::Register& info : unit::Registers()) {
        if (unit::SectionOf(info) != wanted) continue;
        if (!names.empty()) names += ", ";
        names += info.name;
    }
    return names;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string RussianQuoted(std::string_view text) {
    return "«" + std::string(text) + "»";
}

// "Напряжение заряда 100% (charge-voltage-full)": the windows' name, then the file's.
std::string RussianName(const unit::Register& info) {
    return unit::Title(info) + " (" + info.name + ")";
}

std::string RussianValueRefusal(const unit::Register& info, const unit::ParsedValue& parsed,
                                std::string_view text) {
    const std::string quoted = RussianQuoted(text);
    switch (parsed.fault) {
    case unit::ValueFault::NotANumber:
        return quoted + " — не число";
    case unit::ValueFault::FarTooLarge:
        return quoted + " — слишком длинное число";
    case unit::ValueFault::NotWhole:
        return quoted + " — нужно целое число";
    case unit::ValueFault::TooManyDecimals:
        return quoted + " — больше одного знака после запятой";
    default:
        break;
    }
    const auto [lowest, highest] = unit::WordRange(info);
    return quoted + " вне диапазона: допустимо от " + unit::FormatValue(info, lowest, ',') +
           " до " + unit::RussianValueText(info, highest);
}

// Written in the command line's unit or the windows'; a bare number is taken in either.
bool UnitOf(const unit::Register& info, std::string_view written) {
    const std::string_view symbol = unit::Symbol(info.quantity);
    return written.empty() || written == symbol ||
           (!symbol.empty() && written == unit::RussianSymbol(info.quantity));
}

// The registers that belong in a settings file and that the snapshot lacks, comma-separated.
std::string MissingNames(const SettingsSnapshot& snapshot) {
    std::string missing;
    for (const unit::Register& info : unit::Registers()) {
        if (info.bank != unit::Bank::Holding || unit::SectionOf(info) == unit::FileSection::None ||
            snapshot.holding.count(info.number) != 0)
            continue;
        missing += (missing.empty() ? "" : ", ") + std::string(info.name);
    }
    return missing;
}

class Reader {
public:
    SettingsFileRead Read(std::string_view text) {
        if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
            text.remove_prefix(kByteOrderMark.size());
        std::size_t start = 0;
        while (start <= text.size() && !fault_) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            ++line_;
            ReadLine(Trim(text.substr(start, end - start)));
            start = end + 1;
        }
        if (!fault_) CheckComplete();
        if (fault_) return {std::nullopt, EnglishText(*fault_), RussianText(*fault_)};
        return {snapshot_, {}, {}};
    }

private:
    void Refuse(FileRefusal refusal, std::string_view subject = {},
                const unit::Register* info = nullptr, unit::ParsedValue parsed = {}) {
        if (fault_) return;
        fault_ = SettingsFileFault{
            refusal, line_, std::string(subject), std::string(section_), info, std::move(parsed)};
    }

    // For what is wrong with the file as a whole rather than with one of its lines.
    void RefuseFile(FileRefusal refusal, std::string subject = {}, std::string_view section = {}) {
        fault_ =
            SettingsFileFault{refusal, 0, std::move(subject), std::string(section), nullptr, {}};
    }

    void ReadLine(std::string_view line) {
        if (line.empty() || line.front() == '#' || line.front() == ';') return;
        if (ended_) return Refuse(FileRefusal::AfterEnd, line);
        if (line.front() == '[') return ReadSection(line);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return Refuse(FileRefusal::NotAnEntry, line);
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (!formatSeen_ && !(section_ == kFileSection && key == "format"))
            return Refuse(FileRefusal::FormatFirst);
        if (!seen_.insert(std::string(section_) + "." + std::string(key)).second)
            return Refuse(FileRefusal::RepeatedName, key);
        ReadEntry(key, value);
    }

    void ReadSection(std::string_view line) {
        if (line.back() != ']') return Refuse(FileRefusal::SectionUnclosed);
        const std::string_view name = Trim(line.substr(1, line.size() - 2));
        for (std::string_view known :
             {kFileSection, kFirmwareSection, kSettingsSection, kCalibrationSection, kEndSection}) {
            if (name != known) continue;
            if (!sections_.insert(known).second) return Refuse(FileRefusal::RepeatedSection, name);
            section_ = known;
            ended_ = known == kEndSection;
            return;
        }
        Refuse(FileRefusal::UnknownSection, name);
    }

    void ReadEntry(std::string_view key, std::string_view value) {
        if (section_ == kFileSection) return ReadFileEntry(key, value);
        if (section_ == kFirmwareSection) return ReadFirmwareEntry(key, value);
        ReadRegisterEntry(key, value);
    }

    void ReadFileEntry(std::string_view key, std::string_view value) {
        if (key == "format") return ReadFormat(value);
        if (key == "partial") return ReadPartial(value);
        if (key != "saved") return Refuse(FileRefusal::UnknownName, key);
        if (!IsoTimestamp(value)) return Refuse(FileRefusal::BadSaved);
        snapshot_.savedAt = std::string(value);
    }

    void ReadFormat(std::string_view value) {
        if (!Digits(value, 1, 9) || Number(value) == 0) return Refuse(FileRefusal::BadFormat);
        if (Number(value) > kSettingsFormat) return Refuse(FileRefusal::NewerFormat, value);
        formatSeen_ = true;
    }

    void ReadPartial(std::string_view value) {
        if (value != "yes" && value != "no") return Refuse(FileRefusal::BadPartial);
        partial_ = value == "yes";
    }

    void ReadFirmwareEntry(std::string_view key, std::string_view value) {
        if (key == "compiled") {
            if (!ReadDate(value, snapshot_.firmware)) Refuse(FileRefusal::BadCompiled);
            return;
        }
        std::uint16_t* field = key == "version" ? &snapshot_.firmware.firmwareVersion
                               : key == "build" ? &snapshot_.firmware.compileNumber
                                                : nullptr;
        if (!field) return Refuse(FileRefusal::UnknownName, key);
        const std::optional<std::uint16_t> word = ReadWord(value);
        if (!word) return Refuse(FileRefusal::BadWord, key);
        *field = *word;
    }

    void ReadRegisterEntry(std::string_view key, std::string_view value) {
        const unit::Register* info = unit::ByName(key);
        if (!info || unit::SectionOf(*info) != SectionNamed(section_))
            return Refuse(FileRefusal::UnknownName, key);
        const std::size_t blank = value.find(' ');
        const std::string_view number = value.substr(0, blank);
        const std::string_view written =
            blank == std::string_view::npos ? "" : Trim(value.substr(blank));
        if (!UnitOf(*info, written)) return Refuse(FileRefusal::WrongUnit, written, info);
        unit::ParsedValue parsed = unit::ParseValue(*info, number);
        if (!parsed.word) return Refuse(FileRefusal::BadValue, number, info, std::move(parsed));
        snapshot_.holding[info->number] = *parsed.word;
    }

    void CheckComplete() {
        const std::pair<std::string_view, std::string_view> required[] = {
            {kFileSection, "format"},
            {kFileSection, "saved"},
            {kFirmwareSection, "version"},
            {kFirmwareSection, "compiled"},
            {kFirmwareSection, "build"}};
        for (const auto& [section, key] : required) {
            if (seen_.count(std::string(section) + "." + std::string(key)) != 0) continue;
            return RefuseFile(FileRefusal::MissingEntry, std::string(key), section);
        }
        if (!ended_) return RefuseFile(FileRefusal::CutOff);
        if (!partial_) CheckEveryValueIsThere();
    }

    void CheckEveryValueIsThere() {
        const std::string missing = MissingNames(snapshot_);
        if (!missing.empty()) RefuseFile(FileRefusal::MissingValues, missing);
    }

    SettingsSnapshot snapshot_;
    std::string_view section_;
    std::set<std::string_view> sections_;
    std::set<std::string> seen_;
    bool formatSeen_ = false;
    bool partial_ = false;
    bool ended_ = false;
    int line_ = 0;
    std::optional<SettingsFileFault> fault_;
};

void WriteRegisters(std::string& out, const SettingsSnapshot& snapshot, unit::FileSection section) {
    for (const auto& [number, word] : snapshot.holding) {
        const unit::Register* info = unit::Find(unit::Bank::Holding, number);
        if (!info || unit::SectionOf(*info) != section) continue;
        out += std::string(info->name) + " = " + unit::ValueWithSymbol(*info, word) + '\n';
    }
}

} // namespace

namespace {
// [end] closes a file rather than holding anything: not offered among the known sections.
const std::string kKnownSections = "[file], [firmware], [settings], [calibration]";

std::string EnglishWords(const SettingsFileFault& f) {
    const std::string section = "[" + f.section + "]";
    switch (f.refusal) {
    case FileRefusal::AfterEnd:
        return "nothing may follow [end], found " + Quoted(f.subject);
    case FileRefusal::NotAnEntry:
        return "expected \"name = value\" or a [section], found " + Quoted(f.subject);
    case FileRefusal::FormatFirst:
        return "a settings file begins with [file] and format = " + std::to_string(kSettingsFormat);
    case FileRefusal::RepeatedName:
        return Quoted(f.subject) + " appears twice in " + section;
    case FileRefusal::SectionUnclosed:
        return "a section name ends with ]";
    case FileRefusal::RepeatedSection:
        return "section [" + f.subject + "] appears twice";
    case FileRefusal::UnknownSection:
        return "unknown section [" + f.subject + "]; known: " + kKnownSections;
    case FileRefusal::UnknownName:
        return "unknown name " + Quoted(f.subject) + " in " + section +
               "; known there: " + SectionKeys(f.section);
    case FileRefusal::BadSaved:
        return "saved wants an ISO 8601 time such as 2026-01-31T12:00:00Z";
    case FileRefusal::BadFormat:
        return "format wants a whole number from 1";
    case FileRefusal::NewerFormat:
        return "the file is in format " + f.subject + ", written by a newer kvel; this one reads " +
               "format " + std::to_string(kSettingsFormat) + " and older";
    case FileRefusal::BadPartial:
        return "partial wants yes or no";
    case FileRefusal::BadCompiled:
        return "compiled wants a date such as 2026-01-31";
    case FileRefusal::BadWord:
        return f.subject + " wants a whole number from 0 to 65535";
    case FileRefusal::WrongUnit: {
        const std::string symbol = unit::Symbol(f.info->quantity);
        return std::string(f.info->name) + " is in " + (symbol.empty() ? "no unit" : symbol) +
               ", not " + Quoted(f.subject);
    }
    case FileRefusal::BadValue:
        return std::string(f.info->name) + ": " + f.parsed.refusal;
    case FileRefusal::MissingEntry:
        return "the file ends without " + f.subject + " in " + section;
    case FileRefusal::CutOff:
        return "the file ends without its closing line [end]: it was cut off while being written";
    case FileRefusal::MissingValues:
        return "the file lacks " + f.subject +
               "; a file made by hand that holds only some values says so with partial = yes in "
               "[file]";
    }
    return {};
}

std::string RussianWords(const SettingsFileFault& f) {
    const std::string section = "[" + f.section + "]";
    switch (f.refusal) {
    case FileRefusal::AfterEnd:
        return "после [end] ничего не может стоять, а стоит " + RussianQuoted(f.subject);
    case FileRefusal::NotAnEntry:
        return "ожидалась строка «имя = значение» или [раздел], а стоит " +
               RussianQuoted(f.subject);
    case FileRefusal::FormatFirst:
        return "файл установок начинается с [file] и format = " + std::to_string(kSettingsFormat);
    case FileRefusal::RepeatedName:
        return RussianQuoted(f.subject) + " повторяется в " + section;
    case FileRefusal::SectionUnclosed:
        return "имя раздела кончается на ]";
    case FileRefusal::RepeatedSection:
        return "раздел [" + f.subject + "] повторяется";
    case FileRefusal::UnknownSection:
        return "неизвестный раздел [" + f.subject + "]; известны: " + kKnownSections;
    case FileRefusal::UnknownName:
        return "неизвестное имя " + RussianQuoted(f.subject) + " в " + section +
               "; там известны: " + SectionKeys(f.section);
    case FileRefusal::BadSaved:
        return "в saved нужно время ISO 8601, например 2026-01-31T12:00:00Z";
    case FileRefusal::BadFormat:
        return "в format нужно целое число от 1";
    case FileRefusal::NewerFormat:
        return "файл в формате " + f.subject +
               ", его записала более новая kvel; эта читает форматы до " +
               std::to_string(kSettingsFormat);
    case FileRefusal::BadPartial:
        return "в partial нужно yes или no";
    case FileRefusal::BadCompiled:
        return "в compiled нужна дата, например 2026-01-31";
    case FileRefusal::BadWord:
        return "в " + f.subject + " нужно целое число от 0 до 65535";
    case FileRefusal::WrongUnit: {
        const std::string symbol = unit::RussianSymbol(f.info->quantity);
        return RussianName(*f.info) +
               (symbol.empty() ? " задаётся без единицы" : " задаётся в " + symbol) + ", а не в " +
               RussianQuoted(f.subject);
    }
    case FileRefusal::BadValue:
        return RussianName(*f.info) + ": " + RussianValueRefusal(*f.info, f.parsed, f.subject);
    case FileRefusal::MissingEntry:
        return "в файле нет " + f.subject + " в " + section;
    case FileRefusal::CutOff:
        return "файл обрывается: нет последней строки [end], его запись не была закончена";
    case FileRefusal::MissingValues:
        return "в файле нет " + f.subject +
               "; файл, составленный вручную не полностью, отмечается строкой partial = yes в "
               "[file]";
    }
    return {};
}
} // namespace

std::string EnglishText(const SettingsFileFault& fault) {
    const std::string where = fault.line != 0 ? "line " + std::to_string(fault.line) + ": " : "";
    return where + EnglishWords(fault);
}

std::string RussianText(const SettingsFileFault& fault) {
    const std::string where = fault.line != 0 ? "строка " + std::to_string(fault.line) + ": " : "";
    return where + RussianWords(fault);
}

bool SettingsSnapshot::operator==(const SettingsSnapshot& other) const {
    return savedAt == other.savedAt && SameFirmware(firmware, other.firmware) &&
           firmware.compileYear == other.firmware.compileYear &&
           firmware.compileMonth == other.firmware.compileMonth &&
           firmware.compileDay == other.firmware.compileDay && holding == other.holding;
}

SettingsSnapshot SnapshotOf(const RegisterImage& holding, const VersionInfo& firmware,
                            std::string savedAt) {
    SettingsSnapshot snapshot{std::move(savedAt), firmware, {}};
    for (const unit::Register& info : unit::Registers())
        if (info.bank == unit::Bank::Holding && unit::SectionOf(info) != unit::FileSection::None)
            snapshot.holding[info.number] = holding[info.number];
    return snapshot;
}

std::string WriteSettingsFile(const SettingsSnapshot& snapshot) {
    std::string out = "# kvel settings file: the unit's settings in their units\n";
    out += "[file]\nformat = " + std::to_string(kSettingsFormat) + "\nsaved = " + snapshot.savedAt +
           "\n";
    if (!MissingNames(snapshot).empty()) out += "partial = yes\n";
    out += "\n[firmware]\nversion = " + std::to_string(snapshot.firmware.firmwareVersion) +
           "\ncompiled = " + DateText(snapshot.firmware) +
           "\nbuild = " + std::to_string(snapshot.firmware.compileNumber) + "\n";
    out += "\n[settings]\n";
    WriteRegisters(out, snapshot, unit::FileSection::Settings);
    out += "\n# Calibration values belong to one physical unit: restored only when asked for.\n";
    out += "[calibration]\n";
    WriteRegisters(out, snapshot, unit::FileSection::Calibration);
    // Written last: a file that lacks it was cut off.
    out += "\n[end]\n";
    return out;
}

SettingsFileRead ReadSettingsFile(std::string_view text) {
    return Reader().Read(text);
}

bool SameFirmware(const VersionInfo& a, const VersionInfo& b) {
    return a.firmwareVersion == b.firmwareVersion && a.compileNumber == b.compileNumber;
}

std::string FirmwareText(const VersionInfo& firmware) {
    return "version " + std::to_string(firmware.firmwareVersion) + ", compiled " +
           DateText(firmware) + ", build " + std::to_string(firmware.compileNumber);
}

std::vector<Difference> Differences(const SettingsSnapshot& file, const RegisterImage& holding,
                                    bool withCalibration) {
    std::vector<Difference> differences;
    for (const auto& [number, word] : file.holding) {
        const unit::Register* info = unit::Find(unit::Bank::Holding, number);
        if (info->role == unit::Role::Calibration && !withCalibration) continue;
        if (holding[number] != word) differences.push_back({info, word, holding[number]});
    }
    return differences;
}

} // namespace kvel
