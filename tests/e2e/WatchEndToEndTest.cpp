// kvel-cli watch through what a plant's line does to it: a unit falling silent for seconds, a
// unit that never answers among others, a device pulled and plugged in again or gone for good,
// and network connections cut under it. The watch writes a break row and goes on.
#include "CliRunner.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <signal.h>

#include <functional>
#include <memory>

namespace kvel {
namespace {

using test::CliRun;
using test::Lines;
using test::SimulatedUnit;

// kvel-cli watch left running while the test does things to the line after some lines.
class RunningWatch {
public:
    explicit RunningWatch(const QStringList& arguments) {
        process_.start(KVEL_CLI_PATH, arguments);
    }
    ~RunningWatch() {
        process_.kill();
        process_.waitForFinished(5000);
    }

    bool WaitForLines(int count, int ms = 10000) {
        return QTest::qWaitFor(
            [&] {
                out_ += QString::fromUtf8(process_.readAllStandardOutput());
                return Lines(out_).size() >= count;
            },
            ms);
    }
    bool Running() const { return process_.state() == QProcess::Running; }
    void Stop() { process_.terminate(); }
    void Signal(int signal) { ::kill(static_cast<pid_t>(process_.processId()), signal); }
    CliRun Finished(int ms = 90000) {
        CliRun run = test::Finished(process_, ms);
        run.out.prepend(out_);
        return run;
    }

private:
    QProcess process_;
    QString out_;
};

// The CSV's rows after its header, each split at its commas.
QList<QList<QByteArray>> CsvRows(const QString& path) {
    QFile file(path);
    QList<QList<QByteArray>> rows;
    if (!file.open(QIODevice::ReadOnly)) return rows;
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
        rows.append(lines[i].split(','));
    return rows;
}

// A break row has its time and nothing where the readings go: the first reading column is
// after the time, its offset and, with several units, the address.
bool IsBreak(const QList<QByteArray>& row, int firstReading = 2) {
    return row.size() > firstReading && row[firstReading].isEmpty();
}

int BreakCount(const QList<QList<QByteArray>>& rows, int firstReading = 2) {
    return static_cast<int>(std::count_if(
        rows.begin(), rows.end(), [&](const auto& row) { return IsBreak(row, firstReading); }));
}

class WatchEndToEndTest : public ::testing::Test {
protected:
    void StartUnit(const QStringList& arguments = {}) {
        unit = std::make_unique<SimulatedUnit>(arguments);
        ASSERT_TRUE(unit->Started());
    }

    test::ScratchDir dir;
    std::unique_ptr<SimulatedUnit> unit;
};

TEST_F(WatchEndToEndTest, ASevenSecondSilenceIsOneBreakRowAndTheCountIsOfReadings) {
    StartUnit();
    RunningWatch watch(
        {"--port", "1", "watch", "--count", "20", "--interval", "0.5", "--csv", "log.csv"});
    ASSERT_TRUE(watch.WaitForLines(3));
    unit->ToggleSilence();
    QTest::qWait(7000);
    unit->ToggleSilence();
    const CliRun run = watch.Finished();
    EXPECT_EQ(run.exitCode, 0) << "the unit answered in the last round: " << run.err.toStdString();
    EXPECT_EQ(Lines(run.out).size(), 20) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("no answer"));
    EXPECT_TRUE(run.err.contains("no answer from the unit at address 1")) << run.err.toStdString();
    EXPECT_EQ(run.err.count("no answer"), 1) << "named once per silence: " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("answers again")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("cannot keep up")) << run.err.toStdString();

    const auto rows = CsvRows("log.csv");
    ASSERT_EQ(rows.size(), 21);
    ASSERT_EQ(BreakCount(rows), 1);
    const auto breakRow =
        std::find_if(rows.begin(), rows.end(), [](const auto& row) { return IsBreak(row); });
    EXPECT_GE(breakRow - rows.begin(), 3) << "after the readings before the silence";
    EXPECT_LT(breakRow - rows.begin(), 20) << "with readings after it";
}

TEST_F(WatchEndToEndTest, AUnitSilentAmongOthersIsNamedOnStderrAndTheExitSaysSo) {
    StartUnit({"--address", "1"});
    const CliRun run = test::RunCli({"--port", "1", "--address", "1,2", "--timeout", "0.3", "watch",
                                     "--count", "3", "--interval", "0.2", "--csv", "several.csv"});
    EXPECT_EQ(run.exitCode, 2);
    const QStringList lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
    for (const QString& line : lines)
        EXPECT_TRUE(line.startsWith("address 1  ")) << line.toStdString();
    EXPECT_TRUE(run.err.contains("address 2: no answer from the unit at address 2"))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("silent in the last round: address 2")) << run.err.toStdString();

    const auto rows = CsvRows("several.csv");
    ASSERT_EQ(rows.size(), 4) << "three readings of 1, one break row of 2";
    EXPECT_EQ(BreakCount(rows, 3), 1);
    EXPECT_EQ(rows[1].value(2), "2");
    EXPECT_TRUE(IsBreak(rows[1], 3));
}

// A long interval does not keep a stop waiting, and the exit status is the last round's verdict.
TEST_F(WatchEndToEndTest, ATerminationSignalEndsTheWatchAtOnceWithTheLastRoundsVerdict) {
    StartUnit({"--address", "1"});
    const struct {
        int signal;
        const char* addresses;
        int exitCode;
        int rows;
    } cases[] = {
        {SIGTERM, "1", 0, 1}, {SIGINT, "1", 0, 1}, {SIGHUP, "1", 0, 1}, {SIGTERM, "1,2", 2, 2}};
    for (const auto& c : cases) {
        const QString csv = QString("stopped-%1-%2.csv").arg(c.signal).arg(c.addresses);
        RunningWatch watch({"--port", "1", "--address", c.addresses, "--timeout", "0.3", "watch",
                            "--interval", "30", "--csv", csv});
        ASSERT_TRUE(watch.WaitForLines(1)) << c.signal << " " << c.addresses;
        QTest::qWait(200);
        watch.Signal(c.signal);
        const CliRun run = watch.Finished(3000);
        EXPECT_EQ(run.exitCode, c.exitCode)
            << c.signal << " " << c.addresses << ": " << run.err.toStdString();
        EXPECT_EQ(CsvRows(csv).size(), c.rows) << c.signal << " " << c.addresses;
    }
}

TEST_F(WatchEndToEndTest, AnExceptionIsNamedAsSuchAndTheWatchGoesOn) {
    StartUnit({"--exception", "1"});
    RunningWatch watch({"--port", "1", "--timeout", "0.5", "watch", "--interval", "0.2"});
    QTest::qWait(2000);
    EXPECT_TRUE(watch.Running());
    watch.Stop();
    const CliRun run = watch.Finished(5000);
    EXPECT_TRUE(run.err.contains("the unit answered with exception 06 (busy)"))
        << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("no answer"));
}

TEST_F(WatchEndToEndTest, ADevicePulledAndPluggedInAgainIsABreakAndOneGoneForGoodEndsIt) {
    StartUnit({"--gone", "1000"});
    RunningWatch replugged({"--port", "1", "--timeout", "3", "watch", "--count", "6", "--interval",
                            "0.3", "--csv", "replug.csv"});
    ASSERT_TRUE(replugged.WaitForLines(2));
    unit->PullAndReplug();
    const CliRun back = replugged.Finished();
    EXPECT_EQ(back.exitCode, 0) << back.err.toStdString();
    EXPECT_EQ(Lines(back.out).size(), 6);
    EXPECT_TRUE(back.err.contains("answers again")) << back.err.toStdString();
    EXPECT_EQ(BreakCount(CsvRows("replug.csv")), 1);

    RunningWatch abandoned({"--port", "1", "--timeout", "1", "watch", "--interval", "0.3"});
    ASSERT_TRUE(abandoned.WaitForLines(1));
    unit->Vanish();
    const CliRun gone = abandoned.Finished(10000);
    EXPECT_EQ(gone.exitCode, 2);
    EXPECT_TRUE(gone.err.contains("did not come back within 1")) << gone.err.toStdString();
}

TEST_F(WatchEndToEndTest, ANetworkLineCutUnderTheWatchIsConnectedAgain) {
    for (const char* transport : {"--tcp", "--modbus-tcp"}) {
        SimulatedUnit server(transport, {"--drop-connection", "1500"});
        ASSERT_TRUE(server.Started()) << transport;
        const CliRun run =
            test::RunCli({"--port", server.PortName(), "--timeout", "1", "watch", "--count", "12",
                          "--interval", "0.4", "--csv", QString("cut%1.csv").arg(transport)});
        EXPECT_EQ(run.exitCode, 0) << transport << run.err.toStdString();
        EXPECT_EQ(Lines(run.out).size(), 12) << transport;
    }

    SimulatedUnit switchedOff("--tcp", {"--gone", "1500"});
    ASSERT_TRUE(switchedOff.Started());
    RunningWatch watch({"--port", switchedOff.PortName(), "--timeout", "1", "watch", "--count", "8",
                        "--interval", "0.3", "--csv", "off.csv"});
    ASSERT_TRUE(watch.WaitForLines(2));
    switchedOff.PullAndReplug();
    const CliRun run = watch.Finished();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Lines(run.out).size(), 8);
    EXPECT_TRUE(run.err.contains("cannot connect to " + switchedOff.PortName()))
        << run.err.toStdString();
    EXPECT_EQ(BreakCount(CsvRows("off.csv")), 1);
}

} // namespace
} // namespace kvel
