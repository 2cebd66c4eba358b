// The verbs of kvel-cli, each on the direct transaction path but the upload.
#include "Verbs.h"

#include "Console.h"
#include "Find.h"
#include "ModbusFrame.h"
#include "NetworkLine.h"
#include "NetworkPort.h"
#include "RegisterMap.h"
#include "Report.h"
#include "Serve.h"
#include "ServiceReport.h"
#include "SettingsFileStore.h"
#include "SettingsRestore.h"
#include "TelemetryCsv.h"
#include "UnitLine.h"
#include "Upload.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace kvel::cli {

namespace {

using Clock = std::chrono::steady_clock;

UnitReading Reading(const UnitImages& images) {
    return {images.holding, images.input};
}

std::string NowIso(Qt::DateFormat format = Qt::ISODateWithMs) {
    return QDateTime::currentDateTimeUtc().toString(format).toStdString();
}

int LinkFailure(const UnitLine& line, const Answer& answer) {
    return Fail(kExitLink, line.Failure(answer));
}

bool SeveralUnits(const Invocation& call) {
    return call.addresses.size() > 1;
}

// With several units each gets one line of JSON, its address in it.
std::string JsonOfUnit(const std::string& json, std::uint8_t address, bool several) {
    if (!several) return json;
    QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    object.insert("address", address);
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string TextOfUnit(const std::string& text, std::uint8_t address, bool several) {
    return several ? "address " + std::to_string(address) + "  " + text : text;
}

// Each listed unit in turn on the one open port. A unit that fails is told of and the others
// are still asked; the exit is the worst of theirs.
template <typename Each> int ForEachUnit(UnitLine& line, Each each) {
    int exit = kExitOk;
    for (std::uint8_t address : line.Call().addresses) {
        line.SetAddress(address);
        exit = std::max(exit, each(line, address));
    }
    return exit;
}

int Status(UnitLine& line) {
    const Invocation& call = line.Call();
    return ForEachUnit(line, [&](UnitLine& unit, std::uint8_t address) {
        UnitImages images;
        const Answer answer = unit.ReadBanks(images);
        if (!answer.Ok()) return LinkFailure(unit, answer);
        if (call.json)
            Print(JsonOfUnit(StatusJson(Reading(images), call.portLabel, address,
                                        BaudRateFromIndex(call.baudIndex)),
                             address, SeveralUnits(call)));
        else
            Print(StatusText(Reading(images), unit.Where()));
        return static_cast<int>(kExitOk);
    });
}

int Get(UnitLine& line) {
    const Invocation& call = line.Call();
    const unit::Register& info = *call.target;
    return ForEachUnit(line, [&](UnitLine& unit, std::uint8_t address) {
        const Answer answer = unit.Read(info.bank, info.number, 1);
        if (!answer.Ok()) return LinkFailure(unit, answer);
        const std::uint16_t word = answer.words.front();
        Print(call.json ? JsonOfUnit(RegisterJson(info, word), address, SeveralUnits(call))
                        : TextOfUnit(RegisterText(info, word), address, SeveralUnits(call)));
        return static_cast<int>(kExitOk);
    });
}

// What watch knows of one listed unit between its turns.
struct WatchedUnit {
    std::uint8_t address = 0;
    // Its break row is written and it has not answered since.
    bool silent = false;
};

enum class Turn { Answered, Silent, CsvFailed };

// The CSV reaches the disk after every row, so a watch cut short loses none.
bool AppendRow(CsvLogFile& csv, const TelemetrySample& sample, std::uint8_t address) {
    if (!csv.IsOpen()) return true;
    csv.Append(sample, address);
    return csv.Flush();
}

// "2026-12-07T13:03:34.123Z  address 3: " before what happened to a unit, on stderr.
std::string UnitNews(const std::string& time, std::uint8_t address, bool several) {
    return time + "  " + (several ? "address " + std::to_string(address) + ": " : "");
}

// A unit's turn in a round of watch. A reading goes to stdout and the CSV; a unit that falls
// silent is named on stderr with the cause and gets one break row, as the window's log has, however
// long it stays silent.
Turn WatchTurn(UnitLine& line, CsvLogFile& csv, WatchedUnit& unit) {
    const Invocation& call = line.Call();
    const bool several = SeveralUnits(call);
    UnitImages images;
    const Answer answer = line.ReadBanks(images);
    const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
    const std::string time = NowIso();
    if (answer.Ok()) {
        if (std::exchange(unit.silent, false))
            Tell(UnitNews(time, unit.address, several) + "answers again");
        Print(call.json ? JsonOfUnit(WatchJson(Reading(images), time), unit.address, several)
                        : TextOfUnit(WatchLine(Reading(images), time), unit.address, several));
        return AppendRow(csv, SampleOfImages(images.holding, images.input, nowMs), unit.address)
                   ? Turn::Answered
                   : Turn::CsvFailed;
    }
    if (std::exchange(unit.silent, true)) return Turn::Silent;
    Tell(UnitNews(time, unit.address, several) + line.Failure(answer));
    TelemetrySample gap;
    gap.timeMs = nowMs;
    gap.gap = true;
    return AppendRow(csv, gap, unit.address) ? Turn::Silent : Turn::CsvFailed;
}

// Every listed unit's turn: Answered when one answered, CsvFailed when the CSV took no row.
Turn WatchRound(UnitLine& line, CsvLogFile& csv, std::vector<WatchedUnit>& units) {
    Turn round = Turn::Silent;
    for (WatchedUnit& unit : units) {
        line.SetAddress(unit.address);
        const Turn turn = WatchTurn(line, csv, unit);
        if (turn == Turn::CsvFailed) return turn;
        if (turn == Turn::Answered) round = turn;
    }
    return round;
}

// Before every round a port that went away is opened again: a network line however long it
// takes, as the window program does, a device until --timeout has passed since it went. False
// once the device is gone for good.
// Since when the port has been gone, while it is.
struct PortAbsence {
    bool gone = false;
    Clock::time_point since{};
};

bool PortStillThere(UnitLine& line, PortAbsence& absence) {
    const Invocation& call = line.Call();
    SerialChannel& channel = line.Channel();
    if (channel.IsOpen() ||
        channel.ReopenVanishedPort(BaudRateFromIndex(call.baudIndex)) == kOpenOk) {
        absence.gone = false;
        return true;
    }
    const Clock::time_point now = Clock::now();
    if (!absence.gone) absence = {true, now};
    return IsNetworkPortName(call.portName) ||
           now - absence.since < std::chrono::milliseconds(call.timeoutMs);
}

std::string SecondsText(Clock::duration duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double>(duration).count());
    return text;
}

// The units silent at the end, for the last word of a watch that exits 2.
std::string SilentList(const std::vector<WatchedUnit>& units) {
    std::string list;
    for (const WatchedUnit& unit : units)
        if (unit.silent) list += (list.empty() ? "" : ", ") + std::to_string(unit.address);
    return list;
}

int WatchEnd(const std::vector<WatchedUnit>& units) {
    const std::string silent = SilentList(units);
    if (silent.empty()) return kExitOk;
    return Fail(kExitLink, "silent in the last round: address " + silent);
}

volatile std::sig_atomic_t watchStopRequested = 0;

void RequestWatchStop(int) {
    watchStopRequested = 1;
}

// Ctrl+C, a logout or the service manager's stop end a watch as --count does: after the round
// under way, with the last round's verdict as the exit status and every row already written.
void StopWatchOnTerminationSignals() {
    std::signal(SIGINT, RequestWatchStop);
    std::signal(SIGTERM, RequestWatchStop);
#ifdef SIGHUP
    std::signal(SIGHUP, RequestWatchStop);
#endif
}

// Waits for the next beat in short steps, so that a stop asked for meanwhile is not kept waiting
// for a long interval. False: a stop was asked for.
bool WaitForBeat(Clock::time_point beat) {
    constexpr auto kStep = std::chrono::milliseconds(50);
    while (!watchStopRequested && Clock::now() < beat)
        std::this_thread::sleep_until(std::min(beat, Clock::now() + kStep));
    return !watchStopRequested;
}

// Lines start on the interval's beat; a reading that overruns its beat is followed at once by
// the next, and the beats it overran are skipped rather than made up in a burst. A silence is
// no reason to stop: a round counts towards --count once a unit answers in it.
int Watch(UnitLine& line) {
    const Invocation& call = line.Call();
    CsvLogFile csv;
    if (!call.csvPath.empty() &&
        !csv.OpenToAppend(QString::fromStdString(call.csvPath), call.csvDialect,
                          SeveralUnits(call) ? CsvUnits::Several : CsvUnits::One))
        return Fail(kExitRefused,
                    "cannot write " + call.csvPath + ": " + csv.OpenFailure().toStdString());
    std::vector<WatchedUnit> units;
    for (std::uint8_t address : call.addresses)
        units.push_back({address, false});
    StopWatchOnTerminationSignals();
    const auto interval = std::chrono::milliseconds(call.intervalMs);
    PortAbsence portAbsence;
    bool toldSlow = false;
    int rounds = 0;
    Clock::time_point beat = Clock::now();
    for (;;) {
        if (!PortStillThere(line, portAbsence))
            return Fail(kExitLink, call.portLabel + " went away and did not come back within " +
                                       SecondsText(std::chrono::milliseconds(call.timeoutMs)) +
                                       " s");
        // A round that a silence began or ended in took its time on tries, not on the line.
        const bool answeringBefore = SilentList(units).empty();
        const Turn round = WatchRound(line, csv, units);
        if (round == Turn::CsvFailed) return Fail(kExitRefused, "cannot write " + call.csvPath);
        if (round == Turn::Answered && ++rounds == call.count) return WatchEnd(units);
        if (watchStopRequested) return WatchEnd(units);
        const Clock::time_point now = Clock::now();
        beat += interval;
        if (beat >= now) {
            if (!WaitForBeat(beat)) return WatchEnd(units);
            continue;
        }
        if (!toldSlow && answeringBefore && SilentList(units).empty()) {
            std::fprintf(stderr,
                         "kvel-cli: the line cannot keep up with --interval %s: one reading "
                         "takes %s s; lines follow as fast as the line allows\n",
                         SecondsText(interval).c_str(), SecondsText(now - beat + interval).c_str());
            toldSlow = true;
        }
        beat = now;
    }
}

std::string RegisterIs(const unit::Register& info, std::uint16_t word) {
    return std::string(info.name) + " " + unit::ValueWithSymbol(info, word);
}

// What a write ended as once the unit has been asked what it holds.
enum class WriteResult { Written, NotWritten, Unknown };

struct WriteReport {
    Difference write;
    WriteResult result = WriteResult::Unknown;
    std::string why; // not written or unknown: the unit's exception, its value, or the silence
};

// Each register is written, asked again within the time budget when the answer is lost, then
// all are read back: the unit's holding registers are the last word on what it took.
std::vector<WriteReport> WriteAndReadBack(UnitLine& line, const std::vector<Difference>& writes) {
    std::vector<WriteReport> reports;
    for (const Difference& write : writes) {
        const Answer answer = line.Write(write.info->number, write.fileWord);
        WriteReport report{write, WriteResult::Unknown, line.Failure(answer)};
        if (answer.Ok()) report.result = WriteResult::Written;
        // The unit said no: it holds what it held, whatever the read-back can still tell.
        if (answer.outcome == TransactionOutcome::Exception &&
            answer.exceptionCode != kExceptionBusy)
            report.result = WriteResult::NotWritten;
        reports.push_back(report);
    }
    const Answer readBack = line.Read(unit::Bank::Holding, 0, kPolledHoldingCount);
    if (!readBack.Ok()) {
        for (WriteReport& report : reports)
            if (report.result == WriteResult::Unknown)
                report.why += "; and reading it back failed: " + line.Failure(readBack);
        return reports;
    }
    for (WriteReport& report : reports) {
        const std::uint16_t held = readBack.words[report.write.info->number];
        report.write.unitWord = held;
        const bool refused = report.result == WriteResult::NotWritten;
        report.result =
            held == report.write.fileWord ? WriteResult::Written : WriteResult::NotWritten;
        if (report.result == WriteResult::Written)
            report.why.clear();
        else if (!refused)
            report.why = "the unit reads " + unit::ValueWithSymbol(*report.write.info, held);
    }
    return reports;
}

const char* ResultWord(WriteResult result) {
    switch (result) {
    case WriteResult::Written:
        return "written";
    case WriteResult::NotWritten:
        return "not-written";
    case WriteResult::Unknown:
        return "unknown";
    }
    return "";
}

int ExitOf(const std::vector<WriteReport>& reports) {
    const auto any = [&](WriteResult result) {
        return std::any_of(reports.begin(), reports.end(),
                           [&](const WriteReport& report) { return report.result == result; });
    };
    if (any(WriteResult::Unknown)) return kExitLink;
    return any(WriteResult::NotWritten) ? kExitRefused : kExitOk;
}

std::string ReportsJson(const std::vector<WriteReport>& reports) {
    QJsonArray list;
    for (const WriteReport& report : reports) {
        const unit::Register& info = *report.write.info;
        QJsonObject entry{{"name", info.name},
                          {"register", info.number},
                          {"value", unit::NumericValue(info, report.write.fileWord)},
                          {"unit", unit::Symbol(info.quantity)},
                          {"result", ResultWord(report.result)}};
        if (!report.why.empty()) entry.insert("reason", QString::fromStdString(report.why));
        list.append(entry);
    }
    return QJsonDocument(QJsonObject{{"registers", list}})
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

// Written ones on stdout as "wrote NAME = VALUE"; the others on stderr, each with its reason.
void PrintReports(const std::vector<WriteReport>& reports) {
    int written = 0;
    for (const WriteReport& report : reports) {
        const unit::Register& info = *report.write.info;
        if (report.result == WriteResult::Written) {
            ++written;
            Print("wrote " + std::string(info.name) + " = " +
                  unit::ValueWithSymbol(info, report.write.fileWord));
            continue;
        }
        const char* state =
            report.result == WriteResult::NotWritten ? "not written" : "unknown whether written";
        Tell(std::string(state) + ": " + RegisterIs(info, report.write.fileWord) + ": " +
             report.why);
    }
    if (written != static_cast<int>(reports.size()))
        Tell(std::to_string(written) + " of " + std::to_string(reports.size()) +
             " registers written");
}

int Set(UnitLine& line) {
    const Invocation& call = line.Call();
    const unit::Register& info = *call.target;
    const Answer holding = line.Read(unit::Bank::Holding, 0, kPolledHoldingCount);
    if (!holding.Ok()) return LinkFailure(line, holding);
    RegisterImage image{};
    std::copy(holding.words.begin(), holding.words.end(), image.begin());
    const std::string refusal = unit::RefusalOfLimits(info.number, call.value, image);
    if (!refusal.empty()) return Fail(kExitRefused, "refused: " + refusal);
    const std::vector<WriteReport> reports =
        WriteAndReadBack(line, {Difference{&info, call.value, image[info.number]}});
    const WriteReport& report = reports.front();
    if (report.result == WriteResult::Unknown)
        return Fail(kExitLink, "unknown whether " + RegisterIs(info, call.value) +
                                   " was written: " + report.why);
    if (report.result == WriteResult::NotWritten)
        return Fail(kExitRefused,
                    "the unit did not take " + RegisterIs(info, call.value) + ": " + report.why);
    Print(call.json ? RegisterJson(info, call.value)
                    : std::string(info.name) + " = " + unit::ValueWithSymbol(info, call.value));
    return kExitOk;
}

std::optional<SettingsSnapshot> ReadFile(const std::string& path, std::string& error) {
    SettingsFileRead read = LoadSettingsFile(path);
    if (!read.snapshot) error = path + ": " + read.error;
    return read.snapshot;
}

int Backup(UnitLine& line, const UnitImages& images) {
    const Invocation& call = line.Call();
    const SettingsSnapshot snapshot =
        SnapshotOf(images.holding, VersionFromInputs(images.input), NowIso(Qt::ISODate));
    if (const std::optional<SaveFailure> failure =
            SaveSettingsFile(call.file, WriteSettingsFile(snapshot)))
        return Fail(kExitRefused, "cannot write " + call.file + ": " + failure->reason);
    Print(call.json ? SavedJson(call.file, snapshot.holding.size())
                    : "saved " + std::to_string(snapshot.holding.size()) +
                          " registers of the unit at " + line.Where() + " to " + call.file);
    return kExitOk;
}

int Compare(UnitLine& line, const UnitImages& images, const SettingsSnapshot& file) {
    const Invocation& call = line.Call();
    const std::vector<Difference> differences =
        Differences(file, images.holding, call.withCalibration);
    const VersionInfo firmware = VersionFromInputs(images.input);
    if (!SameFirmware(firmware, file.firmware))
        Tell("note: the unit runs firmware " + FirmwareText(firmware) +
             "; the file was saved from " + FirmwareText(file.firmware));
    if (call.json)
        Print(DifferencesJson(differences));
    else if (differences.empty())
        Print("the unit holds the settings of " + call.file);
    else
        Print(DifferencesText(differences));
    return differences.empty() ? kExitOk : kExitRefused;
}

int Restore(UnitLine& line, const UnitImages& images, const SettingsSnapshot& file) {
    const Invocation& call = line.Call();
    const VersionInfo firmware = VersionFromInputs(images.input);
    if (!SameFirmware(firmware, file.firmware)) {
        const std::string warning = "the unit runs firmware " + FirmwareText(firmware) +
                                    "; the file was saved from " + FirmwareText(file.firmware);
        if (!call.force)
            return Fail(kExitRefused, warning + ". Nothing written; --force restores anyway.");
        Tell("warning: " + warning);
    }
    const std::vector<Difference> writes = Differences(file, images.holding, call.withCalibration);
    const std::string refusal = RefusalOfWrites(writes, images.holding);
    if (!refusal.empty()) return Fail(kExitRefused, "refused, nothing written: " + refusal);
    if (writes.empty()) {
        Print("nothing to write: the unit already holds the settings of " + call.file);
        return kExitOk;
    }
    const std::vector<WriteReport> reports = WriteAndReadBack(line, writes);
    if (call.json)
        Print(ReportsJson(reports));
    else
        PrintReports(reports);
    return ExitOf(reports);
}

std::string RunCountsText(const RunCounts& counts) {
    return "requests = " + std::to_string(counts.requests) +
           "\ntries = " + std::to_string(counts.tries) +
           "\nanswered = " + std::to_string(counts.answered) + "\n";
}

// kvel-cli keeps no history: the report holds what the unit says now and this run's counts.
int WriteServiceReport(UnitLine& line, const UnitImages& images) {
    const Invocation& call = line.Call();
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    const ReportLine where{call.portLabel,
                           LineTakesBitRate(call.portName) ? BaudRateFromIndex(call.baudIndex) : 0,
                           line.Address()};
    ServiceReport report;
    report.Add(kSummaryEntry, SummaryText(where, now), "сводка: программа, система, линия, время");
    AddUnit(report, images.holding, images.input, now);
    report.Add("counters.txt", RunCountsText(line.Counts()), "счётчики обмена этого запуска");
    AddFileIfPresent(report, kDataInfName, "файл программы");
    AddFileIfPresent(report, kNetworkIniName, "файл программы");
    if (const std::optional<SaveFailure> failure = report.Write(call.file))
        return Fail(kExitRefused, "cannot write " + call.file + ": " + failure->reason);
    Print("wrote a service report of the unit at " + line.Where() + " (" +
          std::to_string(report.Entries().size()) + " files) to " + call.file);
    return kExitOk;
}

// A verb that starts from both banks, and the settings file it was given, if any.
template <typename Run> int WithBanks(const Invocation& call, Run run) {
    UnitLine line(call);
    if (const std::optional<std::string> failure = line.Open()) return Fail(kExitLink, *failure);
    UnitImages images;
    const Answer answer = line.ReadBanks(images);
    if (!answer.Ok()) return LinkFailure(line, answer);
    return run(line, images);
}

// A settings file that will be refused is refused before the port is touched.
template <typename Run> int WithFileAndBanks(const Invocation& call, Run run) {
    std::string error;
    const std::optional<SettingsSnapshot> file = ReadFile(call.file, error);
    if (!file) return Fail(kExitRefused, error);
    return WithBanks(
        call, [&](UnitLine& line, const UnitImages& images) { return run(line, images, *file); });
}

template <typename Run> int WithLine(const Invocation& call, Run run) {
    UnitLine line(call);
    if (const std::optional<std::string> failure = line.Open()) return Fail(kExitLink, *failure);
    return run(line);
}

struct VerbHandler {
    Verb verb;
    int (*run)(const Invocation& call);
};

const VerbHandler kHandlers[] = {
    {Verb::Status, [](const Invocation& call) { return WithLine(call, Status); }},
    {Verb::Watch, [](const Invocation& call) { return WithLine(call, Watch); }},
    {Verb::Get, [](const Invocation& call) { return WithLine(call, Get); }},
    {Verb::Set, [](const Invocation& call) { return WithLine(call, Set); }},
    {Verb::Backup, [](const Invocation& call) { return WithBanks(call, Backup); }},
    {Verb::Compare, [](const Invocation& call) { return WithFileAndBanks(call, Compare); }},
    {Verb::Restore, [](const Invocation& call) { return WithFileAndBanks(call, Restore); }},
    {Verb::Upload, Upload},
    {Verb::Find, Find},
    {Verb::Serve, Serve},
    {Verb::Report, [](const Invocation& call) { return WithBanks(call, WriteServiceReport); }},
};

} // namespace

int RunVerb(const Invocation& invocation) {
    for (const VerbHandler& handler : kHandlers)
        if (handler.verb == invocation.verb) return handler.run(invocation);
    return kExitUsage;
}

} // namespace kvel::cli
