// kvel-cli against kvel-sim on a pseudo-terminal: every verb, and the exit code of every class
// of failure.
#include "CliRunner.h"
#include "KvelVersion.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace kvel {
namespace {

using test::CliRun;
using test::SimulatedUnit;

const QRegularExpression kIsoTime("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z");

class CliEndToEndTest : public ::testing::Test {
protected:
    void StartUnit(QStringList arguments = {}) {
        unit = std::make_unique<SimulatedUnit>(arguments);
        ASSERT_TRUE(unit->Started());
    }

    // On COM1, which dosdevices/com1 links to the simulated unit.
    static CliRun Cli(const QStringList& arguments) { return CliOn("1", arguments); }

    static CliRun CliOn(const QString& port, const QStringList& arguments) {
        return test::RunCli(QStringList{"--port", port} + arguments);
    }

    static QString ReadText(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    static void WriteText(const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    static QJsonObject Json(const QString& text) {
        return QJsonDocument::fromJson(text.toUtf8()).object();
    }

    static QStringList Lines(const QString& text) { return test::Lines(text); }

    test::ScratchDir dir;
    std::unique_ptr<SimulatedUnit> unit;
};

TEST_F(CliEndToEndTest, StatusShowsEveryReadingLampSetpointAndTheFirmwareAsTextOrJson) {
    StartUnit();
    const CliRun text = Cli({"status"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains("Firmware: version 112, compiled 2026-11-20, build 37"))
        << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression("output-voltage +5\\d\\.\\d V +U вых")));
    EXPECT_TRUE(text.out.contains(QRegularExpression("working +on +Работа")));
    EXPECT_TRUE(text.out.contains(QRegularExpression("voltage-setpoint +54.5 V")));

    const CliRun json = Cli({"--json", "status"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject status = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(status["firmware"]["version"].toInt(), 112);
    EXPECT_EQ(status["firmware"]["compiled"].toString(), "2026-11-20");
    EXPECT_GT(status["readings"]["output-voltage"]["value"].toDouble(), 50.0);
    EXPECT_EQ(status["readings"]["power-stage-temperature"]["unit"].toString(), "°C");
    EXPECT_DOUBLE_EQ(status["readings"]["voltage-correction"]["value"].toDouble(), -0.3);
    EXPECT_TRUE(status["lamps"]["working"].isBool());
    EXPECT_TRUE(status["lamps"]["working"].toBool());
    EXPECT_EQ(status["lamps"].toObject().size(), 4);
    EXPECT_GE(status["battery-level"].toInt(-1), 0);
    EXPECT_DOUBLE_EQ(status["setpoints"]["voltage-setpoint"]["value"].toDouble(), 54.5);
    EXPECT_DOUBLE_EQ(status["setpoints"]["current-setpoint"]["value"].toDouble(), 15.0);
    EXPECT_EQ(status["link"]["baud"].toInt(), 9600);
}

TEST_F(CliEndToEndTest, WatchPrintsOneTimedLinePerPollAndAppendsThemAsCsv) {
    StartUnit();
    const CliRun run = Cli({"watch", "--interval", "0.5", "--count", "3", "--csv", "log.csv"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_TRUE(line.contains(kIsoTime)) << line.toStdString();
    EXPECT_TRUE(lines[0].contains("Уставка выходного напряжения 54.5 V"));
    const QStringList csv = ReadText("log.csv").split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(csv.size(), 4);
    EXPECT_EQ(csv[0], QStringLiteral("Время,Часовой пояс,U вых (В),I вых (А),U бпс (В),t бпс (°С),"
                                     "Уставка выходного напряжения (В),Уставка выходного тока (А),"
                                     "Работа,Авария АКБ,Uакб<Uмин,Перегрев,Уровень АКБ"));
    const QRegularExpression localTime(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},UTC[+-]\\d\\d:\\d\\d,");
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(csv[i].contains(localTime)) << csv[i].toStdString();
        EXPECT_EQ(csv[i].split(',').size(), 13);
        EXPECT_EQ(csv[i].section(',', 6, 6), "54.5");
    }
    ASSERT_EQ(Cli({"watch", "--count", "1", "--csv", "log.csv"}).exitCode, 0);
    EXPECT_EQ(ReadText("log.csv").split('\n', Qt::SkipEmptyParts).size(), 5)
        << "appended, one header";
    const CliRun other =
        Cli({"watch", "--count", "1", "--csv-dialect", "excel", "--csv", "log.csv"});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_TRUE(other.err.contains("another dialect")) << other.err.toStdString();
    EXPECT_EQ(ReadText("log.csv").split('\n', Qt::SkipEmptyParts).size(), 5);
}

TEST_F(CliEndToEndTest, SetWritesTheUnitAndGetReadsItBack) {
    StartUnit();
    const CliRun set = Cli({"set", "voltage-setpoint", "48,5"});
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(set.out, "voltage-setpoint = 48.5 V\n");
    EXPECT_EQ(unit->Holding()[16], 485);
    EXPECT_EQ(Cli({"get", "16"}).out, "48.5 V\n");
    ASSERT_EQ(Cli({"set", "relay-on-working", "1"}).exitCode, 0);
    EXPECT_EQ(unit->Holding()[24], 1);
    const QJsonObject json =
        QJsonDocument::fromJson(Cli({"--json", "get", "firmware-version"}).out.toUtf8()).object();
    EXPECT_EQ(json["value"].toInt(), 112);
    EXPECT_EQ(json["bank"].toString(), "input");
}

TEST_F(CliEndToEndTest, ValuesOutsideTheUnitsLimitsAreRefusedAndNotSent) {
    StartUnit();
    const CliRun high = Cli({"set", "voltage-setpoint", "60.1"});
    EXPECT_EQ(high.exitCode, 1);
    EXPECT_TRUE(high.err.contains("outside the unit's limits 10.0 to 60.0 V"))
        << high.err.toStdString();
    EXPECT_EQ(Cli({"set", "current-setpoint", "30.1"}).exitCode, 1);
    const CliRun unknown = Cli({"set", "voltage", "5"});
    EXPECT_EQ(unknown.exitCode, 3);
    EXPECT_TRUE(unknown.err.contains("Known names: power-stage-voltage"));
    EXPECT_EQ(unit->Holding()[16], 545);
    EXPECT_EQ(unit->Holding()[17], 150);
}

TEST_F(CliEndToEndTest, BackupChangeCompareRestoreCompare) {
    StartUnit();
    const CliRun backup = Cli({"backup", "unit.ini"});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    EXPECT_TRUE(ReadText("unit.ini").contains("charge-voltage-full = 54.5 V"));
    ASSERT_EQ(Cli({"set", "max-temperature", "80"}).exitCode, 0);

    const CliRun differs = Cli({"compare", "unit.ini"});
    EXPECT_EQ(differs.exitCode, 1);
    const QStringList rows = differs.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << differs.out.toStdString();
    EXPECT_TRUE(rows[1].contains(QRegularExpression("^max-temperature +75 °C +80 °C$")))
        << rows[1].toStdString();

    const CliRun restore = Cli({"restore", "unit.ini"});
    ASSERT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    EXPECT_EQ(restore.out, "wrote max-temperature = 75 °C\n");
    EXPECT_EQ(unit->Holding()[4], 75);
    const CliRun same = Cli({"--json", "compare", "unit.ini"});
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_EQ(same.out.trimmed(), "{\"differences\":[],\"equal\":true}");
}

TEST_F(CliEndToEndTest, CalibrationIsRestoredOnlyWhenAskedFor) {
    StartUnit();
    ASSERT_EQ(Cli({"backup", "unit.ini"}).exitCode, 0);
    WriteText(
        "unit.ini",
        ReadText("unit.ini").replace("voltage-max = 60.0 V", "voltage-max = 58.0 V").toUtf8());
    EXPECT_EQ(Cli({"compare", "unit.ini"}).exitCode, 0);
    EXPECT_EQ(Cli({"compare", "unit.ini", "--with-calibration"}).exitCode, 1);
    ASSERT_EQ(Cli({"restore", "unit.ini"}).exitCode, 0);
    EXPECT_EQ(unit->Holding()[9], 600);
    ASSERT_EQ(Cli({"restore", "unit.ini", "--with-calibration"}).exitCode, 0);
    EXPECT_EQ(unit->Holding()[9], 580);
}

TEST_F(CliEndToEndTest, OtherFirmwareNeedsForceAndABadFileIsRefusedNamingTheLine) {
    StartUnit();
    ASSERT_EQ(Cli({"backup", "unit.ini"}).exitCode, 0);
    const QString saved = ReadText("unit.ini");
    WriteText("other.ini", QString(saved)
                               .replace("version = 112", "version = 111")
                               .replace("sound-signal = 1", "sound-signal = 0")
                               .toUtf8());
    const CliRun refused = Cli({"restore", "other.ini"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("the file was saved from version 111"))
        << refused.err.toStdString();
    EXPECT_EQ(unit->Holding()[18], 1);
    const CliRun forced = Cli({"restore", "other.ini", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.toStdString();
    EXPECT_TRUE(forced.err.contains("warning"));
    EXPECT_EQ(unit->Holding()[18], 0);

    WriteText("bad.ini", QString(saved).replace("sound-signal = 1", "sound-signal = yes").toUtf8());
    const CliRun bad = Cli({"restore", "bad.ini"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains(
        QRegularExpression("bad.ini: line \\d+: sound-signal: \"yes\" is not a number")))
        << bad.err.toStdString();
}

// A crafted file cannot retitle or clear the terminal: what it holds comes out with its control
// characters shown, not obeyed.
TEST_F(CliEndToEndTest, AFilesControlCharactersAreShownNotObeyed) {
    StartUnit();
    ASSERT_EQ(Cli({"backup", "unit.ini"}).exitCode, 0);
    WriteText(
        "crafted.ini",
        ReadText("unit.ini").replace("sound-signal = 1", "\x1b]0;owned\x07\x1b[2J = 1").toUtf8());
    for (const char* verb : {"compare", "restore"}) {
        const CliRun crafted = Cli({verb, "crafted.ini"});
        EXPECT_EQ(crafted.exitCode, 1);
        EXPECT_TRUE(crafted.err.contains("\"\\u001b]0;owned\\u0007\\u001b[2J\""))
            << crafted.err.toStdString();
        EXPECT_FALSE(crafted.err.contains('\x1b') || crafted.out.contains('\x1b'));
    }
}

TEST_F(CliEndToEndTest, ABackupCutShortLeavesTheOldFileWholeAndACutFileIsRefused) {
    StartUnit();
    ASSERT_EQ(Cli({"backup", "unit.ini"}).exitCode, 0);
    const QString old = ReadText("unit.ini");
    ASSERT_EQ(Cli({"set", "max-temperature", "80"}).exitCode, 0);
    const QStringList backup{"--fsize=200", "--",     KVEL_CLI_PATH, "--port",
                             "1",           "backup", "unit.ini"};

    // Whether the caller leaves SIGXFSZ to kill or ignores it, the write fails and says why.
    const QStringList launchers[] = {
        QStringList{"prlimit"} + backup,
        QStringList{"sh", "-c", "trap '' XFSZ; exec prlimit \"$@\"", "sh"} + backup,
    };
    for (const QStringList& launcher : launchers) {
        SCOPED_TRACE(launcher.join(' ').toStdString());
        QProcess limited;
        limited.start(launcher.front(), launcher.mid(1));
        ASSERT_TRUE(limited.waitForFinished(60000));
        EXPECT_EQ(limited.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(limited.exitCode(), 1);
        EXPECT_TRUE(limited.readAllStandardError().contains(
            "cannot write unit.ini: the file size limit is reached"));
        EXPECT_EQ(ReadText("unit.ini"), old);
        EXPECT_EQ(QDir().entryList({"unit.ini*"}, QDir::Files), QStringList{"unit.ini"});
    }

    // Cut at a line end, the file still reads line by line: only its missing end tells.
    WriteText("cut.ini", old.left(old.indexOf("current-max")).toUtf8());
    for (const char* verb : {"compare", "restore"}) {
        const CliRun cut = Cli({verb, "cut.ini"});
        EXPECT_EQ(cut.exitCode, 1);
        EXPECT_TRUE(cut.err.contains("cut.ini: the file ends without its closing line [end]"))
            << cut.err.toStdString();
    }
    EXPECT_EQ(unit->Holding()[4], 80);
    const CliRun zero = Cli({"compare", "/dev/zero"});
    EXPECT_EQ(zero.exitCode, 1);
    EXPECT_TRUE(zero.err.contains("/dev/zero: it is not a regular file")) << zero.err.toStdString();
}

TEST_F(CliEndToEndTest, UploadSendsTheFileAsTheUnitWritesItToFlash) {
    StartUnit({"--baud-index", "9", "--flash-out", "flash.bin", "--ready-delay", "300"});
    QByteArray firmware(5000, '\0');
    for (int i = 0; i < firmware.size(); ++i)
        firmware[i] = static_cast<char>(i * 7 + i / 2048);
    WriteText("firmware.bin", firmware);
    const CliRun loaded = Cli({"--baud", "115200", "upload", "firmware.bin"});
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_TRUE(loaded.err.contains("disconnect the load before updating the firmware"))
        << loaded.err.toStdString();
    const CliRun unload = Cli({"--baud", "115200", "set", "current-setpoint", "0"});
    ASSERT_EQ(unload.exitCode, 0) << unload.err.toStdString();

    const CliRun upload = Cli({"--baud", "115200", "upload", "firmware.bin"});
    ASSERT_EQ(upload.exitCode, 0) << upload.err.toStdString();
    EXPECT_TRUE(upload.out.contains("writing block 3 of 3"));
    EXPECT_TRUE(upload.out.endsWith("programming finished\n")) << upload.out.toStdString();
    EXPECT_FALSE(upload.out.contains(QRegularExpression("[А-я]"))) << "English only";
    QFile flash("flash.bin");
    ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
    EXPECT_EQ(flash.readAll(), firmware);
}

TEST_F(CliEndToEndTest, EachClassOfFailureHasItsExitCodeAndReason) {
    const CliRun noPort = CliOn(dir.File("dosdevices/com7"), {"status"});
    EXPECT_EQ(noPort.exitCode, 2);
    EXPECT_TRUE(noPort.err.contains("com7 does not exist")) << noPort.err.toStdString();

    StartUnit({"--silent"});
    QElapsedTimer clock;
    clock.start();
    const CliRun silent = Cli({"--timeout", "1", "status"});
    EXPECT_EQ(silent.exitCode, 2);
    EXPECT_TRUE(silent.err.contains(
        "no answer from the unit at address 1 on COM1 at 9600 bit/s within 1 s"));
    EXPECT_LT(clock.elapsed(), 4000) << "no hang beyond --timeout";

    QProcess holder;
    holder.start(KVEL_CLI_PATH, {"--port", "1", "--timeout", "30", "watch"});
    ASSERT_TRUE(holder.waitForStarted());
    QTest::qWait(1000);
    const CliRun busy = Cli({"status"});
    const qint64 holderPid = holder.processId();
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(busy.exitCode, 2);
    EXPECT_TRUE(busy.err.contains(QRegularExpression(
        "is in use by another program: kvel-cli \\(pid " + QString::number(holderPid))))
        << busy.err.toStdString();

    EXPECT_EQ(Cli({"--address", "0", "set", "16", "50"}).exitCode, 3);
    EXPECT_EQ(Cli({"status", "extra"}).exitCode, 3);
    EXPECT_EQ(Cli({"set", "16", "-5"}).exitCode, 1);
    EXPECT_EQ(Cli({"compare", "missing.ini"}).exitCode, 1);
}

TEST_F(CliEndToEndTest, GetReadsInputRegistersByNumberAndDecodesTheStatusWord) {
    StartUnit();
    const CliRun correction = Cli({"get", "input:20"});
    ASSERT_EQ(correction.exitCode, 0) << correction.err.toStdString();
    EXPECT_EQ(correction.out, "-0.3 V\n");
    const CliRun status = Cli({"get", "status"});
    ASSERT_EQ(status.exitCode, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains(QRegularExpression("working +on +Работа")))
        << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(QRegularExpression("battery-level +\\d of 5")));
    const QJsonObject json = Json(Cli({"--json", "get", "status"}).out);
    EXPECT_TRUE(json["lamps"]["working"].toBool());
    EXPECT_EQ(json["bank"].toString(), "input");
    EXPECT_EQ(Cli({"get", "input:7"}).exitCode, 3);
}

// Every "unit" key anywhere in `value` names a physical unit.
void ExpectUnitKeysArePhysicalUnits(const QJsonValue& value, const std::string& where) {
    if (value.isArray()) {
        for (const QJsonValue& item : value.toArray())
            ExpectUnitKeysArePhysicalUnits(item, where);
        return;
    }
    if (!value.isObject()) return;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool physical = it.value().isString() &&
                              QStringList({"V", "A", "°C", ""}).contains(it.value().toString());
        EXPECT_TRUE(it.key() != "unit" || physical)
            << where << ": " << QJsonDocument(object).toJson().toStdString();
        ExpectUnitKeysArePhysicalUnits(it.value(), where);
    }
}

TEST_F(CliEndToEndTest, AReadingHasOneJsonShapeEverywhereAndUnitIsAlwaysThePhysicalUnit) {
    StartUnit();
    const QJsonObject status = Json(Cli({"--json", "status"}).out);
    const QJsonObject watch = Json(Cli({"--json", "watch", "--count", "1"}).out);
    const QJsonObject get = Json(Cli({"--json", "get", "output-voltage"}).out);
    const QJsonObject set = Json(Cli({"--json", "set", "voltage-setpoint", "50"}).out);
    ASSERT_EQ(Cli({"backup", "unit.ini"}).exitCode, 0);
    ASSERT_EQ(Cli({"set", "max-temperature", "80"}).exitCode, 0);
    const QJsonObject compare = Json(Cli({"--json", "compare", "unit.ini"}).out);

    EXPECT_EQ(get["unit"].toString(), "V");
    EXPECT_EQ(get.keys(), QStringList({"bank", "name", "raw", "register", "unit", "value"}));
    EXPECT_EQ(status["readings"]["output-voltage"].toObject().keys(), get.keys());
    EXPECT_EQ(watch["readings"]["output-voltage"].toObject().keys(), get.keys());
    EXPECT_EQ(status["setpoints"]["voltage-setpoint"].toObject().keys(), set.keys());
    EXPECT_DOUBLE_EQ(set["value"].toDouble(), 50.0);
    EXPECT_EQ(watch["lamps"].toObject().keys(), status["lamps"].toObject().keys());
    EXPECT_EQ(compare["differences"][0]["unit"].toString(), "°C");
    EXPECT_EQ(compare["differences"][0]["device"].toInt(), 80);
    for (const auto& [what, json] : {std::pair{"status", status},
                                     {"watch", watch},
                                     {"get", get},
                                     {"set", set},
                                     {"compare", compare}})
        ExpectUnitKeysArePhysicalUnits(json, what);
}

TEST_F(CliEndToEndTest, AReadingIsReadOnlyAndRefusedBeforeThePortIsOpened) {
    // No such port: had anything been opened, the exit would be 2.
    const CliRun reading = CliOn(dir.File("dosdevices/com9"), {"set", "output-voltage", "50"});
    EXPECT_EQ(reading.exitCode, 1);
    EXPECT_TRUE(reading.err.contains("output-voltage is read-only")) << reading.err.toStdString();
    const CliRun input = CliOn(dir.File("dosdevices/com9"), {"set", "firmware-version", "1"});
    EXPECT_EQ(input.exitCode, 1);
    EXPECT_TRUE(input.err.contains("only reports it")) << input.err.toStdString();
}

TEST_F(CliEndToEndTest, AnExceptionIsNamedAsSuchAndNotTakenForSilence) {
    StartUnit({"--exception", "1"});
    const QStringList verbs[] = {{"status"}, {"get", "16"}, {"set", "16", "50"}};
    for (const QStringList& verb : verbs) {
        const CliRun run = Cli(QStringList{"--timeout", "0.5"} + verb);
        EXPECT_EQ(run.exitCode, 2) << verb.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("the unit answered with exception 06 (busy)"))
            << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("no answer"));
    }
}

// Every request is refused as busy. The time of each refusal is taken as kvel-cli's --verbose
// line for it arrives: the pause before the next try grows from 50 ms to a second, the tries stay
// within --timeout, and the unit is not asked hundreds of times a second.
TEST_F(CliEndToEndTest, ABusyUnitIsAskedAgainAfterAGrowingPause) {
    StartUnit({"--exception", "1"});
    QProcess cli;
    cli.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    cli.start(KVEL_CLI_PATH, {"--port", "1", "--verbose", "--timeout", "3", "get", "16"});
    std::vector<qint64> refusedAt;
    QStringList said;
    while (cli.state() != QProcess::NotRunning || cli.canReadLine()) {
        cli.waitForReadyRead(10);
        while (cli.canReadLine()) {
            const QString line = QString::fromUtf8(cli.readLine()).trimmed();
            if (line.startsWith("kvel-cli: < ")) refusedAt.push_back(clock.elapsed());
            said << line;
        }
        ASSERT_LT(clock.elapsed(), 20000) << "kvel-cli did not end";
    }
    EXPECT_EQ(cli.exitCode(), 2);
    const QString text = said.join('\n');
    EXPECT_TRUE(text.contains("the unit answered with exception 06 (busy)")) << text.toStdString();
    // kvel-cli says each pause, and the refusals are at least that far apart. This reader may take
    // a line in some ms late under load, shortening the gap after it: hence the slack.
    const QRegularExpression announced("asking again in (\\d+) ms");
    std::vector<qint64> pauses;
    for (auto match = announced.globalMatch(text); match.hasNext();)
        pauses.push_back(match.next().captured(1).toLongLong());
    const std::vector<qint64> growing = {50, 100, 200, 400, 800, 1000, 1000};
    ASSERT_GE(pauses.size(), 5u) << text.toStdString();
    ASSERT_LE(pauses.size(), growing.size()) << text.toStdString();
    EXPECT_TRUE(std::equal(pauses.begin(), pauses.end(), growing.begin())) << text.toStdString();
    ASSERT_EQ(refusedAt.size(), pauses.size() + 1) << text.toStdString();
    constexpr qint64 kSlackMs = 60;
    for (std::size_t i = 1; i < refusedAt.size(); ++i)
        EXPECT_GE(refusedAt[i] - refusedAt[i - 1], pauses[i - 1] - kSlackMs) << "try " << i + 1;
    // Pauses this long dwarf the slack: the line itself sees them grow.
    EXPECT_GT(refusedAt[5] - refusedAt[4], refusedAt[4] - refusedAt[3] + 200);
}

// As mbpoll takes them: a name with a '/' is a device path, relative to where kvel-cli runs.
TEST_F(CliEndToEndTest, ARelativeDevicePathIsAPort) {
    StartUnit();
    for (const char* port :
         {"./dosdevices/com1", "dosdevices/com1", "dosdevices/../dosdevices/com1"}) {
        const CliRun run = CliOn(port, {"get", "voltage-setpoint"});
        EXPECT_EQ(run.exitCode, 0) << port << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.endsWith(" V\n")) << port << ": " << run.out.toStdString();
    }
    QDir().mkpath("here");
    ASSERT_TRUE(QFile::link(QDir("dosdevices").absoluteFilePath("com1"), "here/com1"));
    QProcess cli;
    cli.setWorkingDirectory("here");
    cli.start(KVEL_CLI_PATH, {"--port", "./com1", "get", "16"});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();

    const CliRun missing = CliOn("./nowhere/com9", {"status"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("cannot open ./nowhere/com9: ")) << missing.err.toStdString();
    EXPECT_TRUE(missing.err.contains("/nowhere/com9 does not exist")) << missing.err.toStdString();
}

// Neither needs a port, a unit or a display; the window program opens no window for it.
TEST_F(CliEndToEndTest, BothProgramsPrintTheVersionAndEnd) {
    const struct {
        const char* program;
        const char* name;
    } programs[] = {{KVEL_CLI_PATH, "kvel-cli"}, {KVEL_PATH, "kvel"}};
    for (const auto& each : programs) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(display);
        process.setProcessEnvironment(environment);
        process.start(each.program, {"--version"});
        ASSERT_TRUE(process.waitForFinished(30000)) << each.name;
        EXPECT_EQ(process.exitCode(), 0) << each.name;
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()),
                  QString("%1 %2\n").arg(each.name, kvel::kVersion));
        EXPECT_TRUE(process.readAllStandardError().isEmpty()) << each.name;
    }
}

TEST_F(CliEndToEndTest, LostAndGarbledRepliesAreAskedForAgain) {
    for (const char* fault : {"--drop", "--corrupt"}) {
        StartUnit({fault, "0.3", "--seed", "5"});
        const CliRun status = Cli({"status"});
        EXPECT_EQ(status.exitCode, 0) << fault << status.err.toStdString();
        const CliRun set = Cli({"set", "voltage-setpoint", "50"});
        EXPECT_EQ(set.exitCode, 0) << fault << set.err.toStdString();
        EXPECT_EQ(unit->Holding()[16], 500) << fault;
        EXPECT_EQ(Cli({"get", "16"}).out, "50.0 V\n") << fault;
        const CliRun watch = Cli({"watch", "--interval", "0.1", "--count", "3"});
        EXPECT_EQ(watch.exitCode, 0) << fault << watch.err.toStdString();
        EXPECT_EQ(Lines(watch.out).size(), 3) << fault;
        unit.reset();
    }
    StartUnit({"--corrupt", "1"});
    const CliRun garbled = Cli({"--timeout", "0.5", "get", "16"});
    EXPECT_EQ(garbled.exitCode, 2);
    EXPECT_TRUE(garbled.err.contains("only garbled answers from the unit at address 1"))
        << garbled.err.toStdString();
}

TEST_F(CliEndToEndTest, WatchKeepsATenthOfASecondAndSaysWhenTheLineCannot) {
    StartUnit({"--baud-index", "9"});
    const CliRun fast = Cli({"--baud", "115200", "watch", "--interval", "0.1", "--count", "11"});
    ASSERT_EQ(fast.exitCode, 0) << fast.err.toStdString();
    const QStringList lines = Lines(fast.out);
    ASSERT_EQ(lines.size(), 11);
    const auto time = [](const QString& line) {
        return QDateTime::fromString(line.section(' ', 0, 0), Qt::ISODateWithMs);
    };
    const qint64 spanMs = time(lines.front()).msecsTo(time(lines.back()));
    EXPECT_GE(spanMs, 950) << "not faster than asked";
    EXPECT_LE(spanMs, 2000);
    unit.reset();

    // Both banks take 127 ms on the line at 9600 bit/s.
    StartUnit();
    const CliRun slow = Cli({"watch", "--interval", "0.1", "--count", "3"});
    EXPECT_EQ(slow.exitCode, 0) << slow.err.toStdString();
    EXPECT_EQ(Lines(slow.out).size(), 3);
    EXPECT_TRUE(slow.err.contains("the line cannot keep up with --interval 0.100"))
        << slow.err.toStdString();
}

TEST_F(CliEndToEndTest, UploadRefusesHexSRecordAndElfUnlessRawAndNamesAMissingFile) {
    StartUnit({"--baud-index", "9", "--flash-out", "flash.bin", "--ready-delay", "300"});
    const QStringList at115200{"--baud", "115200"};
    // The unit is loaded: the file is looked at before the output current.
    const CliRun missing = Cli(at115200 + QStringList{"upload", "missing.bin"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("cannot read missing.bin: no such file"))
        << missing.err.toStdString();
    ASSERT_EQ(Cli(at115200 + QStringList{"set", "current-setpoint", "0"}).exitCode, 0);

    const QByteArray hex = ":100000000C9434000C9446000C9446000C9446006A\n:00000001FF\n";
    const struct {
        const char* file;
        QByteArray bytes;
        const char* format;
    } cases[] = {
        {"fw.hex", hex, "Intel HEX"},
        // Saved by a Windows editor as "UTF-8 with BOM", with a blank line on top.
        {"bom.hex", "\xEF\xBB\xBF\r\n" + hex, "Intel HEX"},
        {"bom.s19", "\xEF\xBB\xBFS00600004844521B\nS9030000FC\n", "S-record"},
        {"fw.s19", "S00600004844521B\nS1130000285F245F2212226A000424290008237C2A\nS9030000FC\n",
         "S-record"},
        {"fw.elf",
         QByteArray("\x7f"
                    "ELF\x01\x01\x01") +
             QByteArray(57, '\0'),
         "ELF"},
    };
    for (const auto& c : cases) {
        WriteText(c.file, c.bytes);
        const CliRun refused = Cli(at115200 + QStringList{"upload", c.file});
        EXPECT_EQ(refused.exitCode, 1) << c.file;
        EXPECT_TRUE(refused.err.contains(QString("looks like ") + c.format))
            << refused.err.toStdString();
        EXPECT_TRUE(refused.err.contains("--raw"));
    }
    EXPECT_FALSE(QFile::exists("flash.bin")) << "nothing reached the flash";

    const CliRun raw = Cli(at115200 + QStringList{"upload", "--raw", "fw.hex"});
    ASSERT_EQ(raw.exitCode, 0) << raw.err.toStdString();
    EXPECT_EQ(ReadText("flash.bin").toUtf8(), hex);
}

TEST_F(CliEndToEndTest, RestoreUnderLostRepliesReportsWhatTheUnitHoldsRegisterByRegister) {
    struct Change {
        const char* name;
        const char* text;
        int reg;
        int raw;
    };
    const Change changes[] = {
        {"max-temperature", "80 °C", 4, 80},
        {"charge-voltage-full", "55.0 V", 5, 550},
        {"charge-voltage-empty", "51.0 V", 6, 510},
        {"min-battery-voltage", "43.0 V", 7, 430},
        {"voltage-min", "12.0 V", 8, 120},
        {"voltage-max", "58.0 V", 9, 580},
        {"current-min", "1.0 A", 10, 10},
        {"current-max", "28.0 A", 11, 280},
        {"show-voltage-setpoint", "0", 12, 0},
        {"voltage-setpoint", "50.0 V", 16, 500},
        {"current-setpoint", "12.0 A", 17, 120},
        {"sound-signal", "0", 18, 0},
        {"relay-contacts", "1", 19, 1},
        {"relay-on-charge-full", "1", 20, 1},
        {"relay-on-battery-low", "0", 21, 0},
        {"relay-on-polarity", "1", 22, 1},
        {"relay-on-overheat", "0", 23, 0},
        {"relay-on-working", "1", 24, 1},
        {"voltage-source", "1", 25, 1},
        {"current-source", "1", 26, 1},
    };
    StartUnit();
    ASSERT_EQ(Cli({"backup", "unit.ini"}).exitCode, 0);
    unit.reset();
    QString text = ReadText("unit.ini");
    for (const Change& change : changes) {
        const QRegularExpression line(QString("^%1 = .*$").arg(change.name),
                                      QRegularExpression::MultilineOption);
        ASSERT_TRUE(text.contains(line)) << change.name;
        text.replace(line, QString("%1 = %2").arg(change.name, change.text));
    }
    WriteText("changed.ini", text.toUtf8());

    for (const char* seed : {"1", "2", "3"}) {
        StartUnit({"--drop", "0.2", "--seed", seed});
        const CliRun restore = Cli({"--json", "restore", "changed.ini", "--with-calibration"});
        const QJsonArray registers = Json(restore.out)["registers"].toArray();
        ASSERT_EQ(registers.size(), 20) << restore.out.toStdString() << restore.err.toStdString();
        const std::map<int, int> held = unit->Holding();
        bool unknown = false;
        bool notWritten = false;
        for (const QJsonValue& entry : registers) {
            const int reg = entry["register"].toInt();
            const Change& change = *std::find_if(std::begin(changes), std::end(changes),
                                                 [&](const Change& c) { return c.reg == reg; });
            const QString result = entry["result"].toString();
            if (result == "written") {
                EXPECT_EQ(held.at(reg), change.raw) << change.name;
            }
            if (result == "not-written") {
                EXPECT_NE(held.at(reg), change.raw) << change.name;
            }
            EXPECT_TRUE(QStringList({"written", "not-written", "unknown"}).contains(result));
            unknown = unknown || result == "unknown";
            notWritten = notWritten || result == "not-written";
        }
        EXPECT_EQ(restore.exitCode, unknown ? 2 : notWritten ? 1 : 0) << "seed " << seed;
        unit.reset();
    }
}

} // namespace
} // namespace kvel
