// The verbs of kvel-cli.
#include "Verbs.h"

#include "Console.h"
#include "Find.h"
#include "RegisterMap.h"
#include "Report.h"
#include "SettingsFileStore.h"
#include "SettingsRestore.h"
#include "TelemetryCsv.h"
#include "UnitSession.h"
#include "Upload.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace kvel::cli {

namespace {

UnitReading Reading(UnitSession& session) {
    return {session.State().HoldingImage, session.State().InputImage};
}

std::string NowIso(Qt::DateFormat format = Qt::ISODateWithMs) {
    return QDateTime::currentDateTimeUtc().toString(format).toStdString();
}

int Status(UnitSession& session, const Invocation& invocation) {
    if (invocation.json)
        Print(StatusJson(Reading(session), invocation.portLabel, invocation.address,
                         BaudRateFromIndex(invocation.baudIndex)));
    else
        Print(StatusText(Reading(session), session.Where()));
    return kExitOk;
}

int Get(UnitSession& session, const Invocation& invocation) {
    const RegisterInfo& info = *invocation.target;
    const std::uint16_t word = WordOf(Reading(session), info);
    Print(invocation.json ? RegisterJson(info, word) : ValueWithUnit(info, word));
    return kExitOk;
}

// Both banks afresh: one line's worth of values that are all newer than the last line's.
bool WaitForFreshReadings(UnitSession& session, int afterMs) {
    const int holding = session.Host().HoldingReplies();
    const int input = session.Host().InputReplies();
    session.WaitFor([] { return false; }, afterMs);
    return session.WaitFor([&] {
        return session.Host().HoldingReplies() > holding && session.Host().InputReplies() > input;
    });
}

int Watch(UnitSession& session, const Invocation& invocation) {
    CsvLogFile csv;
    const QString csvPath = QString::fromStdString(invocation.csvPath);
    if (!csvPath.isEmpty() && !csv.OpenToAppend(csvPath, invocation.csvDialect))
        return Fail(kExitRefused,
                    "cannot write " + invocation.csvPath + ": " + csv.OpenFailure().toStdString());
    for (int lines = 1;; ++lines) {
        const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
        const std::string time = NowIso();
        Print(invocation.json ? WatchJson(Reading(session), time)
                              : WatchLine(Reading(session), time));
        if (csv.IsOpen()) {
            csv.Append(
                SampleOfImages(session.State().HoldingImage, session.State().InputImage, nowMs));
            if (!csv.Flush()) return Fail(kExitRefused, "cannot write " + invocation.csvPath);
        }
        if (lines == invocation.count) return kExitOk;
        if (!WaitForFreshReadings(session, invocation.intervalMs))
            return Fail(kExitLink, session.NoAnswer());
    }
}

// Writes through the request queue and waits for the read-back; fills `notTaken` with the
// writes the unit does not hold. False when the unit did not answer.
bool WriteAndCheck(UnitSession& session, const std::vector<Difference>& writes,
                   std::vector<Difference>& notTaken) {
    SettingsRestore restore(session.Link());
    session.Host().onHoldingReply = [&] { restore.OnHoldingReply(); };
    restore.Start(writes);
    // Each write takes a transmit tick and its answer on top of the usual wait.
    constexpr int kMsPerWrite = 300;
    const int waitMs = session.TimeoutMs() + static_cast<int>(writes.size()) * kMsPerWrite;
    const bool checked = session.WaitFor([&] { return restore.Checked(); }, waitMs);
    session.Host().onHoldingReply = nullptr;
    notTaken = restore.NotTaken();
    return checked;
}

int Set(UnitSession& session, const Invocation& invocation) {
    const RegisterInfo& info = *invocation.target;
    const std::string refusal =
        RefusalOfLimits(info.number, invocation.value, session.State().HoldingImage);
    if (!refusal.empty()) return Fail(kExitRefused, "refused: " + refusal);
    std::vector<Difference> notTaken;
    const Difference write{&info, invocation.value, session.State().HoldingImage[info.number]};
    if (!WriteAndCheck(session, {write}, notTaken))
        return Fail(kExitLink, "wrote " + std::string(info.name) +
                                   " but could not read it back: " + session.NoAnswer());
    if (!notTaken.empty())
        return Fail(kExitRefused, "the unit did not take " + std::string(info.name) + " " +
                                      ValueWithUnit(info, invocation.value) + ": it reads " +
                                      ValueWithUnit(info, notTaken.front().unitWord));
    Print(invocation.json ? RegisterJson(info, invocation.value)
                          : std::string(info.name) + " = " + ValueWithUnit(info, invocation.value));
    return kExitOk;
}

std::optional<SettingsSnapshot> ReadFile(const std::string& path, std::string& error) {
    SettingsFileRead read = LoadSettingsFile(path);
    if (!read.snapshot) error = path + ": " + read.error;
    return read.snapshot;
}

int Backup(UnitSession& session, const Invocation& invocation) {
    const SettingsSnapshot snapshot =
        SnapshotOf(session.State().HoldingImage, VersionFromInputs(session.State().InputImage),
                   NowIso(Qt::ISODate));
    if (const std::optional<SaveFailure> failure =
            SaveSettingsFile(invocation.file, WriteSettingsFile(snapshot)))
        return Fail(kExitRefused, "cannot write " + invocation.file + ": " + failure->reason);
    Print(invocation.json
              ? SavedJson(invocation.file, snapshot.holding.size())
              : "saved " + std::to_string(snapshot.holding.size()) + " registers of the unit at " +
                    session.Where() + " to " + invocation.file);
    return kExitOk;
}

int Compare(UnitSession& session, const Invocation& invocation, const SettingsSnapshot& file) {
    const std::vector<Difference> differences =
        Differences(file, session.State().HoldingImage, invocation.withCalibration);
    const VersionInfo firmware = VersionFromInputs(session.State().InputImage);
    if (!SameFirmware(firmware, file.firmware))
        std::fprintf(stderr,
                     "kvel-cli: note: the unit runs firmware %s; the file was saved from %s\n",
                     FirmwareText(firmware).c_str(), FirmwareText(file.firmware).c_str());
    if (invocation.json)
        Print(DifferencesJson(differences));
    else if (differences.empty())
        Print("the unit holds the settings of " + invocation.file);
    else
        Print(DifferencesText(differences));
    return differences.empty() ? kExitOk : kExitRefused;
}

int Restore(UnitSession& session, const Invocation& invocation, const SettingsSnapshot& file) {
    const VersionInfo firmware = VersionFromInputs(session.State().InputImage);
    if (!SameFirmware(firmware, file.firmware)) {
        const std::string warning = "the unit runs firmware " + FirmwareText(firmware) +
                                    "; the file was saved from " + FirmwareText(file.firmware);
        if (!invocation.force)
            return Fail(kExitRefused, warning + ". Nothing written; --force restores anyway.");
        std::fprintf(stderr, "kvel-cli: warning: %s\n", warning.c_str());
    }
    const std::vector<Difference> writes =
        Differences(file, session.State().HoldingImage, invocation.withCalibration);
    const std::string refusal = RefusalOfWrites(writes, session.State().HoldingImage);
    if (!refusal.empty()) return Fail(kExitRefused, "refused, nothing written: " + refusal);
    if (writes.empty()) {
        Print("nothing to write: the unit already holds the settings of " + invocation.file);
        return kExitOk;
    }
    std::vector<Difference> notTaken;
    if (!WriteAndCheck(session, writes, notTaken))
        return Fail(kExitLink,
                    "wrote " + std::to_string(writes.size()) +
                        " registers but could not read them back: " + session.NoAnswer());
    for (const Difference& write : writes) {
        const bool taken =
            std::none_of(notTaken.begin(), notTaken.end(),
                         [&](const Difference& miss) { return miss.info == write.info; });
        if (taken)
            Print("wrote " + std::string(write.info->name) + " = " +
                  ValueWithUnit(*write.info, write.fileWord));
    }
    if (notTaken.empty()) return kExitOk;
    for (const Difference& miss : notTaken)
        Fail(kExitRefused, "the unit did not take " + std::string(miss.info->name) + " " +
                               ValueWithUnit(*miss.info, miss.fileWord) + ": it reads " +
                               ValueWithUnit(*miss.info, miss.unitWord));
    return kExitRefused;
}

int RunWithBanks(UnitSession& session, const Invocation& invocation,
                 const std::optional<SettingsSnapshot>& file) {
    switch (invocation.verb) {
    case Verb::Status:
        return Status(session, invocation);
    case Verb::Watch:
        return Watch(session, invocation);
    case Verb::Get:
        return Get(session, invocation);
    case Verb::Set:
        return Set(session, invocation);
    case Verb::Backup:
        return Backup(session, invocation);
    case Verb::Upload:
        return Upload(session, invocation);
    case Verb::Compare:
        return Compare(session, invocation, *file);
    case Verb::Restore:
        return Restore(session, invocation, *file);
    case Verb::Find: // runs on the port alone, before a session would open it
        break;
    }
    return kExitUsage;
}

} // namespace

int RunVerb(const Invocation& invocation) {
    if (invocation.verb == Verb::Find) return Find(invocation);
    // A settings file that will be refused is refused before the port is touched.
    std::optional<SettingsSnapshot> file;
    if (invocation.verb == Verb::Compare || invocation.verb == Verb::Restore) {
        std::string error;
        file = ReadFile(invocation.file, error);
        if (!file) return Fail(kExitRefused, error);
    }
    UnitSession session(invocation);
    if (const std::optional<std::string> failure = session.Open()) return Fail(kExitLink, *failure);
    if (!session.ReadBanks()) return Fail(kExitLink, session.NoAnswer());
    return RunWithBanks(session, invocation, file);
}

} // namespace kvel::cli
