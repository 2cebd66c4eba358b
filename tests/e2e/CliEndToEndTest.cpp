// kvel-cli against kvel-sim on a pseudo-terminal: every verb, and the exit code of every class
// of failure.
#include "ScratchDir.h"
#include "SimulatedUnit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

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
        QProcess cli;
        cli.start(KVEL_CLI_PATH, QStringList{"--port", port} + arguments);
        CliRun run;
        if (!cli.waitForFinished(120000)) return run;
        run.exitCode = cli.exitCode();
        run.out = QString::fromUtf8(cli.readAllStandardOutput());
        run.err = QString::fromUtf8(cli.readAllStandardError());
        return run;
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
    EXPECT_EQ(status["unit"]["baud"].toInt(), 9600);
}

TEST_F(CliEndToEndTest, WatchPrintsOneTimedLinePerPollAndAppendsThemAsCsv) {
    StartUnit();
    const CliRun run = Cli({"watch", "--interval", "0.5", "--count", "3", "--csv", "log.csv"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_TRUE(line.contains(kIsoTime)) << line.toStdString();
    EXPECT_TRUE(lines[0].contains("U уст 54.5 V"));
    const QStringList csv = ReadText("log.csv").split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(csv.size(), 4);
    EXPECT_EQ(csv[0], QStringLiteral("Время,Часовой пояс,U вых (В),I вых (A),U бпс (В),t бпс (°С),"
                                     "Уставка U (В),Уставка I (A),Работа,Авария АКБ,Uакб<Uмин,"
                                     "Перегрев,Уровень АКБ"));
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

TEST_F(CliEndToEndTest, ABackupCutShortLeavesTheOldFileWholeAndACutFileIsRefused) {
    StartUnit();
    ASSERT_EQ(Cli({"backup", "unit.ini"}).exitCode, 0);
    const QString old = ReadText("unit.ini");
    ASSERT_EQ(Cli({"set", "max-temperature", "80"}).exitCode, 0);
    const QStringList backup{"--fsize=200", "--",     KVEL_CLI_PATH, "--port",
                             "1",           "backup", "unit.ini"};

    QProcess killed; // by SIGXFSZ, part-way through the file
    killed.start("prlimit", backup);
    ASSERT_TRUE(killed.waitForFinished(60000));
    EXPECT_EQ(killed.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(ReadText("unit.ini"), old);

    QProcess refused; // with the signal ignored the write fails instead, and says why
    refused.start("sh", QStringList{"-c", "trap '' XFSZ; exec prlimit \"$@\"", "sh"} + backup);
    ASSERT_TRUE(refused.waitForFinished(60000));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAllStandardError().contains(
        "cannot write unit.ini: the file size limit is reached"));
    EXPECT_EQ(ReadText("unit.ini"), old);
    EXPECT_EQ(QDir().entryList({"unit.ini*"}, QDir::Files), QStringList{"unit.ini"});

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
    EXPECT_TRUE(loaded.err.contains("Для обновления ПО отключите нагрузку"));
    ASSERT_EQ(Cli({"--baud", "115200", "set", "current-setpoint", "0"}).exitCode, 0);

    const CliRun upload = Cli({"--baud", "115200", "upload", "firmware.bin"});
    ASSERT_EQ(upload.exitCode, 0) << upload.err.toStdString();
    EXPECT_TRUE(upload.out.contains("Запись 2 блока из 3"));
    EXPECT_TRUE(upload.out.endsWith("Программирование завершено\n")) << upload.out.toStdString();
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
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(busy.exitCode, 2);
    EXPECT_TRUE(busy.err.contains("is in use by another program")) << busy.err.toStdString();

    EXPECT_EQ(Cli({"--address", "0", "set", "16", "50"}).exitCode, 3);
    EXPECT_EQ(Cli({"status", "extra"}).exitCode, 3);
    EXPECT_EQ(Cli({"set", "16", "-5"}).exitCode, 1);
    EXPECT_EQ(Cli({"compare", "missing.ini"}).exitCode, 1);
}

} // namespace
} // namespace kvel
