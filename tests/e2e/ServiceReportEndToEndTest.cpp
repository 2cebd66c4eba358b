// The service report, read back by Info-ZIP's unzip: kvel-cli's against pymodbus as an
// independent unit, its settings compared with that unit and restored onto a simulated one;
// the window program's with the recorder's log and the chart's picture.
#include "CliRunner.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "PymodbusPeer.h"
#include "Readings.h"
#include "ScratchDir.h"
#include "ServiceReportWindow.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "TelemetryCsv.h"
#include "TelemetryTools.h"
#include "Unit1.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::CliRun;
using test::RunCli;
using test::SimulatedUnit;

CliRun Unzip(const QStringList& arguments) {
    QProcess unzip;
    unzip.start("unzip", arguments);
    CliRun run = test::Finished(unzip, 30000);
    return run;
}

QByteArray Entry(const QString& archive, const QString& name) {
    QProcess unzip;
    unzip.start("unzip", {"-p", archive, name});
    unzip.waitForFinished(30000);
    return unzip.readAllStandardOutput();
}

QStringList EntryNames(const QString& archive) {
    return test::Lines(Unzip({"-Z1", archive}).out);
}

class CliReportEndToEndTest : public ::testing::Test {
protected:
    test::ScratchDir dir;
};

TEST_F(CliReportEndToEndTest, SettingsOfAPymodbusUnitCompareEqualAndRestoreOntoASimulatedOne) {
    test::PymodbusPeer peer("rtu");
    ASSERT_FALSE(peer.Port().isEmpty()) << "is python3-pymodbus installed?";
    QFile dataInf("data.inf");
    ASSERT_TRUE(dataInf.open(QIODevice::WriteOnly));
    dataInf.write(QByteArray::fromHex("010003000100"));
    dataInf.close();
    const QString port = "tcp://127.0.0.1:" + peer.Port();

    const CliRun report = RunCli({"--port", port, "report", "--out", "report.zip"});
    ASSERT_EQ(report.exitCode, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains("report.zip")) << report.out.toStdString();
    const CliRun test = Unzip({"-t", "report.zip"});
    EXPECT_EQ(test.exitCode, 0) << test.out.toStdString();
    EXPECT_EQ(EntryNames("report.zip"), (QStringList{"summary.txt", "identity.txt", "settings.kvel",
                                                     "registers.csv", "counters.txt", "data.inf"}));
    const QString summary = QString::fromUtf8(Entry("report.zip", "summary.txt"));
    EXPECT_TRUE(summary.contains(QStringLiteral("Линия: ") + port)) << summary.toStdString();
    EXPECT_TRUE(summary.contains("Line: " + port + ", address 1")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("Time zone: ")) << summary.toStdString();
    EXPECT_TRUE(Entry("report.zip", "identity.txt").startsWith("Firmware: version 112, "));
    EXPECT_TRUE(
        Entry("report.zip", "registers.csv").contains("\nholding,16,voltage-setpoint,545,"));
    EXPECT_EQ(Entry("report.zip", "data.inf"), QByteArray::fromHex("010003000100"));

    QFile settings("settings.kvel");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(Entry("report.zip", "settings.kvel"));
    settings.close();
    const CliRun same = RunCli({"--port", port, "compare", "settings.kvel"});
    EXPECT_EQ(same.exitCode, 0) << same.out.toStdString() << same.err.toStdString();

    SimulatedUnit unit;
    ASSERT_TRUE(unit.Started());
    const QStringList sim{"--port", SimulatedUnit::kLink};
    const CliRun restored = RunCli(sim + QStringList{"restore", "settings.kvel", "--force"});
    EXPECT_EQ(restored.exitCode, 0) << restored.out.toStdString() << restored.err.toStdString();
    const CliRun after = RunCli(sim + QStringList{"compare", "settings.kvel"});
    EXPECT_EQ(after.exitCode, 0) << after.out.toStdString() << after.err.toStdString();
    EXPECT_EQ(unit.Holding()[16], 545);
}

// Whatever stops the writing, the message says why and no archive, whole or half, is left.
TEST_F(CliReportEndToEndTest, ReportThatCannotBeWrittenLeavesNoFile) {
    SimulatedUnit unit;
    ASSERT_TRUE(unit.Started());
    const QString sim = SimulatedUnit::kLink;
    struct Case {
        const char* what;
        QString program;
        QStringList arguments;
        const char* path;
        const char* said;
    };
    const QString cli = KVEL_CLI_PATH;
    const Case cases[] = {
        {"no such folder",
         cli,
         {"--port", sim, "report", "--out", "gone/report.zip"},
         "gone/report.zip",
         "the folder does not exist"},
        // As a full disk does, the file stops growing partway.
        {"file size limit",
         "/bin/sh",
         {"-c", "ulimit -f 1; exec \"$0\" --port \"$1\" report --out full.zip", cli, sim},
         "full.zip",
         "the file size limit is reached"},
        {"no unit on the line",
         cli,
         {"--port", "tcp://127.0.0.1:9", "--timeout", "0.5", "report", "--out", "lost.zip"},
         "lost.zip",
         "cannot connect"},
    };
    for (const Case& c : cases) {
        QProcess process;
        process.start(c.program, c.arguments);
        const CliRun run = test::Finished(process);
        EXPECT_NE(run.exitCode, 0) << c.what;
        EXPECT_TRUE(run.err.contains(c.said)) << c.what << ": " << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(c.path)) << c.what;
        EXPECT_EQ(QDir(".").entryList({"*.zip*", ".*.zip*"}, QDir::Files | QDir::Hidden),
                  QStringList())
            << c.what;
    }
}

TEST(WindowReportEndToEndTest, HoldsTheRecordersLogAndAPictureOfTheChart) {
    test::ScratchDir dir;
    test::MessageCapture messages;
    QFile dataInf("data.inf");
    ASSERT_TRUE(dataInf.open(QIODevice::WriteOnly));
    dataInf.write(QByteArray::fromHex("010003000100"));
    dataInf.close();
    SimulatedUnit unit({"--address", "1", "--baud-index", "3"});
    ASSERT_TRUE(unit.Started());
    SystemSerialChannel channel;
    TForm1 main(channel);
    main.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return main.Room<TelemetryTools>()->Recorder().Size() >= 3; },
                                10000));

    main.ServiceItem(QStringLiteral("Отчёт для сервиса…"))->trigger();
    auto* window = main.findChild<ServiceReportWindow*>();
    ASSERT_NE(window, nullptr);
    QStringList listed;
    for (int row = 0; row < window->EntryList->count(); ++row)
        listed << window->EntryList->item(row)->text().section(' ', 0, 0);
    EXPECT_EQ(listed, (QStringList{"summary.txt", "identity.txt", "settings.kvel", "registers.csv",
                                   "counters.txt", "telemetry.csv", "chart.png", "data.inf"}));
    const QString nowhere = dir.File("gone/report.zip");
    window->ChooseFileName = [nowhere] { return nowhere; };
    QTest::mouseClick(window->SaveButton, Qt::LeftButton);
    EXPECT_EQ(messages.texts,
              QStringList{QStringLiteral("Отчёт не записан в %1: нет такой папки").arg(nowhere)});
    EXPECT_EQ(window->WhereLabel->text(), QStringLiteral("Отчёт ещё не записан"));
    messages.texts.clear();

    const QString path = dir.File("report.zip");
    window->ChooseFileName = [path] { return path; };
    QTest::mouseClick(window->SaveButton, Qt::LeftButton);
    EXPECT_TRUE(window->WhereLabel->text().endsWith(path))
        << window->WhereLabel->text().toStdString();
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();

    EXPECT_EQ(Unzip({"-t", path}).exitCode, 0);
    const QList<QByteArray> log = Entry(path, "telemetry.csv").split('\n');
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log[0] + '\n', CsvHeader());
    EXPECT_TRUE(
        log[1].startsWith(LocalTimestamp(main.Room<TelemetryTools>()->Recorder().At(0).timeMs)))
        << log[1].toStdString();
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(Entry(path, "chart.png"), "PNG"));
    EXPECT_GT(picture.width(), 300);
    EXPECT_GT(picture.height(), 200);
    window->close();
}

} // namespace
} // namespace kvel
